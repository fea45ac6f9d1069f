#include "data/text_source.h"

#include <algorithm>
#include <cstring>

#include "data/data_access.h"
#include "platform/fatal.h"

namespace vld {
namespace {

constexpr std::int64_t kBlockBytes = 1 << 20;

}  // namespace

void TTextSourceReader::Open(const std::string& fileName) {
  if (file_.IsOpen()) Fatal("source file open twice");
  if (!FileExistsNotDirectory(fileName)) {
    throw EDataAccess(Format("Die Datei %s existiert nicht.", fileName.c_str()));
  }
  file_.SetName(fileName);
  file_.Open(kXanRead | kXanShareRead | kXanSequential);
  size_ = file_.Size();
  // The block holds at most the whole file: a small file costs no large buffer.
  const auto wanted = static_cast<std::size_t>(std::clamp<std::int64_t>(size_, 1, kBlockBytes));
  if (blockBytes_ < wanted) {
    block_ = std::make_unique_for_overwrite<char[]>(wanted);
    blockBytes_ = wanted;
  }
  char head[3] = {0, 0, 0};
  const std::int64_t headBytes = std::min<std::int64_t>(size_, 3);
  file_.ReadBytes(head, headBytes);
  if (headBytes >= 2 &&
      ((head[0] == '\xFF' && head[1] == '\xFE') || (head[0] == '\xFE' && head[1] == '\xFF'))) {
    file_.Close();
    throw EDataAccess(
        Format("Die Datei \"%s\" ist in UTF-16 gespeichert. Bitte speichern Sie sie "
               "als UTF-8 oder Windows-1252.",
               fileName.c_str()));
  }
  bom_ = headBytes == 3 && std::memcmp(head, "\xEF\xBB\xBF", 3) == 0;
  Rewind();
}

void TTextSourceReader::Close() {
  if (file_.IsOpen()) file_.Close();
  begin_ = end_ = 0;
}

void TTextSourceReader::Rewind() {
  filePosition_ = bom_ ? 3 : 0;
  begin_ = end_ = 0;
  lineNumber_ = 0;
}

bool TTextSourceReader::Fill() {
  if (filePosition_ >= size_) return false;
  const std::int64_t count =
      std::min<std::int64_t>(static_cast<std::int64_t>(blockBytes_), size_ - filePosition_);
  file_.SetPosition(filePosition_);
  file_.ReadBytes(block_.get(), count);
  filePosition_ += count;
  begin_ = 0;
  end_ = static_cast<std::size_t>(count);
  return true;
}

bool TTextSourceReader::ReadLine(std::string& line, std::string& terminator) {
  line.clear();
  terminator.clear();
  if (begin_ == end_ && !Fill()) return false;
  ++lineNumber_;
  for (;;) {
    const char* start = block_.get() + begin_;
    const char* stop = block_.get() + end_;
    const char* p = start;
    while (p != stop && *p != '\n' && *p != '\r') ++p;
    line.append(start, p);
    if (static_cast<std::int64_t>(line.size()) > kMaxSourceLineBytes) {
      throw EDataAccess(
          Format("Die Datei \"%s\" hat in Zeile %lld mehr als %lld Zeichen; sie ist "
                 "wohl keine Textdatei.",
                 FileName().c_str(), static_cast<long long>(lineNumber_),
                 static_cast<long long>(kMaxSourceLineBytes)));
    }
    begin_ = static_cast<std::size_t>(p - block_.get());
    if (p != stop) {
      const char first = *p;
      ++begin_;
      terminator.assign(1, first);
      if (first == '\r') {
        if (begin_ == end_) Fill();  // the LF of a CR LF may start the next block
        if (begin_ != end_ && block_[begin_] == '\n') {
          ++begin_;
          terminator.push_back('\n');
        }
      }
      return true;
    }
    if (!Fill()) return true;  // the end of the file ends the last line
  }
}

CodePage DetectTextCodePage(const std::string& fileName) {
  TTextSourceReader source;
  source.Open(fileName);
  if (source.HasByteOrderMark()) return CodePage::kUtf8;
  std::string line, terminator;
  // Line breaks never occur inside a UTF-8 sequence, so checking line by line is exact.
  while (source.ReadLine(line, terminator)) {
    if (!IsValidUtf8(line)) return CodePage::k1252;
  }
  return CodePage::kUtf8;
}

void CheckSourceText(const std::string& fileName, std::string_view text, std::int64_t line,
                     CodePage codePage, bool allowZeroBytes) {
  if (!allowZeroBytes && text.find('\0') != std::string_view::npos) {
    throw EDataAccess(
        Format("Die Datei \"%s\" enthält in Zeile %lld ein Nullbyte; sie ist keine "
               "Textdatei.",
               fileName.c_str(), static_cast<long long>(line)));
  }
  if (codePage == CodePage::kUtf8 && !IsValidUtf8(text)) {
    throw EDataAccess(Format("Die Datei \"%s\" ist in Zeile %lld nicht gültig in UTF-8 kodiert.",
                             fileName.c_str(), static_cast<long long>(line)));
  }
}

}  // namespace vld
