// Fuzz target: the safe file itself (TSafeFile, here as the protocol kind): its 44-byte header and
// any sequence of reads of its payload, not only the sequence the protocol document makes.
//
// Input: byte 0 (low four bits) the number n of reads, then n read bytes (bit 7 set: ReadText,
// else ReadData of the low seven bits as byte count), then the plain form of the file
// (fuzz/fuzz_formats.h): the header as stored and the payload in the clear. The target scrambles
// the payload as the writer does, opens the file and reads against a model of the plain form:
// the header messages, every text and data block, the bytes remaining, and "Die Datei "%s" ist
// beschädigt." exactly where a read passes the end. What was read is written to a new safe file
// and must read back the same.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_formats.h"
#include "fuzz/fuzz_support.h"
#include "matching/match_document.h"
#include "platform/le_codec.h"

namespace vld::fuzz {
namespace {

struct Read {
  bool text = false;
  std::int64_t count = 0;  // ReadData
  std::string bytes;       // what was read
};

// What the reads must give for the plain payload; stops at the first read that passes the end
// (its `bytes` then empty and `failed` set).
std::vector<Read> Model(const std::vector<Read>& reads, std::string_view payload, bool& failed) {
  std::vector<Read> out;
  std::size_t at = 0;
  failed = false;
  for (Read r : reads) {
    const std::size_t left = payload.size() - at;
    if (r.text) {
      if (left < 4) {
        failed = true;
        break;
      }
      const std::int32_t n =
          le::GetI32(std::span(reinterpret_cast<const std::uint8_t*>(payload.data()) + at, 4), 0);
      at += 4;
      if (n > 0) {
        if (static_cast<std::size_t>(n) > left - 4) {
          failed = true;
          break;
        }
        r.bytes = std::string(payload.substr(at, static_cast<std::size_t>(n)));
        at += static_cast<std::size_t>(n);
      }
    } else if (r.count > 0) {
      if (static_cast<std::size_t>(r.count) > left) {
        failed = true;
        break;
      }
      r.bytes = std::string(payload.substr(at, static_cast<std::size_t>(r.count)));
      at += static_cast<std::size_t>(r.count);
    }
    out.push_back(std::move(r));
  }
  return out;
}

// Reads `reads` from the open file, checking the bytes remaining after each; stops at the first
// error, which it returns.
std::optional<std::string> ReadAll(TSafeFile& file, std::vector<Read>& reads,
                                   std::int64_t payloadSize) {
  std::int64_t consumed = 0;
  for (std::size_t i = 0; i < reads.size(); ++i) {
    Read& r = reads[i];
    const auto error = Outcome(
        [&] {
          if (r.text) {
            r.bytes = file.ReadText();
          } else {
            r.bytes.assign(static_cast<std::size_t>(r.count), '\0');
            file.ReadData(r.bytes.data(), r.count);
          }
        },
        kAcceptUserError);
    if (error) {
      reads.resize(i);
      return error;
    }
    consumed += (r.text ? 4 : 0) + static_cast<std::int64_t>(r.bytes.size());
    Require(file.Remaining() == payloadSize - consumed, "Die verbleibenden Bytes weichen ab.");
  }
  return std::nullopt;
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
  if (size < 1) return 0;
  const std::size_t n = data[0] & 15;
  if (size < 1 + n) return 0;
  std::vector<Read> reads;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t op = data[1 + i];
    reads.push_back(Read{(op & 0x80) != 0, op & 0x7f, {}});
  }
  const std::string_view plain(reinterpret_cast<const char*>(data + 1 + n), size - 1 - n);
  const std::string path = ScratchFile("Sicher.mpr");
  WriteScratchFile(path, SafeFilePlainSwap(plain));

  TMatchDocFile file;
  file.Assign(path);
  const auto opened = Outcome([&] { file.OpenSafe(0); }, kAcceptUserError);
  EchoError(opened);
  const auto header = std::span(reinterpret_cast<const std::uint8_t*>(plain.data()),
                                std::min<std::size_t>(plain.size(), TSafeFile::kHeaderSize));
  if (plain.size() < TSafeFile::kHeaderSize || plain.substr(0, 32) != file.Magic() ||
      le::GetU32(header, 40) != 0) {
    Require(opened == "\"" + path + "\" ist kein Statistik-Protokoll",
            "Eine Datei ohne gültigen Kopf wurde nicht abgewiesen.");
    Require(!file.IsOpen(), "Eine abgewiesene Datei ist noch offen.");
    return 0;
  }
  if (!file.IsValidVersion(le::GetI32(header, 32))) {
    Require(opened == "Statistik-Protokoll \"" + path + "\": ungültige Version",
            "Eine ungültige Version wurde nicht abgewiesen.");
    Require(!file.IsOpen(), "Eine abgewiesene Datei ist noch offen.");
    return 0;
  }
  Require(!opened, "Ein gültiger Kopf wurde abgewiesen: " + opened.value_or(""));
  Require(file.Version() == le::GetI32(header, 32), "Die Version weicht ab.");

  const std::string_view payload = plain.substr(TSafeFile::kHeaderSize);
  bool failed = false;
  const std::vector<Read> expected = Model(reads, payload, failed);
  std::vector<Read> got = reads;
  const auto error = ReadAll(file, got, static_cast<std::int64_t>(payload.size()));
  file.CloseSafe();
  if (failed) {
    Require(error == "Die Datei \"" + path + "\" ist beschädigt.",
            "Ein Lesen über das Ende hinaus wurde nicht gemeldet.");
  } else {
    Require(!error, "Ein Lesen innerhalb der Datei schlug fehl: " + error.value_or(""));
  }
  Require(got.size() == expected.size(), "Die Zahl der gelungenen Lesevorgänge weicht ab.");
  for (std::size_t i = 0; i < got.size(); ++i) {
    Require(got[i].bytes == expected[i].bytes, "Ein gelesener Inhalt weicht vom Modell ab.");
  }

  // What was read, written to a new safe file and read back.
  const std::string copyPath = ScratchFile("Kopie.mpr");
  TMatchDocFile out;
  out.Assign(copyPath);
  std::int64_t written = 0;
  Require(!Outcome(
              [&] {
                out.OpenSafe(2);
                for (const Read& r : got) {
                  if (r.text) {
                    out.WriteText(r.bytes);
                  } else {
                    out.WriteData(r.bytes.data(), static_cast<std::int64_t>(r.bytes.size()));
                  }
                  written += (r.text ? 4 : 0) + static_cast<std::int64_t>(r.bytes.size());
                }
                out.CloseSafe();
              },
              0),
          "Die Kopie lässt sich nicht schreiben.");
  TMatchDocFile in;
  in.Assign(copyPath);
  std::vector<Read> back = got;
  const auto backError = Outcome(
      [&] {
        in.OpenSafe(0);
        if (auto e = ReadAll(in, back, written)) throw EUserError(*e);
        Require(in.Remaining() == 0, "Die Kopie ist länger als ihr Inhalt.");
        in.CloseSafe();
      },
      kAcceptUserError);
  Require(!backError, "Die Kopie lässt sich nicht lesen: " + backError.value_or(""));
  for (std::size_t i = 0; i < got.size(); ++i) {
    Require(back[i].bytes == got[i].bytes, "Die Kopie ergibt andere Inhalte.");
  }
  return 0;
}
