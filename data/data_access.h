// Input data access: the one small class family through which the product reads what a user
// brings, a text file with fixed field positions (TPlainTextAccess), a delimiter-separated file
// (TCSVAccess) or the result of an SQL statement on an ODBC data source (TODBCAccess).
//
// An access object is configured (file name, record length, separator, SQL ...), initialised
// with the list of field descriptions, then read record by record; each field of the current
// record comes as a string in the source's code page (CodePage). Translating code pages is the
// converter's job (data/data_convert.h).
//
// Reading protocol, the same for all kinds:
//   configure; Initialize(descs); First(); while (!Eof()) { Fetch(); GetField(i)...; Skip(); }
//   Close();
// Reading requires the initialised state, configuration setters the other one; a failed
// Initialize leaves the object not initialised. Every descendant's destructor calls Close.
// User-interface thread only (the match worker reads the converter's output files).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage.h"
#include "platform/errors.h"

namespace vld {

// Problems of a data source the user can fix; the text is the finished German sentence.
class EDataAccess : public EUserError {
 public:
  explicit EDataAccess(const std::string& text) : EUserError(text) {}
};

struct TFieldDesc {
  std::string name;           // shown to the user, UTF-8, up to 255 bytes
  std::int32_t position = 0;  // 1-based column in the record; -1 for database fields
  std::int32_t length = 0;    // width in characters
  std::int32_t typ = -1;      // type code of the type table (data/field_types.h)
  friend bool operator==(const TFieldDesc&, const TFieldDesc&) = default;
};
using TFieldDescs = std::vector<TFieldDesc>;

// The widest field of an engine record (a field entry of a parameter set holds at most 255).
inline constexpr std::int32_t kMaxFieldWidth = 255;

// Field names are short strings of at most 255 bytes; a longer name is cut (never inside a
// UTF-8 character).
std::string ShortFieldName(std::string_view name);

// Codes of AccessKind().
inline constexpr std::uint8_t kAccessKindBase = 0;
inline constexpr std::uint8_t kAccessKindPlainText = 1;
inline constexpr std::uint8_t kAccessKindCSV = 2;
inline constexpr std::uint8_t kAccessKindODBC = 3;

class TDataAccess {
 public:
  TDataAccess() = default;
  TDataAccess(const TDataAccess&) = delete;
  TDataAccess& operator=(const TDataAccess&) = delete;
  virtual ~TDataAccess() = default;

  // The value of field `index` of the current record; REQUIRES 0 <= index < FieldCount().
  virtual std::string GetField(std::int32_t index);
  // The same value without a copy where the source keeps it; valid until the next record or
  // the next call.
  virtual std::string_view FieldText(std::int32_t index);
  virtual TFieldDesc GetFieldDesc(std::int32_t index);
  virtual std::int32_t FieldCount();
  virtual std::uint8_t AccessKind() const { return kAccessKindBase; }
  // The text the wizard's summary shows.
  virtual std::string Description();
  virtual std::int64_t RecordCount() = 0;
  virtual void SetActive(bool active) { active_ = active; }
  virtual void First();
  virtual void Skip();
  virtual void Fetch();
  virtual bool Eof();
  virtual void Initialize(const TFieldDescs& descs) = 0;
  virtual void Close() = 0;
  // Line number (text files) or row number (databases) where the current record starts, for
  // messages; 0 when unknown.
  virtual std::int64_t CurrentLine() const { return 0; }
  // The name of the file or data source for messages.
  virtual std::string SourceName() const { return ""; }

  bool Active() const { return active_; }
  // REQUIRES: not initialised for the text kinds (the converter reads it at any time).
  CodePage codePage = CodePage::k437;

 protected:
  // Raises "Datenmenge noch nicht initialisiert." unless initialised.
  void CheckActive() const;
  // Raises "Index %d liegt ausserhalb der zulässigen Grenzen." outside 0 .. FieldCount - 1.
  void CheckIndex(std::int32_t index) const;
  // Raises "Die Datenmenge ist bereits initialisiert." when initialised.
  void CheckNotActive() const;

  TFieldDescs descs_;

 private:
  bool active_ = false;
  std::string fieldText_;  // FieldText of a source that keeps no values
};

}  // namespace vld
