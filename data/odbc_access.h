// TODBCAccess: the result rows of an SQL statement on an ODBC data source (see
// data/data_access.h for the reading protocol).
//
// Initialize connects (when not connected), runs the statement and reads the field
// descriptions: one per result column (elements already present keep their Typ), Name the
// column name, Position -1, Length the display width. The display width is the widest value
// of the column in the result, counted in characters of the engine's code page, at least 1
// and at most kMaxFieldWidth: Initialize reads the result once to measure it and to count its
// rows, so a layout neither wastes space on wide declared columns nor cuts a value. Values come
// as UTF-8 (codePage is kUtf8 after Initialize); NULL reads as an empty value.
#pragma once

#include <memory>
#include <string>

#include "data/data_access.h"
#include "data/odbc.h"

namespace vld {

class TODBCAccess : public TDataAccess {
 public:
  TODBCAccess();
  ~TODBCAccess() override;

  std::string GetField(std::int32_t index) override;
  std::uint8_t AccessKind() const override { return kAccessKindODBC; }
  // "ODCB-Quelle\r\nDatenbank: %s\r\nSQL      : %s"
  std::string Description() override;
  std::int64_t RecordCount() override;
  void First() override;
  void Skip() override;
  bool Eof() override;
  void Initialize(const TFieldDescs& descs) override;
  void Close() override;
  std::int64_t CurrentLine() const override { return row_; }
  std::string SourceName() const override { return database_->DisplayName(); }

  TOdbcConnection& Database() { return *database_; }
  const std::string& SQL() const { return query_.SQL(); }
  // Takes ownership of `database`; the query uses it from now on.
  void SetDatabase(std::unique_ptr<TOdbcConnection> database);
  void SetSQL(const std::string& sql);

 private:
  void ReadFieldDescs();

  std::unique_ptr<TOdbcConnection> database_;
  TOdbcQuery query_;
  bool hasRow_ = false;
  std::int64_t row_ = 0, recordCount_ = 0;
};

}  // namespace vld
