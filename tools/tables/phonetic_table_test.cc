// Quality of the shipped phonetic table (PHONETIC.MAP of this build): spelling variants that
// must meet in the match key, different names that must stay apart, and the separators the
// tokenizer and the record comparison rely on.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "tools/tables/product_tables.h"

namespace vld::tables {
namespace {

using testing::Normalize;
using testing::PhoneticTable;

struct VariantGroup {
  const char* topic;
  std::vector<const char*> spellings;  // all must normalise alike
};

const VariantGroup kAlike[] = {
    // Family names
    {"EI/AI/EY/AY", {"MEIER", "MAIER", "MEYER", "MAYER", "MAIR", "MEIR", "MAYR", "MEYR"}},
    {"DT/TT/D", {"SCHMIDT", "SCHMITT", "SCHMID", "SCHMIT"}},
    {"Ü/UE/U", {"MÜLLER", "MUELLER", "MULLER", "MÜLER", "Müller"}},
    {"FF/F", {"HOFFMANN", "HOFMANN", "HOFFMAN", "HOFMAN"}},
    {"TZ/Z", {"SCHULZ", "SCHULTZ"}},
    {"TZ/Z", {"SCHWARZ", "SCHWARTZ"}},
    {"TZ/Z", {"FRITZ", "FRIZ"}},
    {"ß/SS/SZ/S", {"WEISS", "WEIß", "WEIS", "WEISZ", "WAISS"}},
    {"AI/EI/AY/EY", {"KAISER", "KEISER", "KAYSER", "KEYSER"}},
    {"AY/AI/EY/EI", {"BAYER", "BAIER", "BEYER", "BEIER"}},
    {"EY/EI", {"FREY", "FREI"}},
    {"EU/OY", {"NEUMANN", "NEUMAN", "NOYMANN"}},
    {"EU/ÄU/OI/AEU", {"BREUER", "BRÄUER", "BROIER", "BRAEUER"}},
    {"ÄU/EU/AEU", {"HÄUSER", "HEUSER", "HAEUSER"}},
    {"Ü/UE/U", {"KRÜGER", "KRUEGER", "KRUGER"}},
    {"Ö/OE, D/T", {"SCHRÖDER", "SCHROEDER", "SCHRODER", "SCHRÖTER"}},
    {"Ö/OE, TZ", {"GÖTZ", "GOETZ", "GÖZ"}},
    {"Ö/OE, vowel + H", {"BÖHM", "BOEHM", "BOHM", "BÖM"}},
    {"Ö/OE, vowel + H", {"KÖHLER", "KOEHLER", "KOHLER", "KÖLER"}},
    {"vowel + H", {"LEHMANN", "LEMANN", "LEHMAN"}},
    {"CK/K", {"FRANK", "FRANCK"}},
    {"TZ/Z, EI/AI", {"SEITZ", "SEIZ", "SAITZ"}},
    {"EI/AI", {"HEINZ", "HAINZ"}},
    {"FF/F", {"WOLF", "WOLFF"}},
    // First names
    {"C/K", {"JAKOB", "JACOB"}},
    {"C/K, D/T", {"KONRAD", "CONRAD", "KONRAT", "CONRAT"}},
    {"C/K, TH/T", {"KATHARINA", "CATHARINA", "KATARINA", "CATARINA"}},
    {"C/K", {"KARL", "CARL"}},
    {"C/K, SS", {"KLAUS", "CLAUS", "KLAUSS"}},
    {"C/K", {"MARKUS", "MARCUS"}},
    {"C/K", {"KARSTEN", "CARSTEN"}},
    {"C/K", {"KLEMENS", "CLEMENS"}},
    {"TH/T", {"THOMAS", "TOMAS"}},
    {"TH/T", {"WALTER", "WALTHER"}},
    {"Ü/UE/U, TH/T", {"GÜNTER", "GÜNTHER", "GUNTER", "GUENTHER"}},
    {"TTH/TH/TT", {"MATTHIAS", "MATHIAS", "MATTIAS"}},
    {"PH/F", {"JOSEF", "JOSEPH"}},
    {"PH/F", {"RALF", "RALPH"}},
    {"PH/F", {"STEFAN", "STEPHAN"}},
    {"PH/F", {"RUDOLF", "RUDOLPH"}},
    {"PH/F", {"CHRISTOPH", "CHRISTOF"}},
    {"PH/F, IE", {"SOPHIE", "SOFIE"}},
    {"PH/F, PP/P", {"PHILIPP", "FILIP", "PHILIP", "FILIPP", "PHILLIP"}},
    {"V/F", {"VOLKER", "FOLKER"}},
    {"IE/I, TH/T", {"DIETER", "DITER", "DIETHER"}},
    {"D/T", {"GERD", "GERT"}},
    {"D/T", {"BERND", "BERNT"}},
    {"DT/D/T", {"ARNDT", "ARND", "ARNT"}},
    {"DT/D/T", {"BRANDT", "BRAND", "BRANT"}},
    {"X/KS", {"ALEXANDER", "ALEKSANDER"}},
    {"X/KS/CKS", {"MAX", "MAKS", "MACKS"}},
    {"CHS/X/KS", {"FUCHS", "FUX", "FUKS"}},
    {"CHS/X/KS", {"SACHS", "SAX", "SAKS"}},
    {"CI/ZI", {"LUCIE", "LUZIE"}},
    {"CE/ZE", {"MARCEL", "MARZEL"}},
    {"CI/ZI", {"FRANZISKA", "FRANCISKA"}},
    {"CE/ZE", {"VINZENT", "VINCENT"}},
    {"CE/ZE, CI/ZI", {"CECILIE", "ZEZILIE"}},
    {"accents", {"RENÉ", "RENE", "René"}},
    {"accents", {"JOSÉ", "JOSE"}},
    // Company words
    {"CE/ZE", {"ZENTRUM", "CENTRUM"}},
    {"CE/ZE", {"ZENTRALE", "CENTRALE"}},
    {"CE/ZE, V/F", {"SERVICE", "SERVIZE"}},
    {"C/K", {"ELEKTRO", "ELECTRO"}},
    {"PH/F", {"FOTO", "PHOTO"}},
    {"C/K, CK", {"TECHNIK", "TECHNIC", "TECHNICK"}},
    {"TH/T", {"APOTHEKE", "APOTEKE"}},
    {"Ä/AE, CK/K, EI", {"BÄCKEREI", "BAECKEREI", "BÄKEREI"}},
    {"C/K, FF, EE, É", {"KAFFEE", "CAFFEE", "KAFEE", "CAFÉ", "CAFE"}},
    {"MM, IE", {"IMMOBILIEN", "IMOBILIEN"}},
    {"Y/I", {"SYSTEME", "SISTEME"}},
    {"C/K", {"COMPUTER", "KOMPUTER"}},
    {"Ä/AE", {"GETRÄNKE", "GETRAENKE"}},
    {"EI/AI", {"REINIGUNG", "RAINIGUNG"}},
    {"EI/AI", {"METZGEREI", "METZGERAI"}},
    {"PH/F", {"PHARMA", "FARMA"}},
    {"C/K", {"CONSULTING", "KONSULTING"}},
    // Places
    {"Ü/UE/U", {"MÜNCHEN", "MUENCHEN", "MUNCHEN"}},
    {"Ö/OE/O", {"KÖLN", "KOELN", "KOLN"}},
    {"Ü/UE", {"DÜSSELDORF", "DUESSELDORF"}},
    {"Ü/UE", {"NÜRNBERG", "NUERNBERG"}},
    {"Ö/OE", {"GÖTTINGEN", "GOETTINGEN"}},
    {"Ü/UE", {"LÜBECK", "LUEBECK"}},
    {"AA/A, Ü/UE", {"SAARBRÜCKEN", "SAARBRUECKEN", "SARBRÜCKEN"}},
    {"FF/F", {"OFFENBACH", "OFENBACH"}},
    {"NN/N, EI/AI", {"MANNHEIM", "MANHEIM", "MANNHAIM"}},
    {"EI/AI", {"WEIMAR", "WAIMAR"}},
    {"TH/T, Ü/U", {"THÜRINGEN", "TÜRINGEN"}},
    {"TZ/Z", {"CHEMNITZ", "CHEMNIZ"}},
    {"C/K", {"COBURG", "KOBURG"}},
    {"C/K, V/F", {"CUXHAVEN", "KUXHAFEN"}},
    {"CE/ZE", {"CELLE", "ZELLE"}},
    {"blanks", {"FRANKFURT AM MAIN", "Frankfurt  am  Main", " frankfurt am main "}},
    // Streets
    {"SS/ß, vowel + H", {"BAHNHOFSTRASSE", "BAHNHOFSTRAßE", "BANHOFSTRASSE"}},
    {"SS/ß/S", {"STRASSE", "STRAßE", "STRASE", "Straße", "STRASZE"}},
    {"OE/Ö, TH/T", {"GOETHESTRASSE", "GÖTHESTRASSE", "GOETESTRASSE"}},
    {"SS/ß, LL, EE", {"SCHLOSSALLEE", "SCHLOßALLEE", "SCHLOSALLE"}},
    {"TH/T", {"THEATERPLATZ", "TEATERPLATZ"}},
    {"THH/TH", {"RATHAUSPLATZ", "RATHHAUSPLATZ"}},
    {"Ü/UE, vowel + H", {"MÜHLENWEG", "MUEHLENWEG", "MÜLENWEG"}},
    {"IE/I, SS/ß", {"FRIEDRICHSTRASSE", "FRIEDRICHSTRAßE", "FRIDRICHSTRASSE"}},
    {"LL/L", {"SCHILLERSTRASSE", "SCHILERSTRASSE"}},
};

struct ApartPair {
  const char* a;
  const char* b;
};

const ApartPair kApart[] = {
    // Family names that differ by more than a spelling
    {"MEIER", "MEISTER"},
    {"MEIER", "MAURER"},
    {"MAYER", "MAUER"},
    {"BAUER", "BAUMER"},
    {"BAUER", "BAYER"},
    {"SCHULZ", "SCHULTE"},
    {"SCHULZ", "SCHULZE"},
    {"SCHULTE", "SCHULZE"},
    {"MÜLLER", "MÖLLER"},
    {"MÜLLER", "MILLER"},
    {"SCHMIDT", "SCHMITZ"},
    {"SCHNEIDER", "SCHNEEWEISS"},
    {"FISCHER", "FISCHLER"},
    {"WEBER", "WEBERS"},
    {"WAGNER", "WAGENER"},
    {"BECKER", "BECK"},
    {"HOFFMANN", "HOFFMEISTER"},
    {"KOCH", "KOCK"},
    {"KRAUS", "KRAUSE"},
    {"LANGE", "LANG"},
    {"KLEIN", "KLEINE"},
    {"ZIMMER", "ZIMMERMANN"},
    {"RICHTER", "RICHTERS"},
    {"HARTMANN", "HARTWIG"},
    {"KRÜGER", "KRÄMER"},
    {"SCHUBERT", "SCHUBART"},
    {"PETERS", "PETERSEN"},
    {"KÖHLER", "KOHL"},
    {"BÖHM", "BAUM"},
    {"HEIN", "HAHN"},
    {"HEINZ", "HEINS"},
    {"SEITZ", "SEIDEL"},
    {"KAISER", "KEIL"},
    {"LEHMANN", "LEHNER"},
    {"NEUMANN", "NAUMANN"},
    {"HERMANN", "HARTMANN"},
    {"ZELLER", "KELLER"},
    {"KUNZ", "KUNZE"},
    {"LORENZ", "LORENZEN"},
    {"VOGEL", "VOGT"},
    {"HUBER", "HUBERT"},
    {"WINKLER", "WINKEL"},
    {"HEUER", "HAUER"},
    {"KEIL", "KIEL"},
    {"LIEB", "LEIB"},
    // First names
    {"FRANZ", "FRANK"},
    {"ALBRECHT", "ALBERT"},
    {"HANS", "HANNES"},
    {"ANNA", "ANNE"},
    {"PAUL", "PAULA"},
    {"MARIA", "MARIO"},
    {"SABINE", "SABRINA"},
    {"THOMAS", "TOBIAS"},
    {"STEFAN", "STEFFEN"},
    {"JÜRGEN", "JÜRGENS"},
    {"KARL", "KARLA"},
    // Places, streets, company words
    {"BERLIN", "BERLINER"},
    {"MÜNCHEN", "MÜNSTER"},
    {"KÖLN", "KIEL"},
    {"HALLE", "HALLER"},
    {"ESSEN", "ESSLINGEN"},
    {"CELLE", "KELLE"},
    {"BERG", "BURG"},
    {"HAUPTSTRASSE", "HAUPTWEG"},
    {"BAHNHOFSTRASSE", "BAHNHOFPLATZ"},
    {"BAU", "BAUM"},
    {"AUTO", "AUTOR"},
    {"TECHNIK", "TECHNIKER"},
    {"SAX", "SACK"},
    // Numbers and marks
    {"12", "21"},
    {"1", "11"},
    {"7", "7A"},
    {"100", "10"},
    {"12", "13"},
    {"12-14", "1214"},
    {"H. MEIER", "H MEIER"},
};

int AlikePairs() {
  int pairs = 0;
  for (const VariantGroup& g : kAlike) {
    const int n = static_cast<int>(g.spellings.size());
    pairs += n * (n - 1) / 2;
  }
  return pairs;
}

TEST(PhoneticTableTest, SpellingVariantsNormaliseAlike) {
  int failed = 0;
  for (const VariantGroup& g : kAlike) {
    SCOPED_TRACE(g.topic);
    const std::string first = Normalize(PhoneticTable(), g.spellings[0]);
    for (const char* spelling : g.spellings) {
      const std::string form = Normalize(PhoneticTable(), spelling);
      if (form != first) ++failed;
      EXPECT_EQ(form, first) << g.spellings[0] << " / " << spelling;
    }
  }
  EXPECT_EQ(failed, 0);
}

TEST(PhoneticTableTest, DifferentNamesStayApart) {
  for (const ApartPair& p : kApart) {
    EXPECT_NE(Normalize(PhoneticTable(), p.a), Normalize(PhoneticTable(), p.b))
        << p.a << " / " << p.b;
  }
}

TEST(PhoneticTableTest, VariantTableCoversAtLeast150Pairs) {
  const int apart = static_cast<int>(std::size(kApart));
  RecordProperty("alike_pairs", AlikePairs());
  RecordProperty("apart_pairs", apart);
  EXPECT_GE(AlikePairs() + apart, 150);
}

TEST(PhoneticTableTest, SeparatorsAreWhatTheTokenizerExpects) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"H. Meier", "h!mær"},                   // initial: abbreviation mark, the blank taken in
      {"Hauptstr. 12-14", "hauptstr!12\"14"},  // abbreviation; joined number range
      {"Hauptstr.12", "hauptstr!12"},
      {"Müller-Lüdenscheidt", "muler\"lutenσæt"},  // double name joined
      {"Müller - Lüdenscheidt", "muler\"lutenσæt"},
      {"Dr.-Ing. Meier", "tr!ing!mær"},
      {"  Hans   Peter  ", "hans peter"},
      {"Schmidt, Hans", "σmit hans"},
      {"Meier & Co.", "mær ko!"},
      {"Meier!", "mær"},  // ! and " of the input are blanks
      {"Zum \"Löwen\"", "zum lowen"},
      {"O'Neill", "onæl"},
      {"Nr. 12", "nr!12"},
      {"12.", "12"},  // a point after a number is no abbreviation
      {"-Meier-", "mær"},
      {"Meier .", "mær"},
      {"Berlin/Spandau", "berlin spantau"},
      {"Hallo\tWelt", "halo welt"},
      {"...", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Normalize(PhoneticTable(), c.text), c.expected) << c.text;
  }
}

TEST(PhoneticTableTest, OrdinaryTextNeverYieldsPointsOrStraySeparators) {
  // Oracle over random texts: no point (the comparison's abbreviation end), no separator at
  // either end or next to another, ! only from a point, " only from a hyphen.
  const std::string alphabet =
      "abcdeghiklmnorstuzABCDEHSTZ\x84\x94\x81\x8E\x99\x9A\xE1\x82 0123456789.-,!\"'/&()\t";
  std::mt19937 rng(2024);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1), length(0, 30);
  for (int round = 0; round < 5000; ++round) {
    std::string text(length(rng), ' ');
    for (char& c : text) c = alphabet[pick(rng)];
    const std::string out = PhoneticTable().Normalized(text);
    SCOPED_TRACE(text);
    ASSERT_EQ(out.find('.'), std::string::npos);
    auto separator = [](char c) { return c == ' ' || c == '!' || c == '"'; };
    if (!out.empty()) {
      ASSERT_FALSE(separator(out.front()));
      ASSERT_FALSE(out.back() == ' ' || out.back() == '"');
    }
    for (std::size_t i = 1; i < out.size(); ++i) {
      ASSERT_FALSE(separator(out[i - 1]) && separator(out[i])) << out;
    }
    if (out.find('!') != std::string::npos) {
      ASSERT_NE(text.find('.'), std::string::npos);
    }
    if (out.find('"') != std::string::npos) {
      ASSERT_NE(text.find('-'), std::string::npos);
    }
  }
}

TEST(PhoneticTableTest, EveryByteWritesAKnownSymbolOrNothing) {
  const std::set<std::string> symbols = {"æ", "ô", "ç", "ì", "σ"};
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE(b);
    const std::string out =
        ToUtf8(PhoneticTable().Normalized(std::string(1, static_cast<char>(b))), CodePage::k437);
    const bool plain = out.size() == 1 && ((out[0] >= 'a' && out[0] <= 'z') ||
                                           (out[0] >= '0' && out[0] <= '9') || out[0] == '!');
    EXPECT_TRUE(out.empty() || plain || symbols.count(out)) << out;
  }
}

TEST(PhoneticTableTest, CompareTableReadsABoundaryAsTheNextWordsFirstByte) {
  const auto compare = PhoneticTable().CompareTable();
  for (int b = 0; b < 256; ++b) EXPECT_EQ(compare[static_cast<std::size_t>(b)], b);
}

}  // namespace
}  // namespace vld::tables
