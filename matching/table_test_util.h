// Test helpers for the table loaders: a temporary folder that removes itself, and file
// writing of byte images.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vld::testing {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vld_tables_XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string File(const std::string& name) const { return path_ + "/" + name; }

  // Writes `bytes` (the first `size` of them when given) as `name`; returns the full name.
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes,
                    std::size_t size = static_cast<std::size_t>(-1)) const {
    const std::string file = File(name);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(std::min(size, bytes.size())));
    return file;
  }

 private:
  std::string path_;
};

}  // namespace vld::testing
