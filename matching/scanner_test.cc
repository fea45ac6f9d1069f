#include "matching/scanner.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/runtime/heap.h"
#include "matching/match_derive.h"
#include "platform/test_support.h"

namespace vld {
namespace {

struct Token {
  TokenKind kind;
  std::string text;
  bool operator==(const Token&) const = default;
};

std::vector<Token> Scan(std::vector<std::string> lines) {
  TScanner scanner;
  std::size_t next = 0;
  scanner.Start([&](std::string& line) {
    if (next == lines.size()) return false;
    line = lines[next++];
    return true;
  });
  std::vector<Token> out;
  for (int guard = 0; guard < 100; ++guard) {
    const TokenKind kind = scanner.Next();
    out.push_back({kind, scanner.Text()});
    if (kind == TokenKind::kEnd || kind >= TokenKind::kMalformed) break;
  }
  return out;
}

TEST(ScannerTest, FileListEntryScansAsTypeNumberAndName) {
  EXPECT_EQ(Scan({"G 5 \"/daten/kunden.txt\""}),
            (std::vector<Token>{{TokenKind::kUpperCase, "G"},
                                {TokenKind::kNumber, "5"},
                                {TokenKind::kString, "/daten/kunden.txt"},
                                {TokenKind::kEnd, "\x1a"}}));
}

TEST(ScannerTest, TokenKindsOfTheLanguage) {
  struct Case {
    std::string line;
    std::vector<Token> tokens;
  } cases[] = {
      {"1 000", {{TokenKind::kNumber, "1000"}, {TokenKind::kEnd, "\x1a"}}},
      {"g", {{TokenKind::kLowerPhrase, "g"}, {TokenKind::kEnd, "\x1a"}}},
      {"zwei  worte X", {{TokenKind::kLowerPhrase, "zwei worte"}, {TokenKind::kUpperCase, "X"},
                         {TokenKind::kEnd, "\x1a"}}},
      {"Name9 ABC", {{TokenKind::kCapitalised, "Name9"}, {TokenKind::kUpperCase, "ABC"},
                     {TokenKind::kEnd, "\x1a"}}},
      {"<= ;", {{TokenKind::kOperator, "<="}, {TokenKind::kPunctuation, ";"},
                {TokenKind::kEnd, "\x1a"}}},
      {"\"a\"\"b\"", {{TokenKind::kString, "a\"b"}, {TokenKind::kEnd, "\x1a"}}},
      {"\"a\"65\"b\"", {{TokenKind::kString, "aAb"}, {TokenKind::kEnd, "\x1a"}}},
      {"\"a\"300\"b\"", {{TokenKind::kMalformed, "0"}}},
      {"\"offen", {{TokenKind::kMalformed, "\r"}}},
      {"{ outer { inner } still outer } G", {{TokenKind::kUpperCase, "G"},
                                             {TokenKind::kEnd, "\x1a"}}},
      {"{ offen", {{TokenKind::kCommentError, "\x1a"}}},
      {"\x01", {{TokenKind::kNotAllowed, "\x01"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(Scan({c.line}), c.tokens);
  }
}

TEST(ScannerTest, LinesAreCountedAndCommentsSpanThem) {
  TScanner scanner;
  std::vector<std::string> lines = {"{ Kommentar", "noch } M", "", "S"};
  std::size_t next = 0;
  scanner.Start([&](std::string& line) {
    if (next == lines.size()) return false;
    line = lines[next++];
    return true;
  });
  EXPECT_EQ(scanner.Next(), TokenKind::kUpperCase);
  EXPECT_EQ(scanner.LineNumber(), 2);
  EXPECT_EQ(scanner.Next(), TokenKind::kUpperCase);
  EXPECT_EQ(scanner.Text(), "S");
  EXPECT_EQ(scanner.LineNumber(), 4);
  EXPECT_EQ(scanner.Next(), TokenKind::kEnd);
}

TEST(RecordListerTest, FieldsThenBlanksAndTextCutToTheBody) {
  const std::vector<TFieldEntry> fields = {{1, 3}, {0, 2}, {6, 2}};
  TRecordLister lister;
  lister.Setup(6 + 7, fields);
  std::string line(13, '#');
  const std::string record = "ABCDEFGH";
  lister.FromRecord(reinterpret_cast<const std::uint8_t*>(record.data()),
                    reinterpret_cast<std::uint8_t*>(line.data()));
  EXPECT_EQ(line, "####ABC  FG##");
  lister.FromText("gesperrter Satz", reinterpret_cast<std::uint8_t*>(line.data()));
  EXPECT_EQ(line, "####gesperr##");
  lister.FromText("ab", reinterpret_cast<std::uint8_t*>(line.data()));
  EXPECT_EQ(line, "####ab     ##");
}

}  // namespace
}  // namespace vld

namespace vld {
namespace {

TEST(TokenizerTest, HandsOnTokensThatReachTheirComponentsHurdle) {
  auto* set = CreateIn<TParameterCheck>(StandardHeap());
  TComponentEntry names;
  names.kind = ComponentKind::kNormal;
  names.useFirstNames = true;
  names.tokenHurdle = 2;
  TComponentEntry text;
  text.tokenHurdle = 0;
  TComponentEntry house;
  house.kind = ComponentKind::kHausnummer;
  house.tokenHurdle = 256;
  TSlotEntry slot;
  slot.components = set->AddVector<TComponentEntry>(std::vector<TComponentEntry>{names, text, house});
  set->Fields().vectors[4] = set->AddVector<TSlotEntry>(std::vector<TSlotEntry>{slot});
  ASSERT_TRUE(BuildComponentList(*set));
  const std::string key = std::string("\x02" "idn\x03" "ABC" "idn\x01" "X", 13) +
                          std::string("\x01\x02" "AB", 4) +
                          std::string("\x01\x06" "\x0c\x00\x0e\x00\x06\x00", 8);
  const std::string record = "rec" + key;
  TFileLayout layout;
  layout.matchKeyPosition = 4;
  std::vector<std::string> seen;
  TTokenizer tokenizer;
  tokenizer.Setup(*set, [&](std::int32_t component, std::int32_t length, const std::uint8_t* t) {
    seen.push_back(std::to_string(component) + ":" +
                   std::string(reinterpret_cast<const char*>(t), static_cast<std::size_t>(length)));
  });
  tokenizer.EnterRecord(layout, reinterpret_cast<const std::uint8_t*>(record.data()));
  EXPECT_EQ(seen, (std::vector<std::string>{"0:ABC", "1:AB"}));
  std::string corrupt = record;
  corrupt[3] = 31;
  EXPECT_EQ(testing::FatalTextOf([&] {
              tokenizer.EnterRecord(layout, reinterpret_cast<const std::uint8_t*>(corrupt.data()));
            }),
            "TTokenizer.EnterRecord TC");
  Free(set);
}

}  // namespace
}  // namespace vld
