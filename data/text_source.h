// Reading the lines of an input text file (plain text with fixed fields, CSV).
//
// The reader takes the file in large blocks and hands out physical lines without their
// terminators; a line ends at CR LF, LF or a CR alone, and the end of the file ends a last line
// without terminator. Nothing of a line is trimmed or changed. A UTF-8 byte-order mark at the
// start is skipped and reported; a UTF-16 byte-order mark, or a line longer than
// kMaxSourceLineBytes, is a German message naming the file.
//
// Call order: Open, ReadLine until it answers false, Rewind to read again, Close.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/files/xan_file.h"
#include "platform/codepage.h"

namespace vld {

// Longest line (and longest CSV record over several lines) an input file may hold.
inline constexpr std::int64_t kMaxSourceLineBytes = 16 << 20;

class TTextSourceReader {
 public:
  TTextSourceReader() = default;
  TTextSourceReader(const TTextSourceReader&) = delete;
  TTextSourceReader& operator=(const TTextSourceReader&) = delete;

  // Raises EDataAccess "Die Datei %s existiert nicht." for a missing file, and the UTF-16
  // message; file errors of the text-file layer pass unchanged.
  void Open(const std::string& fileName);
  void Close();
  bool IsOpen() const { return file_.IsOpen(); }
  // Back to the first line (after a byte-order mark).
  void Rewind();
  // The next line into `line` and its terminator ("\r\n", "\n", "\r", or "" at the end of the
  // file) into `terminator`. False when no line is left.
  bool ReadLine(std::string& line, std::string& terminator);
  // Number of the line last read (1-based), 0 before the first.
  std::int64_t LineNumber() const { return lineNumber_; }
  bool HasByteOrderMark() const { return bom_; }
  const std::string& FileName() const { return file_.FileName(); }
  std::int64_t FileSize() const { return size_; }

 private:
  // Loads the next block; false at the end of the file.
  bool Fill();

  TXanFile file_;
  std::unique_ptr<char[]> block_;
  std::size_t blockBytes_ = 0;
  std::size_t begin_ = 0, end_ = 0;
  std::int64_t filePosition_ = 0, size_ = 0, lineNumber_ = 0;
  bool bom_ = false;
};

// The code page of a text file whose user named none: UTF-8 when the file begins with a UTF-8
// byte-order mark or all of it is valid UTF-8, else Windows-1252.
CodePage DetectTextCodePage(const std::string& fileName);

// Raises the German message naming `fileName` and `line` when `text` holds a zero byte (unless
// allowed) or, with UTF-8, is not valid UTF-8.
void CheckSourceText(const std::string& fileName, std::string_view text, std::int64_t line,
                     CodePage codePage, bool allowZeroBytes);

}  // namespace vld
