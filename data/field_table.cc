#include "data/field_table.h"

#include <algorithm>
#include <charconv>

#include "data/csv_format.h"
#include "data/field_types.h"
#include "engine/files/xan_file.h"
#include "params/param_text.h"
#include "platform/checked.h"
#include "platform/codepage.h"
#include "platform/fatal.h"
#include "platform/le_codec.h"

namespace vld {
namespace {

constexpr std::size_t kHeaderSize = 40;
constexpr std::size_t kRowFixedSize = 18;
constexpr std::size_t kMaxNameBytes = 200;

[[noreturn]] void Damaged(const std::string& fileName) {
  throw EDataAccess(Format("Die Feldliste \"%s\" ist beschädigt.", fileName.c_str()));
}

std::string ReadWholeFile(const std::string& fileName) {
  if (!FileExistsNotDirectory(fileName)) {
    throw EDataAccess(Format("Die Datei %s existiert nicht.", fileName.c_str()));
  }
  TXanFile file(fileName);
  file.Open(kXanRead | kXanShareRead);
  const std::int64_t size = file.Size();
  if (size > (64 << 20)) {
    file.Close();
    throw EDataAccess(Format("Die Datei \"%s\" ist keine Feldliste.", fileName.c_str()));
  }
  std::string bytes(static_cast<std::size_t>(size), '\0');
  file.ReadBytes(bytes.data(), size);
  file.Close();
  return bytes;
}

std::optional<std::int32_t> ParseInt(std::string_view text) {
  text = TrimBlanks(text);
  std::int32_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return v;
}

}  // namespace

void TFieldTable::Append(TFieldRow row) {
  if (!IsValidUtf8(row.felder)) row.felder = ToUtf8(row.felder, CodePage::kUtf8);
  if (CharCount(row.felder) > kFieldNameChars) row.felder = FirstChars(row.felder, kFieldNameChars);
  rows_.push_back(std::move(row));
}

void TFieldTable::Append(std::string felder, std::int32_t position, std::int32_t laenge,
                         std::int32_t typ) {
  std::int32_t id = 0;
  for (const TFieldRow& r : rows_) id = std::max(id, CheckedAdd(r.id, 1));
  Append(TFieldRow{id, std::move(felder), position, laenge, typ});
}

void TFieldTable::Delete(std::size_t index) {
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(CheckIndex(index, rows_.size())));
}

TFieldDescs TFieldTable::ToFieldDescs() const {
  TFieldDescs descs;
  descs.reserve(rows_.size());
  for (const TFieldRow& r : rows_) {
    descs.push_back(TFieldDesc{ShortFieldName(r.felder), r.position, r.laenge, r.typ});
  }
  return descs;
}

std::string TFieldTable::ToBytes() const {
  le::Writer w;
  w.Bytes(kFieldListMagic);
  w.U32(kFieldListVersion);
  w.U32(CheckedCast<std::uint32_t>(rows_.size()));
  for (const TFieldRow& r : rows_) {
    w.I32(r.id);
    w.I32(r.position);
    w.I32(r.laenge);
    w.I32(r.typ);
    if (r.felder.size() > kMaxNameBytes) Fatal("field name longer than its column");
    w.U16(static_cast<std::uint16_t>(r.felder.size()));
    w.Bytes(r.felder);
  }
  return w.Take();
}

void TFieldTable::SaveToFile(const std::string& fileName) const {
  const std::string bytes = ToBytes();
  TXanFile file(fileName);
  file.Open(kXanCreate | kXanAlways | kXanWrite);
  file.WriteBytes(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  file.Close();
}

void TFieldTable::LoadFromBytes(std::string_view bytes, const std::string& fileName) {
  rows_.clear();
  if (bytes.size() < kHeaderSize || bytes.substr(0, kFieldListMagic.size()) != kFieldListMagic) {
    throw EDataAccess(Format("Die Datei \"%s\" ist keine Feldliste.", fileName.c_str()));
  }
  le::Reader in(bytes);
  in.Skip(kFieldListMagic.size());
  const std::uint32_t version = in.U32();
  if (version != kFieldListVersion) {
    throw EDataAccess(
        Format("Die Feldliste \"%s\" hat die Version %u; lesen kann dieses Programm "
               "die Version %u.",
               fileName.c_str(), version, kFieldListVersion));
  }
  const std::uint32_t count = in.U32();
  if (count > in.Left() / kRowFixedSize) Damaged(fileName);
  std::vector<TFieldRow> rows;
  rows.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (in.Left() < kRowFixedSize) Damaged(fileName);
    TFieldRow r;
    r.id = in.I32();
    r.position = in.I32();
    r.laenge = in.I32();
    r.typ = in.I32();
    const std::uint16_t nameBytes = in.U16();
    if (nameBytes > kMaxNameBytes || nameBytes > in.Left()) Damaged(fileName);
    r.felder = std::string(in.Bytes(nameBytes));
    if (!IsValidUtf8(r.felder) || CharCount(r.felder) > kFieldNameChars) Damaged(fileName);
    rows.push_back(std::move(r));
  }
  if (!in.AtEnd()) Damaged(fileName);
  rows_ = std::move(rows);
}

void TFieldTable::LoadFromFile(const std::string& fileName) {
  rows_.clear();
  LoadFromBytes(ReadWholeFile(fileName), fileName);
}

void TFieldTable::LoadFromAnyFile(const std::string& fileName) {
  rows_.clear();
  const std::string bytes = ReadWholeFile(fileName);
  if (bytes.substr(0, std::min(bytes.size(), kFieldListMagic.size())) ==
          kFieldListMagic.substr(0, std::min(bytes.size(), kFieldListMagic.size())) &&
      !bytes.empty()) {
    LoadFromBytes(bytes, fileName);
  } else {
    LoadFromText(bytes, fileName);
  }
}

void TFieldTable::LoadFromText(std::string_view text, const std::string& fileName) {
  rows_.clear();
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  const bool utf8 = IsValidUtf8(text);
  std::vector<TFieldRow> rows;
  std::int64_t lineNumber = 0;
  std::size_t start = 0;
  std::vector<std::string> values;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(start, end - start));
    start = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!utf8) line = ToUtf8(line, CodePage::k1252);
    if (TrimBlanks(line).empty()) continue;
    SplitCsvRecord(line, ';', '"', values);
    const std::optional<std::int32_t> position =
        values.size() >= 3 ? ParseInt(values[1]) : std::nullopt;
    const std::optional<std::int32_t> length =
        values.size() >= 3 ? ParseInt(values[2]) : std::nullopt;
    if (rows.empty() && lineNumber == 1 && values.size() >= 3 && !position) continue;  // header
    const std::int32_t positionValue = position.value_or(0), lengthValue = length.value_or(0);
    if (values.size() < 3 || values.size() > 4 || positionValue < 1 || lengthValue < 1) {
      throw EDataAccess(
          Format("Die Feldliste \"%s\" ist in Zeile %lld fehlerhaft: erwartet wird "
                 "\"Feld;Position;Länge;Typ\" mit Position und Länge größer als 0.",
                 fileName.c_str(), static_cast<long long>(lineNumber)));
    }
    std::int32_t typ = kTypeIgnore;
    if (values.size() == 4 && !TrimBlanks(values[3]).empty()) {
      const auto parsed = ParseFieldType(values[3]);
      if (!parsed) {
        throw EDataAccess(
            Format("Die Feldliste \"%s\" nennt in Zeile %lld den unbekannten "
                   "Feldtyp \"%s\". Möglich sind: %s.",
                   fileName.c_str(), static_cast<long long>(lineNumber), values[3].c_str(),
                   FieldTypeNameList().c_str()));
      }
      typ = *parsed;
    }
    TFieldRow row{static_cast<std::int32_t>(rows.size()), std::string(TrimBlanks(values[0])),
                  positionValue, lengthValue, typ};
    if (CharCount(row.felder) > kFieldNameChars) {
      row.felder = FirstChars(row.felder, kFieldNameChars);
    }
    rows.push_back(std::move(row));
  }
  if (rows.empty()) {
    throw EDataAccess(Format("Die Feldliste \"%s\" enthält keine Felder.", fileName.c_str()));
  }
  rows_ = std::move(rows);
}

}  // namespace vld
