// Record comparison: decides whether two match records are duplicates.
//
// TCompare reads only the match keys of the two records (written by key building), compares
// them component by component in the comparison order of the parameter set, adds up points and
// returns a verdict code with a score. The class matcher calls Similar for every pair of records
// it considers, so Similar allocates nothing and stops as soon as the components still to come
// cannot lift the pair to the threshold ("Schwellenwert").
//
// Call order: CreateIn<TCompare>(space), Init(set, identifiers, boundary table) once per task,
// then Similar(...) per pair; the set, the identifier map and the records must stay alive while
// Similar runs. One TCompare per thread (Similar keeps its token readers in the object).
//
// Verdict codes:
//   0           not similar (score -1)
//   5           similar, neither record has the higher bonus
//   2           similar, the second record (B) has the higher bonus (bonus balance negative)
//   8           similar, the first record (A) has the higher bonus (bonus balance positive)
//   3           similar, replication flag 1: only B has a value in a component with "Replizieren"
//   9           similar, replication flag 2: only A has such a value
//   6           similar, replication flags 1 and 2
//   1, 4, 10, 7 the threshold was reached only through minimum points ("Bonus 2"), replication
//               flags 0, 1, 2, 3 respectively
// The score is the points without minimum points, for 1, 4, 10 and 7 the points with them.
//
// Where a record's match key ends: at the end of the record as handed to Similar (records leave
// key building with their used length) or at matchKeyPosition - 1 + matchKeyLength of its layout,
// whichever comes first. Component offsets (u16 at the layout's componentOffsetsPosition, one per
// component of the component list) are byte distances from the record's first byte to the
// component's count byte and must point into the match key. Nothing outside the record's offset
// array and match key is ever read: a component that would be read beyond the key's end, a count
// the key format does not allow, a token of length 0 or a Hausnummer value whose length byte is
// not 6 is a damaged key and ends with the fatal error of its component kind and side:
// "TCompare.Similar Normal A", "... Normal B", "... POBox A", "... POBox B" (Text and Postfach),
// "... HouseNo A", "... HouseNo B".
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "engine/pipeline/file_layout.h"
#include "engine/runtime/origin.h"
#include "matching/identifier_map.h"
#include "matching/match_params.h"

namespace vld {

// One side of a token-list comparison: reads the tokens of one Normal component of one record
// as a continuous text that crosses token boundaries, and keeps which tokens have been matched.
// Tokens are numbered 1..30; bit k of a mask stands for token k.
class TTokenReader {
 public:
  static constexpr std::int32_t kMaxTokens = 30;

  // Binds the reader to its partner and to the 256-byte boundary table. The reader of record B
  // sets its crossing flag X for good (`alwaysCrossing`); the reader of A sets it only while it
  // skips a character (ReadSkipping).
  void Bind(TTokenReader* partner, const std::uint8_t* boundaryTable, bool alwaysCrossing);

  // Takes the tokens of the Normal component whose count byte is key[at]; the key ends before
  // key[keyEnd]. `prefix` is the component's "Prefix", `identifiers` its "Vornamen benutzen"
  // (every token is preceded by its 3-byte identifier). Clears the matched tokens. Returns false
  // for a damaged component: more than 30 tokens, a token of length 0, or a token that does not
  // end inside the key.
  bool Setup(const std::uint8_t* key, std::int32_t at, std::int32_t keyEnd, bool prefix,
             bool identifiers);

  std::int32_t Count() const { return n_; }
  // Tokens matched so far (m) and by the current token comparison (q).
  std::int32_t Matched() const { return m_; }
  std::int32_t MatchedNow() const { return q_; }
  bool IsMatched(std::int32_t k) const { return (mask_ >> k) & 1u; }

  // Starts a token comparison at token k: returns the token's identifier (0 without identifiers)
  // and resets the comparison state (crossing position, length budget, pending counter,
  // tentative marks).
  std::uint32_t Start(std::int32_t k);
  // Token k counts as matched at once.
  void Mark(std::int32_t k);
  // Token k counts as matched when the comparison commits.
  void Tentative(std::int32_t k);
  void Commit();

  // The next character without reading it: inside the token its next character, at the token's
  // end the first character of the next token (not through the boundary table), after the last
  // token a blank.
  std::uint8_t Peek() const;
  // Reads the next character; at the end of a token crosses into the next token (see compare.cc).
  std::uint8_t Read() {
    if (pos_ < tokenEnd_) return key_[pos_++];
    return Cross();
  }
  // Reads one character with the crossing flag X set.
  std::uint8_t ReadSkipping();
  // Moves the read position to the end of the current token (the rest of an abbreviated word is
  // skipped).
  void SkipToTokenEnd() {
    if (pos_ < tokenEnd_) pos_ = tokenEnd_;
  }
  bool AtTokenEnd() const { return pos_ >= tokenEnd_; }
  // True right after a token boundary was crossed, before any further character was read.
  bool JustCrossed() const { return pos_ == x_; }
  // True when the reader has crossed the end of its last token.
  bool PastEnd() const { return pos_ > tokenEnd_; }

  // The length budget L of the character errors.
  std::int32_t Budget() const { return budget_; }
  void Charge(std::int32_t e) { budget_ -= e; }
  // Pending counter d: the comparison may run over d token boundaries before it commits.
  void SetPending(std::int32_t d) { pending_ = d; }

 private:
  std::uint8_t Cross();

  const std::uint8_t* table_ = nullptr;
  TTokenReader* partner_ = nullptr;
  bool crossing_ = false;  // X
  bool alwaysCrossing_ = false;
  bool prefix_ = false;       // P
  bool identifiers_ = false;  // I
  const std::uint8_t* key_ = nullptr;
  std::int32_t n_ = 0;
  // Per token k (1..n): index of its first character, one beyond its last, its identifier.
  std::array<std::int32_t, kMaxTokens + 1> start_{};
  std::array<std::int32_t, kMaxTokens + 1> end_{};
  std::array<std::uint32_t, kMaxTokens + 1> id_{};
  std::uint32_t mask_ = 0;  // M
  std::int32_t m_ = 0;
  std::int32_t j_ = 0;
  std::int32_t pos_ = 0;
  std::int32_t tokenEnd_ = 0;
  std::int32_t x_ = -1;  // read position right after the last boundary crossed; -1 after Start
  std::int32_t q_ = 0;
  std::int32_t budget_ = 0;          // L
  std::int32_t pending_ = 0;         // d
  std::uint32_t tentativeMask_ = 0;  // M2
  std::int32_t tentative_ = 0;       // u
};

// Matched tokens on each side of one Normal component (mA, mB).
struct TTokenCounts {
  std::int32_t a = 0;
  std::int32_t b = 0;
  bool operator==(const TTokenCounts&) const = default;
};

class TCompare : public TOrigin {
 public:
  using TOrigin::Init;

  // Configures the comparison from the task's checked set: "Schwellenwert", "erster
  // 1-Zeichen-Fehler", "weitere 1-Zeichen-Fehler", the score ceiling, the comparison order and
  // the derived values of every component. `boundaryTable` is the compare table of the phonetic
  // table (copied). REQUIRES: `set` and `identifiers` outlive this object; the set has been
  // checked (component list and comparison order built, component values derived).
  void Init(const TParameterStore& set, const TIdentifierMap& identifiers,
            std::span<const std::uint8_t, 256> boundaryTable);

  // Compares record A (first) with record B (second), each with the layout of its input file.
  // Returns the verdict code and sets `score` (see above).
  int Similar(const TFileLayout& layoutA, const TFileLayout& layoutB, std::int32_t& score,
              std::span<const std::uint8_t> recordB, std::span<const std::uint8_t> recordA);

  // The component Similar compares first (0-based index into the component list); -1 without
  // components. What a caller fetches ahead of a comparison.
  std::int32_t FirstComponent() const {
    return componentCount_ > 0 ? components_[0].index : -1;
  }

  // mA and mB of the Normal component `component` (0-based index into the component list) of
  // two records, as Similar counts them; {0, 0} when a side is empty. Raises the range error for
  // a component that is not Normal. For tests and diagnostics.
  TTokenCounts MatchTokens(std::int32_t component, const TFileLayout& layoutA,
                           const TFileLayout& layoutB, std::span<const std::uint8_t> recordB,
                           std::span<const std::uint8_t> recordA);

 private:
  // A component as the comparison needs it, in comparison order.
  struct Component {
    ComponentKind kind = ComponentKind::kText;
    bool prefix = false;
    bool identifiers = false;
    bool replicate = false;
    std::int32_t index = 0;  // in the component list (its offset slot)
    std::int32_t delta = 0, base = 0, relative = 0, absolute = 0;
    std::int32_t upperLimit = 0, bonus0 = 0, bonus1 = 0, bonus2 = 0;
    std::int32_t bonusMask = 0, maxScore = 0;
  };
  // Where a record's component offsets and match key lie.
  struct KeyView {
    const std::uint8_t* bytes = nullptr;
    std::int32_t offsets = 0;      // index of the first offset
    std::int32_t offsetCount = 0;  // offsets that lie inside the record
    std::int32_t keyStart = 0;
    std::int32_t keyEnd = 0;
  };
  static KeyView ViewOf(const TFileLayout& layout, std::span<const std::uint8_t> record);
  // Index of the count byte of component `index`, or the fatal error of `kind` for `side`.
  static std::int32_t CountByteOf(const KeyView& key, std::int32_t index, ComponentKind kind,
                                  int side);
  std::int64_t NormalPoints(const Component& c, const KeyView& a, std::int32_t atA,
                            const KeyView& b, std::int32_t atB);
  void SetupReaders(const Component& c, const KeyView& a, std::int32_t atA, const KeyView& b,
                    std::int32_t atB);
  void CompareTokenLists();
  void CompareTokens(std::int32_t t, std::int32_t u);

  std::int64_t threshold_ = 0;
  std::int32_t firstError_ = 0;
  std::int32_t furtherError_ = 0;
  std::int64_t scoreCeiling_ = 0;
  const TIdentifierMap* identifiers_ = nullptr;
  std::array<std::uint8_t, 256> boundaryTable_{};
  Component* components_ = nullptr;  // in comparison order
  std::int32_t componentCount_ = 0;
  TTokenReader a_;
  TTokenReader b_;
};

}  // namespace vld
