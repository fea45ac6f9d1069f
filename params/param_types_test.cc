#include "params/param_types.h"

#include <gtest/gtest.h>

#include <functional>

#include "params/param_adapt.h"
#include "params/param_tree_error.h"
#include "params/param_types_composed.h"
#include "params/param_values_composed.h"

namespace vld {
namespace {

using Names = std::vector<std::string>;
using Types = std::vector<TypeRef>;

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EParamTree& e) {
    return e.what();
  }
  return "(kein Fehler)";
}

TypeRef Int() { return NewType<TParamTTInteger>(0, 0, 9); }
TypeRef Name() { return NewType<TParamTTElemName>(20); }

TEST(ParamTypesTest, ConstructionErrorsCarryTheirTexts) {
  auto e = NewType<TParamTTEnum>("E", 0, Names{"x", "y"});
  auto rec = NewType<TParamTTRecord>("R", 4, Names{"n", "v"}, Types{Name(), Int()});
  struct Case {
    const char* expected;
    std::function<void()> build;
  } cases[] = {
      {"numbers of types and names do not match in record type R",
       [] {
         NewType<TParamTTRecord>("R", 4, Names{"a", "b"}, Types{Int(), Int(), nullptr});
       }},
      {"too many default values in record type R",
       [] { NewType<TParamTTRecord>("R", 4, Names{"a"}, Types{Int()}, Consts(1, 2)); }},
      {"empty member name in record type R",
       [] { NewType<TParamTTRecord>("R", 4, Names{"  "}, Types{Int()}); }},
      {"duplicate member name A in record type R",
       [] {
         NewType<TParamTTRecord>("R", 4, Names{" a ", "A "}, Types{Int(), Int()});
       }},
      {"empty subtype of R", [] { NewType<TParamTTRecord>("R", 4, Names{"a"}, Types{nullptr}); }},
      {"MinElemCount 3 bigger than MaxElemCount 2",
       [] { NewType<TParamTTList>(4, 3, 2, 4, -1, Int()); }},
      {"MinElemCount < 0", [] { NewType<TParamTTList>(4, -1, 2, 4, -1, Int()); }},
      {"too many default values in list type List (0,1) of Integer (0,9)",
       [] { NewType<TParamTTList>(4, 0, 1, 4, -1, Int(), Consts(1, 2)); }},
      {"elem index requires record or union element type (list type List (0,5) of Integer (0,9))",
       [] { NewType<TParamTTList>(4, 0, 5, 4, 0, Int()); }},
      {"elem index out of record (list type List (0,5) of R, record R)",
       [&] { NewType<TParamTTList>(4, 0, 5, 4, 2, rec); }},
      {"elem index must refer to a TParamTTElemName member (list type List (0,5) of R, record R)",
       [&] { NewType<TParamTTList>(4, 0, 5, 4, 1, rec); }},
      {"elem index on union requires record variants (list type List (0,5) of U, variant x)",
       [&] {
         auto u = NewType<TParamTTUnion>("U", 4, e, Types{nullptr, rec}, "Art", 1);
         NewType<TParamTTList>(4, 0, 5, 4, 0, u);
       }},
      {"numbers of types and elements in enumeration do not match in union type U",
       [&] { NewType<TParamTTUnion>("U", 4, e, Types{rec}, "Art", 0); }},
      {"invalid default discriminant 2",
       [&] {
         NewType<TParamTTUnion>("U", 4, e, Types{rec, rec}, "Art", 2);
       }},
      {"too many default values in union type U",
       [&] {
         NewType<TParamTTUnion>("U", 4, e, Types{nullptr, rec}, "Art", 0, Consts(1));
       }},
      {"invalid value for enumeration",
       [&] { NewType<TParamTTRecord>("R", 4, Names{"e"}, Types{e}, Consts(2)); }},
      {"invalid string constant",
       [] {
         NewType<TParamTTRecord>("R", 4, Names{"s"}, Types{NewType<TParamTTString>(true, "", 0, 2)},
                                 Consts("abc"));
       }},
      {"var rec (type 11) is no value for class TParamTTInteger",
       [] { NewType<TParamTTRecord>("R", 4, Names{"a"}, Types{Int()}, Consts("x")); }},
      {"var rec of R is no value for Integer (0,9)",
       [&] {
         NewType<TParamTTRecord>("R2", 4, Names{"a"}, Types{Int()},
                                 Consts(ParamConst(rec->NewValue())));
       }},
      {"member index 2 out of bounds in type R", [&] { rec->MemberName(2); }},
      {"Invalid type index in union type U",
       [&] {
         NewType<TParamTTUnion>("U", 4, e, Types{rec, rec}, "Art", 0)->VariantType(-1);
       }},
      {"Invalid index", [&] { e->ElementName(2); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(ErrorOf(c.build), c.expected);
  }
}

TEST(ParamTypesTest, MemberNamesAreStoredTrimmed) {
  auto rec = NewType<TParamTTRecord>("R", 4, Names{"  Länge  ", "b"}, Types{Int(), Int()});
  EXPECT_EQ(rec->MemberName(0), "Länge");
  EXPECT_EQ(rec->MemberIndex("LÄNGE"), 0);  // case folds umlauts too
  EXPECT_EQ(rec->MemberIndex("c"), -1);
}

TEST(ParamTypesTest, TypeIdsArePostOrderAndSharedTypesAreRegisteredOnce) {
  auto e = NewType<TParamTTEnum>("E", 0, Names{"x"});
  auto r = NewType<TParamTTRecord>("R", 4, Names{"e"}, Types{e});
  auto list = NewType<TParamTTList>(4, 0, 5, 4, -1, r);
  auto root = NewType<TParamTTRecord>("Root", 4, Names{"e", "l"}, Types{e, list});
  TParamTypeIDServer server;
  root->ResetTypeID();
  root->AssignTypeID(server);
  EXPECT_EQ(server.Count(), 4);
  EXPECT_EQ(e->TypeID(), 1);
  EXPECT_EQ(r->TypeID(), 2);
  EXPECT_EQ(list->TypeID(), 3);
  EXPECT_EQ(root->TypeID(), 4);
  root->ResetTypeID();
  EXPECT_EQ(list->TypeID(), 0);
}

TEST(ParamTypesTest, NamesKindsAndFixedIds) {
  struct Case {
    TypeRef type;
    std::string name;
    int kind, id;
  } cases[] = {
      {Int(), "Integer (0,9)", 1, -1},
      {NewType<TParamTTChar>('a', TParamTTChar::Range('a', 'z')), "Char", 9, -3},
      {NewType<TParamTTEnum>("E", 0, Names{"x", "y"}), "Enum (E,2)", 2, 0},
      {NewType<TParamTTBoolean>(true), "Boolean", 3, 0},
      {NewType<TParamTTString>(), "String (0,2147483647)", 4, -2},
      {Name(), "ElementName", 4, -2},
      {NewType<TParamTTFileName>("", 5), "FileName", 4, -2},
      {NewType<TParamTTDirectory>("", -3), "Directory", 4, -2},
      {NewType<TParamTTMemo>("", 0, 10), "Memo", 17, -4},
      {NewType<TParamTTList>(4, 1, 3, 4, -1, Int()), "List (1,3) of Integer (0,9)", 6, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.type->TypeName(), c.name);
    EXPECT_EQ(c.type->KindCode(), c.kind);
    EXPECT_EQ(c.type->TypeID(), c.id);
  }
}

TEST(ParamTypesTest, CompatibilityIsByClassOnly) {
  auto file = NewType<TParamTTFileName>("", 5);
  auto text = NewType<TParamTTString>(false, "", 3, 4);
  EXPECT_TRUE(file->IsCompatible(*text));
  EXPECT_TRUE(text->IsCompatible(*NewType<TParamTTMemo>("", 0, 1)));
  EXPECT_FALSE(text->IsCompatible(*Int()));
  EXPECT_TRUE(
      NewType<TParamTTEnum>("E", 0, Names{"a"})->IsCompatible(*NewType<TParamTTBoolean>(false)));
}

TEST(ParamAdaptTest, MapsStoredNamesByNameThenIgnoringCase) {
  auto stored = NewType<TParamTTEnum>("E", 0, Names{"A", "B", "C"});
  auto schema = NewType<TParamTTEnum>("E", 0, Names{"A", "C"});
  TParamTreeAIServer owner(true);
  const TParamTreeAIEnum& map = owner.FindEnum(*schema, *stored);
  EXPECT_EQ(map.MapIndex(0), 0);
  EXPECT_EQ(map.MapIndex(1), -1);
  EXPECT_EQ(map.MapIndex(2), 1);
  EXPECT_EQ(ErrorOf([&] { map.MapIndex(3); }),
            "value to adapt (3) out of range for type Enum (E,3)");
  auto lower = NewType<TParamTTEnum>("E", 0, Names{"c", "a"});
  EXPECT_EQ(owner.FindEnum(*schema, *lower).MapIndex(0), 1);
  EXPECT_EQ(&owner.FindEnum(*schema, *stored), &map);  // built once per pair
}

TEST(ParamAdaptTest, IncompatibleOrUnadaptableTypesRaise) {
  TParamTreeAIServer owner(true);
  auto schema = NewType<TParamTTEnum>("E", 0, Names{"A"});
  EXPECT_EQ(ErrorOf([&] { owner.Find(*schema, *Int(), true); }),
            "class TParamTTEnum (Enum (E,1)) is incompatible with class TParamTTInteger");
  auto integer = Int();
  EXPECT_EQ(ErrorOf([&] { owner.Find(*integer, *Int(), true); }),
            "class TParamTTInteger (Integer (0,9)) does not adapt to class TParamTTInteger");
}

TEST(ParamAdaptTest, ReadRegistryKnowsPredefinedTypesAndRefusesOthers) {
  TParamReadServer registry(1);
  EXPECT_FALSE(registry.TypeByID(0));
  EXPECT_EQ(registry.TypeByID(-1)->TypeID(), -1);
  EXPECT_EQ(registry.TypeByID(-2)->TypeID(), -2);
  EXPECT_EQ(registry.TypeByID(-3)->TypeID(), -3);
  EXPECT_EQ(registry.TypeByID(-4)->TypeID(), -4);
  EXPECT_EQ(ErrorOf([&] { registry.TypeByID(-5); }), "invalid TypeID");
  EXPECT_EQ(ErrorOf([&] { registry.TypeByID(1); }), "invalid TypeID");
  EXPECT_TRUE(registry.Register(Int()));
  EXPECT_FALSE(registry.Register(Int()));  // the announced count is reached
  EXPECT_EQ(registry.TypeByID(1)->TypeName(), "Integer (0,9)");
}

TEST(ParamTypesTest, SharedTypesLiveAsLongAsTheirLastHolder) {
  auto shared = Int();
  TParamTTInteger* raw = static_cast<TParamTTInteger*>(const_cast<TParamTreeType*>(shared.get()));
  std::unique_ptr<TParamTreeValue> value;
  {
    auto rec = NewType<TParamTTRecord>("R", 4, Names{"a", "b"}, Types{shared, shared});
    value = rec->NewValue();
    shared = nullptr;
  }
  // The value keeps its record type, which keeps the member type: both are still usable.
  EXPECT_EQ(static_cast<TParamTVRecord&>(*value).Item(1).ParamType().TypeName(), "Integer (0,9)");
  EXPECT_EQ(&static_cast<TParamTVRecord&>(*value).Item(0).ParamType(), raw);
}

}  // namespace
}  // namespace vld
