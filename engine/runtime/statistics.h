// A numeric accumulator: count, extremes, sum and sum of squares of the values added.
#pragma once

#include <cstdint>
#include <limits>

#include "engine/runtime/origin.h"

namespace vld {

class TStatistics : public TOrigin {
 public:
  void Add(std::int64_t value);
  // sum / count; 0 without values.
  long double Mean() const;
  // sqrt(sumOfSquares / count - mean^2); 0 without values or when the radicand is not positive.
  long double Deviation() const;

  std::int64_t maximum = std::numeric_limits<std::int32_t>::min();
  std::int64_t minimum = std::numeric_limits<std::int32_t>::max();
  std::int64_t count = 0;
  long double sum = 0;
  long double sumOfSquares = 0;
};

}  // namespace vld
