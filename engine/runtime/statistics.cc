#include "engine/runtime/statistics.h"

#include <algorithm>
#include <cmath>

namespace vld {

void TStatistics::Add(std::int64_t value) {
  ++count;
  maximum = std::max(maximum, value);
  minimum = std::min(minimum, value);
  sum += static_cast<long double>(value);
  sumOfSquares += static_cast<long double>(value) * static_cast<long double>(value);
}

long double TStatistics::Mean() const { return count == 0 ? 0 : sum / count; }

long double TStatistics::Deviation() const {
  if (count == 0) return 0;
  const long double mean = Mean();
  const long double radicand = sumOfSquares / count - mean * mean;
  return radicand > 0 ? std::sqrt(radicand) : 0;
}

}  // namespace vld
