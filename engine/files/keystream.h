// The keystream that scrambles the payload of safe files and dictionary cache files.
//
// A 32-bit state s starts at the file's seed. For every payload byte, in file order across all
// reads or all writes of one opening: s := s * 134775813 + 1 (mod 2^32), k := the high byte of
// s, and the stored byte is the plain byte XOR k. Scrambling and unscrambling are the same
// operation, and because the stream runs per byte, the payload may be split differently when it
// is read than when it was written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <span>

namespace vld {

class Keystream {
 public:
  explicit Keystream(std::uint32_t seed = 0) : state_(seed) {}

  // XORs `bytes` in place with the next bytes of the stream.
  void Apply(std::span<std::uint8_t> bytes) {
    std::uint32_t s = state_;
    for (std::uint8_t& b : bytes) {
      s = s * 134775813u + 1u;
      b ^= static_cast<std::uint8_t>(s >> 24);
    }
    state_ = s;
  }
  // XORs `count` bytes from `in` into `out` (which may be the same place).
  void Apply(const std::uint8_t* in, std::uint8_t* out, std::size_t count) {
    std::uint32_t s = state_;
    for (std::size_t i = 0; i < count; ++i) {
      s = s * 134775813u + 1u;
      out[i] = in[i] ^ static_cast<std::uint8_t>(s >> 24);
    }
    state_ = s;
  }
  std::uint32_t State() const { return state_; }

  // A fresh seed for a new file: differs between files written at different times.
  static std::uint32_t FreshSeed() {
    static thread_local std::mt19937 generator{std::random_device{}()};
    return static_cast<std::uint32_t>(generator());
  }

 private:
  std::uint32_t state_;
};

}  // namespace vld
