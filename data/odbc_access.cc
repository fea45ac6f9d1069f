#include "data/odbc_access.h"

#include <algorithm>

#include "data/code_pages.h"
#include "data/csv_access.h"
#include "platform/fatal.h"

namespace vld {

TODBCAccess::TODBCAccess() : database_(std::make_unique<TOdbcConnection>()), query_(*database_) {}

TODBCAccess::~TODBCAccess() { Close(); }

void TODBCAccess::SetDatabase(std::unique_ptr<TOdbcConnection> database) {
  if (Active()) {
    throw EDataAccess("Änderung der Datenbank im initialisierten Zustand nicht möglich!");
  }
  if (!database) Fatal("no database given");
  query_.Close();
  database_ = std::move(database);
  query_.SetConnection(*database_);
}

void TODBCAccess::SetSQL(const std::string& sql) {
  if (Active()) {
    throw EDataAccess("Änderung des SQL-Strings im initialisierten Zustand nicht möglich!");
  }
  query_.SetSQL(sql);
}

std::string TODBCAccess::Description() {
  return Format("ODCB-Quelle\r\nDatenbank: %s\r\nSQL      : %s", database_->DisplayName().c_str(),
                query_.SQL().c_str());
}

std::int64_t TODBCAccess::RecordCount() {
  CheckActive();
  return recordCount_;
}

void TODBCAccess::Initialize(const TFieldDescs& descs) {
  CheckNotActive();
  descs_ = descs;
  try {
    database_->Connect();
    query_.Close();
    query_.Open();
  } catch (const EDataAccess& e) {
    query_.Close();
    database_->Disconnect();
    throw EDataAccess(std::string("Datenbankverbindung fehlgeschlagen. ") + e.what());
  }
  ReadFieldDescs();
  // Measure the values and count the rows.
  std::vector<std::int32_t> width(descs_.size(), 1);
  std::int64_t count = 0;
  try {
    while (query_.Next()) {
      ++count;
      for (std::size_t k = 0; k < width.size(); ++k) {
        const auto& value = query_.Value(static_cast<std::int32_t>(k));
        if (!value || width[k] >= kMaxFieldWidth) continue;
        const std::size_t w = RecordTextLength(*value, CodePage::kUtf8);
        width[k] =
            std::max(width[k], static_cast<std::int32_t>(std::min<std::size_t>(w, kMaxFieldWidth)));
      }
    }
  } catch (...) {
    query_.Close();
    database_->Disconnect();
    throw;
  }
  query_.Close();
  if (count == 0) {
    database_->Disconnect();
    throw EDataAccess("Die Abfrage \"" + query_.SQL() + "\" auf der ODBC-Quelle \"" +
                      database_->DisplayName() + "\" liefert keine Datensätze.");
  }
  for (std::size_t k = 0; k < descs_.size(); ++k) descs_[k].length = width[k];
  recordCount_ = count;
  codePage = CodePage::kUtf8;
  hasRow_ = false;
  SetActive(true);
}

void TODBCAccess::ReadFieldDescs() {
  const auto count = static_cast<std::size_t>(query_.FieldCount());
  descs_.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    TFieldDesc& d = descs_[i];
    d.name = ShortFieldName(query_.FieldName(static_cast<std::int32_t>(i)));
    d.position = -1;
    d.length = 1;
  }
}

void TODBCAccess::Close() {
  if (!Active()) return;
  query_.Close();
  database_->Disconnect();
  hasRow_ = false;
  SetActive(false);
}

void TODBCAccess::First() {
  CheckActive();
  query_.Close();
  query_.Open();
  row_ = 0;
  hasRow_ = query_.Next();
  if (hasRow_) row_ = 1;
}

void TODBCAccess::Skip() {
  CheckActive();
  if (!hasRow_) return;
  hasRow_ = query_.Next();
  if (hasRow_) ++row_;
}

bool TODBCAccess::Eof() {
  CheckActive();
  return !hasRow_;
}

std::string TODBCAccess::GetField(std::int32_t index) {
  CheckActive();
  CheckIndex(index);
  if (!hasRow_ || index >= query_.FieldCount()) return "";
  const auto& value = query_.Value(index);
  return value ? *value : std::string();
}

}  // namespace vld
