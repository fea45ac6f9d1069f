#include "matching/key_building.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/pipeline/pipeline_test_util.h"
#include "engine/runtime/heap.h"
#include "engine/runtime/layers.h"
#include "engine/runtime/process_manager.h"
#include "matching/match_derive.h"
#include "platform/codepage.h"
#include "platform/test_support.h"

namespace vld {
namespace {

// Stands in for the phonetic table: upper case; '.' ends an abbreviation ('!'), '-' and '/'
// join ('"'), other punctuation becomes a blank.
std::size_t Phonetic(std::uint8_t* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    std::uint8_t c = UpperCase437(b[i]);
    if (c == '.') c = '!';
    if (c == '-' || c == '/') c = '"';
    if (c == ',' || c == ';') c = ' ';
    b[i] = c;
  }
  return n;
}

bool AnyRange(std::string_view, std::int64_t, std::int64_t, std::int64_t) { return true; }

// A set over records of 60 bytes: name 1..25, street 26..45, postal code 46..50, city 51..60.
class KeyBuildingTest : public ::testing::Test {
 protected:
  KeyBuildingTest() : set_(CreateIn<TParameterCheck>(StandardHeap())) {
    lists_ = CreateIn<TDarkLists>(StandardHeap());
    tables_.phonetic = Phonetic;
    tables_.simple = [](std::uint8_t* b, std::size_t n) {
      UpperCase437InPlace(std::span(b, n));
      return n;
    };
    tables_.darkLists = lists_;
    TParameterFields& f = set_->Fields();
    f.recordLength = 60;
    f.cityField = {51, 10};
    f.vectors[2] = set_->AddVector<TFieldEntry>(std::vector<TFieldEntry>{{46, 5}, {1, 4}});
    f.plzPart = {1, 5};
  }
  ~KeyBuildingTest() override {
    Free(set_);
    Free(lists_);
  }

  static TComponentEntry Normal(std::uint16_t wordHurdle, bool prefix = false,
                                bool firstNames = false) {
    TComponentEntry c;
    c.kind = ComponentKind::kNormal;
    c.wordHurdle = wordHurdle;
    c.prefix = prefix;
    c.useFirstNames = firstNames;
    c.quality = 10;
    return c;
  }
  static TComponentEntry Of(ComponentKind kind) {
    TComponentEntry c;
    c.kind = kind;
    c.quality = 5;
    return c;
  }
  void AddSlot(SlotKind kind, std::vector<TFieldEntry> fields, std::vector<TComponentEntry> comps,
               std::string darkList = "") {
    TSlotEntry s;
    s.kind = kind;
    s.fields = set_->AddVector<TFieldEntry>(fields);
    s.components = set_->AddVector<TComponentEntry>(comps);
    if (!darkList.empty()) {
      testing::WriteFile(dir_.File("liste.txt"), darkList);
      DarkListSettings settings;
      settings.normalise = [](std::string_view t) {
        std::string text(t);
        text.resize(Phonetic(reinterpret_cast<std::uint8_t*>(text.data()), text.size()));
        return text;
      };
      std::string error;
      s.darkListIndex = static_cast<std::int16_t>(lists_->Load(dir_.File("liste.txt"), "", settings, error));
      EXPECT_EQ(error, "");
      lists_->BuildIdentifierMap();
    }
    slots_.push_back(s);
  }
  // Derives the layout and builds the key of `record`; returns the match key bytes.
  std::string Key(std::string record) {
    TParameterFields& f = set_->Fields();
    f.vectors[4] = set_->AddVector<TSlotEntry>(slots_);
    DeriveRecordLengths(f);
    EXPECT_TRUE(BuildComponentList(*set_));
    EXPECT_TRUE(DeriveMatchRecord(*set_, AnyRange));
    DeriveDynamicBlocking(*set_);
    layout_.fileNumberPosition = f.fileNumberPosition;
    layout_.classKeyPosition = f.classKeyPosition;
    layout_.classKeyLength = f.classKeyLength;
    layout_.classRecordLength = f.classRecordLength;
    layout_.flagPosition = f.flagPosition;
    layout_.componentOffsetsPosition = f.componentOffsetsPosition;
    layout_.matchKeyPosition = f.matchKeyPosition;
    layout_.matchKeyLength = f.matchKeyLength;
    record.resize(60, ' ');
    buffer_.assign(f.matchRecordLength + 16, '\0');
    std::memcpy(buffer_.data(), record.data(), 60);
    TMatchKeyBuilder builder(*set_, tables_);
    const std::int32_t used = builder.Build(layout_, reinterpret_cast<std::uint8_t*>(buffer_.data()));
    return buffer_.substr(f.matchKeyPosition - 1, used - (f.matchKeyPosition - 1));
  }
  std::uint8_t Flag() const { return static_cast<std::uint8_t>(buffer_[layout_.flagPosition - 1]); }

  testing::TempDir dir_;
  TParameterCheck* set_;
  TDarkLists* lists_;
  TKeyTables tables_;
  std::vector<TSlotEntry> slots_;
  TFileLayout layout_;
  std::string buffer_;
};

std::string S(const char* bytes, std::size_t n) { return std::string(bytes, n); }

TEST_F(KeyBuildingTest, HouseNumbersAndTheirRanges) {
  AddSlot(SlotKind::kStrasse, {{26, 20}}, {Normal(1), Of(ComponentKind::kHausnummer)});
  set_->Fields().plausibleInterval = 100;
  struct Case {
    const char* street;
    std::string house;  // the Hausnummer component
  } cases[] = {
      {"Hauptstr. 12-14", S("\x01\x06\x0c\x00\x0e\x00\x06\x00", 8)},
      {"Hauptstr. 12-15", S("\x01\x06\x0c\x00\x0c\x00\x06\x00", 8)},
      {"Hauptstr. 14-12", S("\x01\x06\x0e\x00\x0e\x00\x12\x00", 8)},
      {"Hauptstr. 12-214", S("\x01\x06\x0c\x00\x0c\x00\x06\x00", 8)},
      {"Hauptstr. 12345", S("\x00", 1)},
      {"Hauptstr. 7a", S("\x01\x06\x07\x00\x07\x00\x80\x00", 8)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.street);
    const std::string key = Key(std::string(25, ' ') + c.street);
    // Street "HAUPTSTR." is one abbreviation token: count 1, length 10, "HAUPTSTR.".
    EXPECT_EQ(key.substr(0, 11), S("\x01\x09" "HAUPTSTR.", 11));
    EXPECT_EQ(key.substr(11), c.house);
    slots_.clear();
    AddSlot(SlotKind::kStrasse, {{26, 20}}, {Normal(1), Of(ComponentKind::kHausnummer)});
  }
}

TEST_F(KeyBuildingTest, WordHurdleAndAbbreviations) {
  AddSlot(SlotKind::kNormal, {{1, 25}}, {Normal(3)});
  EXPECT_EQ(Key("AB XYZ"), S("\x01\x03XYZ", 5));
  EXPECT_EQ(Key("AB. XYZ"), S("\x02\x03" "AB.\x03XYZ", 9));
  slots_.clear();
  AddSlot(SlotKind::kNormal, {{1, 25}}, {Normal(3, /*prefix=*/true)});
  EXPECT_EQ(Key("AB. XYZ"), S("\x01\x03XYZ", 5));
}

TEST_F(KeyBuildingTest, NameSlotSplitsFirstAndLastNames) {
  const std::string list = "hans,1#11\npeter,1#12\nherr,11\n";
  struct Case {
    const char* name;
    const char* first;
    const char* last;
  } cases[] = {
      {"Hans Meier", "HANS", "MEIER"},
      {"Meier Hans", "HANS", "MEIER"},
      {"Hans Peter", "HANS", "PETER"},
      // A word found in the list loses its joined mark: HANS stays a first name.
      {"Hans-Peter", "HANS", "PETER"},
      {"Hans Peter Meier", "HANS PETER", "MEIER"},
      {"Hans-Peter Meier", "HANS PETER", "MEIER"},
      {"Herr Hans", "", "HANS"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    slots_.clear();
    TComponentEntry first = Normal(1);
    TComponentEntry last = Normal(1);
    AddSlot(SlotKind::kName, {{1, 25}}, {first, last}, list);
    const std::string key = Key(c.name);
    // Decode both components: count, then length-prefixed words.
    std::vector<std::string> parts;
    std::size_t at = 0;
    for (int component = 0; component < 2; ++component) {
      const int n = static_cast<std::uint8_t>(key[at++]);
      std::string words;
      for (int i = 0; i < n; ++i) {
        const int len = static_cast<std::uint8_t>(key[at++]);
        if (!words.empty()) words += ' ';
        words += key.substr(at, len);
        at += len;
      }
      parts.push_back(words);
    }
    EXPECT_EQ(parts[0], c.first);
    EXPECT_EQ(parts[1], c.last);
  }
}

TEST_F(KeyBuildingTest, FirstNameIdentifiersAreWrittenBeforeTheirTokens) {
  AddSlot(SlotKind::kNormal, {{1, 25}}, {Normal(1, false, true)}, "hans,1#11\n");
  const std::string key = Key("Hans Otto");
  const THashFound hans = lists_->Dictionary(1).Lookup("HANS");
  ASSERT_TRUE(hans.found);
  const auto n = static_cast<char>(hans.number);
  EXPECT_EQ(key, S("\x02", 1) + n + S("\x00\x00\x04HANS\x00\x00\x00\x04OTTO", 15));
}

TEST_F(KeyBuildingTest, ManyShortFirstNamesFitTheMatchKey) {
  // Thirteen two-letter first names fill 38 characters; with their 3-byte identifiers they take
  // 1 + 13 * 6 bytes of the key.
  std::string list, name;
  for (char c = 'a'; c < 'a' + 13; ++c) {
    list += std::string{c, c} + ",1\n";
    name += std::string{c, c} + " ";
  }
  AddSlot(SlotKind::kNormal, {{1, 39}}, {Normal(1, false, true)}, list);
  const std::string key = Key(name);
  EXPECT_EQ(key.size(), 1u + 13 * 6);
  EXPECT_EQ(static_cast<std::uint8_t>(key[0]), 13);
}

TEST_F(KeyBuildingTest, DarkListedSlotIsEmptyAndAddsNoQuality) {
  AddSlot(SlotKind::kNormal, {{1, 25}}, {Normal(1)}, "gmbh\nund\n");
  AddSlot(SlotKind::kText, {{51, 10}}, {Of(ComponentKind::kText)});
  EXPECT_EQ(Key(std::string("GmbH und") + std::string(42, ' ') + "K\x94ln"), S("\x00\x01\x04K\x99LN", 7));
  EXPECT_EQ(Flag(), 5);
}

TEST_F(KeyBuildingTest, CompanySlotFindsTheContactPerson) {
  // Field 1: a word of class 0 and one of class 10; field 2: a salutation (11), a first name (1)
  // and a word of class 0. Field 2 ranks 1: the contact person starts at the salutation.
  const std::string list = "gmbh,10\nherrn,11\nhans,1#11\n";
  AddSlot(SlotKind::kFirma, {{1, 12}, {13, 14}},
          {Normal(1), Normal(1), Normal(1), Of(ComponentKind::kText)}, list);
  EXPECT_EQ(Key("Muster GmbH Herrn Hans Ott"),
            S("\x01\x06MUSTER" "\x01\x04HANS" "\x01\x03OTT" "\x01\x01" "1", 22));
}

TEST_F(KeyBuildingTest, CompanyWithoutContactKeepsAllWords) {
  AddSlot(SlotKind::kFirma, {{1, 25}}, {Normal(1), Normal(1), Normal(1), Of(ComponentKind::kText)});
  EXPECT_EQ(Key("Alpha Beta"), S("\x02\x05" "ALPHA\x04" "BETA\x00\x00\x00", 15));
}

TEST_F(KeyBuildingTest, CompanyAkzCriterionTakesFieldOneAsContact) {
  AddSlot(SlotKind::kFirma, {{1, 25}}, {Normal(1), Normal(1), Normal(1), Of(ComponentKind::kText)});
  slots_.back().akzField = {51, 1};
  EXPECT_EQ(Key(std::string("Alpha Beta") + std::string(40, ' ') + "2"),
            S("\x00\x00\x02\x05" "ALPHA\x04" "BETA\x01\x01" "2", 17));
}

TEST_F(KeyBuildingTest, KeysBuiltOnTwoCoresLeaveAsOnOne) {
  // The phonetic stand-in fails on one word, as a table would fail on a damaged record.
  tables_.phonetic = [](std::uint8_t* b, std::size_t n) {
    if (std::string_view(reinterpret_cast<const char*>(b), n).find("kaputt") !=
        std::string_view::npos) {
      Fatal("Testfehler");
    }
    return Phonetic(b, n);
  };
  AddSlot(SlotKind::kName, {{1, 25}}, {Normal(1), Normal(1)}, "hans,1#11\nanna,1#12\n");
  AddSlot(SlotKind::kNormal, {{26, 20}}, {Normal(3)});
  AddSlot(SlotKind::kText, {{51, 10}}, {Of(ComponentKind::kText)});
  Key("");  // derives the layout
  const char* first[] = {"Hans", "Anna", "Otto", "Eva-Maria", "H.", ""};
  const char* last[] = {"Meier", "Schulz", "M\x81ller", "von der Heide", "Ba"};
  auto records = [&](std::size_t count, std::size_t broken) {
    std::vector<std::string> r;
    for (std::size_t i = 0; i < count; ++i) {
      std::string name = std::string(first[i % 6]) + " " + last[(i / 6) % 5];
      if (i == broken) name = "kaputt";
      std::string street = "Weg " + std::to_string(i % 97);
      name.resize(25, ' ');
      street.resize(20, ' ');
      std::string record = name + street + "12345" + "Ort" + std::to_string(i % 13);
      record.resize(60, ' ');
      record += std::string("\x01\x00", 2) + "12345";  // file number, class key
      record.resize(set_->Fields().classRecordLength, ' ');
      r.push_back(record);
    }
    return r;
  };
  struct Result {
    std::vector<std::string> records;
    std::string error;
  };
  auto run = [&](const std::vector<std::string>& input, bool parallel, std::uint8_t mode) {
    TMemoryLayer* arena = CreateWithArena<TMemoryLayer>(StandardHeap(), 8 << 20);
    TMemoryLayer* phase = PushLayer(*arena);
    auto* manager = CreateIn<TProcessManager>(*phase);
    auto* source = CreateIn<testing::VectorSource>(*phase);
    auto* builder = CreateIn<TBuildMatchKey>(*phase);
    auto* sink = CreateIn<testing::Collector>(*phase);
    source->Setup(manager, input, &layout_, mode);
    builder->Setup(manager, *set_, tables_, set_->Fields().classRecordLength);
    builder->parallel = parallel;
    sink->Setup(manager, set_->Fields().matchRecordLength);
    source->ConnectOutput(1, builder->InputGate(1));
    builder->ConnectOutput(1, sink->InputGate(1));
    Result result;
    result.error = testing::FatalTextOf([&] {
      try {
        manager->Run(*source, &PushLayer, *phase);
      } catch (...) {
        result.records = sink->records;
        ErrorUnwindScope unwinding;  // the run's own layer is still on top
        Free(phase);                 // ends the builder, and with it its helper
        phase = nullptr;
        throw;
      }
    });
    if (phase != nullptr) {
      result.records = sink->records;
      Free(phase);
    }
    Free(arena);
    return result;
  };
  // Several full batches and a part of one; each record is numbered by its street.
  const std::vector<std::string> whole = records(5000, 5000);
  for (std::uint8_t mode : {std::uint8_t{kModeSend}, std::uint8_t{kModeCall}}) {
    SCOPED_TRACE(mode == kModeSend ? "send" : "call");
    const Result one = run(whole, false, mode);
    const Result two = run(whole, true, mode);
    EXPECT_EQ(one.error, "");
    EXPECT_EQ(two.error, "");
    ASSERT_EQ(one.records.size(), 5000u);
    EXPECT_TRUE(two.records == one.records) << "the same keys in the same order";
  }
  // A record that fails in the second half of a batch: the records before it have gone on.
  const Result one = run(records(5000, 3500), false, kModeSend);
  const Result two = run(records(5000, 3500), true, kModeSend);
  EXPECT_EQ(one.error, "Testfehler");
  EXPECT_EQ(two.error, "Testfehler");
  EXPECT_EQ(one.records.size(), 3500u);
  EXPECT_TRUE(two.records == one.records);
}

TEST_F(KeyBuildingTest, ClassKeyIsUpperCasedAndItsPostalCodeMapped) {
  AddSlot(SlotKind::kText, {{1, 5}}, {Of(ComponentKind::kText)});
  tables_.plzMap = [](std::int32_t code) { return code == 12345 ? 12300 : code; };
  Key("");  // derives the layout
  TMemoryLayer* phase = CreateWithArena<TMemoryLayer>(StandardHeap(), 1 << 20);
  auto* manager = CreateIn<TProcessManager>(*phase);
  auto* source = CreateIn<testing::VectorSource>(*phase);
  auto* builder = CreateIn<TBuildSortKey>(*phase);
  auto* sink = CreateIn<testing::Collector>(*phase);
  std::string record = std::string("m\x81ll") + std::string(41, ' ') + "12345" + std::string(10, ' ');
  record += std::string("\x01\x00", 2);
  source->Setup(manager, {record}, &layout_);
  builder->Setup(manager, *set_, tables_, 62);
  sink->Setup(manager, set_->Fields().classRecordLength);
  source->ConnectOutput(1, builder->InputGate(1));
  builder->ConnectOutput(1, sink->InputGate(1));
  manager->Run(*source, &PushLayer, *phase);
  ASSERT_EQ(sink->records.size(), 1u);
  EXPECT_EQ(sink->records[0].size(), set_->Fields().classRecordLength);
  EXPECT_EQ(sink->records[0].substr(set_->Fields().classKeyPosition - 1), "12300M\x9aLL");
  Free(phase);
}

}  // namespace
}  // namespace vld
