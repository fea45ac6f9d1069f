#include "tools/tables/plz_builder.h"

#include <algorithm>
#include <numeric>

#include "matching/table_file.h"
#include "platform/errors.h"
#include "platform/fatal.h"

namespace vld::tables {
namespace {

struct CsvRow {
  int line = 0;
  std::vector<std::string> fields;
};

// RFC 4180: fields separated by commas, quoted fields may hold commas, doubled quotes and
// line breaks. Rows end at LF (a CR before it is dropped). Empty lines are skipped.
std::vector<CsvRow> ParseCsv(std::string_view text, std::string_view file_name) {
  std::vector<CsvRow> rows;
  CsvRow row{1, {}};
  std::string field;
  bool quoted = false;
  bool field_begun = false;  // the current field has a character or its opening quote
  bool row_begun = false;    // the current row has a character or a comma
  int line = 1;
  auto end_row = [&] {
    if (row_begun) {
      row.fields.push_back(std::move(field));
      rows.push_back(std::move(row));
    }
    field.clear();
    row = CsvRow{line + 1, {}};
    field_begun = row_begun = false;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field.push_back('"');
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        if (c == '\n') ++line;
        field.push_back(c);
      }
    } else if (c == '"' && !field_begun) {
      quoted = field_begun = row_begun = true;
    } else if (c == ',') {
      row.fields.push_back(std::move(field));
      field.clear();
      field_begun = false;
      row_begun = true;
    } else if (c == '\n') {
      end_row();
      ++line;
    } else if (c != '\r') {
      field.push_back(c);
      field_begun = row_begun = true;
    }
  }
  if (quoted) {
    throw EUserError(Format("%.*s, Zeile %d: Ein Anführungszeichen wird nicht geschlossen.",
                            static_cast<int>(file_name.size()), file_name.data(), row.line));
  }
  end_row();
  return rows;
}

class UnionFind {
 public:
  explicit UnionFind(std::size_t n) : parent_(n) { std::iota(parent_.begin(), parent_.end(), 0); }
  std::size_t Find(std::size_t x) {
    while (parent_[x] != x) x = parent_[x] = parent_[parent_[x]];
    return x;
  }
  // The smaller root becomes the root, so a group's root is its smallest member.
  void Join(std::size_t a, std::size_t b) {
    a = Find(a);
    b = Find(b);
    if (a != b) parent_[std::max(a, b)] = std::min(a, b);
  }

 private:
  std::vector<std::size_t> parent_;
};

// The nearest code in use to `code` among those sharing its first `shared` digits (of
// `digits`), the lower one on a tie; -1 when none does.
std::int32_t NearestInBlock(const std::vector<std::int32_t>& used, std::int32_t code, int digits,
                            int shared) {
  const std::int32_t block = PowerOfTen(digits - shared);
  const std::int32_t low = code - code % block, high = low + block - 1;
  const auto it = std::lower_bound(used.begin(), used.end(), code);
  std::int32_t best = -1;
  if (it != used.begin() && *std::prev(it) >= low) best = *std::prev(it);
  if (it != used.end() && *it <= high && (best < 0 || *it - code < code - best)) best = *it;
  return best;
}

}  // namespace

PostalPlaces ReadGeoNamesCsv(std::string_view text, std::string_view file_name) {
  const std::string name(file_name);
  const std::vector<CsvRow> rows = ParseCsv(text, file_name);
  if (rows.empty())
    throw EUserError(Format("%s: Die Datei enthält keine Postleitzahl.", name.c_str()));
  const std::vector<std::string>& header = rows[0].fields;
  auto column = [&](const char* wanted) {
    const auto it = std::find(header.begin(), header.end(), wanted);
    if (it == header.end())
      throw EUserError(Format("%s: Die Spalte \"%s\" fehlt.", name.c_str(), wanted));
    return static_cast<std::size_t>(it - header.begin());
  };
  const std::size_t zip = column("zipcode"), place = column("place"),
                    community = column("community_code");
  PostalPlaces places;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    const CsvRow& row = rows[r];
    if (row.fields.size() != header.size()) {
      throw EUserError(Format("%s, Zeile %d: Die Zeile hat %d statt %d Felder.", name.c_str(),
                              row.line, static_cast<int>(row.fields.size()),
                              static_cast<int>(header.size())));
    }
    const std::string& code = row.fields[zip];
    if (code.size() != 5 ||
        !std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      throw EUserError(Format("%s, Zeile %d: Die Postleitzahl \"%s\" hat nicht genau fünf Ziffern.",
                              name.c_str(), row.line, code.c_str()));
    }
    places[std::stoi(code)].insert(row.fields[place] + '\x1f' + row.fields[community]);
  }
  if (places.empty())
    throw EUserError(Format("%s: Die Datei enthält keine Postleitzahl.", name.c_str()));
  return places;
}

PostalPlaces ReadGeoNamesFile(const std::string& file) {
  constexpr std::size_t kLimit = 64 << 20;
  if (!TableFileExists(file)) throw EUserError(FormatFileMessage(kTableFileMissingText, file));
  const auto bytes = ReadTableFile(file, 0, kLimit + 1);
  if (!bytes || bytes->size() > kLimit) {
    throw EUserError(FormatFileMessage("Die Datei \"%s\" kann nicht gelesen werden.", file));
  }
  return ReadGeoNamesCsv(
      std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), file);
}

std::vector<std::int32_t> Representatives(const PostalPlaces& places, int digits) {
  if (digits < 3 || digits > 5 || places.empty()) Fatal("Representatives: arguments");
  const std::int32_t count = PowerOfTen(digits);
  const std::int32_t divisor = PowerOfTen(5 - digits);

  // 1. Codes in use and the places they serve.
  std::map<std::string, std::vector<std::int32_t>> codes_of_place;
  std::vector<bool> in_use(static_cast<std::size_t>(count), false);
  for (const auto& [postal, served] : places) {
    const std::int32_t code = postal / divisor;
    in_use[static_cast<std::size_t>(code)] = true;
    for (const std::string& p : served) codes_of_place[p].push_back(code);
  }
  // 2. Link the codes serving one place; each group's root is its smallest code.
  UnionFind groups(static_cast<std::size_t>(count));
  for (const auto& [p, codes] : codes_of_place) {
    for (std::int32_t c : codes)
      groups.Join(static_cast<std::size_t>(codes[0]), static_cast<std::size_t>(c));
  }
  std::vector<std::int32_t> used;
  for (std::int32_t c = 0; c < count; ++c) {
    if (in_use[static_cast<std::size_t>(c)]) used.push_back(c);
  }
  // 3. Every code takes the representative of itself or of its nearest code in use.
  std::vector<std::int32_t> rep(static_cast<std::size_t>(count));
  for (std::int32_t c = 0; c < count; ++c) {
    std::int32_t source = c;
    if (!in_use[static_cast<std::size_t>(c)]) {
      for (int shared = digits - 2; shared >= 0; --shared) {
        source = NearestInBlock(used, c, digits, shared);
        if (source >= 0) break;
      }
    }
    rep[static_cast<std::size_t>(c)] =
        static_cast<std::int32_t>(groups.Find(static_cast<std::size_t>(source)));
  }
  return rep;
}

PlzMappingContents BuildPlzMapping(const PostalPlaces& places, int digits) {
  const std::vector<std::int32_t> rep = Representatives(places, digits);
  PlzMappingContents mapping;
  mapping.digits = digits;
  mapping.offsets.resize(rep.size());
  for (std::size_t c = 0; c < rep.size(); ++c) {
    mapping.offsets[c] = rep[c] - static_cast<std::int32_t>(c);
  }
  const std::optional<int> bits = BitsForOffsets(mapping.offsets);
  if (!bits) throw EUserError("Die Abstände der PLZ-Abbildung passen nicht in 24 Bit.");
  mapping.bits = *bits;
  return mapping;
}

}  // namespace vld::tables
