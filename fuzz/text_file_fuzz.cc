// Fuzz target: text files read line by line (TXanBufferedFile::ReadLine), the layer under the
// plain-text and CSV inputs, the dark lists and the file list.
//
// Input: byte 0 gives the buffer size (2..257), byte 1 the maximum line length (0..255), byte 2
// a mix of reads (bit 0: a single byte read between lines, bit 1: jumps back, bit 2: sequential
// hint), the rest is the file. The file is read against a model in memory: every line, position
// and end test must agree with it. The documented failures are exactly the English texts of the
// text-file layer, naming the file: a maximum line length the buffer cannot hold refuses the
// open, and a line longer than the maximum ends the reading.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/files/xan_file.h"
#include "platform/fatal.h"
#include "fuzz/fuzz_support.h"

namespace vld::fuzz {
namespace {

// The model: the file's bytes and a position.
struct Model {
  std::string_view text;
  std::size_t position = 0;

  // The raw line at the position and the position after its terminator.
  std::string_view Line(std::size_t& next) const {
    std::size_t end = position;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    next = end;
    if (end < text.size()) {
      next = end + 1;
      if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
    }
    return text.substr(position, end - position);
  }
};

std::string Trimmed(std::string_view line) {
  while (!line.empty() && static_cast<std::uint8_t>(line.back()) <= 32) line.remove_suffix(1);
  return std::string(line);
}

}  // namespace
}  // namespace vld::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vld::fuzz::InstallFuzzHooks();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vld;
  using namespace vld::fuzz;
  if (size < 3) return 0;
  const std::int32_t bufferSize = 2 + data[0];
  const std::int32_t maxLine = data[1];
  const std::uint8_t mix = data[2];
  Model model{std::string_view(reinterpret_cast<const char*>(data + 3), size - 3)};
  const std::string path = ScratchFile("Text.txt");
  WriteScratchFile(path, model.text);
  const std::string named = "\"" + path + "\"";

  TXanBufferedFile file(path);
  file.SetBufferSize(bufferSize);
  file.SetMaxLineLength(maxLine);
  const auto opened =
      Outcome([&] { file.Open(kXanRead | ((mix & 4) ? kXanSequential : 0)); }, kAcceptInOutError);
  if (maxLine > bufferSize - 2) {
    Require(opened == Format(kXanLineBuffer, path.c_str()),
            "Eine zu große Zeilenlänge wurde angenommen.");
    return 0;
  }
  Require(!opened, "Die Datei lässt sich nicht öffnen.");

  int reads = 0;
  int jumps = 0;
  while (model.position < model.text.size()) {
    Require(!file.IsAtEnd() && file.Position() == static_cast<std::int64_t>(model.position),
            "Position oder Dateiende weichen vom Modell ab.");
    ++reads;
    if ((mix & 1) && reads % 3 == 1) {
      std::string byte;
      Outcome([&] { byte = file.ReadText(1); }, 0);
      Require(byte == model.text.substr(model.position, 1), "Ein gelesenes Byte weicht ab.");
      ++model.position;
      continue;
    }
    std::size_t next = 0;
    const std::string_view raw = model.Line(next);
    std::string line;
    const auto error = Outcome([&] { line = file.ReadLine(); }, kAcceptInOutError);
    if (raw.size() > static_cast<std::size_t>(maxLine)) {
      Require(error == Format(kXanLineTooLong, path.c_str(), maxLine),
              "Eine zu lange Zeile wurde nicht gemeldet.");
      return 0;
    }
    Require(!error, "Eine Zeile ließ sich nicht lesen: " + error.value_or(""));
    Require(line == Trimmed(raw), "Eine gelesene Zeile weicht ab.");
    model.position = next;
    if ((mix & 2) && reads % 5 == 0 && jumps < 4) {
      ++jumps;
      model.position /= 2;
      file.SetPosition(static_cast<std::int64_t>(model.position));
    }
  }
  Require(file.IsAtEnd() && file.Position() == static_cast<std::int64_t>(model.text.size()),
          "Das Dateiende weicht vom Modell ab.");
  const auto past = Outcome([&] { file.ReadLine(); }, kAcceptInOutError);
  Require(past == "Die Datei " + named + " kann nicht gelesen werden: Lesen über das Dateiende hinaus.",
          "Hinter dem Ende wurde noch gelesen.");
  file.Close();
  return 0;
}
