#include "fuzz/fuzz_formats.h"

#include <cstdint>
#include <span>

#include "engine/files/keystream.h"
#include "engine/files/safe_file.h"
#include "matching/dark_lists.h"
#include "platform/le_codec.h"

namespace vld::fuzz {
namespace {

// The cache file's seed mask and the layout of its header and source records.
constexpr std::uint32_t kCacheSeedMask = 0x4c28e6a3u;
constexpr std::size_t kCacheHeaderSize = 60;
constexpr std::size_t kCacheSourceFixedSize = 17;

std::span<const std::uint8_t> Span(std::string_view bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

std::string SwapFrom(std::string_view bytes, std::size_t from, std::uint32_t seed) {
  std::string out(bytes);
  auto* data = reinterpret_cast<std::uint8_t*>(out.data());
  Keystream(seed).Apply(data + from, data + from, out.size() - from);
  return out;
}

}  // namespace

std::string SafeFilePlainSwap(std::string_view bytes) {
  const auto header = static_cast<std::size_t>(TSafeFile::kHeaderSize);
  if (bytes.size() < header) return std::string(bytes);
  return SwapFrom(bytes, header, le::GetU32(Span(bytes), 36) ^ TSafeFile::kSeedMask);
}

std::string HashCachePlainSwap(std::string_view bytes) {
  if (bytes.size() < kCacheHeaderSize) return std::string(bytes);
  const std::int32_t sources = le::GetI32(Span(bytes), 36);
  if (sources < 0) return std::string(bytes);
  std::size_t at = kCacheHeaderSize;
  for (std::int32_t i = 0; i < sources; ++i) {
    if (bytes.size() - at < kCacheSourceFixedSize) return std::string(bytes);
    at += kCacheSourceFixedSize + static_cast<std::uint8_t>(bytes[at + 16]);
    if (at > bytes.size()) return std::string(bytes);
  }
  return SwapFrom(bytes, at, le::GetU32(Span(bytes), 52) ^ kCacheSeedMask);
}

std::string PackagePlainSwap(std::string_view bytes) {
  if (bytes.size() < 44) return std::string(bytes);
  return std::string(bytes.substr(0, 44)) + PackageCipher(bytes.substr(44));
}

}  // namespace vld::fuzz
