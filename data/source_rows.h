// The rows of the input sources as read, kept for the result CSV while the engine works.
//
// While the converter writes the engine input files, TSourceRowStore receives every record and
// appends all its values, converted to UTF-8, to a file of its own (so that millions of rows
// need no memory); TSourceRowReader gives them back in the same order. A value of a
// fixed-width file loses the blanks that pad it on the right; CSV and database values stay as
// they are.
//
// Row file (internal; removed with a store that was not finished), little-endian, per row:
//   4  number of values n
//   n  values, each: 4 byte count b, then b bytes of UTF-8
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/data_convert.h"
#include "engine/files/xan_file.h"

namespace vld {

class TSourceRowStore : public TSourceRowSink {
 public:
  // Creates (or empties) `fileName`.
  explicit TSourceRowStore(std::string fileName);
  ~TSourceRowStore() override;
  TSourceRowStore(const TSourceRowStore&) = delete;
  TSourceRowStore& operator=(const TSourceRowStore&) = delete;

  void AddRow(int which, TDataAccess& source) override;
  // Writes what is buffered; the file is complete afterwards and stays.
  void Finish();
  const std::string& FileName() const { return fileName_; }
  std::int64_t Rows() const { return rows_; }

 private:
  std::string fileName_;
  std::unique_ptr<TXanBufferedFile> file_;
  std::int64_t rows_ = 0;
};

class TSourceRowReader {
 public:
  explicit TSourceRowReader(const std::string& fileName);
  // The next row's values; false at the end. A damaged file raises the German message.
  bool Next(std::vector<std::string>& values);

 private:
  void Read(void* bytes, std::int64_t count);

  TXanBufferedFile file_;
  std::int64_t left_ = 0;
};

}  // namespace vld
