#include "params/param_values.h"

#include <gtest/gtest.h>

#include <functional>

#include "params/param_text.h"
#include "params/param_tree_error.h"
#include "params/param_values_composed.h"

namespace vld {
namespace {

using Names = std::vector<std::string>;
using Types = std::vector<TypeRef>;

template <class V>
std::unique_ptr<V> NewOf(const TypeRef& type) {
  return std::unique_ptr<V>(static_cast<V*>(type->NewValue().release()));
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EParamTree& e) {
    return e.what();
  }
  return "(kein Fehler)";
}

TEST(ParamValuesTest, StateFollowsNewFlagAndReference) {
  auto v = NewOf<TParamTVInteger>(NewType<TParamTTInteger>(5, 0, 10));
  EXPECT_EQ(v->State(), kStateNew);
  v->Commit(false);
  EXPECT_EQ(v->State(), kStateUnchanged);
  ASSERT_TRUE(v->SetAsText("7"));
  EXPECT_EQ(v->State(), kStateChanged);
  ASSERT_TRUE(v->SetAsText("5"));
  EXPECT_EQ(v->State(), kStateUnchanged);
  v->SetCurrent(9);
  v->Revert(false);
  EXPECT_EQ(v->Current(), 5);
}

TEST(ParamValuesTest, IntegerTextMustParseAndLieInRange) {
  auto v = NewOf<TParamTVInteger>(NewType<TParamTTInteger>(100, 4, 8192));
  EXPECT_FALSE(v->SetAsText("3"));
  EXPECT_FALSE(v->SetAsText("abc"));
  EXPECT_EQ(v->Current(), 100);
  EXPECT_TRUE(v->SetAsText("4096"));
  EXPECT_EQ(v->Current(), 4096);
  EXPECT_EQ(v->AsText(1), "4096");
}

TEST(ParamValuesTest, ParsesDecimalAndHexadecimalNumbers) {
  struct Case {
    const char* text;
    std::optional<std::int32_t> expected;
  } cases[] = {
      {"42", 42},
      {"  -7", -7},
      {"+7", 7},
      {"$FF", 255},
      {"0x10", 16},
      {"X1f", 31},
      {"-$10", -16},
      {"$FFFFFFFF", -1},
      {"2147483647", 2147483647},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      {"$100000000", std::nullopt},
      {"", std::nullopt},
      {" ", std::nullopt},
      {"12a", std::nullopt},
      {"0x", std::nullopt},
      {"$", std::nullopt},
      {"1 ", std::nullopt},
      {"- 1", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseParamInteger(c.text), c.expected);
  }
}

TEST(ParamValuesTest, CharacterTakesExactlyOneAllowedCharacter) {
  auto v = NewOf<TParamTVChar>(NewType<TParamTTChar>(';', TParamTTChar::Range(32, 255)));
  EXPECT_EQ(v->AsText(1), "';'");
  EXPECT_FALSE(v->SetAsText("ab"));
  EXPECT_FALSE(v->SetAsText(""));
  EXPECT_FALSE(v->SetAsText("\t"));           // below the allowed set
  EXPECT_FALSE(v->SetAsText("\xc5\x91"));     // ő has no Windows-1252 code
  EXPECT_TRUE(v->SetAsText("\xe2\x82\xac"));  // € is code 0x80
  EXPECT_EQ(v->Current(), 0x80);
  EXPECT_EQ(v->AsText(1), "'\xe2\x82\xac'");
  EXPECT_TRUE(v->SetAsText("'"));
  EXPECT_EQ(v->AsText(1), "''''");
}

TEST(ParamValuesTest, EnumerationTextIsAnElementNameIgnoringCase) {
  auto v = NewOf<TParamTVEnum>(NewType<TParamTTEnum>("E", 1, Names{"Grunddatei", "Übrige"}));
  EXPECT_EQ(v->AsText(1), "Übrige");
  EXPECT_TRUE(v->SetAsText("GRUNDDATEI"));
  EXPECT_EQ(v->Index(), 0);
  EXPECT_TRUE(v->SetAsText("übrige"));
  EXPECT_EQ(v->Index(), 1);
  EXPECT_FALSE(v->SetAsText("Sonst"));
  v->SetIndex(5);
  EXPECT_FALSE(v->IsValid());
  EXPECT_EQ(ErrorOf([&] { v->AsText(1); }), "Invalid index");
}

TEST(ParamValuesTest, StringLimitsCountCharactersAndNeedWindows1252) {
  auto v = NewOf<TParamTVString>(NewType<TParamTTString>(false, "", 1, 3));
  EXPECT_TRUE(v->SetAsText("äöü"));  // three characters, six bytes
  EXPECT_FALSE(v->SetAsText("äöüß"));
  EXPECT_FALSE(v->SetAsText(""));
  EXPECT_FALSE(v->SetAsText("\xc5\x91"));  // ő cannot be stored
  EXPECT_FALSE(v->SetAsText("\xff"));      // not UTF-8
  EXPECT_EQ(v->Text(), "äöü");
  auto quoted = NewOf<TParamTVString>(NewType<TParamTTString>());
  ASSERT_TRUE(quoted->SetAsText("it's\ta"));
  EXPECT_EQ(quoted->AsText(1), "'it''s'#9'a'");
}

TEST(ParamValuesTest, MemoShortTextJoinsLinesAndStopsBefore60Characters) {
  auto v = NewOf<TParamTVMemo>(NewType<TParamTTMemo>("", 0, 100000));
  struct Case {
    std::string text, short_text;
  } cases[] = {
      {"abc", "abc"},
      {"abc\r\ndef", "abc \xc3\xb7 def"},
      {"abc\r\n", "abc \xc3\xb7 "},
      {"a\rb\r\nc", "a \xc3\xb7 b \xc3\xb7 c"},
      {"first\r\n" + std::string(50, 'x') + "\r\n" + std::string(10, 'y'),
       "first \xc3\xb7 " + std::string(50, 'x') + " \xc3\xb7 ..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    v->SetText(c.text);
    EXPECT_EQ(v->AsShortText(1), c.short_text);
    const bool has_cr = c.text.find('\r') != std::string::npos;
    EXPECT_EQ(v->AsText(1), has_cr ? ">>> " + c.short_text : c.text);
  }
}

TypeRef LongTextRecord() {
  auto text = NewType<TParamTTString>(false, std::string(25, 'w'), 0, 100);
  auto hidden = NewType<TParamTTInteger>(0, 0, 9);
  hidden->SetLevel(1);
  return NewType<TParamTTRecord>("R", 4, Names{"a", "b", "h", "c"},
                                 Types{text, text, hidden, text});
}

TEST(ParamValuesTest, SummaryIsCutBeforeItReaches60Characters) {
  auto r = NewOf<TParamTVRecord>(LongTextRecord());
  const std::string w(25, 'w');
  // Two texts fit (27 + 25 + 4 < 60), the last one would reach 60 (54 + 25); the member of
  // level 1 is left out at level 4.
  EXPECT_EQ(r->Summary(4), w + ", " + w + ", ...");
  EXPECT_EQ(r->AsText(4), ">>> " + w + ", " + w + ", ...");
  EXPECT_EQ(r->AsShortText(4), "(" + w + ", " + w + ", ...)");
  EXPECT_EQ(r->Summary(1), w + ", " + w + ", 0, ...");
  static_cast<TParamTVString&>(r->Item(0)).SetText("a");
  static_cast<TParamTVString&>(r->Item(1)).SetText("b");
  EXPECT_EQ(r->Summary(4), "a, b, " + w);
  EXPECT_EQ(r->Summary(1), "a, b, 0, " + w);
  for (int cut = 0; cut < 80; ++cut) {
    static_cast<TParamTVString&>(r->Item(3))
        .SetText(std::string(static_cast<std::size_t>(cut), 'z'));
    EXPECT_LE(CharCount(r->Summary(4)), 60u) << cut;
  }
}

struct ListFixture {
  TypeRef name = NewType<TParamTTElemName>(20);
  TypeRef number = NewType<TParamTTInteger>(0, 0, 99);
  TypeRef entry = NewType<TParamTTRecord>("Entry", 4, Names{"Name", "Zahl"}, Types{name, number});
  TypeRef list_type = NewType<TParamTTList>(4, 1, 3, 4, 0, entry);
  std::unique_ptr<TParamTVList> list = NewOf<TParamTVList>(list_type);

  TParamTVRecord& Element(int i) { return static_cast<TParamTVRecord&>(list->Item(i)); }
  void Add(const char* caption) {
    list->Insert(list->Count(), entry->NewValue());
    static_cast<TParamTVString&>(Element(list->Count() - 1).Item(0)).SetText(caption);
  }
};

TEST(ParamValuesTest, ListCaptionsComeFromTheNamingMember) {
  ListFixture f;
  f.Add("Kunden");
  f.Add("");
  f.Add("#");
  EXPECT_EQ(f.list->ElementCaption(0), "Kunden");
  EXPECT_EQ(f.list->ElementCaption(1), "#2");
  EXPECT_EQ(f.list->ElementCaption(2), "#3");
  EXPECT_EQ(f.list->ElementCaption(7), "#8");
  EXPECT_TRUE(f.list->IsElemNameMember(0, f.Element(0).Item(0)));
  EXPECT_FALSE(f.list->IsElemNameMember(0, f.Element(0).Item(1)));
  EXPECT_FALSE(f.list->IsElemNameMember(1, f.Element(0).Item(0)));
}

TEST(ParamValuesTest, ListOperationsCheckIndicesAndTypes) {
  ListFixture f;
  f.Add("a");
  f.Add("b");
  EXPECT_EQ(ErrorOf([&] { f.list->Insert(3, f.entry->NewValue()); }), "Invalid index 3.");
  EXPECT_EQ(ErrorOf([&] { f.list->Insert(0, f.number->NewValue()); }),
            "Value of invalid parameter type.");
  EXPECT_EQ(ErrorOf([&] { f.list->Delete(2); }), "Invalid index 2.");
  EXPECT_EQ(ErrorOf([&] { f.list->Move(0, 2); }), "Invalid index");
  EXPECT_EQ(ErrorOf([&] { f.list->Item(-1); }),
            "element index -1 out of bounds in collection of type List (1,3) of Entry");
  f.list->Move(0, 1);
  EXPECT_EQ(f.list->ElementCaption(0), "b");
  f.list->Delete(0);
  EXPECT_EQ(f.list->Count(), 1);
  EXPECT_EQ(f.list->ElementCaption(0), "a");
  EXPECT_TRUE(f.list->IsValid());
  f.list->Delete(0);
  EXPECT_FALSE(f.list->IsValid());  // fewer than the minimum
}

TEST(ParamValuesTest, ComposedStatesSeeChangesBelowThem) {
  ListFixture f;
  auto root_type =
      NewType<TParamTTRecord>("Root", 4, Names{"Liste", "Zahl"}, Types{f.list_type, f.number});
  auto root = NewOf<TParamTVRecord>(root_type);
  root->Commit(false);
  EXPECT_EQ(root->State(), kStateUnchanged);
  auto& list = static_cast<TParamTVList&>(root->Item(0));
  list.Insert(0, f.entry->NewValue());
  EXPECT_EQ(list.State(), kStateChanged);
  EXPECT_EQ(root->State(), kStateChanged);  // one member list got an extra element
  list.Revert(false);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(root->State(), kStateUnchanged);
  auto copy = root->Clone();
  EXPECT_TRUE(copy->Equals(*root));
  static_cast<TParamTVInteger&>(root->Item(1)).SetCurrent(3);
  EXPECT_FALSE(copy->Equals(*root));
  EXPECT_EQ(copy->State(), kStateUnchanged);
}

struct UnionFixture {
  TypeRef kind = NewType<TParamTTEnum>("Kind", 0, Names{"Leer", "Zahl", "Auch Zahl", "Text"});
  TypeRef number = NewType<TParamTTInteger>(7, 0, 99);
  TypeRef text = NewType<TParamTTString>(false, "t", 0, 9);
  TypeRef type = NewType<TParamTTUnion>(
      "U", 4, TParamTypeRef<const TParamTTEnum>(static_cast<const TParamTTEnum*>(kind.get())),
      Types{nullptr, number, number, text}, "Art", 1, Consts(42));
  std::unique_ptr<TParamTVUnion> u = NewOf<TParamTVUnion>(type);
};

TEST(ParamValuesTest, UnionSwitchesItsVariantWithTheDiscriminant) {
  UnionFixture f;
  EXPECT_EQ(f.u->AsText(1), ">>> Zahl => 42");
  EXPECT_EQ(f.u->AsShortText(1), "(Zahl => 42)");
  f.u->Commit(false);
  f.u->SetDiscriminant(2);  // the same variant type: the value stays
  EXPECT_EQ(f.u->AsText(1), ">>> Auch Zahl => 42");
  EXPECT_EQ(f.u->State(), kStateChanged);
  f.u->SetDiscriminant(0);
  EXPECT_EQ(f.u->Variant(), nullptr);
  EXPECT_EQ(f.u->AsText(1), ">>> Leer =>");
  f.u->SetDiscriminant(3);
  EXPECT_EQ(f.u->AsText(1), ">>> Text => t");
  EXPECT_EQ(ErrorOf([&] { f.u->SetDiscriminant(4); }), "Invalid Discriminant 4.");
  f.u->Revert(false);
  EXPECT_EQ(f.u->AsText(1), ">>> Zahl => 42");
  EXPECT_EQ(f.u->State(), kStateUnchanged);
}

TEST(ParamValuesTest, DiscriminantAliasEditsTheUnion) {
  UnionFixture f;
  TParamTVDiscriminantAlias alias;
  int calls = 0;
  alias.SetChangeHandler([&](TParamTVUnion& u) {
    EXPECT_EQ(&u, f.u.get());
    ++calls;
  });
  alias.Attach(*f.u);
  EXPECT_EQ(alias.AsText(1), "Zahl");
  EXPECT_TRUE(alias.SetAsText("zahl"));
  EXPECT_EQ(calls, 0);  // unchanged: no switch, no call
  EXPECT_FALSE(alias.SetAsText("Nichts"));
  EXPECT_TRUE(alias.SetAsText("TEXT"));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(f.u->DiscriminantName(), "Text");
  TParamTVEnum other(TParamTypeRef<const TParamTTEnum>(
      static_cast<const TParamTTEnum*>(NewType<TParamTTEnum>("K", 0, Names{"a"}).get())));
  EXPECT_EQ(ErrorOf([&] { other.AssignFromUnion(*f.u); }),
            "enum Enum (K,1) is not the discriminant type of union U");
}

TEST(ParamValuesTest, CloneCopiesFlagsAndBothContents) {
  UnionFixture f;
  f.u->Commit(false);
  static_cast<TParamTVInteger&>(*f.u->Variant()).SetCurrent(5);
  auto copy = f.u->Clone();
  const auto& u = static_cast<const TParamTVUnion&>(*copy);
  EXPECT_EQ(u.State(), kStateChanged);
  EXPECT_EQ(static_cast<const TParamTVInteger&>(*u.Variant()).Reference(), 42);
  EXPECT_TRUE(u.Equals(*f.u));
  EXPECT_NE(u.Variant(), f.u->Variant());  // deep
}

}  // namespace
}  // namespace vld
