// The sample generator: realistic German address files with known duplicates, for demos,
// tests and benchmarks.
//
// Entities (persons, or companies with an optional contact person) are drawn from the word
// lists (first and last names, streets, legal forms, titles) and the postal codes with their
// places. About a fifth of the entities occur more than once; every further record of an
// entity carries one to three of the variants German address files have: Meier/Maier/Meyer,
// ß/ss, Str./Straße, umlauts written ae/oe/ue, typing errors, first and last name swapped, a
// missing or differently written house number (12a, 12 a, 12 A), a title "Dr." added or dropped,
// an initial for the first name, capitals, legal forms written differently (GmbH, G.m.b.H.).
// Households (same last name and address, another first name) and namesakes elsewhere are
// different entities, so that a matcher must tell them apart.
//
// Everything is derived from the seed and the record's position: record p is computed on its
// own (a pseudo-random permutation spreads the records of an entity over the file), so files of
// any size are written in one streaming pass, and the same seed gives the same files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vld {

enum class TSampleKind { kPersons, kCompanies };

struct TSampleWordLists {
  struct FirstName {
    std::string name;
    bool female = false;
  };
  struct Place {
    std::string plz, place;
  };
  std::vector<FirstName> firstNames;
  std::vector<std::string> lastNames, streets, legalForms, titles;
  std::vector<Place> places;
};

// Reads the lists of `dataFolder` (first_names_de.csv, last_names_de.csv, street_names_de.txt,
// company_legal_forms_de.csv, name_affixes_de.csv) and the postal codes of `plzCsv`. Raises
// EUserError naming a missing or empty list.
TSampleWordLists LoadSampleWordLists(const std::string& dataFolder, const std::string& plzCsv);

struct TSampleOptions {
  TSampleKind kind = TSampleKind::kPersons;
  std::int64_t count = 1000;
  std::uint64_t seed = 1;
  // Share of entities with more than one record, in percent.
  int duplicatePercent = 20;
};

struct TSampleRecord {
  std::int64_t entity = 0;          // 1-based true entity
  std::vector<std::string> values;  // UTF-8, one per column
};

class TSampleGenerator {
 public:
  TSampleGenerator(const TSampleWordLists& lists, const TSampleOptions& options);
  const std::vector<std::string>& Columns() const { return columns_; }
  // Widths of the fixed-width file, per column.
  const std::vector<int>& FixedWidths() const { return widths_; }
  std::int64_t Count() const { return options_.count; }
  // Record at position p (0 <= p < Count()); its "Nr" is p + 1.
  TSampleRecord Record(std::int64_t p) const;

 private:
  struct Entity;
  Entity MakeEntity(std::int64_t e) const;
  std::int64_t Permute(std::int64_t p) const;

  const TSampleWordLists& lists_;
  TSampleOptions options_;
  std::vector<std::string> columns_;
  std::vector<int> widths_;
  std::vector<std::uint32_t> starts_;  // first record of each entity
  int permutationBits_ = 0;
};

struct TSampleFiles {
  std::string folder;
  std::string baseName = "stichprobe";
  bool csvUtf8 = true;     // <base>.csv, UTF-8, ';'
  bool csv1252 = true;     // <base>_1252.csv, Windows-1252, ';'
  bool fixedWidth = true;  // <base>.txt (code page 437, CR LF), <base>_felder.txt, <base>.fls
  bool sqlite = false;     // <base>.db, table "adressen"
  bool truth = true;       // <base>_wahrheit.csv: Nr;Entitaet
};

// Writes the chosen files; returns their names.
std::vector<std::string> WriteSampleFiles(const TSampleGenerator& generator,
                                          const TSampleFiles& files);

}  // namespace vld
