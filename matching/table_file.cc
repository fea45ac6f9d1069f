#include "matching/table_file.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>

#include "platform/errors.h"

namespace vld {

std::string FormatFileMessage(std::string_view message, std::string_view name) {
  std::string out(message);
  const std::size_t at = out.find("%s");
  if (at != std::string::npos) out.replace(at, 2, name);
  return out;
}

bool TableFileExists(const std::string& file) {
  struct stat st;
  return ::stat(file.c_str(), &st) == 0;
}

std::optional<std::uint64_t> TableFileSize(const std::string& file) {
  struct stat st;
  if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

std::optional<std::vector<std::uint8_t>> ReadTableFile(const std::string& file,
                                                       std::uint64_t offset, std::size_t limit) {
  if (!TableFileSize(file)) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  in.seekg(static_cast<std::streamoff>(offset));
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> bytes(limit);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(limit));
  if (in.bad()) return std::nullopt;
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

void WriteTableFile(const std::string& file, const std::vector<std::uint8_t>& bytes) {
  const std::string temporary = file + ".tmp";
  bool ok = false;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    ok = static_cast<bool>(out);
  }
  if (ok) ok = std::rename(temporary.c_str(), file.c_str()) == 0;
  if (!ok) {
    std::remove(temporary.c_str());
    throw EUserError(FormatFileMessage("Die Datei \"%s\" kann nicht geschrieben werden.", file));
  }
}

}  // namespace vld
