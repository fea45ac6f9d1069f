#include "params/pro_options.h"

#include <gtest/gtest.h>

#include "params/match_schema.h"
#include "params/param_assign.h"
#include "params/param_path.h"
#include "platform/test_support.h"

namespace vld {
namespace {

class ProOptionsTest : public ::testing::Test {
 protected:
  ProOptionsTest() : schema_(BuildMatchParamSchema()) {
    set_.root.reset(static_cast<TParamTVRecord*>(schema_->NewValue().release()));
  }
  std::string Text(std::string_view path) {
    const TParamPathTarget target = ResolveParamPath(*set_.root, path);
    if (target.discriminant_of != nullptr) return target.discriminant_of->DiscriminantName();
    return target.value->AsText(1);
  }
  std::int32_t InputCount() {
    auto& inputs = static_cast<TParamTVUnion&>(*set_.root->Member("Eingabedateien"));
    return static_cast<TParamTVList&>(*inputs.Variant()).Count();
  }
  TParamTypeRef<const TParamTTRecord> schema_;
  TParamSet set_;
  TProOptions pro_{set_};
};

TEST_F(ProOptionsTest, FirstInputOnAnEmptyListGetsTheSchemaDefaults) {
  ASSERT_EQ(InputCount(), 0);
  pro_.SetFirstInput("Matchfile1.txt");
  ASSERT_EQ(InputCount(), 1);
  EXPECT_EQ(Text("Eingabedateien [1].Name"), "Matchfile1.txt");
  EXPECT_EQ(Text("Eingabedateien [1].Priorität"), "10");
  EXPECT_EQ(Text("Eingabedateien [1].Typ"), "Grunddatei");
  pro_.SetFirstInput("a.txt");
  EXPECT_EQ(InputCount(), 1);
  EXPECT_EQ(Text("Eingabedateien [1].Name"), "a.txt");
}

TEST_F(ProOptionsTest, SecondInputNeedsAFirstAndIsInsertedOrRenamed) {
  EXPECT_EQ(testing::ErrorTextOf<EUserError>([&] { pro_.SetSecondInput("b.txt"); }),
            "Bitte erst die erste Eingabedatei definieren.");
  pro_.SetFirstInput("a.txt");
  pro_.SetSecondIsDark(true);  // one entry: nothing changes
  EXPECT_EQ(Text("Eingabedateien [1].Typ"), "Grunddatei");
  pro_.SetSecondInput("b.txt");
  pro_.SetSecondInput("c.txt");
  ASSERT_EQ(InputCount(), 2);
  EXPECT_EQ(Text("Eingabedateien [2].Name"), "c.txt");
  pro_.SetSecondIsDark(true);
  EXPECT_EQ(Text("Eingabedateien [2].Typ"), "Sperrdatei");
  pro_.SetSecondIsDark(false);
  EXPECT_EQ(Text("Eingabedateien [2].Typ"), "Grunddatei");
}

TEST_F(ProOptionsTest, ClearingTwoInputsLeavesOnlyTheFirstEntry) {
  AssignParamPath(set_, "Eingabedateien [1].Name=a");
  AssignParamPath(set_, "Eingabedateien [2].Name=b");
  AssignParamPath(set_, "Eingabedateien [3].Name=c");
  pro_.SetTwoInputs(true);
  EXPECT_EQ(InputCount(), 3);
  EXPECT_TRUE(pro_.TwoInputs());
  pro_.SetTwoInputs(false);
  EXPECT_EQ(InputCount(), 1);
  EXPECT_FALSE(pro_.TwoInputs());
  EXPECT_EQ(Text("Eingabedateien [1].Name"), "a");
}

TEST_F(ProOptionsTest, PathsAndNamesGoToTheCurrentSet) {
  pro_.SetInputPath("/daten/ein/");
  pro_.SetTablePath("/opt/veldrona/Tables/");
  AssignParamPath(set_, "Pfade.Ausgabepfad=/daten/aus/");
  EXPECT_EQ(pro_.InputPath(), "/daten/ein/");
  EXPECT_EQ(Text("Pfade.Tabellenpfad"), "/opt/veldrona/Tables/");
  EXPECT_EQ(pro_.OutputPath(), "/daten/aus/");
  EXPECT_EQ(pro_.OutputName(), "vld");
  EXPECT_EQ(pro_.DuplicateListName(), "*.lst");
  EXPECT_EQ(pro_.HeadDuplicateSymbol(), '+');
  // A set loaded later is the one the options see.
  set_.root.reset(static_cast<TParamTVRecord*>(schema_->NewValue().release()));
  EXPECT_EQ(pro_.InputPath(), "");
}

TEST_F(ProOptionsTest, AListFileSetSwitchesToInputFilesOfItsOwn) {
  AssignParamPath(set_, "Eingabedateien.Ort der Eingabeliste=Listendatei");
  pro_.SetFirstInput("Matchfile1.txt");
  EXPECT_EQ(Text("Eingabedateien.Ort der Eingabeliste"), "Parameter");
  EXPECT_EQ(Text("Eingabedateien [1].Name"), "Matchfile1.txt");
}

}  // namespace
}  // namespace vld
