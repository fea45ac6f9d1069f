// Checked arithmetic for sizes, counts, indices and scores.
//
// Every computation that can overflow goes through these helpers: an overflow raises
// ERuntimeError "Integer-Überlauf", an index or narrowing outside its range raises
// "Fehler bei Bereichsprüfung", a division by zero raises "Division durch Null".
#pragma once

#include <concepts>
#include <cstddef>
#include <limits>
#include <utility>

#include "platform/errors.h"

namespace vld {

[[noreturn]] void RaiseIntegerOverflow();
[[noreturn]] void RaiseRangeError();
[[noreturn]] void RaiseDivisionByZero();

template <std::integral T>
constexpr T CheckedAdd(T a, T b) {
  T r;
  if (__builtin_add_overflow(a, b, &r)) RaiseIntegerOverflow();
  return r;
}

template <std::integral T>
constexpr T CheckedSub(T a, T b) {
  T r;
  if (__builtin_sub_overflow(a, b, &r)) RaiseIntegerOverflow();
  return r;
}

template <std::integral T>
constexpr T CheckedMul(T a, T b) {
  T r;
  if (__builtin_mul_overflow(a, b, &r)) RaiseIntegerOverflow();
  return r;
}

// Truncating division, as all scoring arithmetic of the product.
template <std::integral T>
constexpr T CheckedDiv(T a, T b) {
  if (b == 0) RaiseDivisionByZero();
  if constexpr (std::is_signed_v<T>) {
    if (a == std::numeric_limits<T>::min() && b == -1) RaiseIntegerOverflow();
  }
  return a / b;
}

template <std::integral T>
constexpr T CheckedMod(T a, T b) {
  if (b == 0) RaiseDivisionByZero();
  if constexpr (std::is_signed_v<T>) {
    if (b == -1) return 0;
  }
  return a % b;
}

// Converts between integer types; a value the target cannot hold is a range error.
template <std::integral To, std::integral From>
constexpr To CheckedCast(From v) {
  if (!std::in_range<To>(v)) RaiseRangeError();
  return static_cast<To>(v);
}

// REQUIRES nothing; raises the range error unless 0 <= index < size.
template <std::integral I>
constexpr std::size_t CheckIndex(I index, std::size_t size) {
  if (!std::in_range<std::size_t>(index) || static_cast<std::size_t>(index) >= size) {
    RaiseRangeError();
  }
  return static_cast<std::size_t>(index);
}

// Raises the range error unless lo <= v <= hi.
template <std::integral T>
constexpr T CheckRange(T v, T lo, T hi) {
  if (v < lo || v > hi) RaiseRangeError();
  return v;
}

}  // namespace vld
