// The seed generator of the fuzz targets: small valid inputs for every target, built with the
// product's own writers, plus the shipped product data of the build (tables, parameter sets,
// dark lists). The build runs it; nothing it makes is kept in the repository.
//
// Usage: veldrona-fuzz-seeds SEED_FOLDER PRODUCT_FOLDER
//   SEED_FOLDER     receives one folder per target (emptied first)
//   PRODUCT_FOLDER  the build's program folder holding "Tables", "Params" and "SampleData"
//
// Scrambled kinds are stored in their plain form (fuzz/fuzz_formats.h), as the targets take them.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "data/field_table.h"
#include "data/field_types.h"
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
#include "tools/sample/sample_generator.h"

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
  const fs::path& Product() const { return product_; }

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

// The files of the sample generator: a CSV file in UTF-8 and in Windows-1252, a fixed-width file
// in code page 437 with its field list as ".fls" and as text. Kept in memory by their ending.
struct SampleFiles {
  std::string csvUtf8, csv1252, fixed, fls, flsText;
  std::vector<int> widths;
};

SampleFiles MakeSampleFiles(Seeds& seeds, TSampleKind kind, std::int64_t count) {
  const fs::path data = seeds.Product() / "SampleData";
  const TSampleWordLists lists =
      LoadSampleWordLists(data.string(), (data / "plz_de_geonames.csv").string());
  TSampleOptions options;
  options.kind = kind;
  options.count = count;
  options.seed = 7;
  const TSampleGenerator generator(lists, options);
  TSampleFiles files;
  files.folder = seeds.Temporary("");
  files.baseName = "probe";
  files.truth = false;
  SampleFiles out;
  for (const std::string& file : WriteSampleFiles(generator, files)) {
    const std::string bytes = ReadBytes(file);
    if (file.ends_with("_1252.csv")) {
      out.csv1252 = bytes;
    } else if (file.ends_with(".csv")) {
      out.csvUtf8 = bytes;
    } else if (file.ends_with("_felder.txt")) {
      out.flsText = bytes;
    } else if (file.ends_with(".txt")) {
      out.fixed = bytes;
    } else if (file.ends_with(".fls")) {
      out.fls = bytes;
    }
    fs::remove(file);
  }
  out.widths = generator.FixedWidths();
  return out;
}

// The first whole lines of `text` that fit into `limit` bytes.
std::string FirstLines(const std::string& text, std::size_t limit) {
  if (text.size() <= limit) return text;
  const std::size_t end = text.rfind('\n', limit - 1);
  return end == std::string::npos ? text.substr(0, limit) : text.substr(0, end + 1);
}

void FieldListSeeds(Seeds& seeds, const std::vector<SampleFiles>& samples) {
  const std::string target = "field_list_fuzz";
  TFieldTable table;
  table.Append(
      "Stra\xC3\x9F"
      "e",
      1, 35, kTypeStreet);
  table.Append("PLZ", 36, 5, kTypePostalCode);
  table.Append("Bemerkung", 41, 80, kTypeIgnore);
  table.Append(TFieldRow{-7, "Name", 121, 30, kTypeName});
  seeds.Put(target, "liste.fls", table.ToBytes());
  seeds.Put(target, "leer.fls", TFieldTable().ToBytes());
  seeds.Put(target, "text.txt",
            "Feld;Position;L\xC3\xA4nge;Typ\r\nName;1;30;Name\r\nVorname;31;20;1001\r\n"
            "\"Stra\xC3\x9F"
            "e; Nr\";51;40;Stra\xC3\x9F"
            "e\r\n\r\nPLZ;91;5;5000\r\nOrt;96;30\r\n"
            "Notiz;126;10;(Ignorieren)\r\n");
  seeds.Put(target, "text1252.txt", "\xEF\xBB\xBFKunde;1;8\nM\xFCller;9;1;Nachname\nX;10;2;-1");
  seeds.Put(target, "cp1252.txt",
            "M\xFCller;1;10;Name\nStra\xDF"
            "e;11;20;Strasse\n");
  int n = 0;
  for (const SampleFiles& s : samples) {
    const std::string name = "probe" + std::to_string(n++);
    seeds.Put(target, name + ".fls", s.fls);
    seeds.Put(target, name + "_felder.txt", s.flsText);
  }
}

// CSV inputs: the options byte, the fields byte, then the file (see csv_fuzz.cc).
void CsvSeeds(Seeds& seeds, const std::vector<SampleFiles>& samples) {
  const std::string target = "csv_fuzz";
  auto put = [&](const std::string& name, std::uint8_t options, std::uint8_t fields,
                 const std::string& file) {
    seeds.Put(target, name,
              std::string{static_cast<char>(options), static_cast<char>(fields)} + file);
  };
  // options: separator 0..3 or 4 (guessed), 8 quote ', 16 header, 32 strict, 64/128/192 code page.
  int n = 0;
  for (const SampleFiles& s : samples) {
    const std::string name = "probe" + std::to_string(n++);
    put(name + "_utf8.csv", 4 | 16 | 32, 0x40, FirstLines(s.csvUtf8, 4000));
    put(name + "_1252.csv", 0 | 16 | 128, 0x03, FirstLines(s.csv1252, 4000));
  }
  put("kopf.csv", 1 | 16, 0, "Name,Vorname,PLZ\r\n");
  put("anfuehrung.csv", 1 | 16 | 32, 0x41,
      "Name,Ort,Bemerkung\r\n\"M\xFC\"\"ller\",\"K\xF6ln, Rhein\",\"zwei\r\nZeilen\"\r\n"
      "Meier,\"\",\" vorn\"\r\n\"ab\"c,d,12\" Zoll\n");
  put("bom.csv", 4 | 16 | 192, 0x12,
      "\xEF\xBB\xBFName;Stra\xC3\x9F"
      "e\nM\xC3\xBCller;Hauptstr. 1\n");
  put("ohne_ende.csv", 2 | 8, 0x05, "a\tb\t'c\td'\n1\t2\t3");
  put("einspaltig.csv", 4 | 16, 0x00, "Name\nMeier\nSchmidt\n\n");
  put("leer.csv", 3, 0x30, "\n\r\n");
  put("offen.csv", 0, 0x00, "a;\"b\nc;d\n");
}

// Fixed-width inputs: options, first type, the field list as (position, length) pairs, the file
// (see fixed_width_fuzz.cc).
void FixedSeeds(Seeds& seeds, const std::vector<SampleFiles>& samples) {
  const std::string target = "fixed_width_fuzz";
  auto put = [&](const std::string& name, std::uint8_t options, std::uint8_t typeSeed,
                 const std::vector<std::pair<int, int>>& fields, const std::string& file) {
    std::string bytes{static_cast<char>(options | (fields.size() << 2)),
                      static_cast<char>(typeSeed)};
    for (const auto& [position, length] : fields) {
      bytes.push_back(static_cast<char>(std::min(position, 255)));
      bytes.push_back(static_cast<char>(std::min(length, 255)));
    }
    seeds.Put(target, name, bytes + file);
  };
  int n = 0;
  for (const SampleFiles& s : samples) {
    std::vector<std::pair<int, int>> fields;
    int position = 1;
    for (std::size_t i = 0; i < s.widths.size() && fields.size() < 7; ++i) {
      fields.emplace_back(position, s.widths[i]);
      position += s.widths[i];
    }
    const std::string name = "probe" + std::to_string(n++);
    put(name + ".txt", 1 | 32, 0, fields, FirstLines(s.fixed, 8000));
    put(name + "_kurz.txt", 0, 3, fields, FirstLines(s.fixed, 1000));
  }
  put("utf8.txt", 3, 1, {{1, 6}, {7, 3}, {10, 20}},
      "\xEF\xBB\xBFM\xC3\xBCller Bonn\xE2\x82\xACStr.\r\n\r\nMeier  K\xC3\xB6ln\rA\n");
  put("zeilen.txt", 2, 5, {{1, 2}, {3, 255}, {0, 4}, {2, 0}},
      "ab\xFC"
      "cd\r\nx\n\nlang " +
          std::string(300, 'x') + "\rende");
}

// Safe files: the reads byte (count) and read bytes, then the plain form of a file.
void SafeFileSeeds(Seeds& seeds) {
  const std::string file = seeds.Temporary("sicher.mpr");
  {
    TMatchDocFile out;
    out.Assign(file);
    out.OpenSafe(2);
    out.WriteText("Kopf");
    out.WriteText("");
    const std::uint8_t numbers[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    out.WriteData(numbers, 8);
    out.WriteText("M\xFCller");
    out.CloseSafe();
  }
  const std::string plain = SafeFilePlainSwap(ReadBytes(file));
  seeds.Put("safe_file_fuzz", "texte.mpr", std::string("\x04\x80\x80\x08\x80", 5) + plain);
  seeds.Put("safe_file_fuzz", "zu_weit.mpr", std::string("\x03\x80\x80\x7f", 4) + plain);
  TMatchDocument d = Document(2, 0);
  d.Save(file);
  seeds.Put("safe_file_fuzz", "protokoll.mpr",
            std::string("\x06\x80\x80\x80\x04\x04\x80", 7) + SafeFilePlainSwap(ReadBytes(file)));
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
    const std::vector<SampleFiles> samples = {
        MakeSampleFiles(seeds, vld::TSampleKind::kPersons, 30),
        MakeSampleFiles(seeds, vld::TSampleKind::kCompanies, 30)};
    FieldListSeeds(seeds, samples);
    CsvSeeds(seeds, samples);
    FixedSeeds(seeds, samples);
    SafeFileSeeds(seeds);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Fehler: %s\n", e.what());
    return 1;
  }
  return 0;
}
