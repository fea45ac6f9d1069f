#include "matching/compare.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/checked.h"
#include "platform/fatal.h"

namespace vld {
namespace {

constexpr std::uint8_t kBlank = ' ';
constexpr std::uint8_t kAbbreviation = '.';

// Verdicts by replication flags: 0..3 reached only through minimum points, 4..7 otherwise.
constexpr std::array<int, 8> kVerdicts = {1, 4, 10, 7, 5, 3, 9, 6};

constexpr int kSideA = 0;
constexpr int kSideB = 1;

[[noreturn]] void DamagedKey(ComponentKind kind, int side) {
  switch (kind) {
    case ComponentKind::kText:
    case ComponentKind::kPostfach:
      Fatal(side == kSideA ? "TCompare.Similar POBox A" : "TCompare.Similar POBox B");
    case ComponentKind::kHausnummer:
      Fatal(side == kSideA ? "TCompare.Similar HouseNo A" : "TCompare.Similar HouseNo B");
    default:
      Fatal(side == kSideA ? "TCompare.Similar Normal A" : "TCompare.Similar Normal B");
  }
}

std::uint16_t U16At(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// A Hausnummer value: range from..to and the digit set of the first number.
struct HouseNumber {
  std::int32_t from = 0;
  std::int32_t to = 0;
  std::int32_t digits = 0;
};

HouseNumber ReadHouseNumber(const std::uint8_t* bytes, std::int32_t at, std::int32_t keyEnd,
                            int side) {
  // count byte, length byte 6, from, to, digit set
  if (keyEnd - at < 8 || bytes[at + 1] != 6) DamagedKey(ComponentKind::kHausnummer, side);
  return {U16At(bytes + at + 2), U16At(bytes + at + 4), U16At(bytes + at + 6)};
}

// The short string of a Text or Postfach value (after its count byte), checked against the key.
std::span<const std::uint8_t> ReadSingleValue(const std::uint8_t* bytes, std::int32_t at,
                                              std::int32_t keyEnd, ComponentKind kind, int side) {
  if (keyEnd - at < 2) DamagedKey(kind, side);
  const std::int32_t length = bytes[at + 1];
  if (keyEnd - (at + 2) < length) DamagedKey(kind, side);
  return {bytes + at + 2, static_cast<std::size_t>(length)};
}

}  // namespace

// ---- TTokenReader ---------------------------------------------------------------------------

void TTokenReader::Bind(TTokenReader* partner, const std::uint8_t* boundaryTable,
                        bool alwaysCrossing) {
  partner_ = partner;
  table_ = boundaryTable;
  alwaysCrossing_ = alwaysCrossing;
  crossing_ = alwaysCrossing;
}

bool TTokenReader::Setup(const std::uint8_t* key, std::int32_t at, std::int32_t keyEnd, bool prefix,
                         bool identifiers) {
  key_ = key;
  prefix_ = prefix;
  identifiers_ = identifiers;
  mask_ = 0;
  m_ = 0;
  const std::int32_t n = key[at];
  if (n > kMaxTokens) return false;
  std::int32_t p = at + 1;
  for (std::int32_t k = 1; k <= n; ++k) {
    if (identifiers) {
      if (keyEnd - p < 3) return false;
      id_[k] = static_cast<std::uint32_t>(key[p]) | (static_cast<std::uint32_t>(key[p + 1]) << 8) |
               (static_cast<std::uint32_t>(key[p + 2]) << 16);
      p += 3;
    } else {
      id_[k] = 0;
    }
    if (keyEnd - p < 1) return false;
    const std::int32_t length = key[p++];
    if (length == 0 || keyEnd - p < length) return false;
    start_[k] = p;
    end_[k] = p + length;
    p += length;
  }
  n_ = n;
  return true;
}

std::uint32_t TTokenReader::Start(std::int32_t k) {
  j_ = k;
  pos_ = start_[k];
  tokenEnd_ = end_[k];
  x_ = -1;
  q_ = 0;
  budget_ = end_[k] - start_[k];
  tentative_ = 0;
  tentativeMask_ = mask_;
  pending_ = 0;
  return id_[k];
}

void TTokenReader::Mark(std::int32_t k) {
  const std::uint32_t bit = 1u << k;
  if (mask_ & bit) return;
  tentativeMask_ |= bit;
  mask_ |= bit;
  ++m_;
  ++q_;
}

void TTokenReader::Tentative(std::int32_t k) {
  const std::uint32_t bit = 1u << k;
  if (tentativeMask_ & bit) return;
  tentativeMask_ |= bit;
  ++tentative_;
}

void TTokenReader::Commit() {
  mask_ = tentativeMask_;
  m_ += tentative_;
  q_ += tentative_;
  tentative_ = 0;
}

std::uint8_t TTokenReader::Peek() const {
  if (pos_ < tokenEnd_) return key_[pos_];
  if (pos_ == tokenEnd_ && j_ < n_) return key_[start_[j_ + 1]];
  return kBlank;
}

std::uint8_t TTokenReader::ReadSkipping() {
  crossing_ = true;
  const std::uint8_t c = Read();
  crossing_ = alwaysCrossing_;
  return c;
}

// At the end of the current token. A pair of tokens is matched when both readers cross their
// boundaries in the same step (A first, then B, whose X is set): B's crossing then commits both
// sides. With a pending counter (related first-name identifiers) the commit waits for the second
// crossing. In prefix mode a token read to its end counts at once, although the other side's
// token may go on.
//
// A reader that has run past its last token stays at the position of that last crossing, so
// every later crossing of B pairs with the end of A. The reader of A pairs the same way with a
// B that has run past its end: otherwise a word whose last letter is missing in B (SCHMIDT
// against SCHMID) would match only when the two records come in the other order.
std::uint8_t TTokenReader::Cross() {
  if (pos_ != tokenEnd_) return kBlank;  // beyond the last token
  TTokenReader& partner = *partner_;
  const bool pairs = (crossing_ && partner.pos_ == partner.x_) || partner.PastEnd();
  if (pending_ > 0) {
    Tentative(j_);
    if (--pending_ == 0) {
      partner.pending_ = 0;
      if (prefix_ || pairs) {
        partner.Commit();
        Commit();
      }
    }
  } else if (prefix_) {
    Mark(j_);
  } else {
    Tentative(j_);
    if (pairs) {
      partner.Commit();
      Commit();
    }
  }
  std::uint8_t c;
  if (j_ < n_) {
    ++j_;
    budget_ += end_[j_] - start_[j_];
    tokenEnd_ = end_[j_];
    c = table_[key_[start_[j_]]];
    pos_ = start_[j_] + 1;
  } else {
    pos_ = tokenEnd_ + 1;
    c = kBlank;
  }
  x_ = pos_;
  return c;
}

// ---- TCompare -------------------------------------------------------------------------------

void TCompare::Init(const TParameterStore& set, const TIdentifierMap& identifiers,
                    std::span<const std::uint8_t, 256> boundaryTable) {
  const TParameterFields& f = set.Fields();
  threshold_ = f.threshold;
  firstError_ = f.firstCharError;
  furtherError_ = f.furtherCharError;
  scoreCeiling_ = f.scoreCeiling;
  identifiers_ = &identifiers;
  std::copy(boundaryTable.begin(), boundaryTable.end(), boundaryTable_.begin());
  a_.Bind(&b_, boundaryTable_.data(), /*alwaysCrossing=*/false);
  b_.Bind(&a_, boundaryTable_.data(), /*alwaysCrossing=*/true);

  componentCount_ = std::max<std::int32_t>(f.componentCount, 0);
  const auto order = set.ComparisonOrder();
  if (order.size() != static_cast<std::size_t>(componentCount_)) RaiseRangeError();
  void* memory = AllocOwned(CheckedMul<std::int64_t>(componentCount_, sizeof(Component)));
  components_ = static_cast<Component*>(memory);
  for (std::int32_t i = 0; i < componentCount_; ++i) {
    const std::int32_t index = order[static_cast<std::size_t>(i)] - 1;
    const TComponentEntry& e = set.Component(index);  // checks the index
    Component* c = ::new (&components_[i]) Component;
    c->kind = e.kind;
    c->prefix = e.prefix;
    c->identifiers = e.useFirstNames;
    c->replicate = e.replicate;
    c->index = index;
    c->delta = e.wordHurdle;
    c->base = e.base;
    c->relative = e.relative;
    c->absolute = e.absolute;
    c->upperLimit = e.upperLimit;
    c->bonus0 = e.bonus0;
    c->bonus1 = e.bonus1;
    c->bonus2 = e.bonus2;
    c->bonusMask = e.bonusMask;
    c->maxScore = e.maxScore;
  }
}

TCompare::KeyView TCompare::ViewOf(const TFileLayout& layout,
                                   std::span<const std::uint8_t> record) {
  KeyView v;
  v.bytes = record.data();
  const std::int64_t size =
      std::min<std::int64_t>(static_cast<std::int64_t>(record.size()), std::int64_t{1} << 30);
  if (layout.componentOffsetsPosition >= 1) {
    v.offsets = layout.componentOffsetsPosition - 1;
    v.offsetCount = static_cast<std::int32_t>(std::max<std::int64_t>(0, (size - v.offsets) / 2));
  }
  if (layout.matchKeyPosition >= 1) {
    v.keyStart = layout.matchKeyPosition - 1;
    v.keyEnd = static_cast<std::int32_t>(
        std::min<std::int64_t>(size, std::int64_t{v.keyStart} + layout.matchKeyLength));
  }
  return v;
}

std::int32_t TCompare::CountByteOf(const KeyView& key, std::int32_t index, ComponentKind kind,
                                   int side) {
  if (index >= key.offsetCount) DamagedKey(kind, side);
  const std::int32_t at = U16At(key.bytes + key.offsets + 2 * index);
  if (at < key.keyStart || at >= key.keyEnd) DamagedKey(kind, side);
  return at;
}

void TCompare::SetupReaders(const Component& c, const KeyView& a, std::int32_t atA,
                            const KeyView& b, std::int32_t atB) {
  if (!a_.Setup(a.bytes, atA, a.keyEnd, c.prefix, c.identifiers)) DamagedKey(c.kind, kSideA);
  if (!b_.Setup(b.bytes, atB, b.keyEnd, c.prefix, c.identifiers)) DamagedKey(c.kind, kSideB);
}

std::int64_t TCompare::NormalPoints(const Component& c, const KeyView& a, std::int32_t atA,
                                    const KeyView& b, std::int32_t atB) {
  SetupReaders(c, a, atA, b, atB);
  CompareTokenLists();
  const std::int64_t mA = a_.Matched();
  const std::int64_t mB = b_.Matched();
  std::int64_t o = c.absolute != 0 ? c.absolute * std::max(mA, mB) : 0;
  if (mA + mB > 0) {
    o += std::max(c.relative * mA / a_.Count(), c.relative * mB / b_.Count()) + c.base;
  }
  return o;
}

int TCompare::Similar(const TFileLayout& layoutA, const TFileLayout& layoutB, std::int32_t& score,
                      std::span<const std::uint8_t> recordB,
                      std::span<const std::uint8_t> recordA) {
  const KeyView a = ViewOf(layoutA, recordA);
  const KeyView b = ViewOf(layoutB, recordB);
  std::int64_t total = 0;  // with minimum points
  std::int64_t plain = 0;  // without
  std::int64_t balance = 0;
  int flags = 0;
  std::int64_t remaining = scoreCeiling_;
  for (std::int32_t i = 0; i < componentCount_; ++i) {
    const Component& c = components_[i];
    const std::int32_t atA = CountByteOf(a, c.index, c.kind, kSideA);
    const std::int32_t atB = CountByteOf(b, c.index, c.kind, kSideB);
    const std::int32_t nA = a.bytes[atA];
    const std::int32_t nB = b.bytes[atB];
    const std::int32_t most = c.kind == ComponentKind::kNormal ? TTokenReader::kMaxTokens : 1;
    if (nA > most) DamagedKey(c.kind, kSideA);
    if (nB > most) DamagedKey(c.kind, kSideB);

    std::int64_t o = 0;
    if (nA != 0 && nB != 0) {
      switch (c.kind) {
        case ComponentKind::kNormal:
          o = NormalPoints(c, a, atA, b, atB);
          break;
        case ComponentKind::kHausnummer: {
          const HouseNumber x = ReadHouseNumber(a.bytes, atA, a.keyEnd, kSideA);
          const HouseNumber y = ReadHouseNumber(b.bytes, atB, b.keyEnd, kSideB);
          if (y.to + c.delta < x.from || x.to + c.delta < y.from) {
            o = x.digits == y.digits ? c.absolute : 0;  // "Quer"
          } else if (y.to < x.from || x.to < y.from || ((x.from ^ y.from) & 1) != 0) {
            o = c.base;  // "Schwach"
          } else {
            o = c.relative;  // "Stark"
          }
          break;
        }
        case ComponentKind::kText:
        case ComponentKind::kPostfach: {
          const auto x = ReadSingleValue(a.bytes, atA, a.keyEnd, c.kind, kSideA);
          const auto y = ReadSingleValue(b.bytes, atB, b.keyEnd, c.kind, kSideB);
          if (x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size()) == 0) o = c.base;
          break;
        }
      }
    } else if (nA != 0) {
      balance += c.bonusMask;
      o = c.bonus1;
      if (c.replicate) flags |= 2;
    } else if (nB != 0) {
      balance -= c.bonusMask;
      o = c.bonus1;
      if (c.replicate) flags |= 1;
    } else {
      o = c.bonus0;
    }
    o = std::min<std::int64_t>(o, c.upperLimit);
    total += std::max<std::int64_t>(o, c.bonus2);
    plain += o;
    remaining -= c.maxScore;
    if (total + remaining < threshold_) {
      score = -1;
      return 0;
    }
  }
  if (total < threshold_) {
    score = -1;
    return 0;
  }
  if (plain < threshold_) {
    score = static_cast<std::int32_t>(total);
    return kVerdicts[static_cast<std::size_t>(flags)];
  }
  score = static_cast<std::int32_t>(plain);
  if (flags != 0) return kVerdicts[static_cast<std::size_t>(4 + flags)];
  if (balance == 0) return 5;
  return balance < 0 ? 2 : 8;
}

TTokenCounts TCompare::MatchTokens(std::int32_t component, const TFileLayout& layoutA,
                                   const TFileLayout& layoutB,
                                   std::span<const std::uint8_t> recordB,
                                   std::span<const std::uint8_t> recordA) {
  const KeyView a = ViewOf(layoutA, recordA);
  const KeyView b = ViewOf(layoutB, recordB);
  for (std::int32_t i = 0; i < componentCount_; ++i) {
    const Component& c = components_[i];
    if (c.index != component) continue;
    if (c.kind != ComponentKind::kNormal) break;
    const std::int32_t atA = CountByteOf(a, c.index, c.kind, kSideA);
    const std::int32_t atB = CountByteOf(b, c.index, c.kind, kSideB);
    if (a.bytes[atA] == 0 || b.bytes[atB] == 0) return {};
    SetupReaders(c, a, atA, b, atB);
    CompareTokenLists();
    return {a_.Matched(), b_.Matched()};
  }
  RaiseRangeError();
}

// Token lists of a Normal component: walk both lists; where a pair does not match, look for the
// first partner of A's token further on in B, then for the first partner of B's token further
// on in A, and move on by one on both sides.
void TCompare::CompareTokenLists() {
  const std::int32_t nA = a_.Count();
  const std::int32_t nB = b_.Count();
  std::int32_t t = 1;
  std::int32_t u = 1;
  while (t <= nA && u <= nB) {
    CompareTokens(t, u);
    if (a_.MatchedNow() != 0 || b_.MatchedNow() != 0) {
      t += a_.MatchedNow();
      u += b_.MatchedNow();
    } else {
      for (std::int32_t v = u + 1; v <= nB; ++v) {
        CompareTokens(t, v);
        if (a_.MatchedNow() > 0) break;
      }
      for (std::int32_t s = t + 1; s <= nA; ++s) {
        CompareTokens(s, u);
        if (b_.MatchedNow() > 0) break;
      }
      ++t;
      ++u;
    }
    while (t <= nA && a_.IsMatched(t)) ++t;
    while (u <= nB && b_.IsMatched(u)) ++u;
  }
}

// Compares token t of A with token u of B, character by character with the error budget, and
// across token boundaries as long as the texts agree.
void TCompare::CompareTokens(std::int32_t t, std::int32_t u) {
  TTokenReader& a = a_;
  TTokenReader& b = b_;
  const std::uint32_t idA = a.Start(t);
  const std::uint32_t idB = b.Start(u);
  if (idA != 0 && idB != 0) {
    const std::int32_t groupA = identifiers_->Group(idA);
    const std::int32_t groupB = identifiers_->Group(idB);
    // An identifier the map does not know (a compact dark file made with other dark lists)
    // says nothing about the name: such tokens are compared by their characters.
    if (groupA != 0 && groupB != 0) {
      if (groupA == groupB) {
        a.Mark(t);
        b.Mark(u);
        return;
      }
      if (!identifiers_->Related(idA, idB)) return;
      a.SetPending(2);
      b.SetPending(2);
    }
  }
  std::int32_t e = firstError_;
  std::uint8_t c = a.Read();
  std::uint8_t c2 = b.Read();
  for (;;) {
    if (c == c2) {
      if (c == kBlank) return;
    } else if (c == kAbbreviation) {
      b.SkipToTokenEnd();
    } else if (c2 == kAbbreviation) {
      a.SkipToTokenEnd();
    } else {
      // A one-character error, charged against the length budget of both sides.
      if (a.Budget() < e || b.Budget() < e) return;
      a.Charge(e);
      b.Charge(e);
      e = furtherError_;
      const std::uint8_t g = a.Peek();
      const std::uint8_t h = b.Peek();
      if (g == h || (c2 == g && c == h)) {  // substitution or transposition
        a.Read();
        b.Read();
      } else if (c2 == g) {  // an extra character in A
        a.ReadSkipping();
      } else if (c == h) {  // an extra character in B
        b.Read();
      } else if (!a.AtTokenEnd()) {
        if (!b.AtTokenEnd() || !a.JustCrossed()) return;
        b.Read();  // dropped; the same pair once more
        continue;
      } else if (!b.AtTokenEnd()) {
        if (!b.JustCrossed()) return;
        a.ReadSkipping();  // dropped; the same pair once more
        continue;
      }
    }
    c = a.Read();
    c2 = b.Read();
  }
}

}  // namespace vld
