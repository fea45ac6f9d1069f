// Our small layer over the ODBC driver manager (unixODBC): what the data access needs of a
// database, and nothing more.
//
// TOdbcConnection connects to a data source given by its name ("Kunden") or by a connection
// string ("DSN=Kunden;UID=..." or "Driver=...;Database=..."), lists the data source names and
// the table names. TOdbcQuery runs one SQL statement on a connection and walks its result rows
// forward; column names and values come as UTF-8. Statements, connection strings and names
// pass through the driver manager's single-byte interface as UTF-8 (as Linux drivers expect;
// a name that is not valid UTF-8 is read as Windows-1252); values are fetched as Unicode, so
// the driver converts them from whatever the database holds. Every failure raises EDataAccess
// with the driver's diagnostic text.
//
// Not thread-safe; the user-interface thread (or the command line) owns all objects.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vld {

class TOdbcConnection {
 public:
  TOdbcConnection() = default;
  explicit TOdbcConnection(std::string dataSource) : dataSource_(std::move(dataSource)) {}
  TOdbcConnection(const TOdbcConnection&) = delete;
  TOdbcConnection& operator=(const TOdbcConnection&) = delete;
  ~TOdbcConnection();

  // A name without '=' is a data source name; anything else a connection string.
  // REQUIRES: not connected.
  void SetDataSource(std::string dataSource);
  const std::string& DataSource() const { return dataSource_; }
  // The data source with a password (PWD=...) masked, for messages and descriptions.
  std::string DisplayName() const;
  void Connect();
  void Disconnect();
  bool Connected() const { return dbc_ != nullptr; }
  // The tables of the connected data source.
  std::vector<std::string> TableNames();
  // The names of the data sources the driver manager knows (user and system).
  static std::vector<std::string> DataSourceNames();

  void* Handle() const { return dbc_; }

 private:
  std::string dataSource_;
  void* dbc_ = nullptr;
};

class TOdbcQuery {
 public:
  explicit TOdbcQuery(TOdbcConnection& connection) : connection_(&connection) {}
  TOdbcQuery(const TOdbcQuery&) = delete;
  TOdbcQuery& operator=(const TOdbcQuery&) = delete;
  ~TOdbcQuery();

  // REQUIRES: closed.
  void SetConnection(TOdbcConnection& connection);
  void SetSQL(std::string sql);
  const std::string& SQL() const { return sql_; }
  // Executes the statement; the connection must be connected.
  void Open();
  void Close();
  bool IsOpen() const { return stmt_ != nullptr; }

  std::int32_t FieldCount() const { return static_cast<std::int32_t>(names_.size()); }
  const std::string& FieldName(std::int32_t i) const;
  // The column size the driver declares (characters; 0 when unknown).
  std::int64_t FieldSize(std::int32_t i) const;
  // Moves to the next row and reads its values; false when no row is left.
  bool Next();
  // Value of column i of the current row; empty for NULL.
  const std::optional<std::string>& Value(std::int32_t i) const;

 private:
  TOdbcConnection* connection_;
  std::string sql_;
  void* stmt_ = nullptr;
  std::vector<std::string> names_;
  std::vector<std::int64_t> sizes_;
  std::vector<std::optional<std::string>> values_;
};

}  // namespace vld
