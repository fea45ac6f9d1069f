// TCSVAccess: a delimiter-separated text file (see data/data_access.h for the reading
// protocol and data/csv_format.h for the record format).
//
// Initialize runs Analyze over the whole file: it counts the records and gives the field
// descriptions a virtual fixed layout (Position 1, then each following field after the widest
// value of the one before; Length the widest value, counted in characters of the engine's code
// page, at least 1 and at most kMaxFieldWidth), which the converter uses for its output widths.
// A record with fewer values than described fields is an error naming the file and the line;
// more values are ignored (with SetStrictFieldCount only when they are empty).
//
// Additions for files with a header row (SetHeader): the first record holds the column names
// (ColumnNames) and is no data record. A UTF-8 byte-order mark selects UTF-8; with UTF-8 a
// record that is not valid UTF-8 is an error, and so is a zero byte in any record.
#pragma once

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "data/csv_format.h"
#include "data/data_access.h"
#include "data/text_source.h"
#include "engine/runtime/helper_thread.h"

namespace vld {

class TCSVAccess : public TDataAccess {
 public:
  TCSVAccess() = default;
  ~TCSVAccess() override;

  // The value of field `index` of the current record as read (unquoted, not padded; the
  // converter pads).
  std::string GetField(std::int32_t index) override;
  std::string_view FieldText(std::int32_t index) override;
  std::uint8_t AccessKind() const override { return kAccessKindCSV; }
  std::string Description() override;
  // The number of data records counted by Analyze.
  std::int64_t RecordCount() override;
  void First() override;
  void Fetch() override;
  bool Eof() override;
  void Initialize(const TFieldDescs& descs) override;
  void Close() override;
  std::int64_t CurrentLine() const override { return line_; }
  std::string SourceName() const override { return fileName_; }

  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& fileName);
  char Separator() const { return separator_; }
  void SetSeparator(char separator);
  char Quote() const { return quote_; }
  void SetQuote(char quote);
  void SetHeader(bool header);
  bool Header() const { return header_; }
  void SetStrictFieldCount(bool strict);

  // Reads the next record into the current values.
  void ReadRecord();
  // Counts the records and sets the virtual layout (above).
  void Analyze();
  // The number of values in the first record of the file; -1 when initialised, when the file
  // is missing or cannot be read.
  std::int32_t CountFields();
  // The values of the first record (the header row), read while not initialised. Raises the
  // data-access errors; "Die Datei \"%s\" ist leer." when the file has no record.
  std::vector<std::string> ColumnNames();
  // All values of the current record (also those beyond the described fields).
  const std::vector<std::string>& CurrentValues() const { return values_; }

 private:
  // Records read ahead by a helper thread: read, checked and split while the caller works on
  // the records before them. `failure` is what reading record `count` raised, or (inSplit)
  // what splitting record count - 1 raised; each is raised when its record's turn comes.
  struct alignas(64) Ahead {
    std::vector<std::string> records;
    std::vector<std::vector<std::string>> values;
    std::vector<std::int64_t> lines;
    std::size_t count = 0;
    bool end = false;  // the file ends after these records
    std::exception_ptr failure;
    bool inSplit = false;
  };

  // The next record, checked for zero bytes and (with UTF-8) valid UTF-8; false at the end.
  bool NextRecord(TCsvRecordReader& reader, std::string& record, std::int64_t& line);
  // Splits `record` into `values` and checks their number against the descriptions.
  void SplitChecked(const std::string& record, std::int64_t line,
                    std::vector<std::string>& values) const;
  bool Peek();
  void FillAhead(Ahead& batch);  // on the helper thread
  void StartAhead();             // the helper fills the batch after the current one
  void StopAhead();              // waits for the helper; nothing is read ahead any more

  std::string fileName_;
  char separator_ = 0, quote_ = 0;
  bool header_ = false, strict_ = false;
  // The reader's state is the helper's while it reads ahead: what the caller's thread uses
  // starts on a cache line of its own.
  TTextSourceReader source_;
  alignas(64) std::unique_ptr<TCsvRecordReader> reader_;
  std::vector<std::string> values_;
  std::string record_, next_;
  bool hasNext_ = false;
  std::int64_t recordCount_ = 0, line_ = 0, nextLine_ = 0;

  // Reading ahead (machines of more than one core).
  std::unique_ptr<THelperThread> helper_;
  bool helperBusy_ = false;
  bool readingAhead_ = false;
  Ahead ahead_[2];
  int current_ = 0;        // the batch records are taken from
  std::size_t taken_ = 0;  // records taken from it
  std::vector<std::string> nextValues_;
  bool nextSplit_ = false;          // next_ comes split (nextValues_) from the helper
  std::exception_ptr nextFailure_;  // splitting next_ failed
};

}  // namespace vld
