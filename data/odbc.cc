#include "data/odbc.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>

#include "data/data_access.h"
#include "platform/checked.h"
#include "platform/codepage.h"
#include "platform/fatal.h"

namespace vld {
namespace {

SQLHENV Environment() {
  static SQLHENV env = [] {
    SQLHENV e = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &e))) {
      throw EDataAccess("Der ODBC-Treibermanager kann nicht geladen werden.");
    }
    SQLSetEnvAttr(e, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    return e;
  }();
  return env;
}

std::string FromSqlWide(const SQLWCHAR* text, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

// Text the driver manager hands over in single bytes (names, messages): UTF-8 as it stands,
// anything else read as Windows-1252.
std::string FromSqlNarrow(const SQLCHAR* text, std::size_t count) {
  const std::string_view bytes(reinterpret_cast<const char*>(text), count);
  return IsValidUtf8(bytes) ? std::string(bytes) : ToUtf8(bytes, CodePage::k1252);
}

// Characters of a Unicode result of `bytes` bytes, at most `capacity` - 1.
std::size_t WideChars(SQLLEN bytes, std::size_t capacity) {
  if (bytes <= 0) return 0;
  return std::min(static_cast<std::size_t>(bytes) / sizeof(SQLWCHAR), capacity - 1);
}

// The diagnostic records of a handle as one text.
std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::string text;
  SQLCHAR state[6];
  SQLCHAR message[1024];
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  for (SQLSMALLINT i = 1; i <= 5; ++i) {
    if (!SQL_SUCCEEDED(
            SQLGetDiagRec(type, handle, i, state, &native, message, sizeof message, &length))) {
      break;
    }
    if (!text.empty()) text += " ";
    text += FromSqlNarrow(message, std::min<std::size_t>(std::max<SQLSMALLINT>(length, 0), 1023));
  }
  return text.empty() ? "unbekannter ODBC-Fehler" : text;
}

[[noreturn]] void Fail(const std::string& what, SQLSMALLINT type, SQLHANDLE handle) {
  throw EDataAccess(what + " " + Diagnostics(type, handle));
}

}  // namespace

TOdbcConnection::~TOdbcConnection() { Disconnect(); }

void TOdbcConnection::SetDataSource(std::string dataSource) {
  if (Connected()) Fatal("data source changed while connected");
  dataSource_ = std::move(dataSource);
}

std::string TOdbcConnection::DisplayName() const {
  std::string out = dataSource_;
  std::string upper = out;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  for (std::size_t at = upper.find("PWD="); at != std::string::npos;
       at = upper.find("PWD=", at + 1)) {
    const std::size_t start = at + 4;
    std::size_t end = out.find(';', start);
    if (end == std::string::npos) end = out.size();
    out.replace(start, end - start, "***");
    upper.replace(start, end - start, "***");
  }
  return out;
}

void TOdbcConnection::Connect() {
  if (Connected()) return;
  SQLHDBC dbc = SQL_NULL_HDBC;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, Environment(), &dbc))) {
    Fail("Die ODBC-Verbindung kann nicht angelegt werden:", SQL_HANDLE_ENV, Environment());
  }
  const std::string text =
      dataSource_.find('=') == std::string::npos ? "DSN=" + dataSource_ : dataSource_;
  SQLCHAR out[1024];
  SQLSMALLINT outLength = 0;
  const SQLRETURN r =
      SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())),
                       SQL_NTS, out, sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(r)) {
    const std::string diag = Diagnostics(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    throw EDataAccess("Die Verbindung zur ODBC-Quelle \"" + DisplayName() +
                      "\" ist fehlgeschlagen: " + diag);
  }
  dbc_ = dbc;
}

void TOdbcConnection::Disconnect() {
  if (!Connected()) return;
  SQLDisconnect(static_cast<SQLHDBC>(dbc_));
  SQLFreeHandle(SQL_HANDLE_DBC, static_cast<SQLHDBC>(dbc_));
  dbc_ = nullptr;
}

std::vector<std::string> TOdbcConnection::TableNames() {
  Connect();
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, static_cast<SQLHDBC>(dbc_), &stmt))) {
    Fail("Die Tabellen der ODBC-Quelle können nicht gelesen werden:", SQL_HANDLE_DBC, dbc_);
  }
  std::vector<std::string> names;
  SQLCHAR type[] = "TABLE";
  if (SQL_SUCCEEDED(SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, type, SQL_NTS))) {
    while (SQL_SUCCEEDED(SQLFetch(stmt))) {
      SQLWCHAR name[512];
      SQLLEN length = 0;
      if (SQL_SUCCEEDED(SQLGetData(stmt, 3, SQL_C_WCHAR, name, sizeof name, &length)) &&
          length > 0) {
        names.push_back(FromSqlWide(name, WideChars(length, 512)));
      }
    }
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return names;
}

std::vector<std::string> TOdbcConnection::DataSourceNames() {
  std::vector<std::string> names;
  SQLCHAR name[SQL_MAX_DSN_LENGTH + 1];
  SQLCHAR description[512];
  SQLSMALLINT nameLength = 0, descriptionLength = 0;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  while (SQL_SUCCEEDED(SQLDataSources(Environment(), direction, name, sizeof name, &nameLength,
                                      description, sizeof description, &descriptionLength))) {
    names.push_back(FromSqlNarrow(
        name, std::min<std::size_t>(std::max<SQLSMALLINT>(nameLength, 0), SQL_MAX_DSN_LENGTH)));
    direction = SQL_FETCH_NEXT;
  }
  return names;
}

TOdbcQuery::~TOdbcQuery() { Close(); }

void TOdbcQuery::SetConnection(TOdbcConnection& connection) {
  if (IsOpen()) Fatal("query connection changed while open");
  connection_ = &connection;
}

void TOdbcQuery::SetSQL(std::string sql) {
  if (IsOpen()) Fatal("query text changed while open");
  sql_ = std::move(sql);
}

void TOdbcQuery::Open() {
  if (IsOpen()) Fatal("query opened twice");
  if (!connection_->Connected()) Fatal("query on a connection that is not connected");
  SQLHDBC dbc = static_cast<SQLHDBC>(connection_->Handle());
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt))) {
    Fail("Die Abfrage kann nicht angelegt werden:", SQL_HANDLE_DBC, dbc);
  }
  const SQLRETURN r =
      SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql_.c_str())), SQL_NTS);
  if (!SQL_SUCCEEDED(r)) {
    const std::string diag = Diagnostics(SQL_HANDLE_STMT, stmt);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    throw EDataAccess("Die SQL-Anweisung kann nicht ausgeführt werden: " + diag);
  }
  stmt_ = stmt;
  SQLSMALLINT columns = 0;
  SQLNumResultCols(stmt, &columns);
  names_.clear();
  sizes_.clear();
  for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(std::max<SQLSMALLINT>(columns, 0)); ++c) {
    SQLCHAR name[1024];
    SQLSMALLINT nameBytes = 0;
    SQLColAttribute(stmt, c, SQL_DESC_NAME, name, sizeof name, &nameBytes, nullptr);
    names_.push_back(
        FromSqlNarrow(name, std::min<std::size_t>(std::max<SQLSMALLINT>(nameBytes, 0), 1023)));
    SQLLEN size = 0;
    SQLColAttribute(stmt, c, SQL_DESC_DISPLAY_SIZE, nullptr, 0, nullptr, &size);
    sizes_.push_back(std::max<SQLLEN>(size, 0));
  }
  values_.assign(names_.size(), std::nullopt);
}

void TOdbcQuery::Close() {
  if (!IsOpen()) return;
  SQLFreeHandle(SQL_HANDLE_STMT, static_cast<SQLHSTMT>(stmt_));
  stmt_ = nullptr;
  names_.clear();
  sizes_.clear();
  values_.clear();
}

const std::string& TOdbcQuery::FieldName(std::int32_t i) const {
  return names_.at(CheckIndex(i, names_.size()));
}

std::int64_t TOdbcQuery::FieldSize(std::int32_t i) const {
  return sizes_.at(CheckIndex(i, sizes_.size()));
}

const std::optional<std::string>& TOdbcQuery::Value(std::int32_t i) const {
  return values_.at(CheckIndex(i, values_.size()));
}

bool TOdbcQuery::Next() {
  if (!IsOpen()) Fatal("query read while closed");
  SQLHSTMT stmt = static_cast<SQLHSTMT>(stmt_);
  const SQLRETURN r = SQLFetch(stmt);
  if (r == SQL_NO_DATA) return false;
  if (!SQL_SUCCEEDED(r)) Fail("Die Abfrage kann nicht gelesen werden:", SQL_HANDLE_STMT, stmt);
  constexpr std::size_t kChunk = 4096;
  SQLWCHAR buffer[kChunk];
  std::vector<SQLWCHAR> text;
  for (std::size_t c = 0; c < values_.size(); ++c) {
    text.clear();
    bool isNull = false;
    for (;;) {
      SQLLEN indicator = 0;
      const SQLRETURN g = SQLGetData(stmt, static_cast<SQLUSMALLINT>(c + 1), SQL_C_WCHAR, buffer,
                                     sizeof buffer, &indicator);
      if (g == SQL_NO_DATA) break;
      if (!SQL_SUCCEEDED(g)) {
        Fail("Ein Wert der Abfrage kann nicht gelesen werden:", SQL_HANDLE_STMT, stmt);
      }
      if (indicator == SQL_NULL_DATA) {
        isNull = true;
        break;
      }
      const std::size_t room = kChunk - 1;  // the driver ends each piece with a zero
      std::size_t got = room;
      if (indicator != SQL_NO_TOTAL && indicator >= 0) {
        got = std::min(room, static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR));
      }
      text.insert(text.end(), buffer, buffer + got);
      if (g == SQL_SUCCESS) break;  // SQL_SUCCESS_WITH_INFO: more of the value follows
      if (text.size() > (16u << 20)) {
        throw EDataAccess("Ein Wert der Abfrage ist länger als 16 MB.");
      }
    }
    if (isNull) {
      values_[c].reset();
    } else {
      values_[c] = FromSqlWide(text.data(), text.size());
    }
  }
  return true;
}

}  // namespace vld
