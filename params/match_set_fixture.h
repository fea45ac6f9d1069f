// Test helper: a match parameter set made from the schema's defaults and adapted to a small
// temporary folder, ready to load and check.
//
//   <tmp>/in/kunden.txt     three records of 60 bytes + CR LF (postal code, name, street)
//   <tmp>/out/              the output folder
//   <tmp>/tables/           copies of the shipped tables ($VELDRONA_BIN/Tables), so that dark
//                           lists and their caches can be written beside them
// Settings: "Datensatzlänge" 62, "PLZ-Unterfeld" (1, 5), one list field (1, 30), slot 1 a
// Normal slot over the name (6, 25), slot 2 a Straße slot over the street (31, 30) with its
// Normal and Hausnummer components.
// Set() changes a value by its path as the command line does; integers, texts and characters
// are set without the editor's checks, because files can hold anything and the check must
// report it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/runtime/heap.h"
#include "engine/runtime/layers.h"
#include "params/match_schema.h"
#include "params/param_edit.h"
#include "params/param_load.h"
#include "params/param_path.h"
#include "platform/codepage.h"
#include "platform/test_support.h"

namespace vld::testing {

inline std::string ShippedTablesFolder() {
  const char* bin = std::getenv("VELDRONA_BIN");
  return std::string(bin ? bin : "VELDRONA_BIN-fehlt") + "/Tables";
}

// A record of 60 bytes (code page 437) and CR LF.
inline std::string Record(const std::string& plz, const std::string& name,
                          const std::string& street) {
  std::string r = FromUtf8(plz, CodePage::k437);
  r.resize(5, ' ');
  std::string n = FromUtf8(name, CodePage::k437);
  n.resize(25, ' ');
  std::string s = FromUtf8(street, CodePage::k437);
  s.resize(30, ' ');
  return r + n + s + "\r\n";
}

class MatchSetFixture : public ::testing::Test {
 public:
  MatchSetFixture() : schema_(BuildMatchParamSchema()) {
    root_.reset(static_cast<TParamTVRecord*>(schema_->NewValue().release()));
    std::filesystem::create_directories(dir_.path() / "in");
    std::filesystem::create_directories(dir_.path() / "out");
    std::filesystem::create_directories(dir_.path() / "tables");
    for (const char* table : {"PHONETIC.MAP", "SIMPLE.MAP", "GERMANY5.PLZ", "GERMANY4.PLZ"}) {
      std::filesystem::copy_file(ShippedTablesFolder() + "/" + table, Tables(table));
    }
    WriteFile(In("kunden.txt"), Record("10115", "Müller", "Hauptstraße 1") +
                                    Record("10117", "Mueller", "Hauptstr. 1") +
                                    Record("80331", "Schmidt", "Marienplatz 8"));
    Set("Pfade.Eingabepfad", dir_.path().string() + "/in");
    Set("Pfade.Ausgabepfad", dir_.path().string() + "/out");
    Set("Pfade.Tabellenpfad", dir_.path().string() + "/tables");
    Set("Eingabedateien [1].Name", "kunden.txt");
    Set("Satzaufbau.Datensatzlänge", "62");
    Set("Satzaufbau.PLZ-Unterfeld.Länge", "5");
    Set("Satzaufbau.Listenfelder [1].Position", "1");
    Set("Satzaufbau.Listenfelder [1].Länge", "30");
    Set("Kriterien.Slots [1].Felder [1].Position", "6");
    Set("Kriterien.Slots [1].Felder [1].Länge", "25");
    Set("Kriterien.Slots [2].Art des Slots", "Straße");
    Set("Kriterien.Slots [2].Felder [1].Position", "31");
    Set("Kriterien.Slots [2].Felder [1].Länge", "30");
    // Every component of the schema starts as a Normal component.
    Set("Kriterien.Slots [2].Hausnummer.Art der Komponente", "Hausnummer");
  }
  ~MatchSetFixture() override { Free(space_); }

  // Sets the value at `path` (appending list elements as needed) to `text`.
  void Set(const std::string& path, const std::string& text) {
    TParamPathOptions options;
    options.allow_append = true;
    const TParamPathTarget target = ResolveParamPath(*root_, path, options);
    if (target.discriminant_of != nullptr) {
      TParamTVDiscriminantAlias alias;
      alias.Attach(*target.discriminant_of);
      ASSERT_EQ(CommitCellText(alias, text), CellResult::kAccepted) << path;
    } else if (auto* integer = dynamic_cast<TParamTVInteger*>(target.value)) {
      integer->SetCurrent(std::stoi(text));
    } else if (auto* string = dynamic_cast<TParamTVString*>(target.value)) {
      string->SetText(text);
    } else if (auto* c = dynamic_cast<TParamTVChar*>(target.value)) {
      c->SetCurrent(text.empty() ? 0 : static_cast<unsigned char>(text[0]));
    } else {
      auto* elementary = dynamic_cast<TParamTVElementary*>(target.value);
      ASSERT_NE(elementary, nullptr) << path;
      ASSERT_EQ(CommitCellText(*elementary, text), CellResult::kAccepted) << path;
    }
  }
  // Deletes element `index` (1-based) of the list at `path`.
  void Delete(const std::string& path, int index) {
    const TParamPathTarget target = ResolveParamPath(*root_, path);
    auto* list = dynamic_cast<TParamTVList*>(target.value);
    if (list == nullptr) {
      if (auto* u = dynamic_cast<TParamTVUnion*>(target.value)) {
        list = dynamic_cast<TParamTVList*>(u->Variant());
      }
    }
    ASSERT_NE(list, nullptr) << path;
    list->Delete(index - 1);
  }

  std::string In(const std::string& name) const { return dir_.File("in/" + name); }
  std::string Out(const std::string& name) const { return dir_.File("out/" + name); }
  std::string Tables(const std::string& name) const { return dir_.File("tables/" + name); }
  std::string Folder() const { return dir_.path().string(); }

  // Loads the set into a fresh task space; the messages (with their prefixes) are collected.
  const TLoadedParameters& Load(RunStart start = RunStart::kNew) {
    Free(space_);
    space_ = CreateWithArena<TMemoryLayer>(StandardHeap(), 4 << 20);
    messages_.clear();
    journals_.clear();
    loaded_ = LoadMatchParameters(
        *space_, *root_, start,
        [this](bool, const std::string& text) { messages_.push_back(text); },
        [this](const std::string& name) {
          journals_.push_back(name);
          return journalOpens_;
        });
    return loaded_;
  }
  // The messages of the last load without the header line before the errors.
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const std::string& m : messages_) {
      if (m != kParameterErrorsHeader) out.push_back(m);
    }
    return out;
  }

  TParamTypeRef<const TParamTTRecord> schema_;
  std::unique_ptr<TParamTVRecord> root_;
  TempDir dir_;
  TMemoryLayer* space_ = nullptr;
  TLoadedParameters loaded_;
  std::vector<std::string> messages_;
  std::vector<std::string> journals_;
  bool journalOpens_ = true;
};

}  // namespace vld::testing
