// The file list ("Dateiliste"): a text file naming the input files of a match task.
//
// Read with the scanner (code page 1252, or UTF-8). One entry is three tokens: a type letter
// "G" (Grunddatei), "M" (Masterdatei), "S" (Sperrdatei) or "K" (Kompaktsperrdatei), a priority
// 0..999 and the file name as a quoted string; entries follow each other until the end of the
// file, at most 500 of them. Comments in braces are skipped.
//   G 10 "kunden.txt"
//   M 5  "~T~stamm/master.txt"   { names are resolved like other input names }
// Reading stops at the first error, which is reported as
//   "Fehler %sin Zeile %d der Dateiliste %s:\r%s"
// with "am Zeilenende ", "am Dateiende " or "bei >>> <token> <<<" before the line number, the
// list's name without its folder, and the error text.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/pipeline/file_layout.h"

namespace vld {

inline constexpr int kMaxInputFiles = 500;

struct TFileListEntry {
  InputFileType type = InputFileType::kGrund;
  int priority = 0;
  std::string name;  // as given, UTF-8
};

struct TFileListResult {
  std::vector<TFileListEntry> entries;
  std::optional<std::string> error;  // the finished German message
};

// Reads the list `fullName`. A missing list gives "Die Datei \"%s\" gibt es nicht.", a list that
// cannot be read "Die Datei \"%s\" kann nicht gelesen werden." (%s: the full name).
TFileListResult ReadFileList(const std::string& fullName);

// The same from the lines of a list (without their line ends); `listName` names it in
// messages.
TFileListResult ParseFileList(const std::vector<std::string>& lines, const std::string& listName);

}  // namespace vld
