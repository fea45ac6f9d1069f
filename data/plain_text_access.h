// TPlainTextAccess: a text file whose records are lines with fields at fixed character
// positions (see data/data_access.h for the reading protocol).
//
// Lines are read by their line breaks; RecordLength (bytes per record including the line break)
// serves only RecordCount and Description. A field is the characters Position ..
// Position + Length - 1 of the line (shorter or empty where the line is shorter); in a UTF-8
// file positions count characters, not bytes. Lines without any character are no records.
// A UTF-8 byte-order mark selects UTF-8 as the code page.
#pragma once

#include <string>

#include "data/data_access.h"
#include "data/text_source.h"

namespace vld {

class TPlainTextAccess : public TDataAccess {
 public:
  TPlainTextAccess() = default;
  ~TPlainTextAccess() override;

  std::string GetField(std::int32_t index) override;
  std::uint8_t AccessKind() const override { return kAccessKindPlainText; }
  // "Datei mit festem Satzaufbau - %s\r\nCodepage: %s    Satzlänge : %d"
  std::string Description() override;
  // File size divided by RecordLength (0 while RecordLength is 0).
  std::int64_t RecordCount() override;
  void First() override;
  void Fetch() override;
  bool Eof() override;
  void Initialize(const TFieldDescs& descs) override;
  void Close() override;
  std::int64_t CurrentLine() const override { return line_number_; }
  std::string SourceName() const override { return fileName_; }

  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& fileName);
  std::int32_t RecordLength() const { return recordLength_; }
  void SetRecordLength(std::int32_t length);
  // Reads the next line into the current record.
  void ReadRecord();
  // RecordLength := offset of the first CR LF within the first 4096 bytes + 2, or 0 when there
  // is none. The file must hold at least 4096 bytes; a shorter one raises the text-file
  // layer's read error, which the caller turns into the proposal 0.
  void DetectRecordLength();

 private:
  // Skips lines without characters; false at the end of the file.
  bool PeekRecord();

  std::string fileName_;
  std::int32_t recordLength_ = 0;
  TTextSourceReader reader_;
  std::string record_, next_, terminator_;
  bool hasNext_ = false;
  std::int64_t line_number_ = 0;
};

}  // namespace vld
