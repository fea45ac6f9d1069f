// What the record comparison needs of the identifier map of a task's dark lists.
//
// Dark-list entries of the first-name classes carry identifiers; words with the same identifier
// are variants of one name. The record comparison asks, for the identifiers of two tokens,
// whether they are in one group (then the tokens match without a character comparison) and
// whether one entry is an ancestor of the other (its key is a prefix of the other's key in the
// dictionary's prefix links; then the characters are compared across two token boundaries).
#pragma once

#include <cstdint>

namespace vld {

class TIdentifierMap {
 public:
  virtual ~TIdentifierMap() = default;
  // Group of identifier `id` (1..16777215); 0 for an identifier the map does not know.
  virtual std::int32_t Group(std::uint32_t id) const = 0;
  // True when the entry of `a` is an ancestor of the entry of `b` or the other way round.
  virtual bool Related(std::uint32_t a, std::uint32_t b) const = 0;
};

}  // namespace vld
