// Record comparison benchmark: TCompare::Similar on match keys of German person addresses.
//
// The set has the components a typical address match uses: "Vorname" (with first-name
// identifiers), "Nachname", "Straße", "Hausnummer" and "Ort", with the comparison optimisation
// (score ceiling and comparison order). Keys are generated with a fixed seed from common names
// and streets, with the spelling errors a data-entry clerk makes. Three mixes are timed:
//   Duplicates  pairs of one address, the second with one or two spelling errors
//   Class       random pairs of one postal-code class (what the class matcher meets most)
//   Hopeless    pairs with different last names (ended early by the score ceiling)
// Before timing, each mix is checked once: the duplicate pairs are nearly all similar (a short
// name that lost a letter, KOCH / KOH, has too little length for an error), the other pairs
// nearly all not. Reports comparisons per second (items_per_second).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/runtime/heap.h"
#include "matching/compare.h"
#include "matching/match_derive.h"

namespace {

using vld::ComponentKind;
using vld::TComponentEntry;
using Bytes = std::vector<std::uint8_t>;

constexpr int kComponents = 5;
constexpr int kHeader = 40;  // stand-in for the record and its class key

const char* const kFirstNames[] = {
    "HANS",   "PETER", "KLAUS",  "WOLFGANG", "JUERGEN",  "MICHAEL", "THOMAS", "ANDREAS", "STEFAN",
    "MONIKA", "PETRA", "SABINE", "URSULA",   "GABRIELE", "KARIN",   "ANDREA", "BIRGIT",  "SUSANNE"};
const char* const kLastNames[] = {
    "MUELLER",   "SCHMIDT",  "SCHNEIDER", "FISCHER",    "WEBER", "MEYER",   "WAGNER",  "BECKER",
    "SCHULZ",    "HOFFMANN", "SCHAEFER",  "KOCH",       "BAUER", "RICHTER", "KLEIN",   "WOLF",
    "SCHROEDER", "NEUMANN",  "SCHWARZ",   "ZIMMERMANN", "BRAUN", "KRUEGER", "HOFMANN", "HARTMANN"};
const char* const kStreets[] = {"HAUPTSTR", "SCHULSTR",   "GARTENSTR", "BAHNHOFSTR",   "DORFSTR",
                                "BERGSTR",  "LINDENSTR",  "KIRCHSTR",  "WALDSTR",      "RINGSTR",
                                "AM MARKT", "MUEHLENWEG", "FELDWEG",   "AN DER KIRCHE"};
const char* const kCities[] = {"BERLIN", "HAMBURG", "MUENCHEN", "KOELN", "FRANKFURT AM MAIN"};

struct Address {
  std::string first, last, street, city;
  int house = 0;
};

// Writes a match record: filler, the component offsets, then the match key (see compare.h).
Bytes KeyOf(const Address& a, std::uint32_t firstNameId) {
  Bytes r(kHeader + 2 * kComponents, ' ');
  int component = 0;
  auto begin = [&] {
    r[kHeader + 2 * component] = static_cast<std::uint8_t>(r.size());
    r[kHeader + 2 * component + 1] = static_cast<std::uint8_t>(r.size() >> 8);
    ++component;
  };
  auto tokens = [&](const std::string& text, bool ids) {
    begin();
    std::vector<std::string> words;
    for (std::size_t p = 0; p < text.size();) {
      const std::size_t q = std::min(text.find(' ', p), text.size());
      if (q > p) words.push_back(text.substr(p, q - p));
      p = q + 1;
    }
    r.push_back(static_cast<std::uint8_t>(words.size()));
    for (const std::string& w : words) {
      if (ids) {
        for (int i = 0; i < 3; ++i) r.push_back(static_cast<std::uint8_t>(firstNameId >> (8 * i)));
      }
      r.push_back(static_cast<std::uint8_t>(w.size()));
      r.insert(r.end(), w.begin(), w.end());
    }
  };
  tokens(a.first, true);
  tokens(a.last, false);
  tokens(a.street, false);
  begin();
  int digits = 0;
  for (int n = a.house; n > 0; n /= 10) digits |= 1 << (n % 10);
  r.insert(r.end(), {1, 6});
  for (int v : {a.house, a.house, digits}) {
    r.push_back(static_cast<std::uint8_t>(v));
    r.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  tokens(a.city, false);
  return r;
}

class Names : public vld::TIdentifierMap {
 public:
  std::int32_t Group(std::uint32_t id) const override { return static_cast<std::int32_t>(id); }
  bool Related(std::uint32_t, std::uint32_t) const override { return false; }
};

class Fixture {
 public:
  Fixture() {
    std::iota(table_.begin(), table_.end(), 0);
    set_ = vld::CreateIn<vld::TParameterCheck>(vld::StandardHeap());
    auto normal = [](int base, int relative, int absolute) {
      TComponentEntry c;
      c.kind = ComponentKind::kNormal;
      c.base = static_cast<std::uint16_t>(base);
      c.relative = static_cast<std::uint16_t>(relative);
      c.absolute = static_cast<std::uint16_t>(absolute);
      c.upperLimit = 0;
      return c;
    };
    TComponentEntry first = normal(10, 10, 0);
    first.useFirstNames = true;
    first.bonusPriority = 1;
    first.bonus1 = 10;
    TComponentEntry house;
    house.kind = ComponentKind::kHausnummer;
    house.wordHurdle = 5;
    house.base = 10;
    house.relative = 20;
    house.absolute = 5;
    const std::vector<TComponentEntry> components = {first, normal(20, 50, 0), normal(10, 20, 0),
                                                     house, normal(5, 5, 0)};
    std::vector<vld::TSlotEntry> slots;
    const std::vector<vld::TFieldEntry> fields = {{1, 40}};
    for (const TComponentEntry& c : components) {
      vld::TSlotEntry slot;
      slot.kind = vld::SlotKind::kNormal;
      slot.fields = set_->AddVector<vld::TFieldEntry>(fields);
      slot.components = set_->AddVector<TComponentEntry>(std::vector<TComponentEntry>{c});
      slots.push_back(slot);
    }
    vld::TParameterFields& f = set_->Fields();
    f.vectors[4] = set_->AddVector<vld::TSlotEntry>(slots);
    f.threshold = 100;
    f.compareOptimisation = true;
    if (!vld::BuildComponentList(*set_)) std::abort();
    vld::DeriveComponents(*set_);
    compare_ = vld::CreateIn<vld::TCompare>(vld::StandardHeap());
    compare_->Init(*set_, names_, table_);
    layout_.componentOffsetsPosition = kHeader + 1;
    layout_.matchKeyPosition = kHeader + 1 + 2 * kComponents;
    layout_.matchKeyLength = 2000;
  }
  ~Fixture() {
    vld::Free(compare_);
    vld::Free(set_);
  }
  int Similar(const Bytes& a, const Bytes& b, std::int32_t& score) {
    return compare_->Similar(layout_, layout_, score, b, a);
  }

 private:
  std::array<std::uint8_t, 256> table_{};
  Names names_;
  vld::TParameterCheck* set_ = nullptr;
  vld::TCompare* compare_ = nullptr;
  vld::TFileLayout layout_;
};

class Generator {
 public:
  explicit Generator(std::uint32_t seed) : rng_(seed) {}
  template <typename T, std::size_t N>
  std::pair<std::string, std::uint32_t> Pick(const T (&list)[N]) {
    const std::size_t i = Index(N);
    return {list[i], static_cast<std::uint32_t>(i + 1)};
  }
  Address RandomAddress() {
    Address a;
    a.first = Pick(kFirstNames).first;
    a.last = Pick(kLastNames).first;
    a.street = Pick(kStreets).first;
    a.city = kCities[0];
    a.house = 1 + static_cast<int>(Index(120));
    return a;
  }
  // One spelling error: a letter substituted, dropped, doubled or two letters swapped.
  std::string Misspell(std::string w) {
    if (w.size() < 4) return w;
    const std::size_t i = 1 + Index(w.size() - 2);
    switch (Index(4)) {
      case 0:
        w[i] = "AEINRST"[Index(7)];
        break;
      case 1:
        w.erase(i, 1);
        break;
      case 2:
        w.insert(i, 1, w[i]);
        break;
      default:
        std::swap(w[i], w[i + 1]);
        break;
    }
    return w;
  }
  std::size_t Index(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
  }

 private:
  std::mt19937 rng_;
};

std::uint32_t IdOf(const std::string& first) {
  for (std::size_t i = 0; i < std::size(kFirstNames); ++i) {
    if (first == kFirstNames[i]) return static_cast<std::uint32_t>(i + 1);
  }
  return 0;
}

using Pairs = std::vector<std::pair<Bytes, Bytes>>;

Pairs MakePairs(int mix) {
  Generator g(4711 + static_cast<std::uint32_t>(mix));
  Pairs pairs;
  for (int i = 0; i < 4096; ++i) {
    const Address a = g.RandomAddress();
    Address b = mix == 1 ? g.RandomAddress() : a;
    if (mix == 0) {
      b.last = g.Misspell(b.last);
      if (g.Index(2) == 0) b.street = g.Misspell(b.street);
    } else if (mix == 2) {
      while (b.last == a.last) b.last = g.RandomAddress().last;
    }
    pairs.emplace_back(KeyOf(a, IdOf(a.first)), KeyOf(b, IdOf(b.first)));
  }
  return pairs;
}

// Checks a mix once: the share of similar pairs must be what the mix is made for.
void Check(Fixture& f, const Pairs& pairs, int mix) {
  int similar = 0;
  for (const auto& [a, b] : pairs) {
    std::int32_t score = 0;
    if (f.Similar(a, b, score) != 0) ++similar;
  }
  const int n = static_cast<int>(pairs.size());
  const bool ok = mix == 0 ? similar > n * 9 / 10 : similar < n / 10;
  if (!ok) {
    std::fprintf(stderr, "compare_bench: mix %d gives %d similar pairs of %d\n", mix, similar, n);
    std::exit(1);
  }
}

void BM_Similar(benchmark::State& state) {
  const int mix = static_cast<int>(state.range(0));
  Fixture f;
  const Pairs pairs = MakePairs(mix);
  Check(f, pairs, mix);
  std::size_t i = 0;
  std::int64_t verdicts = 0;
  for (auto _ : state) {
    std::int32_t score = 0;
    const auto& [a, b] = pairs[i];
    verdicts += f.Similar(a, b, score);
    benchmark::DoNotOptimize(score);
    i = (i + 1) % pairs.size();
  }
  benchmark::DoNotOptimize(verdicts);
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(mix == 0 ? "Duplicates" : mix == 1 ? "Class" : "Hopeless");
}
BENCHMARK(BM_Similar)->Arg(0)->Arg(1)->Arg(2);

}  // namespace

BENCHMARK_MAIN();
