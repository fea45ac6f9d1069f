#include "tools/sample/sample_generator.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <memory>
#include <string_view>

#include "data/code_pages.h"
#include "data/csv_format.h"
#include "data/field_table.h"
#include "engine/files/xan_file.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/fatal.h"
#include "platform/paths.h"

namespace vld {
namespace {

// ---- deterministic randomness ----------------------------------------------------------------

std::uint64_t Mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

std::uint64_t Hash(std::uint64_t seed, std::uint64_t stream, std::uint64_t index) {
  return Mix(Mix(seed ^ (stream * 0xD1B54A32D192ED03ull)) ^ index);
}

class Rng {
 public:
  explicit Rng(std::uint64_t state) : state_(state) {}
  std::uint64_t Next() { return Mix(state_++); }
  // 0 <= result < n
  std::size_t Below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(Next() % n); }
  bool Percent(int p) { return static_cast<int>(Next() % 100) < p; }
  template <typename T>
  const T& Pick(const std::vector<T>& v) {
    return v[Below(v.size())];
  }

 private:
  std::uint64_t state_;
};

// ---- text helpers (UTF-8) --------------------------------------------------------------------

std::u32string Decode(std::string_view s) {
  std::u32string out;
  std::size_t pos = 0;
  while (pos < s.size()) {
    const auto c = DecodeUtf8(s, pos);
    out.push_back(c ? *c : U'?');
  }
  return out;
}

std::string Encode(const std::u32string& s) {
  std::string out;
  for (char32_t c : s) AppendUtf8(out, c);
  return out;
}

void ReplaceAll(std::string& s, std::string_view from, std::string_view to) {
  for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
    s.replace(at, from.size(), to);
  }
}

bool Contains(std::string_view s, std::string_view part) {
  return s.find(part) != std::string_view::npos;
}

std::string WithoutUmlauts(std::string s) {
  static const std::array<std::pair<const char*, const char*>, 6> kMap = {
      {{"ä", "ae"}, {"ö", "oe"}, {"ü", "ue"}, {"Ä", "Ae"}, {"Ö", "Oe"}, {"Ü", "Ue"}}};
  for (const auto& [from, to] : kMap) ReplaceAll(s, from, to);
  return s;
}

std::string Upper(std::string_view s) {
  std::u32string u = Decode(s);
  std::u32string out;
  for (char32_t c : u) {
    if (c >= U'a' && c <= U'z') {
      out.push_back(c - 32);
    } else if (c == U'ä' || c == U'ö' || c == U'ü' || c == U'é') {
      out.push_back(c - 32);
    } else if (c == U'ß') {
      out += U"SS";
    } else {
      out.push_back(c);
    }
  }
  return Encode(out);
}

// A typing error: two letters swapped, one left out, one doubled or one replaced by a neighbour
// on the German keyboard.
std::string Typo(std::string_view s, Rng& rng) {
  std::u32string u = Decode(s);
  if (u.size() < 4) return std::string(s);
  const std::size_t i = 1 + rng.Below(u.size() - 2);
  if (u[i] == U' ' || u[i] == U'-' || u[i] == U'.') return std::string(s);
  static const std::u32string kRows[] = {U"qwertzuiopü", U"asdfghjklöä", U"yxcvbnm"};
  switch (rng.Below(4)) {
    case 0:
      std::swap(u[i], u[i + 1]);
      break;
    case 1:
      u.erase(i, 1);
      break;
    case 2:
      u.insert(i, 1, u[i]);
      break;
    default:
      for (const std::u32string& row : kRows) {
        const std::size_t at = row.find(u[i]);
        if (at == std::u32string::npos) continue;
        u[i] = at + 1 < row.size() ? row[at + 1] : row[at - 1];
        break;
      }
  }
  return Encode(u);
}

// Spelling groups of common German names.
const std::vector<std::vector<std::string>>& NameGroups() {
  static const std::vector<std::vector<std::string>> kGroups = {
      {"Meier", "Maier", "Meyer", "Mayer", "Mayr"},
      {"Schmidt", "Schmitt", "Schmid", "Schmitz"},
      {"Schulz", "Schultz", "Schulze", "Schultze"},
      {"Hoffmann", "Hofmann", "Hoffman"},
      {"Schäfer", "Schaefer", "Schäffer"},
      {"Schröder", "Schroeder", "Schröter"},
      {"Becker", "Bäcker", "Becher"},
      {"Wagner", "Wegner", "Waggner"},
      {"Lehmann", "Lehman"},
      {"Neumann", "Naumann", "Neuman"},
      {"Krause", "Kraus", "Krauss", "Krauß"},
      {"Walter", "Walther"},
      {"Herrmann", "Hermann", "Herman"},
      {"Wolf", "Wolff"},
      {"Vogt", "Voigt", "Vogd"},
      {"Brandt", "Brand", "Brant"},
      {"Dietrich", "Dittrich", "Dieterich"},
      {"Haas", "Haase", "Hase"},
      {"Graf", "Graff", "Graaf"},
      {"Seidel", "Seidl"},
      {"Zimmermann", "Zimmerman"},
      {"Hartmann", "Hartman"},
      {"Lange", "Lang"},
      {"Frank", "Franck"},
      {"Christoph", "Christof"},
      {"Stefan", "Stephan"},
      {"Katrin", "Kathrin", "Catrin"},
      {"Matthias", "Mathias"},
      {"Ralf", "Ralph"},
      {"Karl", "Carl"},
      {"Klaus", "Claus"},
      {"Claudia", "Klaudia"},
      {"Günther", "Günter", "Gunther"},
      {"Jörg", "Joerg"},
      {"Josef", "Joseph"},
      {"Elisabeth", "Elisabet"},
      {"Sabine", "Sabina"},
  };
  return kGroups;
}

std::string SpellingVariant(const std::string& name, Rng& rng) {
  for (const auto& group : NameGroups()) {
    const auto it = std::find(group.begin(), group.end(), name);
    if (it == group.end()) continue;
    std::string other = group[rng.Below(group.size() - 1)];
    if (other == name) other = group.back();
    return other;
  }
  return Typo(name, rng);
}

// "Hauptstr." <-> "Hauptstraße" / "Hauptstrasse", "Am Markt" stays.
std::string StreetVariant(std::string street, Rng& rng) {
  const bool sharp = rng.Percent(70);
  if (street.size() >= 4 && street.ends_with("str.")) {
    street.replace(street.size() - 4, 4, sharp ? "straße" : "strasse");
  } else if (street.size() >= 4 && street.ends_with("Str.")) {
    street.replace(street.size() - 4, 4, sharp ? "Straße" : "Strasse");
  } else if (street.ends_with("straße")) {
    street.replace(street.size() - std::string_view("straße").size(), std::string::npos, "str.");
  } else if (street.ends_with("Straße")) {
    street.replace(street.size() - std::string_view("Straße").size(), std::string::npos, "Str.");
  } else if (Contains(street, "ß")) {
    ReplaceAll(street, "ß", "ss");
  } else {
    street = Typo(street, rng);
  }
  return street;
}

// "12a" -> "12 a", "12 A", "12A"; a number without letter is glued to the street instead
// ("Hauptstr.12"), marked by a leading '+'.
std::string HouseNumberVariant(const std::string& number, Rng& rng) {
  std::string digits, letter;
  for (char c : number) {
    if (c >= '0' && c <= '9') {
      digits.push_back(c);
    } else if (c != ' ' && c != '+') {
      letter.push_back(c);
    }
  }
  if (letter.empty()) return "+" + digits;
  const std::string lower = std::string(1, static_cast<char>(std::tolower(letter[0])));
  const std::string upper = std::string(1, static_cast<char>(std::toupper(letter[0])));
  switch (rng.Below(3)) {
    case 0:
      return digits + " " + lower;
    case 1:
      return digits + " " + upper;
    default:
      return digits + upper;
  }
}

std::string Trimmed(const std::string& s) {
  const std::size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::string LegalFormVariant(const std::string& company, Rng& rng) {
  std::string s = company;
  if (Contains(s, "GmbH")) {
    static const char* kForms[] = {"G.m.b.H.", "Gmbh", "GMBH", "Gesellschaft mbH"};
    ReplaceAll(s, "GmbH", kForms[rng.Below(4)]);
  } else if (Contains(s, "& Co. KG")) {
    ReplaceAll(s, "& Co. KG", rng.Percent(50) ? "& Co KG" : "und Co. KG");
  } else if (s.ends_with(" AG")) {
    s.replace(s.size() - 3, 3, " Aktiengesellschaft");
  } else if (s.ends_with(" e.V.")) {
    s.replace(s.size() - 5, 5, " eV");
  } else if (Contains(s, " & ")) {
    ReplaceAll(s, " & ", " und ");
  } else {
    const std::size_t last = s.rfind(' ');
    if (last != std::string::npos) s.erase(last);  // the legal form left out
  }
  return s;
}

const std::vector<std::string>& Trades() {
  static const std::vector<std::string> kTrades = {
      "Bau",      "Elektro",   "Immobilien",   "Logistik",  "Metallbau",   "Druckerei",
      "Autohaus", "Bäckerei",  "Steuerbüro",   "Gartenbau", "Haustechnik", "Transporte",
      "Software", "Reisebüro", "Malerbetrieb", "Getränke",  "Fleischerei", "Optik"};
  return kTrades;
}

std::vector<std::string> ReadLines(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw EUserError("Die Namensliste \"" + file + "\" fehlt.");
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  if (lines.empty()) throw EUserError("Die Namensliste \"" + file + "\" ist leer.");
  return lines;
}

// Rows of a comma-separated list without its header row.
std::vector<std::vector<std::string>> ReadCsv(const std::string& file) {
  std::vector<std::vector<std::string>> rows;
  const std::vector<std::string> lines = ReadLines(file);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::vector<std::string> values;
    SplitCsvRecord(lines[i], ',', '"', values);
    rows.push_back(std::move(values));
  }
  if (rows.empty()) throw EUserError("Die Namensliste \"" + file + "\" ist leer.");
  return rows;
}

// The lowest number of bits b, even, with 2^b >= n.
int PermutationBits(std::int64_t n) {
  int bits = 2;
  while ((std::int64_t{1} << bits) < n) bits += 2;
  return bits;
}

}  // namespace

// ---- word lists --------------------------------------------------------------------------------

TSampleWordLists LoadSampleWordLists(const std::string& dataFolder, const std::string& plzCsv) {
  TSampleWordLists lists;
  for (const auto& row : ReadCsv(JoinPath(dataFolder, "first_names_de.csv"))) {
    if (row.size() >= 2) lists.firstNames.push_back({row[0], row[1] == "f"});
  }
  for (const auto& row : ReadCsv(JoinPath(dataFolder, "last_names_de.csv"))) {
    if (!row.empty()) lists.lastNames.push_back(row[0]);
  }
  lists.streets = ReadLines(JoinPath(dataFolder, "street_names_de.txt"));
  for (const auto& row : ReadCsv(JoinPath(dataFolder, "company_legal_forms_de.csv"))) {
    if (row.size() < 2) continue;
    const int weight = std::max(1, std::atoi(row[1].c_str()));
    for (int i = 0; i < weight; ++i) lists.legalForms.push_back(row[0]);
  }
  for (const auto& row : ReadCsv(JoinPath(dataFolder, "name_affixes_de.csv"))) {
    if (row.size() >= 2 && row[1].starts_with("prefix") && row[0] != "Herr" && row[0] != "Frau") {
      lists.titles.push_back(row[0]);
    }
  }
  for (const auto& row : ReadCsv(plzCsv)) {
    if (row.size() >= 3 && row[1].size() == 5) lists.places.push_back({row[1], row[2]});
  }
  if (lists.firstNames.empty() || lists.lastNames.empty() || lists.legalForms.empty() ||
      lists.titles.empty() || lists.places.empty()) {
    throw EUserError("Die Namenslisten in \"" + dataFolder + "\" sind unvollständig.");
  }
  return lists;
}

// ---- entities ---------------------------------------------------------------------------------

struct TSampleGenerator::Entity {
  std::string anrede, titel, vorname, nachname, firma, street, number, plz, ort;
};

TSampleGenerator::TSampleGenerator(const TSampleWordLists& lists, const TSampleOptions& options)
    : lists_(lists), options_(options) {
  if (options_.count < 1 || options_.count > 4000000000ll) {
    throw EUserError("Die Anzahl der Datensätze muss zwischen 1 und 4000000000 liegen.");
  }
  if (options_.kind == TSampleKind::kPersons) {
    columns_ = {"Nr", "Anrede", "Titel", "Vorname", "Nachname", "Straße", "PLZ", "Ort"};
    widths_ = {10, 10, 20, 40, 40, 50, 5, 50};
  } else {
    columns_ = {"Nr", "Firma", "Vorname", "Nachname", "Straße", "PLZ", "Ort"};
    widths_ = {10, 80, 40, 40, 50, 5, 50};
  }
  // Cluster sizes: most entities once, the others two to five times.
  std::int64_t records = 0;
  for (std::uint64_t e = 0; records < options_.count; ++e) {
    starts_.push_back(static_cast<std::uint32_t>(records));
    Rng rng(Hash(options_.seed, 1, e));
    int size = 1;
    if (rng.Percent(options_.duplicatePercent)) {
      const int r = static_cast<int>(rng.Below(100));
      size = r < 60 ? 2 : r < 88 ? 3 : r < 96 ? 4 : 5;
    }
    records += size;
  }
  permutationBits_ = PermutationBits(options_.count);
}

std::int64_t TSampleGenerator::Permute(std::int64_t p) const {
  // A Feistel network over 2^bits values, walked until it lands inside the count.
  const int half = permutationBits_ / 2;
  const std::uint64_t mask = (std::uint64_t{1} << half) - 1;
  std::uint64_t x = static_cast<std::uint64_t>(p);
  do {
    std::uint64_t left = x >> half, right = x & mask;
    for (std::uint64_t round = 0; round < 4; ++round) {
      const std::uint64_t f = Hash(options_.seed, 100 + round, right) & mask;
      const std::uint64_t next = left ^ f;
      left = right;
      right = next;
    }
    x = (left << half) | right;
  } while (x >= static_cast<std::uint64_t>(options_.count));
  return static_cast<std::int64_t>(x);
}

TSampleGenerator::Entity TSampleGenerator::MakeEntity(std::int64_t e) const {
  const auto u = static_cast<std::uint64_t>(e);
  const auto household = [&](std::uint64_t k) { return Hash(options_.seed, 2, k) % 100 < 7; };
  // Names and address of one entity number, before households and namesakes.
  const auto names = [&](std::uint64_t k, Entity& out) {
    Rng rng(Hash(options_.seed, 3, k));
    const auto& first = rng.Pick(lists_.firstNames);
    out.vorname = first.name;
    out.anrede = first.female ? "Frau" : "Herr";
    out.nachname = rng.Pick(lists_.lastNames);
    if (rng.Percent(3)) out.nachname += "-" + rng.Pick(lists_.lastNames);
  };
  const auto address = [&](std::uint64_t k, Entity& out) {
    Rng rng(Hash(options_.seed, 4, k));
    out.street = rng.Pick(lists_.streets);
    out.number = std::to_string(1 + rng.Below(rng.Percent(70) ? 60 : 200));
    if (rng.Percent(12)) out.number.push_back(static_cast<char>('a' + rng.Below(4)));
    const auto& place = rng.Pick(lists_.places);
    out.plz = place.plz;
    out.ort = place.place;
  };
  Entity entity;
  Rng rng(Hash(options_.seed, 5, u));
  names(rng.Percent(2) && u >= 17 ? u - 17 : u, entity);  // a namesake of another entity
  const bool sharesAddress = u > 0 && household(u) && !household(u - 1);
  address(sharesAddress ? u - 1 : u, entity);
  if (options_.kind == TSampleKind::kPersons) {
    if (sharesAddress) {  // a household: the last name of the one before, another first name
      Entity before;
      names(u - 1, before);
      entity.nachname = before.nachname;
    }
    if (rng.Percent(7)) entity.titel = rng.Pick(lists_.titles);
  } else {
    Rng company(Hash(options_.seed, 6, u));
    const std::string& form = company.Pick(lists_.legalForms);
    const std::string& a = company.Pick(lists_.lastNames);
    switch (company.Below(4)) {
      case 0:
        entity.firma = a + " " + form;
        break;
      case 1:
        entity.firma = a + " & " + company.Pick(lists_.lastNames) + " " + form;
        break;
      case 2:
        entity.firma = a + " " + company.Pick(Trades()) + " " + form;
        break;
      default:
        entity.firma = company.Pick(Trades()) + " " + a + " " + form;
    }
    if (company.Percent(3)) entity.firma = "\"" + company.Pick(Trades()) + "\" " + entity.firma;
    if (!company.Percent(60)) entity.vorname = entity.nachname = "";
  }
  return entity;
}

TSampleRecord TSampleGenerator::Record(std::int64_t p) const {
  if (p < 0 || p >= options_.count) Fatal("sample record out of range");
  const std::int64_t r = Permute(p);
  const auto it = std::upper_bound(starts_.begin(), starts_.end(), static_cast<std::uint32_t>(r));
  const std::int64_t e = (it - starts_.begin()) - 1;
  const std::int64_t copy = r - starts_[static_cast<std::size_t>(e)];
  Entity x = MakeEntity(e);
  const bool persons = options_.kind == TSampleKind::kPersons;
  if (copy > 0) {
    Rng rng(Hash(options_.seed, 7, static_cast<std::uint64_t>(r)));
    const int roll = static_cast<int>(rng.Below(100));
    const int variants = roll < 50 ? 1 : roll < 85 ? 2 : 3;
    for (int v = 0; v < variants; ++v) {
      switch (rng.Below(persons ? 14 : 12)) {
        case 0:
          x.nachname = SpellingVariant(x.nachname, rng);
          break;
        case 1:
          x.street = StreetVariant(x.street, rng);
          break;
        case 2: {  // umlauts as ae, oe, ue; ß as ss
          std::string* fields[] = {&x.vorname, &x.nachname, &x.firma, &x.street, &x.ort};
          for (std::string* f : fields) {
            *f = WithoutUmlauts(*f);
            ReplaceAll(*f, "ß", "ss");
          }
          break;
        }
        case 3:
          if (persons || !x.firma.empty()) {
            std::string& target = persons ? x.nachname : x.firma;
            target = Typo(target, rng);
          }
          break;
        case 4:
          x.street = Typo(x.street, rng);
          break;
        case 5:
          x.number = HouseNumberVariant(x.number, rng);
          break;
        case 6:
          x.number.clear();
          break;
        case 7:
          x.vorname = SpellingVariant(x.vorname, rng);
          break;
        case 8:
          if (!x.vorname.empty())
            x.vorname = Decode(x.vorname).size() > 1 ? Encode(Decode(x.vorname).substr(0, 1)) + "."
                                                     : x.vorname;
          break;
        case 9:
          if (persons) {
            x.nachname = Upper(x.nachname);
          } else {
            x.firma = Upper(x.firma);
          }
          break;
        case 10:
          if (persons) {
            std::swap(x.vorname, x.nachname);
          } else {
            x.firma = LegalFormVariant(x.firma, rng);
          }
          break;
        case 11:
          if (persons) {
            x.anrede.clear();
          } else {
            x.vorname = x.nachname = "";  // the contact person left out
          }
          break;
        case 12:  // the title added to the first name, or dropped
          if (x.titel.empty()) {
            x.vorname = "Dr. " + x.vorname;
          } else if (rng.Percent(50)) {
            x.titel.clear();
          } else {
            x.vorname = x.titel + " " + x.vorname;
            x.titel.clear();
          }
          break;
        default:
          x.vorname.clear();
          break;
      }
    }
  }
  std::string street = x.street;
  if (!x.number.empty() && x.number[0] == '+') {
    street += x.number.substr(1);
  } else if (!x.number.empty()) {
    street += " " + x.number;
  }
  TSampleRecord out;
  out.entity = e + 1;
  const std::string nr = std::to_string(p + 1);
  if (persons) {
    out.values = {nr, x.anrede, x.titel, x.vorname, x.nachname, street, x.plz, x.ort};
  } else {
    out.values = {nr, x.firma, x.vorname, x.nachname, street, x.plz, x.ort};
  }
  // A fixed-width file cannot tell blanks at the end of a value from its padding.
  for (std::string& value : out.values) value = Trimmed(value);
  return out;
}

// ---- files ------------------------------------------------------------------------------------

namespace {

class OutFile {
 public:
  explicit OutFile(const std::string& name) : file_(name) {
    file_.SetBufferSize(1 << 20);
    file_.Open(kXanCreate | kXanAlways | kXanWrite | kXanSequential);
  }
  void Write(std::string_view text) { file_.WriteText(text); }
  void Close() { file_.Close(); }

 private:
  TXanBufferedFile file_;
};

class SqliteTable {
 public:
  SqliteTable(const std::string& fileName, const std::vector<std::string>& columns,
              const std::vector<int>& widths) {
    std::remove(fileName.c_str());
    if (sqlite3_open(fileName.c_str(), &db_) != SQLITE_OK) Fail("öffnen");
    std::string create = "CREATE TABLE adressen (";
    std::string insert = "INSERT INTO adressen VALUES (";
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) {
        create += ", ";
        insert += ", ";
      }
      create += "\"" + columns[i] + "\" " +
                (i == 0 ? std::string("INTEGER") : "VARCHAR(" + std::to_string(widths[i]) + ")");
      insert += "?";
    }
    Exec(create + ")");
    Exec("BEGIN");
    if (sqlite3_prepare_v2(db_, (insert + ")").c_str(), -1, &insert_, nullptr) != SQLITE_OK) {
      Fail("vorbereiten");
    }
  }
  ~SqliteTable() {
    if (insert_ != nullptr) sqlite3_finalize(insert_);
    if (db_ != nullptr) sqlite3_close(db_);
  }
  void Add(const std::vector<std::string>& values) {
    sqlite3_reset(insert_);
    sqlite3_bind_int64(insert_, 1, std::atoll(values[0].c_str()));
    for (std::size_t i = 1; i < values.size(); ++i) {
      sqlite3_bind_text(insert_, static_cast<int>(i + 1), values[i].data(),
                        static_cast<int>(values[i].size()), SQLITE_TRANSIENT);
    }
    if (sqlite3_step(insert_) != SQLITE_DONE) Fail("schreiben");
  }
  void Finish() { Exec("COMMIT"); }

 private:
  void Exec(const std::string& sql) {
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail("schreiben");
  }
  [[noreturn]] void Fail(const char* what) {
    throw EUserError(std::string("Die SQLite-Datenbank kann nicht ") + what +
                     " werden: " + (db_ != nullptr ? sqlite3_errmsg(db_) : "?"));
  }
  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
};

}  // namespace

std::vector<std::string> WriteSampleFiles(const TSampleGenerator& generator,
                                          const TSampleFiles& files) {
  const std::string base = JoinPath(files.folder, files.baseName);
  const std::vector<std::string>& columns = generator.Columns();
  const std::vector<int>& widths = generator.FixedWidths();
  std::vector<std::string> written;
  std::unique_ptr<OutFile> utf8, cp1252, fixed, truth;
  std::unique_ptr<SqliteTable> sqlite;
  std::string header;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) header.push_back(';');
    AppendCsvValue(header, columns[i], ';', '"');
  }
  if (files.csvUtf8) {
    written.push_back(base + ".csv");
    utf8 = std::make_unique<OutFile>(written.back());
    utf8->Write(header + "\n");
  }
  if (files.csv1252) {
    written.push_back(base + "_1252.csv");
    cp1252 = std::make_unique<OutFile>(written.back());
    cp1252->Write(FromUtf8(header, CodePage::k1252) + "\r\n");
  }
  if (files.fixedWidth) {
    written.push_back(base + ".txt");
    fixed = std::make_unique<OutFile>(written.back());
  }
  if (files.sqlite) {
    written.push_back(base + ".db");
    sqlite = std::make_unique<SqliteTable>(written.back(), columns, widths);
  }
  if (files.truth) {
    written.push_back(base + "_wahrheit.csv");
    truth = std::make_unique<OutFile>(written.back());
    truth->Write("Nr;Entitaet\n");
  }
  std::vector<std::size_t> widest(columns.size(), 1);
  std::string line, record;
  for (std::int64_t p = 0; p < generator.Count(); ++p) {
    const TSampleRecord r = generator.Record(p);
    line.clear();
    for (std::size_t i = 0; i < r.values.size(); ++i) {
      if (i > 0) line.push_back(';');
      AppendCsvValue(line, r.values[i], ';', '"');
    }
    if (utf8) utf8->Write(line + "\n");
    if (cp1252) cp1252->Write(FromUtf8(line, CodePage::k1252) + "\r\n");
    if (fixed) {
      record.clear();
      for (std::size_t i = 0; i < r.values.size(); ++i) {
        std::string value = RecordText(r.values[i], CodePage::kUtf8);
        const auto width = static_cast<std::size_t>(widths[i]);
        if (value.size() > width) value.resize(width);
        widest[i] = std::max(widest[i], value.size());
        record += value;
        record.append(width - value.size(), ' ');
      }
      fixed->Write(record + "\r\n");
    }
    if (sqlite) sqlite->Add(r.values);
    if (truth) truth->Write(r.values[0] + ";" + std::to_string(r.entity) + "\n");
  }
  if (utf8) utf8->Close();
  if (cp1252) cp1252->Close();
  if (truth) truth->Close();
  if (sqlite) sqlite->Finish();
  if (fixed) {
    fixed->Close();
    // The field list: positions of the file, lengths of the widest value written.
    TFieldTable list;
    std::string text = "Feld;Position;Länge;Typ\n";
    int position = 1;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const auto length = static_cast<std::int32_t>(widest[i]);
      list.Append(columns[i], position, length, -1);
      text += columns[i] + ";" + std::to_string(position) + ";" + std::to_string(length) + ";\n";
      position += widths[i];
    }
    written.push_back(base + "_felder.txt");
    OutFile listText(written.back());
    listText.Write(text);
    listText.Close();
    written.push_back(base + ".fls");
    list.SaveToFile(written.back());
  }
  return written;
}

}  // namespace vld
