// Parameter files: parameter sets (".PAR") and schemas (".PMS"), one binary format.
//
//   OFFSET  SIZE  FIELD
//        0    32  magic "Veldrona-Parameter (C) Korvist " and the byte 0x1A, compared byte for byte
//       32     4  format version, always 1
//       36     1  HideLevel - 1
//       37     1  EditLevel - 1
//       38     6  zero
//       44   var  a text, always written empty (read and ignored)
//     then   var  the tree (params/param_tree_io.h)
//
// Levels: 1 all parameters, 2 advanced, 3 simple, 4 minimal. HideLevel is the level below which
// parameters are neither shown nor printed, EditLevel the level below which they are not edited.
// A level L of 1..4 is stored as L - 1 (0 as 0); a stored byte b of 0..3 reads as b + 1, and a
// larger byte, which no writer produces, makes the file damaged.
//
// Loading distrusts the file: every count and length is checked against the bytes left before
// anything is allocated, and a file that cannot be read gives the German message naming it:
//   "Fehler beim Einlesen der Parameter aus Datei\r\"<file>\":\r<reason>"
// (line breaks as carriage returns; front ends show them as line breaks).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "params/param_stream.h"
#include "params/param_values_composed.h"

namespace vld {

inline constexpr std::string_view kParamMagic{"Veldrona-Parameter (C) Korvist \x1A", 32};
inline constexpr std::size_t kParamHeaderSize = 44;
inline constexpr std::int32_t kParamFormatVersion = 1;

inline constexpr const char* kParamReadErrorFormat =
    "Fehler beim Einlesen %s aus Datei\r\"%s\":\r%s";
inline constexpr const char* kParamWhatSchema = "des Schemas";
inline constexpr const char* kParamWhatParams = "der Parameter";
inline constexpr const char* kParamDamaged = "Datei ist beschädigt";
inline constexpr const char* kParamNotAParamFile = "keine Parameter-Datei, oder falsche Version";

// A parameter set with the levels stored beside it.
struct TParamSet {
  std::unique_ptr<TParamTVRecord> root;
  std::uint8_t hide_level = 1;
  std::uint8_t edit_level = 1;
};

// Writer of a parameter file in memory: the header on construction, then the tree.
class TParamWriteStream : public TParamBytesWriter {
 public:
  TParamWriteStream(std::uint8_t hide_level, std::uint8_t edit_level);
};

// Reader of a parameter file: Open checks the header, then the reader delivers the bytes after
// it.
class TParamReadStream : public IParamReader {
 public:
  TParamReadStream() = default;
  TParamReadStream(const TParamReadStream&) = delete;
  TParamReadStream& operator=(const TParamReadStream&) = delete;
  ~TParamReadStream() override { Close(); }

  // False when the file is shorter than the header or its magic differs; otherwise the
  // version and the two level bytes are delivered. Raises EInOutError ("Die Datei \"%s\" gibt es
  // nicht." or "Die Datei \"%s\" kann nicht geöffnet werden.") when the file cannot be read.
  bool Open(const std::string& path, std::int32_t& version, std::uint8_t& hide_byte,
            std::uint8_t& edit_byte);
  void Close();
  bool ReadBuffer(void* bytes, std::size_t size) override;
  std::uint64_t Remaining() const override { return remaining_; }

 private:
  std::FILE* file_ = nullptr;
  std::uint64_t remaining_ = 0;
};

// The complete file image of `set`.
std::string ParamSetBytes(const TParamSet& set);

// Writes `set` to `path`: into a new file beside it that then replaces `path`, so a failed
// write leaves the old file as it was. Raises EInOutError "Die Datei \"%s\" kann nicht
// geschrieben werden." on failure.
void StoreParamFile(const std::string& path, const TParamSet& set);

// Reads a parameter file into `schema`. Raises EUserError with the German message above for a
// file that is not a parameter file or is damaged, and EInOutError for a file that cannot be
// opened. `as_schema` only selects the wording ("des Schemas" / "der Parameter").
TParamSet LoadParamFile(const std::string& path, const TParamTTRecord& schema, bool as_schema);

// The same for a file image in memory; `file_name` names it in messages.
TParamSet LoadParamBytes(std::string_view bytes, std::string_view file_name,
                         const TParamTTRecord& schema, bool as_schema);

}  // namespace vld
