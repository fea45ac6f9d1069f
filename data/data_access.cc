#include "data/data_access.h"

#include "platform/fatal.h"

namespace vld {

std::string ShortFieldName(std::string_view name) {
  if (name.size() <= 255) return std::string(name);
  std::size_t cut = 255;
  while (cut > 0 && (static_cast<std::uint8_t>(name[cut]) & 0xC0) == 0x80) --cut;
  return std::string(name.substr(0, cut));
}

void TDataAccess::CheckActive() const {
  if (!active_) throw EDataAccess("Datenmenge noch nicht initialisiert.");
}

void TDataAccess::CheckNotActive() const {
  if (active_) throw EDataAccess("Die Datenmenge ist bereits initialisiert.");
}

void TDataAccess::CheckIndex(std::int32_t index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= descs_.size()) {
    throw EDataAccess(Format("Index %d liegt ausserhalb der zulässigen Grenzen.", index));
  }
}

std::string TDataAccess::GetField(std::int32_t index) {
  CheckActive();
  CheckIndex(index);
  return "";
}

std::string_view TDataAccess::FieldText(std::int32_t index) {
  fieldText_ = GetField(index);
  return fieldText_;
}

TFieldDesc TDataAccess::GetFieldDesc(std::int32_t index) {
  CheckActive();
  CheckIndex(index);
  return descs_[static_cast<std::size_t>(index)];
}

std::int32_t TDataAccess::FieldCount() {
  CheckActive();
  return static_cast<std::int32_t>(descs_.size());
}

std::string TDataAccess::Description() {
  return "Datenzugriff Standardklasse\r\nkeine Funktionalität verfügbar";
}

void TDataAccess::First() { CheckActive(); }
void TDataAccess::Skip() { CheckActive(); }
void TDataAccess::Fetch() { CheckActive(); }
bool TDataAccess::Eof() {
  CheckActive();
  return true;
}

}  // namespace vld
