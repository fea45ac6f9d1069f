#include "params/param_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>

#include "params/param_tree_io.h"
#include "params/param_types_composed.h"
#include "platform/errors.h"
#include "platform/le_codec.h"

namespace vld {
namespace {

using Names = std::vector<std::string>;
using Types = std::vector<TypeRef>;

const char* kDamaged =
    "Fehler beim Einlesen der Parameter aus Datei\r\"x.PAR\":\rDatei ist beschädigt";
const char* kNotParams =
    "Fehler beim Einlesen der Parameter aus Datei\r\"x.PAR\":\rkeine Parameter-Datei, oder "
    "falsche Version";

TParamTypeRef<const TParamTTRecord> AsRecord(const TypeRef& type) {
  return TParamTypeRef<const TParamTTRecord>(static_cast<const TParamTTRecord*>(type.get()));
}

TParamSet NewSet(const TParamTTRecord& schema) {
  TParamSet set;
  set.root.reset(static_cast<TParamTVRecord*>(schema.NewValue().release()));
  return set;
}

std::string LoadError(std::string_view bytes, const TParamTTRecord& schema) {
  try {
    LoadParamBytes(bytes, "x.PAR", schema, false);
  } catch (const EUserError& e) {
    return e.what();
  }
  return "(geladen)";
}

// The format's reference example: root record R with a of an integer type (default 5) and e of the
// enumeration E (x, y; default 1).
TParamTypeRef<const TParamTTRecord> ExampleSchema() {
  auto e = NewType<TParamTTEnum>("E", 1, Names{"x", "y"});
  return AsRecord(NewType<TParamTTRecord>("R", 4, Names{"a", "e"},
                                          Types{NewType<TParamTTInteger>(5, 0, 10), e}));
}

// The example's expected bytes, field by field; `offsets` names the fields a test damages.
struct ExampleBytes {
  std::string bytes;
  std::size_t type_count, enum_count, record_member_count, root_member_count, name_length;
};

ExampleBytes ExpectedExample() {
  ExampleBytes out;
  le::Writer w;
  const auto text = [&](std::string_view s) {
    w.I32(static_cast<std::int32_t>(s.size()));
    w.Bytes(s);
  };
  w.Bytes(std::string_view("Veldrona-Parameter (C) Korvist \x1a", 32));
  w.I32(1);  // version
  w.U8(0);   // HideLevel 1
  w.U8(0);   // EditLevel 1
  w.Zeros(6);
  text("");  // the ignored text
  out.type_count = w.size();
  w.I32(2);
  w.I32(12), w.I32(1), text("E");
  out.enum_count = w.size();
  w.I32(2), text("x"), text("y");
  w.I32(13), w.I32(2);
  out.name_length = w.size();
  text("R");
  out.record_member_count = w.size();
  w.I32(2), text("a"), w.I32(-1), text("e"), w.I32(1);
  w.I32(5), w.I32(2), w.U8(1);
  out.root_member_count = w.size();
  w.I32(2);
  w.I32(1), w.I32(-1), w.U8(1), w.I32(5), w.I32(5);
  w.I32(2), w.I32(1), w.U8(1), w.I32(1), w.I32(1);
  out.bytes = w.Take();
  return out;
}

TEST(ParamFileTest, WritesTheReferenceExampleByteForByte) {
  const auto schema = ExampleSchema();
  EXPECT_EQ(ParamSetBytes(NewSet(*schema)), ExpectedExample().bytes);
}

TEST(ParamFileTest, ReadsTheReferenceExampleBack) {
  const auto schema = ExampleSchema();
  const std::string bytes = ExpectedExample().bytes;
  const TParamSet set = LoadParamBytes(bytes, "x.PAR", *schema, false);
  EXPECT_TRUE(set.root->Equals(*NewSet(*schema).root));
  EXPECT_EQ(set.root->State(), kStateNew);
  EXPECT_EQ(ParamSetBytes(set), bytes);
}

TEST(ParamFileTest, LevelsAreStoredMinusOne) {
  const auto schema = ExampleSchema();
  TParamSet set = NewSet(*schema);
  set.hide_level = 4;
  set.edit_level = 3;
  const std::string bytes = ParamSetBytes(set);
  EXPECT_EQ(bytes[36], 3);
  EXPECT_EQ(bytes[37], 2);
  const TParamSet back = LoadParamBytes(bytes, "x.PAR", *schema, false);
  EXPECT_EQ(back.hide_level, 4);
  EXPECT_EQ(back.edit_level, 3);
}

TEST(ParamFileTest, RejectsWhatIsNoParameterFile) {
  const auto schema = ExampleSchema();
  const std::string good = ExpectedExample().bytes;
  std::string wrong_end = good;
  wrong_end[31] = 0x1b;  // the magic differs only in its last byte
  std::string version2 = good;
  version2[32] = 2;
  std::string level7 = good;
  level7[37] = 7;  // no writer produces a level byte above 3
  struct Case {
    std::string bytes;
    std::string message;
  } cases[] = {
      {"", kNotParams},
      {good.substr(0, 43), kNotParams},
      {good.substr(0, 44), kDamaged},  // a good header, then nothing
      {wrong_end, kNotParams},
      {version2, kNotParams},
      {level7, kDamaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes.size());
    EXPECT_EQ(LoadError(c.bytes, *schema), c.message);
  }
  try {
    LoadParamBytes("", "x.PMS", *schema, true);
  } catch (const EUserError& e) {
    EXPECT_STREQ(e.what(),
                 "Fehler beim Einlesen des Schemas aus Datei\r\"x.PMS\":\rkeine Parameter-Datei, "
                 "oder falsche Version");
  }
}

TEST(ParamFileTest, EveryCutOfAFileIsAClearMessage) {
  const auto schema = ExampleSchema();
  const std::string bytes = ExpectedExample().bytes;
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    SCOPED_TRACE(cut);
    EXPECT_EQ(LoadError(bytes.substr(0, cut), *schema), cut < 44 ? kNotParams : kDamaged);
  }
}

TEST(ParamFileTest, HugeOrNegativeCountsAreDamageNotAllocations) {
  const auto schema = ExampleSchema();
  const ExampleBytes example = ExpectedExample();
  for (std::size_t offset : {example.type_count, example.enum_count, example.record_member_count,
                             example.root_member_count, example.name_length}) {
    for (std::int32_t count : {0x7fffffff, -1, 0x40000000}) {
      SCOPED_TRACE(testing::Message() << offset << " " << count);
      std::string bytes = example.bytes;
      le::PutI32(std::span(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()), offset,
                 count);
      EXPECT_EQ(LoadError(bytes, *schema), kDamaged);
    }
  }
}

TEST(ParamFileTest, EveryFlippedByteLoadsOrGivesAClearMessage) {
  const auto schema = ExampleSchema();
  const std::string good = ExpectedExample().bytes;
  for (std::size_t i = 0; i < good.size(); ++i) {
    for (int flip : {0x01, 0x80, 0xff}) {
      SCOPED_TRACE(testing::Message() << i << " " << flip);
      std::string bytes = good;
      bytes[i] = static_cast<char>(bytes[i] ^ flip);
      const std::string error = LoadError(bytes, *schema);
      EXPECT_TRUE(error == "(geladen)" || error == kDamaged || error == kNotParams) << error;
    }
  }
}

TEST(ParamFileTest, UnknownStreamCodeOrTypeIdIsDamage) {
  const auto schema = ExampleSchema();
  const ExampleBytes example = ExpectedExample();
  std::string code = example.bytes;
  code[example.type_count + 4] = 99;  // the first description's stream code
  EXPECT_EQ(LoadError(code, *schema), kDamaged);
  std::string id = example.bytes;
  id[example.type_count + 8] = 2;  // the enumeration claims the id of the record
  EXPECT_EQ(LoadError(id, *schema), kDamaged);
}

TEST(ParamFileTest, DeeplyNestedStoredTypesAreRefused) {
  // 100 lists, each of the one before: a table nested far deeper than any schema.
  le::Writer w;
  w.Bytes(std::string_view("Veldrona-Parameter (C) Korvist \x1a", 32));
  w.I32(1), w.U16(0), w.Zeros(6), w.I32(0);
  w.I32(100);
  for (int id = 1; id <= 100; ++id) w.I32(14), w.I32(id), w.I32(id == 1 ? -1 : id - 1);
  const auto schema = ExampleSchema();
  EXPECT_EQ(LoadError(w.bytes(), *schema), kDamaged);
}

// ---- files written under another schema

struct Versions {
  TypeRef number = NewType<TParamTTInteger>(5, 0, 10);
  TypeRef extra = NewType<TParamTTInteger>(77, 0, 100);
  TypeRef old_kind = NewType<TParamTTEnum>("E", 0, Names{"x", "y", "Z"});
  TypeRef new_kind = NewType<TParamTTEnum>("E", 0, Names{"x", "neu", "z"});
  // Older: a, gone, e.   Current: e, a, added (gone removed, added new, y renamed to neu).
  TParamTypeRef<const TParamTTRecord> older = AsRecord(
      NewType<TParamTTRecord>("R", 4, Names{"a", "gone", "e"}, Types{number, number, old_kind}));
  TParamTypeRef<const TParamTTRecord> current = AsRecord(
      NewType<TParamTTRecord>("R", 4, Names{"e", "a", "added"}, Types{new_kind, number, extra}));
};

TEST(ParamFileTest, ReadsAFileOfAnOlderSchemaByNames) {
  Versions v;
  for (int stored_kind : {0, 1, 2}) {
    SCOPED_TRACE(stored_kind);
    TParamSet set = NewSet(*v.older);
    static_cast<TParamTVInteger&>(set.root->Item(0)).SetCurrent(8);
    static_cast<TParamTVInteger&>(set.root->Item(1)).SetCurrent(9);
    static_cast<TParamTVEnum&>(set.root->Item(2)).SetIndex(stored_kind);
    set.root->Commit(false);
    const TParamSet back = LoadParamBytes(ParamSetBytes(set), "x.PAR", *v.current, false);
    EXPECT_EQ(static_cast<TParamTVInteger&>(*back.root->Member("a")).Current(), 8);
    EXPECT_EQ(static_cast<TParamTVInteger&>(*back.root->Member("added")).Current(), 77);
    EXPECT_EQ(back.root->Member("added")->State(), kStateNew);  // the schema's default
    // x stays x; the renamed y is unknown and gives the default x (not neu at its old
    // position); Z is found as z.
    const int expected[] = {0, 0, 2};
    EXPECT_EQ(static_cast<TParamTVEnum&>(*back.root->Member("e")).Index(), expected[stored_kind]);
    EXPECT_EQ(back.root->State(), kStateChanged);  // the new member is not unchanged
  }
}

TEST(ParamFileTest, ReadsUnionsAndListsOfAnotherSchema) {
  auto number = NewType<TParamTTInteger>(1, 0, 10);
  auto text = NewType<TParamTTString>(false, "t", 0, 10);
  const auto kind = [](Names names) { return NewType<TParamTTEnum>("K", 0, std::move(names)); };
  auto old_union =
      NewType<TParamTTUnion>("U", 4, kind({"A", "B", "C"}), Types{number, text, nullptr}, "Art", 0);
  auto new_union =
      NewType<TParamTTUnion>("U", 4, kind({"C", "B", "D"}), Types{number, text, number}, "Art", 2);
  auto old_root = AsRecord(NewType<TParamTTRecord>(
      "Root", 4, Names{"l"}, Types{NewType<TParamTTList>(4, 0, 9, 4, -1, old_union)}));
  auto new_root = AsRecord(NewType<TParamTTRecord>(
      "Root", 4, Names{"l"}, Types{NewType<TParamTTList>(4, 0, 9, 4, -1, new_union)}));
  TParamSet set = NewSet(*old_root);
  auto& list = static_cast<TParamTVList&>(set.root->Item(0));
  for (int d : {0, 1, 2}) {
    auto u = old_union->NewValue();
    static_cast<TParamTVUnion&>(*u).SetDiscriminant(d);
    list.Insert(list.Count(), std::move(u));
  }
  static_cast<TParamTVString&>(*static_cast<TParamTVUnion&>(list.Item(1)).Variant()).SetText("b");
  for (bool lazy : {true, false}) {
    SCOPED_TRACE(lazy);
    const std::string bytes = ParamSetBytes(set);
    TParamBytesReader reader(std::string_view(bytes).substr(48));
    auto root = ReadParamTree(*new_root, reader, lazy);
    ASSERT_TRUE(root);
    const auto& back =
        static_cast<const TParamTVList&>(static_cast<TParamTVRecord&>(*root).Item(0));
    ASSERT_EQ(back.Count(), 3);
    // A is unknown: the default discriminant D with a new value; B keeps its text; the empty
    // stored variant C becomes the schema's C with a new value.
    EXPECT_EQ(back.Item(0).AsText(1), ">>> D => 1");
    EXPECT_EQ(back.Item(1).AsText(1), ">>> B => b");
    EXPECT_EQ(back.Item(2).AsText(1), ">>> C => 1");
  }
}

TEST(ParamFileTest, IncompatibleStoredTypeIsDamage) {
  auto old_root =
      AsRecord(NewType<TParamTTRecord>("R", 4, Names{"a"}, Types{NewType<TParamTTString>()}));
  auto new_root = AsRecord(
      NewType<TParamTTRecord>("R", 4, Names{"a"}, Types{NewType<TParamTTInteger>(0, 0, 1)}));
  EXPECT_EQ(LoadError(ParamSetBytes(NewSet(*old_root)), *new_root), kDamaged);
}

TEST(ParamFileTest, AFileNameIsStoredAsAPlainString) {
  auto file_root = AsRecord(
      NewType<TParamTTRecord>("R", 4, Names{"f"}, Types{NewType<TParamTTFileName>("a.txt", 5)}));
  auto text_root = AsRecord(
      NewType<TParamTTRecord>("R", 4, Names{"f"}, Types{NewType<TParamTTString>(false, "", 0, 9)}));
  const std::string bytes = ParamSetBytes(NewSet(*file_root));
  // One type description only: the file name has the predefined id -2.
  EXPECT_EQ(
      le::GetI32(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 48),
      1);
  EXPECT_EQ(static_cast<TParamTVString&>(
                *LoadParamBytes(bytes, "x.PAR", *text_root, false).root->Member("f"))
                .Text(),
            "a.txt");
  const TParamSet back = LoadParamBytes(bytes, "x.PAR", *file_root, false);
  EXPECT_NE(dynamic_cast<TParamTVFileName*>(back.root->Member("f")), nullptr);
}

TEST(ParamFileTest, TextsAreWindows1252InTheFileAndEmptyStaysEmpty) {
  auto root = AsRecord(NewType<TParamTTRecord>(
      "R", 4, Names{"s"}, Types{NewType<TParamTTString>(false, "Vorgabe", 0, 99)}));
  TParamSet set = NewSet(*root);
  static_cast<TParamTVString&>(set.root->Item(0)).SetText("");
  std::string bytes = ParamSetBytes(set);
  EXPECT_EQ(
      static_cast<TParamTVString&>(*LoadParamBytes(bytes, "x.PAR", *root, false).root->Member("s"))
          .Text(),
      "");
  static_cast<TParamTVString&>(set.root->Item(0)).SetText("Grüße €");
  bytes = ParamSetBytes(set);
  EXPECT_NE(bytes.find("Gr\xfc\xdf"
                       "e \x80"),
            std::string::npos);
  EXPECT_EQ(
      static_cast<TParamTVString&>(*LoadParamBytes(bytes, "x.PAR", *root, false).root->Member("s"))
          .Text(),
      "Grüße €");
}

// ---- files on disk

class ParamFileOnDiskTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/veldrona-params-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  std::string dir_;
};

TEST_F(ParamFileOnDiskTest, StoresAndLoadsAFile) {
  const auto schema = ExampleSchema();
  const std::string path = dir_ + "/a.PAR";
  StoreParamFile(path, NewSet(*schema));
  std::ifstream in(path, std::ios::binary);
  const std::string on_disk((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(on_disk, ExpectedExample().bytes);
  EXPECT_TRUE(LoadParamFile(path, *schema, false).root->Equals(*NewSet(*schema).root));
}

TEST_F(ParamFileOnDiskTest, ReportsFilesThatCannotBeRead) {
  const auto schema = ExampleSchema();
  const auto error = [&](const std::string& path) {
    try {
      LoadParamFile(path, *schema, false);
    } catch (const std::exception& e) {
      return std::string(e.what());
    }
    return std::string("(geladen)");
  };
  EXPECT_EQ(error(dir_ + "/fehlt.PAR"), "Die Datei \"" + dir_ + "/fehlt.PAR\" gibt es nicht.");
  EXPECT_EQ(error(dir_), "Die Datei \"" + dir_ + "\" kann nicht geöffnet werden.");
  const std::string short_file = dir_ + "/kurz.PAR";
  std::ofstream(short_file) << "kurz";
  EXPECT_EQ(error(short_file), "Fehler beim Einlesen der Parameter aus Datei\r\"" + short_file +
                                   "\":\rkeine Parameter-Datei, oder falsche Version");
  const std::string cut_file = dir_ + "/cut.PAR";
  std::ofstream(cut_file, std::ios::binary) << ExpectedExample().bytes.substr(0, 60);
  EXPECT_EQ(error(cut_file), "Fehler beim Einlesen der Parameter aus Datei\r\"" + cut_file +
                                 "\":\rDatei ist beschädigt");
}

TEST_F(ParamFileOnDiskTest, AFailedStoreLeavesNothingBehind) {
  const auto schema = ExampleSchema();
  const std::string path = dir_ + "/fehlt/a.PAR";
  try {
    StoreParamFile(path, NewSet(*schema));
    ADD_FAILURE() << "stored";
  } catch (const EInOutError& e) {
    EXPECT_EQ(std::string(e.what()), "Die Datei \"" + path + "\" kann nicht geschrieben werden.");
  }
  // Replacing keeps the old file until the new one is complete, and keeps its permissions.
  const std::string existing = dir_ + "/b.PAR";
  std::ofstream(existing) << "alt";
  chmod(existing.c_str(), 0640);
  StoreParamFile(existing, NewSet(*schema));
  struct stat info {};
  ASSERT_EQ(stat(existing.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(std::system(("test $(ls '" + dir_ + "' | wc -l) -eq 1").c_str()), 0);
}

}  // namespace
}  // namespace vld
