// The match parameter set: everything one match task needs, in one relocatable block.
//
// A set has a fixed part of scalar fields (TParameterFields) and a parameter block: one
// contiguous byte block holding every text, file name, vector and vector entry. Inside the block
// everything refers to everything else by offset, never by address, so a set is copied into a
// task's memory with two moves and no relocation (Copy).
//
// TParameterCheck is the set while it is loaded and checked: the loader (from the parameter
// tree) adds texts, file names and vectors to its block; when the block is full the set notes
// that it is exhausted and hands out empty entries, and the check reports "Die Parameter
// benötigen insgesamt zu viel Speicher.". The derivations below compute the record layouts and
// component values the key builders, the matcher and the protocol read during the run.
//
// Vectors: 1 "Eingabedateien", 2 "Klassenschlüssel", 3 "Sortierschlüssel Ausgabe", 4 "Slots",
// 5 and 6 (always empty), 7 "Listenfelder", 8 "Sperrsatzfelder", 9 "Bewertungsfelder",
// 10 "Protokollspalten".
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/pipeline/file_layout.h"
#include "engine/runtime/origin.h"

namespace vld {

// ---- Entries stored in the block ------------------------------------------------------------

struct TFieldEntry {
  std::uint16_t position = 0;  // 1-based; 0 = not set
  std::uint16_t length = 0;
};

// (count, offset of the first entry). A negative count marks a vector with elements of a wrong
// kind; `wrongKinds` then is the offset of one flag byte per element.
struct TVectorRef {
  std::int16_t count = 0;
  std::uint32_t offset = 0;
  std::uint32_t wrongKinds = 0;
};

// States of a file name (0 = resolved and fine). A name in another state names no file.
enum NameState : std::uint16_t {
  kNameOk = 0,
  kNameEmpty = 9000,          // no name given
  kNameBadBase = 9001,        // "~X~" with a letter that names no base path
  kNameNotAbsolute = 9002,    // must be absolute and is not
  kNameDoubleDot = 9003,      // contains ".."
  kNameBaseFaulty = 9004,     // its base path has an error (reported with the base path)
  kNameBaseUndefined = 9005,  // its base path is empty
};

// A file name of the set: the name as given in the parameter set (text), its resolved full name
// (text; 0 = no file), its file code and its state (NameState). The check resolves every name;
// until then `state` is kNameEmpty and `name` is 0.
struct TFileRef {
  std::uint32_t name = 0;   // resolved full name (UTF-8); a directory ends with '/'
  std::uint32_t given = 0;  // the name as given (UTF-8)
  std::int32_t code = 0;
  std::uint16_t state = kNameEmpty;
};

enum class ComponentKind : std::uint8_t { kText = 0, kNormal = 1, kPostfach = 2, kHausnummer = 3 };
enum class SlotKind : std::uint8_t {
  kIdent = 0,
  kText = 1,
  kNormal = 2,
  kName = 3,
  kStrasse = 4,
  kFirma = 6,
};

// A component. The meaning of some fields depends on the kind:
//   field          Text      Normal        Postfach  Hausnummer
//   wordHurdle     0         "Wort-Hürde"  0         "Delta"
//   base           "Punkte"  "Basis"       "Punkte"  "Schwach"
//   relative       0         "Relativ"     0         "Stark"
//   absolute       0         "Absolut"     0         "Quer"
struct TComponentEntry {
  ComponentKind kind = ComponentKind::kText;
  bool prefix = false;
  std::uint16_t tokenHurdle = 256;
  std::uint16_t quality = 0;
  std::uint16_t wordHurdle = 0;
  std::uint16_t base = 0;
  std::uint16_t relative = 0;
  std::uint16_t absolute = 0;
  std::uint16_t upperLimit = 65535;
  std::int16_t bonusPriority = 0;  // derived: the bonus mask 1 << (15 - p)
  std::uint16_t bonus0 = 0;
  std::uint16_t bonus1 = 0;
  std::uint16_t bonus2 = 0;
  std::uint16_t maxScore = 0;  // derived
  bool replicate = false;
  bool useFirstNames = false;
  std::uint16_t bonusMask = 0;  // derived
};

struct TSlotEntry {
  TVectorRef fields;    // for a Firma slot its "Namensfelder"
  TVectorRef apFields;  // "AP Felder"
  TVectorRef components;
  TFileRef darkList;      // code 1000+i
  TFileRef akzDarkList;   // code 2000+i
  TFileRef darkCache;     // code 3000+i
  TFileRef akzDarkCache;  // code 4000+i
  SlotKind kind = SlotKind::kNormal;
  bool dynamicBlocking = false;
  TFieldEntry akzField;
  std::uint8_t apFieldNumber = 0;
  std::int16_t darkListIndex = -1;  // loaded dark lists of the task (set by the check)
  std::int16_t akzDarkListIndex = -1;
};

enum class RatingRule : std::uint8_t {
  kMaximum = 0,
  kMinimum = 1,
  kSumme = 2,
  kVerkettung = 3,
  kMenge = 4,
  kAuswahl = 5,
};

struct TRatingFieldEntry {
  TFieldEntry field;
  std::int32_t limit = 0;  // derived for "Summe": 10^min(9, length) - 1
  RatingRule rule = RatingRule::kMaximum;
};

struct TColumnEntry {
  std::uint8_t kind = 0;         // 0 "Systemspalte", 1 "Zusatzspalte"
  std::uint8_t displayMode = 0;  // "Darstellung"
  std::uint8_t systemKind = 0;   // list index + 1; 0 "(keine)"
  std::uint32_t title1 = 0, title2 = 0, preset = 0, presetS0 = 0, presetS1 = 0;  // texts
  std::uint8_t alignment = 0;  // 0 "rechtsbündig", 1 "linksbündig"
  std::uint8_t compute = 0;    // "Berechnen"
  std::uint8_t value = 0;      // "Spalte"
};

// An input file. The layout part is what the pipeline reads from a record's tag; after the
// check it is complete for every type:
//   G, M, S  the set's match record layout (blueRecordLength = classRecordLength);
//   K        the layout of its compact records as its header describes them: blueRecordLength
//            and classRecordLength = the compact record length, class key, component offsets,
//            match key, info and priority word at their places inside the compact record,
//            fileNumberPosition = flagPosition = outputRecordLength = 0 (compact records carry
//            neither, and they are never written to an output). A compact dark file may hold
//            0 records; it then contributes nothing.
// `file` holds the resolved full name; `type` alone tells record files (G, M, S) from compact
// dark files (K).
struct TInputFileEntry : TFileLayout {
  std::uint32_t name = 0;           // the name as given (text)
  TFileRef file;                    // code 5000+i
  std::array<TFileRef, 3> outputs;  // codes 6000+i, 7000+i, 8000+i (name 0: no own output)
  std::uint16_t priority = 0;       // effective after the check: priority * 4 + type rank
  std::uint32_t ident = 0;          // identification (code page 437): first record's Ident
                                    // field, for type K the ident of its header
  std::int32_t headerSlots = 0;     // type K: record slots its header occupies
  std::int32_t splitSlot = -1;      // Grund/Master with split output: 0-based slot, else -1
};

// ---- The fixed part -------------------------------------------------------------------------

struct TParameterFields {
  // Record layout ("Satzaufbau").
  std::uint16_t recordLength = 0;                             // "Datensatzlänge"
  bool crlf = false;                                          // "CRLF benutzen"
  std::int16_t truncate = 0;                                  // "Satz abschneiden"
  TFieldEntry identField, cityField, priorityField, plzPart;  // "PLZ-Unterfeld": in the class key
  std::uint8_t language = 0;                                  // "Sprache"
  // Switches.
  bool multiDuplicates = false, sortOutput = false, splitOutput = false, splitDuplicates = false;
  bool suppressPureBlocks = false, hideDarkRecords = false, listRerated = false;
  std::uint8_t minimumPoints = 0;  // "Mindestpunkte"
  std::uint32_t sortReserve = 0;   // "Speicherreserve beim Sortieren"
  std::int16_t blockHurdle = 3;    // "Sperr-Hürde"
  std::int16_t tokenHurdle = 4;    // "Token-Hürde"
  std::uint32_t hashHurdle = 10;   // "Hash-Hürde"
  std::uint16_t threshold = 100;   // "Schwellenwert"
  std::uint16_t firstCharError = 4, furtherCharError = 3;
  std::uint16_t plausibleInterval = 100;
  std::int16_t headLimit = 0;      // "Kopfdubletten-Limit"
  std::int16_t centuryWindow = 0;  // "Jahrhundert-Fenster"
  // Rating control.
  std::uint8_t ratingMode = 0;     // "Modus"
  char concatenator = ',';         // "Verketter"
  std::uint8_t selectionRule = 0;  // "Auswahlregel"
  std::uint8_t selectionPriority = 0;
  TFieldEntry referenceField;
  std::int16_t selectionField = -1;  // derived: the first rating field with rule "Auswahl"
  // Listing.
  std::uint8_t fileMarking = 0;  // "Dateikennzeichnung"
  std::uint32_t maxNameLength = 30;
  std::int16_t columns = 80;  // "Spalten"
  std::uint8_t matrixType = 0;
  std::array<char, 13> symbols{};
  // Maintenance ("Wartung").
  bool compareOptimisation = false, repeaterOptimisation = false, mergeOptimisation = false;
  bool darkListCache = false, outputWithMatchKey = false;
  std::uint32_t matchKeyExtra = 0;
  // Compactor.
  bool makeCompactFile = false, compactWithPriorities = false;
  std::uint32_t compactIdent = 0;  // text (code page 437, written into the compact header)

  // Texts 1..5 and the statistics info memo (offsets of texts in the block). Texts 1..4, the
  // memo, the column texts, the symbols and "Verketter" are Windows-1252 (the protocol's code
  // page); text 5 and all file names are UTF-8 paths.
  std::array<std::uint32_t, 6> texts{};
  std::int32_t creationDate = 0;  // yyyymmdd
  // File codes 1..22 (index 0 unused).
  std::array<TFileRef, 23> files{};
  // Vectors 1..10 (index 0 unused).
  std::array<TVectorRef, 11> vectors{};

  // ---- Derived values ----
  std::uint16_t effectiveRecordLength = 0, truncatedLength = 0;
  std::array<std::int32_t, 4> fileTypeCounts{};  // Grund, Master, Sperr, Kompaktsperr
  std::int64_t totalRecords = 0;
  // Output sort record.
  std::uint16_t outSortRecordLength = 0, outFileNumberPosition = 0;
  std::uint16_t outSortKeyPosition = 0, outSortKeyLength = 0;
  // Match record.
  std::uint16_t fileNumberPosition = 0, classKeyPosition = 0, classKeyLength = 0;
  std::uint16_t classRecordLength = 0, flagPosition = 0, componentOffsetsPosition = 0;
  std::uint16_t matchKeyPosition = 0, matchKeyLength = 0, matchRecordLength = 0;
  std::uint16_t outputRecordLength = 0;
  std::uint16_t listRecordLength = 0, darkInfoLength = 0, maxCompactInfoLength = 0;
  bool anyDynamicBlocking = false;
  bool bonusLogic = false;  // "Ansprechpartner-Logik"
  std::int32_t componentCount = 0;
  std::uint32_t componentList = 0;    // offsets of the components (u32 each)
  std::uint32_t comparisonOrder = 0;  // 1-based indices into the component list (u16 each)
  std::int64_t scoreCeiling = 0;
  // Counts of the check.
  std::int32_t errors = 0, warnings = 0;
};

// ---- The set --------------------------------------------------------------------------------

class TParameterStore : public TOrigin {
 public:
  // Bytes of the block in use.
  virtual std::int64_t UsedSize() const { return blockSize_; }

  TParameterFields& Fields() { return fields_; }
  const TParameterFields& Fields() const { return fields_; }

  // The entry of type T at `offset` of the block. REQUIRES: the offset came from this set.
  template <typename T>
  T& At(std::uint32_t offset) {
    return *reinterpret_cast<T*>(block_ + offset);
  }
  template <typename T>
  const T& At(std::uint32_t offset) const {
    return *reinterpret_cast<const T*>(block_ + offset);
  }
  // A vector's entries (empty for a vector with a negative count).
  template <typename T>
  std::span<T> Entries(const TVectorRef& v) {
    if (v.count <= 0 || v.offset == 0) return {};
    return {reinterpret_cast<T*>(block_ + v.offset), static_cast<std::size_t>(v.count)};
  }
  template <typename T>
  std::span<const T> Entries(const TVectorRef& v) const {
    if (v.count <= 0 || v.offset == 0) return {};
    return {reinterpret_cast<const T*>(block_ + v.offset), static_cast<std::size_t>(v.count)};
  }

  // A text of the block ("" for offset 0).
  std::string_view Text(std::uint32_t offset) const;
  // Text i: 1 "Job-Text", 2 the protocol date, 3 "Kopf der Statistik", 4 "Sperrsatz-Text",
  // 5 "Name der Kompaktsperrdatei", 6 "Statistik-Info".
  std::string_view TextNumber(int i) const;
  // The full name of file code 1..22 ("" when the file is not wanted).
  std::string_view FileName(int code) const;
  std::string_view FileName(const TFileRef& file) const { return Text(file.name); }

  std::span<TInputFileEntry> InputFiles() { return Entries<TInputFileEntry>(fields_.vectors[1]); }
  std::span<const TInputFileEntry> InputFiles() const {
    return Entries<TInputFileEntry>(fields_.vectors[1]);
  }
  std::span<const TSlotEntry> Slots() const { return Entries<TSlotEntry>(fields_.vectors[4]); }
  std::span<TSlotEntry> Slots() { return Entries<TSlotEntry>(fields_.vectors[4]); }
  std::span<const TFieldEntry> FieldVector(int i) const {
    return Entries<TFieldEntry>(fields_.vectors[i]);
  }
  // The fixed file code's reference (1..22).
  const TFileRef& File(int code) const;
  // Component j (0-based) of the component list.
  const TComponentEntry& Component(std::int32_t j) const;
  TComponentEntry& Component(std::int32_t j);
  // The comparison order: 1-based indices into the component list.
  std::span<const std::uint16_t> ComparisonOrder() const;

 protected:
  friend class TParameter;
  TParameterFields fields_;
  std::uint8_t* block_ = nullptr;
  std::int64_t blockSize_ = 0;
};

class TParameter : public TParameterStore {
 public:
  // A copy of `source` in `space`: the fixed part and the used part of the block. With no
  // source the set starts empty.
  static TParameter* Copy(TMemorySpace& space, const TParameterStore* source);
};

class TParameterCheck : public TParameter {
 public:
  // The block a checking set may use. Entries are wider than on the 32-bit original (64-bit
  // counts, inline file references), so the block is four times its 64 KiB.
  // Every file name is kept twice (as given and resolved) and 500 input files with their own
  // outputs must fit, so the block is sixteen times its 64 KiB.
  static constexpr std::int64_t kBlockSize = 1048576;

  void Init() override;
  std::int64_t UsedSize() const override { return used_; }
  bool Exhausted() const { return exhausted_; }

  // Adds bytes to the block; returns their offset, or 0 when the block is full (the set is
  // then exhausted).
  std::uint32_t Add(const void* bytes, std::size_t size);
  std::uint32_t AddText(std::string_view text);
  // A vector of entries copied into the block.
  template <typename T>
  TVectorRef AddVector(std::span<const T> entries) {
    TVectorRef v;
    if (entries.empty()) return v;
    if (entries.size() > 32767) {
      exhausted_ = true;
      return v;
    }
    v.offset = Add(entries.data(), entries.size_bytes());
    if (v.offset != 0) v.count = static_cast<std::int16_t>(entries.size());
    return v;
  }
  // Sets a fixed code's file to an already resolved full name (given = full name).
  void SetFile(int code, std::string_view fullName, std::uint16_t state = 0);
  // Sets a fixed code's name as given; the check resolves it.
  void SetGivenFile(int code, std::string_view given);
  // A file reference with the name as given (unresolved).
  TFileRef GivenFile(std::int32_t code, std::string_view given);
  // Stores the resolution of `ref`: its full name (empty for none) and state.
  void Resolve(TFileRef& ref, std::string_view fullName, std::uint16_t state);

 private:
  std::int64_t used_ = 8;  // offset 0 stands for "none"
  bool exhausted_ = false;
};

// The input files as the task's sources and sinks see them: the entries' layouts (the records'
// tags, pointing into `set`), full names and own outputs. kAll lists every entry in file-number
// order (for the readers that look a record's file up by its number); kRecordFiles only the
// record files G, M and S (for the multi-file reader, which must never open a compact dark
// file). REQUIRES: a checked set; the table is valid while `set` lives.
enum class InputFileSelection : std::uint8_t { kAll, kRecordFiles };
std::vector<TInputFile> InputFileTable(const TParameterStore& set,
                                       InputFileSelection which = InputFileSelection::kAll);

}  // namespace vld
