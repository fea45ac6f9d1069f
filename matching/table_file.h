// Reading the product's table files (normalisation tables, postal-code mappings).
//
// Both kinds of table are small binary files looked up in the table path. The loaders read at
// most a bounded number of bytes, so that a wrong or hostile file never causes a huge
// allocation, and report a missing file apart from an unreadable one. The German load
// messages name the file; FormatFileMessage fills the name into such a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vld {

// Load message shared by every table kind.
inline constexpr const char* kTableFileMissingText = "Die Datei \"%s\" gibt es nicht.";

// Replaces the "%s" of `message` by `name`.
std::string FormatFileMessage(std::string_view message, std::string_view name);

// True when `file` names an existing file system object.
bool TableFileExists(const std::string& file);

// Size of `file` in bytes, or nullopt when it cannot be determined (missing, no regular file).
std::optional<std::uint64_t> TableFileSize(const std::string& file);

// Reads at most `limit` bytes of `file`, starting at `offset`. Returns nullopt when the file
// cannot be opened or read; fewer bytes than asked when the file ends earlier.
std::optional<std::vector<std::uint8_t>> ReadTableFile(const std::string& file,
                                                       std::uint64_t offset, std::size_t limit);

// Writes `bytes` as the whole content of `file` (through a temporary file and a rename, so
// that a failed write leaves no half table behind). Throws EUserError
// "Die Datei \"%s\" kann nicht geschrieben werden." on failure.
void WriteTableFile(const std::string& file, const std::vector<std::uint8_t>& bytes);

}  // namespace vld
