#include "tools/tables/rules_compiler.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/errors.h"

namespace vld::tables {
namespace {

// A small complete table: letters a-c, a spelling "ab" written as x, doubled letters merged,
// "c" after "x" retracted into the replacement "#", blanks collapsed.
constexpr const char* kSmall = R"(# a small table
symbol a a : a A
symbol b b : b B
symbol c c : c C
state  ab x
state  rep \35
class  BLANK : rest
state  blank \32
in a on b => ab          # AB is one spelling
in * on BLANK -> blank
in start, blank on BLANK => same
in blank on end => start
merge a b c
replacement rep
retract ab c
compare a-c -> Z
)";

TNormalizer Compiled(std::string_view rules) {
  TNormalizer table(CompileRules(rules, "test.rules").Encode());
  EXPECT_TRUE(table.IsTable());
  EXPECT_TRUE(table.VersionOk());
  return table;
}

TEST(RulesCompilerTest, SmallTableBehavesAsItsRulesSay) {
  const TNormalizer table = Compiled(kSmall);
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"abba", "xba"},      // AB is one spelling; BB merged
      {"AAB", "x"},         // AA merged into A, then AB
      {"abc", "#"},         // x then c: retracted into the replacement
      {"  a   b ", "a b"},  // blanks collapse, none at either end
      {"c?c", "c c"},       // "?" is in the rest class
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(table.Normalized(c.text), c.expected) << c.text;
  const auto compare = table.CompareTable();
  EXPECT_EQ(compare['a'], 'Z');
  EXPECT_EQ(compare['c'], 'Z');
  EXPECT_EQ(compare['d'], 'd');
}

TEST(RulesCompilerTest, NumbersStartEndAndReplacementAsTheFormatWants) {
  const NormTableContents t = CompileRules(kSmall, "test.rules");
  EXPECT_EQ(t.outputs[2], '#');  // the replacement is state 2
  EXPECT_EQ(t.classes['a'], 0);  // the first class is class 0
  EXPECT_EQ(t.classes['b'], 2);  // class 1 is the end of the text
  EXPECT_EQ(t.t2.size(), 2u);    // root and "ab seen"
  EXPECT_EQ(t.t2[0][2], 0);      // after a retraction: row 0
}

TEST(RulesCompilerTest, LaterLineDecidesAndSameStaysInItsState) {
  const TNormalizer table = Compiled(R"(
symbol a a : a
symbol b b : b
class REST : rest
in * on REST => same     # everything else vanishes
in a on b -> a           # an earlier rule ...
in a on b -> b           # ... the later one decides
)");
  EXPECT_EQ(table.Normalized("a-b!?b"), "abb");
}

TEST(RulesCompilerTest, CharactersAsTheyLookByteNumbersAndRanges) {
  const NormTableContents t = CompileRules(R"(
class UML : ä Ö \129 \0-\31
class REST : rest
state u ü
state r \114
in * on UML -> u
in * on REST -> r
)",
                                           "test.rules");
  EXPECT_EQ(t.classes[0x84], t.classes[0x99]);  // ä and Ö
  EXPECT_EQ(t.classes[129], t.classes[0x84]);
  EXPECT_EQ(t.classes[31], t.classes[0x84]);
  EXPECT_NE(t.classes[32], t.classes[0x84]);
  EXPECT_EQ(t.outputs[2], 0x81);  // ü in code page 437
  EXPECT_EQ(t.outputs[3], 'r');
}

TEST(RulesCompilerTest, RefusesWhatItCannotExpressNamingFileAndLine) {
  const std::string head = "class R : rest\nstate s x\nin * on R -> s\n";  // lines 1-3
  std::string many_classes = "class R : rest\nstate s x\n";
  for (int i = 0; i < 63; ++i)
    many_classes += "class C" + std::to_string(i) + " : \\" + std::to_string(i) + "\n";
  std::string many_states = "class R : rest\n";
  for (int i = 0; i < 63; ++i) many_states += "state S" + std::to_string(i) + " x\n";
  std::string long_retraction = head + "replacement s\nretract";
  for (int i = 0; i < 57; ++i) long_retraction += " s";
  struct Case {
    std::string rules;
    std::string message;
  } cases[] = {
      {"klasse R : rest", "Zeile 1: Unbekannte Anweisung \"klasse\"."},
      {"class R rest", "Zeile 1: Die Zeile braucht die Form \"class NAME : ZEICHEN...\"."},
      {"class 1R : a", "Zeile 1: \"1R\" ist als Name nicht erlaubt."},
      {"class end : a", "Zeile 1: \"end\" ist als Name nicht erlaubt."},
      {"class A : a\nclass A : b", "Zeile 2: Die Klasse \"A\" gibt es schon."},
      {"class A : a\nclass B : b a", "Zeile 2: Das Byte 97 gehört schon zur Klasse \"A\"."},
      {"class A : €", "Zeile 1: Das Zeichen \"€\" gibt es in Codepage 437 nicht."},
      {"class A : ab",
       "Zeile 1: \"ab\" ist kein Zeichen: erlaubt sind ein einzelnes Zeichen, \\N und X-Y."},
      {"class A : \\256", "Zeile 1: \"\\256\" ist kein Bytewert von \\0 bis \\255."},
      {"class A : z-a", "Zeile 1: Der Bereich \"z-a\" ist leer."},
      {"class A : rest\nclass B : rest", "Zeile 2: \"rest\" gehört schon zur Klasse \"A\"."},
      {"state s xy",
       "Zeile 1: \"xy\" ist kein Zeichen: erlaubt sind ein einzelnes Zeichen, \\N und X-Y."},
      {"state s a-c", "Zeile 1: Ein Zustand schreibt genau ein Zeichen."},
      {"state s x\nstate s y", "Zeile 2: Den Zustand \"s\" gibt es schon."},
      {head + "in s R -> s",
       "Zeile 4: Die Regel braucht die Form \"in ZUSTÄNDE on KLASSEN -> ZIEL\" oder \"... => "
       "ZIEL\"."},
      {head + "in s on R >> s",
       "Zeile 4: Die Regel braucht die Form \"in ZUSTÄNDE on KLASSEN -> ZIEL\" oder \"... => "
       "ZIEL\"."},
      {head + "in t on R -> s", "Zeile 4: Den Zustand \"t\" gibt es nicht."},
      {head + "in s on Q -> s", "Zeile 4: Die Klasse \"Q\" gibt es nicht."},
      {head + "in s on R -> same\nmerge s t", "Zeile 5: Den Zustand \"t\" gibt es nicht."},
      {head + "retract s s",
       "Zeile 4: Vor der ersten Rücknahme fehlt die Zeile \"replacement ZUSTAND\"."},
      {head + "replacement s\nreplacement s",
       "Zeile 5: Es gibt schon einen Ersatzzustand (Zeile 4)."},
      {head + "replacement s\nretract s",
       "Zeile 5: Eine Rücknahme braucht zwei Zustände, oder einen vor \"end\"."},
      {head + "replacement s\nretract start s",
       "Zeile 5: Der Zustand \"start\" schreibt nichts und kann nicht zurückgenommen werden."},
      {long_retraction, "Zeile 5: Eine Rücknahme nimmt höchstens 55 Zeichen zurück."},
      {head + "replacement s\nretract s s\nretract s,s",
       "Zeile 6: Die Rücknahme steht schon in Zeile 5."},
      {head + "state t y\nreplacement s\nretract t s\nretract t s t",
       "Zeile 7: Die Rücknahme greift nie, weil die Rücknahme aus Zeile 6 vorher greift."},
      {"class R : a-z\nstate s x\nin * on R -> s",
       "Zeile 3: Das Byte 0 gehört zu keiner Klasse (es fehlt \"rest\")."},
      {"class R : rest\nstate s x\nclass Q : a\nin * on R -> s",
       "Zeile 3: Für den Zustand \"start\" und die Klasse \"Q\" gibt es keine Regel."},
      {many_classes, "Zeile 65: Zu viele Klassen: höchstens 63 (dazu kommt die Klasse \"end\")."},
      {many_states,
       "Zeile 64: Zu viele Zustände: höchstens 62 (dazu kommt der Zustand \"start\")."},
      {head + "compare a b",
       "Zeile 4: Die Zeile braucht die Form \"compare identity\" oder \"compare ZEICHEN... -> "
       "ZEICHEN\"."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rules);
    try {
      CompileRules(c.rules, "t.rules");
      ADD_FAILURE() << "no error";
    } catch (const EUserError& e) {
      EXPECT_EQ(std::string(e.what()), "t.rules, " + c.message);
    }
  }
}

TEST(RulesCompilerTest, TooManySequenceRowsAreRefused) {
  // Four retractions of 55 characters over different states need 1 + 4 * 55 rows.
  std::string rules =
      "class R : rest\nstate r x\nstate a x\nstate b x\nstate c x\nstate d x\n"
      "in * on R -> r\nreplacement r\n";
  for (const char* s : {"a", "b", "c", "d"}) {
    rules += "retract";
    for (int i = 0; i < 56; ++i) rules += std::string(" ") + s;
    rules += "\n";
  }
  try {
    CompileRules(rules, "t.rules");
    FAIL() << "no error";
  } catch (const EUserError& e) {
    EXPECT_EQ(
        std::string(e.what()),
        "t.rules, Zeile 12: Die Folgetabelle bräuchte 221 Zeilen; erlaubt sind höchstens 201.");
  }
}

TEST(RulesCompilerTest, MissingRulesFileIsAGermanError) {
  try {
    CompileRulesFile("/nonexistent/phonetic.rules");
    FAIL() << "no error";
  } catch (const EUserError& e) {
    EXPECT_EQ(std::string(e.what()), "Die Datei \"/nonexistent/phonetic.rules\" gibt es nicht.");
  }
}

}  // namespace
}  // namespace vld::tables
