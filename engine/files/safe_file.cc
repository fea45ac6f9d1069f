#include "engine/files/safe_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "engine/runtime/heap.h"
#include "platform/errors.h"
#include "platform/le_codec.h"

namespace vld {

TSafeFile::TSafeFile(TFile* file) : file_(file), ownsFile_(file == nullptr) {
  if (ownsFile_) file_ = CreateIn<TFile>(StandardHeap());
}

TSafeFile::~TSafeFile() {
  if (file_->IsOpen()) {
    try {
      file_->Close();
    } catch (...) {
      // Nothing more to report from a destructor; the file was read or abandoned.
    }
  }
  if (ownsFile_) Free(file_);
}

void TSafeFile::Fail(const std::string& format) const {
  std::string text;
  const std::size_t at = format.find("%s");
  if (at == std::string::npos) {
    text = format;
  } else {
    text = format.substr(0, at) + GetName() + format.substr(at + 2);
  }
  throw EUserError(text);
}

void TSafeFile::OpenSafe(int mode) {
  if (mode == 0) {
    file_->Open(OpenKind::kRead);
    size_ = file_->Size();
    std::array<std::uint8_t, kHeaderSize> header{};
    if (size_ >= kHeaderSize) file_->ReadBlock(header.data(), kHeaderSize);
    const std::string_view magic = Magic();
    if (size_ < kHeaderSize || std::memcmp(header.data(), magic.data(), 32) != 0 ||
        le::GetU32(header, 40) != 0) {
      file_->Close();
      Fail("\"%s\" ist kein " + KindName());
    }
    const std::int32_t version = le::GetI32(header, 32);
    if (!IsValidVersion(version)) {
      file_->Close();
      Fail(KindName() + " \"%s\": ungültige Version");
    }
    version_ = version;
    stream_ = Keystream(le::GetU32(header, 36) ^ kSeedMask);
    reading_ = true;
  } else if (mode == 2) {
    file_->Open(OpenKind::kCreate);
    const std::uint32_t seed = Keystream::FreshSeed();
    version_ = CurrentVersion();
    le::Writer header;
    header.Bytes(Magic().substr(0, 32));
    header.I32(version_);
    header.U32(seed ^ kSeedMask);
    header.U32(0);
    file_->WriteBlock(header.bytes().data(), kHeaderSize);
    stream_ = Keystream(seed);
    reading_ = false;
    size_ = kHeaderSize;
  } else {
    Fail("invalid mode at open safe file \"%s\"");
  }
}

void TSafeFile::CloseSafe() {
  version_ = 0;
  file_->Close();
}

std::int64_t TSafeFile::Remaining() const { return size_ - file_->Position(); }

void TSafeFile::ReadData(void* address, std::int64_t count) {
  if (count <= 0) return;
  if (count > Remaining()) Fail("Die Datei \"%s\" ist beschädigt.");
  file_->ReadBlock(address, count);
  stream_.Apply(std::span(static_cast<std::uint8_t*>(address), static_cast<std::size_t>(count)));
}

void TSafeFile::WriteData(const void* address, std::int64_t count) {
  std::array<std::uint8_t, 4096> staging;
  const auto* in = static_cast<const std::uint8_t*>(address);
  while (count > 0) {
    const std::int64_t piece = std::min<std::int64_t>(count, staging.size());
    stream_.Apply(in, staging.data(), static_cast<std::size_t>(piece));
    file_->WriteBlock(staging.data(), piece);
    in += piece;
    count -= piece;
    size_ += piece;
  }
}

std::string TSafeFile::ReadText() {
  std::uint8_t length[4];
  ReadData(length, 4);
  const std::int32_t n = le::GetI32(std::span<const std::uint8_t>(length, 4), 0);
  if (n <= 0) return {};
  if (n > Remaining()) Fail("Die Datei \"%s\" ist beschädigt.");
  std::string text(static_cast<std::size_t>(n), '\0');
  ReadData(text.data(), n);
  return text;
}

void TSafeFile::WriteText(std::string_view text) {
  std::uint8_t length[4];
  le::PutI32(std::span<std::uint8_t>(length, 4), 0, CheckedCast<std::int32_t>(text.size()));
  WriteData(length, 4);
  WriteData(text.data(), static_cast<std::int64_t>(text.size()));
}

}  // namespace vld
