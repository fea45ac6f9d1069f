#include "params/param_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "params/param_tree_error.h"
#include "params/param_tree_io.h"
#include "platform/errors.h"
#include "platform/fatal.h"
#include "platform/le_codec.h"

namespace vld {

namespace {

std::uint8_t LevelByte(std::uint8_t level) { return level == 0 ? 0 : level - 1; }

struct Header {
  std::int32_t version = 0;
  std::uint8_t hide_byte = 0, edit_byte = 0;
};

// False unless `bytes` (the first 44 bytes) start with the magic.
bool DecodeHeader(std::string_view bytes, Header& header) {
  if (bytes.size() < kParamHeaderSize || bytes.substr(0, kParamMagic.size()) != kParamMagic) {
    return false;
  }
  le::Reader r(bytes);
  r.Skip(kParamMagic.size());
  header.version = r.I32();
  header.hide_byte = r.U8();
  header.edit_byte = r.U8();
  return true;
}

[[noreturn]] void RaiseLoadError(std::string_view file_name, bool as_schema, const char* reason) {
  throw EUserError(Format(kParamReadErrorFormat, as_schema ? kParamWhatSchema : kParamWhatParams,
                          std::string(file_name).c_str(), reason));
}

// Reads the tree after a good magic; the reader stands right after the header.
TParamSet LoadTree(IParamReader& reader, const Header& header, std::string_view file_name,
                   const TParamTTRecord& schema, bool as_schema) {
  if (header.version != kParamFormatVersion) {
    RaiseLoadError(file_name, as_schema, kParamNotAParamFile);
  }
  if (header.hide_byte > 3 || header.edit_byte > 3) {
    RaiseLoadError(file_name, as_schema, kParamDamaged);
  }
  TParamSet set;
  set.hide_level = static_cast<std::uint8_t>(header.hide_byte + 1);
  set.edit_level = static_cast<std::uint8_t>(header.edit_byte + 1);
  std::unique_ptr<TParamTreeValue> root;
  try {
    std::string ignored;
    if (reader.ReadString(ignored)) root = ReadParamTree(schema, reader, /*lazy=*/true);
  } catch (const EParamTree&) {
    // An unknown stream code, an invalid type id or a type that does not fit the schema: the
    // file cannot be read into this program's parameters.
    root = nullptr;
  }
  if (!root) RaiseLoadError(file_name, as_schema, kParamDamaged);
  set.root.reset(static_cast<TParamTVRecord*>(root.release()));
  return set;
}

}  // namespace

TParamWriteStream::TParamWriteStream(std::uint8_t hide_level, std::uint8_t edit_level) {
  le::Writer w;
  w.Bytes(kParamMagic);
  w.I32(kParamFormatVersion);
  w.U8(LevelByte(hide_level));
  w.U8(LevelByte(edit_level));
  w.Zeros(6);
  WriteBuffer(w.bytes().data(), w.size());
}

bool TParamReadStream::Open(const std::string& path, std::int32_t& version, std::uint8_t& hide_byte,
                            std::uint8_t& edit_byte) {
  Close();
  std::FILE* file = std::fopen(path.c_str(), "rb");
  struct stat info {};
  if (file == nullptr || fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
    const int error = errno;
    if (file != nullptr) std::fclose(file);
    if (file == nullptr && error == ENOENT) {
      throw EInOutError(Format("Die Datei \"%s\" gibt es nicht.", path.c_str()));
    }
    throw EInOutError(Format("Die Datei \"%s\" kann nicht geöffnet werden.", path.c_str()));
  }
  file_ = file;
  remaining_ = static_cast<std::uint64_t>(info.st_size);
  char bytes[kParamHeaderSize];
  Header header;
  if (!ReadBuffer(bytes, sizeof bytes) ||
      !DecodeHeader(std::string_view(bytes, sizeof bytes), header)) {
    return false;
  }
  version = header.version;
  hide_byte = header.hide_byte;
  edit_byte = header.edit_byte;
  return true;
}

void TParamReadStream::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  remaining_ = 0;
}

bool TParamReadStream::ReadBuffer(void* bytes, std::size_t size) {
  if (file_ == nullptr || size > remaining_) return false;
  // A file that shrank while it was read is short as well.
  if (size > 0 && std::fread(bytes, 1, size, file_) != size) return false;
  remaining_ -= size;
  return true;
}

std::string ParamSetBytes(const TParamSet& set) {
  if (!set.root) Fatal("parameter set without root");
  TParamWriteStream stream(set.hide_level, set.edit_level);
  stream.WriteString("");
  WriteParamTree(*set.root, stream);
  return stream.Take();
}

void StoreParamFile(const std::string& path, const TParamSet& set) {
  const std::string bytes = ParamSetBytes(set);
  const std::string temp = path + Format(".%ld.tmp", static_cast<long>(getpid()));
  const auto fail = [&](int fd) {
    if (fd >= 0) close(fd);
    unlink(temp.c_str());
    throw EInOutError(Format("Die Datei \"%s\" kann nicht geschrieben werden.", path.c_str()));
  };
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) fail(fd);
  struct stat old {};
  if (stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) fchmod(fd, old.st_mode & 07777);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail(fd);
    done += static_cast<std::size_t>(n);
  }
  if (fsync(fd) != 0) fail(fd);
  if (close(fd) != 0) fail(-1);
  if (rename(temp.c_str(), path.c_str()) != 0) fail(-1);
}

TParamSet LoadParamFile(const std::string& path, const TParamTTRecord& schema, bool as_schema) {
  TParamReadStream stream;
  Header header;
  if (!stream.Open(path, header.version, header.hide_byte, header.edit_byte)) {
    RaiseLoadError(path, as_schema, kParamNotAParamFile);
  }
  return LoadTree(stream, header, path, schema, as_schema);
}

TParamSet LoadParamBytes(std::string_view bytes, std::string_view file_name,
                         const TParamTTRecord& schema, bool as_schema) {
  Header header;
  if (!DecodeHeader(bytes, header)) RaiseLoadError(file_name, as_schema, kParamNotAParamFile);
  TParamBytesReader reader(bytes.substr(kParamHeaderSize));
  return LoadTree(reader, header, file_name, schema, as_schema);
}

}  // namespace vld
