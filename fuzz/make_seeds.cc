// The seed generator of the fuzz targets: small valid inputs for every target, built with the
// product's own writers, plus the shipped product data of the build (tables, parameter sets,
// dark lists). The build runs it; nothing it makes is kept in the repository.
//
// Usage: veldrona-fuzz-seeds SEED_FOLDER PRODUCT_FOLDER
//   SEED_FOLDER     receives one folder per target (emptied first)
//   PRODUCT_FOLDER  the build's program folder holding "Tables" and "Params"
//
// Scrambled kinds are stored in their plain form (fuzz/fuzz_formats.h), as the targets take them.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/files/hash.h"
#include "engine/pipeline/output_chain.h"
#include "engine/runtime/heap.h"
#include "fuzz/fuzz_formats.h"
#include "matching/dark_lists.h"
#include "matching/match_document.h"
#include "matching/norm.h"
#include "matching/plz.h"
#include "params/match_schema.h"
#include "params/param_file.h"
#include "platform/errors.h"
#include "platform/le_codec.h"

namespace vld::fuzz {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw EUserError("Die Datei \"" + file.string() + "\" gibt es nicht.");
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class Seeds {
 public:
  Seeds(fs::path root, fs::path product) : root_(std::move(root)), product_(std::move(product)) {
    fs::remove_all(root_);
    fs::create_directories(root_ / "tmp");
  }
  ~Seeds() {
    std::error_code ignored;
    fs::remove_all(root_ / "tmp", ignored);
  }

  void Put(const std::string& target, const std::string& name, std::string_view bytes) {
    fs::create_directories(root_ / target);
    std::ofstream out(root_ / target / name, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw EUserError("Der Keim \"" + name + "\" kann nicht geschrieben werden.");
  }
  void Put(const std::string& target, const std::string& name,
           const std::vector<std::uint8_t>& bytes) {
    Put(target, name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  // A shipped file of the product folder, as it is.
  void Shipped(const std::string& target, const std::string& relative) {
    Put(target, fs::path(relative).filename().string(), ReadBytes(product_ / relative));
  }
  std::string Temporary(const std::string& name) const { return (root_ / "tmp" / name).string(); }

 private:
  fs::path root_;
  fs::path product_;
};

void ParamSeeds(Seeds& seeds) {
  const auto schema = BuildMatchParamSchema();
  TParamSet set;
  set.root.reset(static_cast<TParamTVRecord*>(schema->NewValue().release()));
  seeds.Put("param_file_fuzz", "neu.par", ParamSetBytes(set));
  set.hide_level = 3;
  set.edit_level = 2;
  seeds.Put("param_file_fuzz", "stufen.par", ParamSetBytes(set));
  seeds.Shipped("param_file_fuzz", "Params/Privatadressen.par");
  seeds.Shipped("param_file_fuzz", "Params/Firmenadressen.par");
}

TMatchDocFileEntry Row(std::uint8_t type, std::int32_t records, std::int32_t duplicates,
                       const char* ident, const char* name) {
  TMatchDocFileEntry e;
  e.type = type;
  e.withPriorities = type == 1;
  e.priority = 4 + type;
  e.ident = ident;
  e.name = name;
  e.records = records;
  e.intra = duplicates / 2;
  e.duplicates = duplicates;
  e.blocks = duplicates / 3;
  e.netShare = records - duplicates;
  e.multiHeads = duplicates / 4;
  return e;
}

// A document of `files` input files with every table filled; `matrixType` 0..2.
TMatchDocument Document(int files, std::uint8_t matrixType) {
  TMatchDocument d;
  d.multiDuplicates = true;
  d.fileMarking = static_cast<std::uint8_t>(files % 3);
  d.maxNameLength = 30;
  d.typeSymbols = {'G', 'M', 'S', 'K'};
  d.prioSymbol = '+';
  d.matrixType = matrixType;
  d.totalRecords = 100 * files;
  d.totalBlocks = 7;
  d.headText = "Kopf der Statistik";
  d.jobText = "Lauf 1";
  d.netShareText = "90,00";
  d.infoLines = {"~Mitte", "M\xfcller"};
  d.columnMap = {-11, -12, -13, -15, -14, -2, -3, -4, -5, -6, -7, -8, -9, -10, 1, 2};
  d.rows.clear();
  for (int f = 0; f < files; ++f) {
    d.rows.push_back(Row(static_cast<std::uint8_t>(f % 4), 100, 10 + f, "K01", "kunden.txt"));
  }
  d.rows.push_back(Row(0, 100 * files, 12, "", ""));
  for (int c = 0; c < 2; ++c) {
    TMatchDocAddColEntry column;
    column.cells.assign(static_cast<std::size_t>(files) + 4, "Bemerkung");
    column.sumWithout = c == 0;
    column.sumWith = c == 1;
    column.alignment = static_cast<std::uint8_t>(c);
    d.addColumns.push_back(column);
  }
  d.ratingData = {3, 4, 5};
  if (files > 1) {
    for (int r = 1; r <= files; ++r) {
      d.matrix.emplace_back(static_cast<std::size_t>(matrixType == 1 ? files : r - 1), r);
    }
  }
  return d;
}

void DocumentSeeds(Seeds& seeds) {
  struct Case {
    const char* name;
    int files;
    std::uint8_t matrixType;
  } cases[] = {{"leer.mpr", 0, 0},
               {"eine.mpr", 1, 0},
               {"drei.mpr", 3, 0},
               {"elimination.mpr", 3, 1},
               {"ueberschneidung.mpr", 2, 2}};
  for (const Case& c : cases) {
    TMatchDocument d = c.files == 0 ? TMatchDocument() : Document(c.files, c.matrixType);
    const std::string file = seeds.Temporary(c.name);
    d.Save(file);
    std::string plain = SafeFilePlainSwap(ReadBytes(file));
    seeds.Put("match_document_fuzz", c.name, plain);
    if (c.files == 3 && c.matrixType == 0) {
      // The same document as a version 3 protocol (no "Treffer" column).
      le::PutI32(std::span(reinterpret_cast<std::uint8_t*>(plain.data()), plain.size()), 32, 3);
      seeds.Put("match_document_fuzz", "version3.mpr", plain);
    }
  }
}

// Compact dark file inputs: slot length - 4, header slots, then the file.
void CompactSeeds(Seeds& seeds) {
  struct Case {
    const char* name;
    std::int32_t slot;
    int records;
    bool bad;
  } cases[] = {{"slot40.bin", 40, 3, false},
               {"slot64.bin", 64, 5, false},
               {"slot128.bin", 128, 2, false},
               {"falle.bin", 64, 3, true}};
  for (const Case& c : cases) {
    std::vector<std::uint8_t> file = MakeCompactHeader(c.slot, CompactHeaderContentSize(5, 2));
    const auto headerSlots = static_cast<std::uint8_t>(file.size() / c.slot);
    for (int r = 0; r < c.records; ++r) {
      std::vector<std::uint8_t> record(static_cast<std::size_t>(c.slot), ' ');
      const int used = (c.bad && r == 1) ? 3 : 4 + (r * 7) % (c.slot - 3);
      le::PutU16(record, 0, static_cast<std::uint16_t>(used));
      for (int i = 2; i < used; ++i) record[i] = static_cast<std::uint8_t>('A' + (r + i) % 26);
      file.insert(file.end(), record.begin(), record.end());
    }
    file.insert(file.begin(), {static_cast<std::uint8_t>(c.slot - 4), headerSlots});
    seeds.Put("compact_fuzz", c.name, file);
  }
}

void NormSeeds(Seeds& seeds) {
  // Every byte a class of its own range, a few spellings recognised, two sequence rows.
  NormTableContents t;
  for (int b = 0; b < 256; ++b) {
    t.classes[b] = static_cast<std::uint8_t>(b >= 'A' && b <= 'Z' ? 2 + (b - 'A') : 28 + b % 30);
  }
  for (int s = 0; s < 64; ++s) t.outputs[s] = static_cast<std::uint8_t>(s < 26 ? 'A' + s : '_');
  for (int b = 0; b < 256; ++b) t.compare[b] = static_cast<std::uint8_t>(b);
  t.T1(4, 9) = 30;   // "C" then "H": one symbol
  t.T1(30, 9) = -5;  // and the next "H" ends it
  t.t2.resize(3);
  t.t2[0][4] = 1;
  t.t2[1][4] = 201;  // "CC": take one back
  t.t2[0][2] = 2;
  seeds.Put("norm_fuzz", "klein.map", t.Encode());
  NormTableContents flat;
  flat.classes.fill(2);
  seeds.Put("norm_fuzz", "flach.map", flat.Encode());
  seeds.Shipped("norm_fuzz", "Tables/PHONETIC.MAP");
  seeds.Shipped("norm_fuzz", "Tables/SIMPLE.MAP");
}

void PlzSeeds(Seeds& seeds) {
  struct Case {
    const char* name;
    int digits;
    int bits;
  } cases[] = {
      {"drei1.plz", 3, 1}, {"drei8.plz", 3, 8}, {"drei24.plz", 3, 24}, {"vier4.plz", 4, 4}};
  for (const Case& c : cases) {
    PlzMappingContents m;
    m.digits = c.digits;
    m.bits = c.bits;
    const std::int32_t low = -(1 << (c.bits - 1));
    const std::int32_t high = (1 << (c.bits - 1)) - 1;
    m.offsets.resize(static_cast<std::size_t>(PowerOfTen(c.digits)));
    for (std::size_t k = 0; k < m.offsets.size(); ++k) {
      m.offsets[k] = std::clamp<std::int32_t>(static_cast<std::int32_t>(k % 17) - 8, low, high);
    }
    seeds.Put("plz_fuzz", c.name, m.Encode());
  }
  seeds.Shipped("plz_fuzz", "Tables/GERMANY3.PLZ");
  seeds.Shipped("plz_fuzz", "Tables/GERMANY4.PLZ");
}

void DarkListSeeds(Seeds& seeds) {
  seeds.Put("dark_list_fuzz", "syntax.txt",
            "  ; nur ein Kommentar\n\ngmbh\nhans,1\njohann,1#77\nstr=strasse ; Abkürzung\r\n"
            "dr,12\nherr=,11\npostfach=@\nx\nfritz,2#0\nkarl=carl,3\nhans-peter,1\n");
  seeds.Put("dark_list_fuzz", "paket.txt", "ev\n>Paket.pak\nverein\n");
  for (const char* list : {"anreden.txt", "rechtsformen.txt", "fuellwoerter.txt"}) {
    seeds.Shipped("dark_list_fuzz", std::string("Tables/") + list);
  }
  const std::string package = seeds.Temporary("p.pak");
  WritePackage(package, {"gmbh", "ag", "co,20", "hans,1#7", "hansi,1", "str=strasse"});
  seeds.Put("dark_package_fuzz", "firmen.pak", PackagePlainSwap(ReadBytes(package)));
  WritePackage(package, {});
  seeds.Put("dark_package_fuzz", "leer.pak", PackagePlainSwap(ReadBytes(package)));
}

void HashCacheSeeds(Seeds& seeds) {
  struct Entry {
    const char* key;
    const char* replacement;
    std::int32_t id;
    int code;
  };
  const std::vector<std::vector<Entry>> dictionaries = {
      {},
      {{"MEIER", "", 0, 0}},
      {{"HANS", "", 7, 1},
       {"HANSJOERG", "", 8, 1},
       {"HANSJOERGEN", "", 9, 1},
       {"STR", "STRASSE", 0, 0},
       {"GMBH", "", 0, 20},
       {"HERR", "", 0, 11}},
  };
  int n = 0;
  for (const auto& entries : dictionaries) {
    auto* hash = CreateIn<THash>(StandardHeap());
    for (const Entry& e : entries) hash->AddEntry(e.key, e.replacement, e.id, e.code);
    hash->Finish();
    const std::string file = seeds.Temporary("cache.bbx");
    hash->SaveCacheWithSeed(file, 0x1999u + static_cast<std::uint32_t>(n));
    Free(hash);
    seeds.Put("hash_cache_fuzz", "cache" + std::to_string(n++) + ".bbx",
              HashCachePlainSwap(ReadBytes(file)));
  }
}

void ScannerSeeds(Seeds& seeds) {
  seeds.Put("scanner_fuzz", "dateiliste.txt",
            "{ Dateiliste des Laufs {verschachtelt} }\r\n"
            "G 5 \"/daten/kunden.txt\"\r\n"
            "M 1 000 \"/daten/m\xe4rz \"\"neu\"\".txt\"\r\n"
            "S 2 \"sperre\"65\"x\" ; Kommentar\r\n"
            "Kennung ABC <= >= := (a, b) [c] _ ^\r\n"
            "zwei  worte X \xc4rger \xdf\r\n");
  seeds.Put("scanner_fuzz", "fehler.txt", "\"offen\n\"a\"300\"b\"\n}\n{ offen\n\x01\x1a danach\n");
}

// Text file inputs: buffer size - 2, maximum line length, read mix, then the text.
void TextSeeds(Seeds& seeds) {
  const std::string text =
      "Zeile 1\r\nZeile 2\nZeile 3\rZeile 4   \t\r\n\r\n\n\rlange Zeile mit vielen Zeichen "
      "0123456789012345678901234567890123456789\r\nletzte ohne Ende";
  seeds.Put("text_file_fuzz", "gross.txt", std::string("\xfe\xf0\x00", 3) + text);
  seeds.Put("text_file_fuzz", "klein.txt", std::string("\x10\x0e\x03", 3) + text);
  seeds.Put("text_file_fuzz", "sprung.txt", std::string("\x40\x3e\x06", 3) + text);
  seeds.Put("text_file_fuzz", "zulang.txt", std::string("\x40\x20\x00", 3) + text);
}

}  // namespace
}  // namespace vld::fuzz

int main(int argc, char** argv) {
  using namespace vld::fuzz;
  if (argc != 3) {
    std::fprintf(stderr, "Aufruf: veldrona-fuzz-seeds KEIMORDNER PROGRAMMORDNER\n");
    return 2;
  }
  try {
    Seeds seeds(argv[1], argv[2]);
    ParamSeeds(seeds);
    DocumentSeeds(seeds);
    CompactSeeds(seeds);
    NormSeeds(seeds);
    PlzSeeds(seeds);
    DarkListSeeds(seeds);
    HashCacheSeeds(seeds);
    ScannerSeeds(seeds);
    TextSeeds(seeds);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Fehler: %s\n", e.what());
    return 1;
  }
  return 0;
}
