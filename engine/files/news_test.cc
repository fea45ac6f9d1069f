#include "engine/files/news.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/runtime/layers.h"

namespace vld {
namespace {

// Collects the messages sent to the task hooks.
class Journal {
 public:
  Journal() : scoped_(Hooks(this)) {}
  std::vector<std::pair<MessageKind, std::string>> lines;

 private:
  static TaskHooks Hooks(Journal* self) {
    TaskHooks hooks;
    hooks.message = [self](MessageKind kind, std::string_view text) {
      self->lines.emplace_back(kind, std::string(text));
      return 1;
    };
    return hooks;
  }
  ScopedTaskHooks scoped_;
};

std::string WithoutCr(std::string text) {
  std::erase(text, '\r');
  return text;
}

TEST(NewsTest, SendsTheLinesAsOneMessageWithoutTheLastCarriageReturn) {
  Journal journal;
  TNews* news = CreateIn<TNews>(StandardHeap(), 4096);
  news->Add("Datei: kunden.txt");
  news->Add("Datensätze: 12");
  news->Send(MessageKind::kInformation);
  ASSERT_EQ(journal.lines.size(), 1u);
  EXPECT_EQ(journal.lines[0], std::make_pair(MessageKind::kInformation,
                                             std::string("Datei: kunden.txt\rDatensätze: 12")));
  Free(news);
}

TEST(NewsTest, AddTakesWhatFitsAndAFullBufferNothing) {
  TNews* news = CreateIn<TNews>(StandardHeap(), 10);
  news->Add("12345");
  news->Add("abcdef");
  news->Add("z");
  EXPECT_EQ(news->Text(), "12345\rabc\r");
  Free(news);
}

TEST(NewsTest, NothingIsSentBeforeALineWasAdded) {
  Journal journal;
  TNews* news = CreateIn<TNews>(StandardHeap(), 100);
  news->Send(MessageKind::kError);
  EXPECT_TRUE(journal.lines.empty());
  Free(news);
}

TEST(NewsTest, ALongTextGoesOutInMessagesOfAtMost255Bytes) {
  Journal journal;
  TNews* news = CreateIn<TNews>(StandardHeap(), 4096);
  const std::string a(100, 'a'), b(100, 'b'), c(100, 'c'), d(600, 'd');
  for (const std::string* line : {&a, &b, &c, &d}) news->Add(*line);
  news->Add("ende");
  news->Send(MessageKind::kDetail);
  std::vector<std::string> texts;
  for (const auto& [kind, text] : journal.lines) {
    EXPECT_EQ(kind, MessageKind::kDetail);
    texts.push_back(text);
  }
  EXPECT_EQ(texts,
            (std::vector<std::string>{a + "\r" + b, c, std::string(255, 'd'), std::string(255, 'd'),
                                      std::string(90, 'd') + "\rende"}));
  Free(news);
}

TEST(NewsTest, CutsNeverSplitAUtf8Character) {
  const std::string line = "x" + std::string(149, ' ') + [] {
    std::string umlauts;
    for (int i = 0; i < 200; ++i) umlauts += "ä";
    return umlauts;
  }();
  const std::vector<std::string> messages = SplitIntoMessages(line, 255);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].size(), 254u);  // 255 would end inside an "ä"
  for (const std::string& m : messages) {
    EXPECT_NE(static_cast<unsigned char>(m.front()) & 0xc0, 0x80);
    EXPECT_NE(static_cast<unsigned char>(m.back()), 0xc3);
  }
  EXPECT_EQ(messages[0] + messages[1] + messages[2], line);
}

TEST(NewsTest, RandomTextsLoseNothingAndKeepTheLimit) {
  std::mt19937 random(5);
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE(round);
    std::string text;
    const int lines = 1 + static_cast<int>(random() % 12);
    for (int i = 0; i < lines; ++i) {
      if (i > 0) text += '\r';
      text += std::string(random() % 700, static_cast<char>('a' + i));
    }
    std::string joined;
    for (const std::string& m : SplitIntoMessages(text, 255)) {
      EXPECT_LE(m.size(), 255u);
      joined += m;
    }
    EXPECT_EQ(WithoutCr(joined), WithoutCr(text));
  }
}

TEST(NewsTest, TheBufferLivesInTheSpace) {
  TMemoryLayer* arena = CreateWithArena<TMemoryLayer>(StandardHeap(), 65536);
  const std::int64_t before = arena->FreeBytes();
  TNews* news = CreateIn<TNews>(*arena, 4096);
  EXPECT_LE(arena->FreeBytes(), before - 4096);
  news->Add("x");
  EXPECT_EQ(news->Capacity(), 4096);
  Free(arena);
}

}  // namespace
}  // namespace vld
