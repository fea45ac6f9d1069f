#include "matching/file_list.h"

#include "engine/files/xan_file.h"
#include "matching/scanner.h"
#include "platform/codepage.h"
#include "platform/fatal.h"
#include "platform/paths.h"

namespace vld {
namespace {

// Text of the list (1252, or UTF-8 when it is valid UTF-8) as UTF-8 for messages and names.
std::string ListText(std::string_view bytes) {
  return IsValidUtf8(bytes) ? std::string(bytes) : ToUtf8(bytes, CodePage::k1252);
}

class TFileListReader {
 public:
  TFileListReader(const std::vector<std::string>& lines, std::string listName)
      : lines_(lines), listName_(std::move(listName)) {
    scanner_.Start([this](std::string& line) {
      if (next_ >= lines_.size()) return false;
      line = lines_[next_++];
      return true;
    });
  }

  TFileListResult Read() {
    TFileListResult result;
    for (;;) {
      TokenKind kind = scanner_.Next();
      if (kind == TokenKind::kEnd) return result;
      if (result.entries.size() >= static_cast<std::size_t>(kMaxInputFiles)) {
        result.error = Problem(kind, Format("zu viele Dateien (mehr als %d)", kMaxInputFiles));
        return result;
      }
      TFileListEntry entry;
      const std::string& text = scanner_.Text();
      if (kind != TokenKind::kUpperCase || text.size() != 1 ||
          std::string_view("GMSK").find(text[0]) == std::string_view::npos) {
        result.error = Problem(kind,
                               "Dateityp erwartet (G=Grunddatei, M=Masterdatei, S=Sperrdatei, "
                               "K=Kompaktsperrdatei");
        return result;
      }
      entry.type = static_cast<InputFileType>(std::string_view("GMSK").find(text[0]));
      kind = scanner_.Next();
      const std::string& number = scanner_.Text();
      if (kind != TokenKind::kNumber || number.size() > 9 || std::stol(number) > 999) {
        result.error =
            Problem(kind, Format("Priorität erwartet (Zahl zwischen %d und %d)", 0, 999));
        return result;
      }
      entry.priority = static_cast<int>(std::stol(number));
      kind = scanner_.Next();
      if (kind != TokenKind::kString) {
        result.error = Problem(kind, "Dateiname erwartet (Zeichenkette)");
        return result;
      }
      entry.name = ListText(scanner_.Text());
      result.entries.push_back(std::move(entry));
    }
  }

 private:
  std::string Problem(TokenKind kind, const std::string& text) const {
    std::string where;
    if (kind == TokenKind::kEnd) {
      where = "am Dateiende ";
    } else if (scanner_.AtLineEnd()) {
      where = "am Zeilenende ";
    } else {
      where = "bei >>> " + ListText(scanner_.Text()) + " <<<";
    }
    return Format("Fehler %sin Zeile %d der Dateiliste %s:\r%s", where.c_str(),
                  static_cast<int>(scanner_.LineNumber()), listName_.c_str(), text.c_str());
  }

  const std::vector<std::string>& lines_;
  std::string listName_;
  std::size_t next_ = 0;
  TScanner scanner_;
};

}  // namespace

TFileListResult ParseFileList(const std::vector<std::string>& lines, const std::string& listName) {
  TFileListReader reader(lines, listName);
  return reader.Read();
}

TFileListResult ReadFileList(const std::string& fullName) {
  TFileListResult result;
  if (!FileExistsNotDirectory(fullName)) {
    result.error = Format("Die Datei \"%s\" gibt es nicht.", fullName.c_str());
    return result;
  }
  std::vector<std::string> lines;
  try {
    TXanBufferedFile file(fullName);
    file.SetBufferSize(65536);
    file.SetMaxLineLength(65000);
    file.Open(kXanRead | kXanSequential);
    while (!file.IsAtEnd()) lines.push_back(file.ReadLine());
    file.Close();
  } catch (const EXanFileError&) {
    result.error = Format("Die Datei \"%s\" kann nicht gelesen werden.", fullName.c_str());
    return result;
  }
  return ParseFileList(lines, ShortName(fullName));
}

}  // namespace vld
