#include "matching/match_key.h"

#include <algorithm>
#include <cstring>

#include "platform/codepage.h"
#include "platform/fatal.h"

namespace vld {

// Writes the match key of one record and the offsets of its components.
class TMatchKeyBuilder::Writer {
 public:
  Writer(std::uint8_t* record, const TFileLayout& layout, std::int32_t keyLength)
      : record_(record),
        offsets_(record + layout.componentOffsetsPosition - 1),
        at_(layout.matchKeyPosition - 1),
        end_(layout.matchKeyPosition - 1 + keyLength) {}

  // Starts component j: stores its offset.
  void Begin(int j) {
    const auto offset = static_cast<std::uint16_t>(at_);
    offsets_[2 * j] = static_cast<std::uint8_t>(offset);
    offsets_[2 * j + 1] = static_cast<std::uint8_t>(offset >> 8);
  }
  void Byte(std::uint8_t b) {
    if (at_ >= end_) Fatal("Match-Schlüssel zu lang");
    record_[at_++] = b;
  }
  void Bytes(const std::uint8_t* p, std::size_t n) {
    if (at_ + static_cast<std::int32_t>(n) > end_) Fatal("Match-Schlüssel zu lang");
    std::memcpy(record_ + at_, p, n);
    at_ += static_cast<std::int32_t>(n);
  }
  void U16(std::uint16_t v) {
    Byte(static_cast<std::uint8_t>(v));
    Byte(static_cast<std::uint8_t>(v >> 8));
  }
  // A short string (cut at 255).
  void Short(std::string_view s) {
    const std::size_t n = std::min<std::size_t>(s.size(), 255);
    Byte(static_cast<std::uint8_t>(n));
    Bytes(reinterpret_cast<const std::uint8_t*>(s.data()), n);
  }
  // Position for a count byte written later.
  std::int32_t Reserve() {
    Byte(0);
    return at_ - 1;
  }
  void Patch(std::int32_t position, std::uint8_t b) { record_[position] = b; }
  std::int32_t End() const { return at_; }
  void AddQuality(std::uint16_t q) { quality_ += q; }
  std::uint32_t Quality() const { return quality_; }

 private:
  std::uint8_t* record_;
  std::uint8_t* offsets_;
  std::int32_t at_;
  std::int32_t end_;
  std::uint32_t quality_ = 0;
};

namespace {

bool IsSeparator(std::uint8_t b) { return b == 32 || b == 33 || b == 34; }
bool BeginsWithDigit(const KeyToken& t) { return t.length > 0 && t.text[0] >= '0' && t.text[0] <= '9'; }

std::string_view View(const KeyToken& t) {
  return std::string_view(reinterpret_cast<const char*>(t.text), t.length);
}

// Value of the leading digits; more than 4 digits give 0.
std::int32_t LeadingNumber(const KeyToken& t, std::uint16_t* digitSet) {
  std::int32_t value = 0;
  int digits = 0;
  for (std::uint8_t i = 0; i < t.length && t.text[i] >= '0' && t.text[i] <= '9'; ++i) {
    value = value * 10 + (t.text[i] - '0');
    if (digitSet) *digitSet |= static_cast<std::uint16_t>(1u << (t.text[i] - '0'));
    ++digits;
  }
  return digits > 4 ? 0 : value;
}

bool PassesCompanyFilter(std::uint8_t c) {
  return !((c >= 10 && c <= 24) || (c >= 26 && c <= 28) || c == 30 || c == 31);
}

}  // namespace

TMatchKeyBuilder::TMatchKeyBuilder(const TParameterStore& set, const TKeyTables& tables)
    : set_(set), tables_(tables) {}

const THash* TMatchKeyBuilder::Dictionary(std::int16_t index) const {
  if (tables_.darkLists == nullptr || index < 0 || index >= tables_.darkLists->DictionaryCount()) {
    return nullptr;
  }
  return &tables_.darkLists->Dictionary(index);
}

std::string TMatchKeyBuilder::AssembleText(const std::uint8_t* record,
                                           std::span<const TFieldEntry> fields) const {
  std::string text;
  for (const TFieldEntry& f : fields) {
    if (!text.empty() || &f != &fields.front()) text += ' ';
    if (f.position > 0) text.append(reinterpret_cast<const char*>(record) + f.position - 1, f.length);
  }
  return text;
}

void TMatchKeyBuilder::CityWords(const std::uint8_t* record) {
  cityCount_ = 0;
  const TFieldEntry city = set_.Fields().cityField;
  if (city.length == 0 || city.position == 0) return;
  std::uint8_t buffer[256];
  std::size_t n = std::min<std::size_t>(city.length, 255);
  std::memcpy(buffer, record + city.position - 1, n);
  n = tables_.phonetic ? tables_.phonetic(buffer, n) : n;
  const int hurdle = set_.Fields().blockHurdle;
  std::size_t i = 0;
  while (i < n && cityCount_ < 5) {
    while (i < n && IsSeparator(buffer[i])) ++i;
    const std::size_t start = i;
    while (i < n && !IsSeparator(buffer[i])) ++i;
    const std::size_t length = i - start;
    if (length == 0 || static_cast<int>(length) < hurdle || length > 46) continue;
    cities_[cityCount_++].assign(reinterpret_cast<const char*>(buffer + start), length);
  }
}

int TMatchKeyBuilder::Tokenise(std::string_view text, const NormaliseInPlace& table,
                               const TSlotEntry& slot, int count, std::uint8_t field) {
  if (count >= kMaxTokens) return count;
  const std::size_t room = text_.size() - textUsed_;
  std::size_t n = std::min(text.size(), room);
  std::uint8_t* buffer = text_.data() + textUsed_;
  std::memcpy(buffer, text.data(), n);
  if (table) n = table(buffer, n);
  textUsed_ += n;
  const THash* dictionary = Dictionary(slot.darkListIndex);
  std::size_t i = 0;
  while (i < n && count < kMaxTokens) {
    while (i < n && IsSeparator(buffer[i])) ++i;
    const std::size_t start = i;
    while (i < n && !IsSeparator(buffer[i])) ++i;
    if (i == start) break;
    const std::uint8_t separator = i < n ? buffer[i] : 32;
    KeyToken t;
    t.text = buffer + start;
    t.length = static_cast<std::uint8_t>(std::min<std::size_t>(i - start, 255));
    t.field = field;
    const std::string_view word = View(t);
    if (slot.dynamicBlocking && cityCount_ > 0) {
      bool city = false;
      for (int c = 0; c < cityCount_ && !city; ++c) {
        const std::string& w = cities_[c];
        if (word == w) city = true;
        // The adjective form: "e" unless the word ends in one, then "r" (in the word's case).
        const bool upper = !w.empty() && w.back() >= 'A' && w.back() <= 'Z';
        std::string adjective = w;
        const char e = upper ? 'E' : 'e', r = upper ? 'R' : 'r';
        if (adjective.empty() || adjective.back() != e) adjective += e;
        adjective += r;
        if (word == adjective) city = true;
      }
      if (city) continue;
    }
    const THashFound found = dictionary ? dictionary->Lookup(word) : THashFound{};
    if (!found.found) {
      t.cls = (t.length == 1 && separator == 33) ? 9 : 0;
      t.abbreviation = separator == 33;
      t.joined = separator == 34;
    } else {
      if (found.text.empty()) continue;  // the list removes the word
      t.text = reinterpret_cast<const std::uint8_t*>(found.text.data());
      t.length = static_cast<std::uint8_t>(found.text.size());
      t.cls = found.code;
      t.id = static_cast<std::uint32_t>(found.number);
    }
    tokens_[count++] = t;
  }
  return count;
}

void TMatchKeyBuilder::WriteNormal(const TComponentEntry& c,
                                   std::span<const KeyToken* const> tokens, Writer& out) {
  const std::int32_t countAt = out.Reserve();
  std::uint8_t written = 0;
  for (const KeyToken* t : tokens) {
    // An abbreviation is written when the component has no prefix recognition, or when it is
    // long enough; any other token only when it is long enough.
    const bool longEnough = t->length >= c.wordHurdle;
    if (t->abbreviation ? (c.prefix && !longEnough) : !longEnough) continue;
    if (c.useFirstNames) {
      out.Byte(static_cast<std::uint8_t>(t->id));
      out.Byte(static_cast<std::uint8_t>(t->id >> 8));
      out.Byte(static_cast<std::uint8_t>(t->id >> 16));
    }
    if (t->abbreviation) {
      out.Byte(static_cast<std::uint8_t>(std::min(255, t->length + 1)));
      out.Bytes(t->text, std::min<std::size_t>(t->length, 254));
      out.Byte('.');
    } else {
      out.Byte(t->length);
      out.Bytes(t->text, t->length);
    }
    ++written;
  }
  out.Patch(countAt, written);
  if (written > 0) out.AddQuality(c.quality);
}

void TMatchKeyBuilder::WriteComponent(const TComponentEntry& c,
                                      std::span<const KeyToken* const> tokens, Writer& out) {
  out.Begin(componentIndex_++);
  switch (c.kind) {
    case ComponentKind::kNormal:
      WriteNormal(c, tokens, out);
      return;
    case ComponentKind::kPostfach:
    case ComponentKind::kText: {
      std::string joined;
      for (const KeyToken* t : tokens) {
        if (!joined.empty() && c.kind == ComponentKind::kText) joined += ' ';
        joined += View(*t);
      }
      if (joined.empty()) {
        out.Byte(0);
        return;
      }
      out.Byte(1);
      out.Short(joined);
      out.AddQuality(c.quality);
      return;
    }
    case ComponentKind::kHausnummer: {
      // The first token that begins with a digit; a joined second number after it.
      std::size_t i = 0;
      while (i < tokens.size() && !BeginsWithDigit(*tokens[i])) ++i;
      std::uint16_t digits = 0;
      const std::int32_t first = i < tokens.size() ? LeadingNumber(*tokens[i], &digits) : 0;
      if (first == 0) {
        out.Byte(0);
        return;
      }
      std::int32_t last = first;
      if (tokens[i]->joined && i + 1 < tokens.size() && BeginsWithDigit(*tokens[i + 1])) {
        const std::int32_t second = LeadingNumber(*tokens[i + 1], nullptr);
        if (second != 0 && second >= first && second <= first + set_.Fields().plausibleInterval &&
            (second - first) % 2 == 0) {
          last = second;
        }
      }
      out.Byte(1);
      out.Byte(6);
      out.U16(static_cast<std::uint16_t>(first));
      out.U16(static_cast<std::uint16_t>(last));
      out.U16(digits);
      out.AddQuality(c.quality);
      return;
    }
  }
}

void TMatchKeyBuilder::BuildSlot(const TSlotEntry& slot, const std::uint8_t* record, Writer& out) {
  const auto components = set_.Entries<TComponentEntry>(slot.components);
  const auto fields = set_.Entries<TFieldEntry>(slot.fields);
  textUsed_ = 0;

  const std::string text = AssembleText(record, fields);
  switch (slot.kind) {
    case SlotKind::kIdent: {
      std::string_view v = text;
      while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
      for (const TComponentEntry& c : components) {
        out.Begin(componentIndex_++);
        if (v.empty()) {
          out.Byte(0);
          continue;
        }
        out.Byte(1);
        out.Short(v);
        out.AddQuality(c.quality);
      }
      return;
    }
    case SlotKind::kText: {
      std::uint8_t* buffer = text_.data();
      std::size_t n = std::min(text.size(), text_.size());
      std::memcpy(buffer, text.data(), n);
      if (tables_.simple) n = tables_.simple(buffer, n);
      std::string_view v(reinterpret_cast<const char*>(buffer), n);
      while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
      while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
      for (const TComponentEntry& c : components) {
        out.Begin(componentIndex_++);
        if (v.empty()) {
          out.Byte(0);
          continue;
        }
        out.Byte(1);
        out.Short(v);
        out.AddQuality(c.quality);
      }
      return;
    }
    case SlotKind::kFirma:
      BuildFirma(slot, record, out);
      return;
    default:
      break;
  }

  const int n = Tokenise(text, tables_.phonetic, slot, 0, 0);
  std::array<const KeyToken*, kMaxTokens> all{}, first{}, second{}, third{};
  int nAll = 0, nFirst = 0, nSecond = 0, nThird = 0;
  for (int i = 0; i < n; ++i) all[nAll++] = &tokens_[i];

  if (slot.kind == SlotKind::kName && components.size() == 2) {
    RunNameAutomaton(std::span(tokens_.data(), n), 0, n - 1);
    for (int i = 0; i < n; ++i) {
      const std::uint8_t c = tokens_[i].cls;
      if (c >= 1 && c <= 9) {
        first[nFirst++] = &tokens_[i];
      } else if (!IsExcludedClass(c)) {
        second[nSecond++] = &tokens_[i];
      }
    }
    WriteComponent(components[0], std::span(first.data(), nFirst), out);
    WriteComponent(components[1], std::span(second.data(), nSecond), out);
    return;
  }
  if (slot.kind == SlotKind::kStrasse && components.size() >= 2) {
    // Street, house number and (with three components) P.O. box.
    int i = 0;
    if (components.size() == 3) {
      for (; i < n; ++i) {
        if (tokens_[i].length == 1 && tokens_[i].text[0] == 64) break;
      }
      if (i < n) {
        for (int k = i + 1; k < n; ++k) third[nThird++] = &tokens_[k];
        WriteComponent(components[0], {}, out);
        WriteComponent(components[1], {}, out);
        WriteComponent(components[2], std::span(third.data(), nThird), out);
        return;
      }
    }
    int number = 0;
    while (number < n && !BeginsWithDigit(tokens_[number])) ++number;
    int afterNumber = number + 1;
    if (number < n) {
      second[nSecond++] = &tokens_[number];
      if (tokens_[number].joined && number + 1 < n && BeginsWithDigit(tokens_[number + 1])) {
        second[nSecond++] = &tokens_[number + 1];
        afterNumber = number + 2;
      }
    }
    if (set_.Fields().language == 1) {
      for (int k = afterNumber; k < n; ++k) first[nFirst++] = &tokens_[k];
    } else {
      for (int k = 0; k < number && k < n; ++k) first[nFirst++] = &tokens_[k];
    }
    WriteComponent(components[0], std::span(first.data(), nFirst), out);
    WriteComponent(components[1], std::span(second.data(), nSecond), out);
    if (components.size() == 3) WriteComponent(components[2], {}, out);
    return;
  }
  for (const TComponentEntry& c : components) WriteComponent(c, std::span(all.data(), nAll), out);
}

void TMatchKeyBuilder::BuildFirma(const TSlotEntry& slot, const std::uint8_t* record, Writer& out) {
  const auto components = set_.Entries<TComponentEntry>(slot.components);
  const auto nameFields = set_.Entries<TFieldEntry>(slot.fields);
  const auto apFields = set_.Entries<TFieldEntry>(slot.apFields);
  textUsed_ = 0;

  // 1. Tokens of the name fields, each by itself, then the contact fields as one text.
  const int fieldCount = static_cast<int>(nameFields.size());
  std::array<int, 34> after{};  // after[g]: tokens after field g (after[0] = 0)
  int n = 0;
  for (int g = 1; g <= fieldCount && g < 33; ++g) {
    const TFieldEntry& f = nameFields[static_cast<std::size_t>(g - 1)];
    const std::string_view text(reinterpret_cast<const char*>(record) + f.position - 1, f.length);
    n = Tokenise(text, tables_.phonetic, slot, n, static_cast<std::uint8_t>(g));
    after[g] = n;
  }
  const int nameTokens = n;
  int apFirst = n;
  if (!apFields.empty()) n = Tokenise(AssembleText(record, apFields), tables_.phonetic, slot, n,
                                      static_cast<std::uint8_t>(fieldCount + 1));
  const int apLast = n - 1;
  const bool apHasTokens = n > nameTokens;

  // 2. The AKZ from its field.
  char a = '0';
  if (slot.akzField.length > 0 && slot.akzField.position > 0) {
    std::uint8_t buffer[256];
    std::size_t len = std::min<std::size_t>(slot.akzField.length, 255);
    std::memcpy(buffer, record + slot.akzField.position - 1, len);
    if (tables_.phonetic) len = tables_.phonetic(buffer, len);
    std::size_t w = 0;
    while (w < len && !IsSeparator(buffer[w])) ++w;
    std::string word(reinterpret_cast<const char*>(buffer), w);
    if (!word.empty()) {
      if (const THash* akz = Dictionary(slot.akzDarkListIndex)) {
        const THashFound found = akz->Lookup(word);
        if (found.found) word = std::string(found.text);
      }
      if (word == "1" || word == "2" || word == "3") a = word[0];
    }
  }

  // 3. The contact person.
  enum class Rule { kNone, kAp, kField, kAkz, kSearch } rule = Rule::kNone;
  int t = -1, e = -1;
  const auto fieldStart = [&](int g) { return g == 1 ? 0 : after[g - 1]; };
  const auto fieldHasTokens = [&](int g) {
    return g >= 1 && g <= fieldCount && after[g] > fieldStart(g);
  };
  if (apHasTokens) {
    rule = Rule::kAp;
    t = apFirst;
    e = apLast;
  } else if (slot.apFieldNumber != 0 && fieldHasTokens(slot.apFieldNumber)) {
    rule = Rule::kField;
    t = fieldStart(slot.apFieldNumber);
    e = after[slot.apFieldNumber] - 1;
  } else if (a != '0' && slot.apFieldNumber != 1 && fieldHasTokens(1)) {
    rule = Rule::kAkz;
    t = 0;
    e = after[1] - 1;
  } else {
    int bestRank = 0;
    for (int g = fieldCount; g >= 1; --g) {
      int start = 0;
      const int rank = ContactRank(std::span(tokens_.data(), n), fieldStart(g), after[g] - 1, start);
      if (rank != 0 && (bestRank == 0 || rank < bestRank)) {
        bestRank = rank;
        t = start;
        e = after[g] - 1;
        rule = Rule::kSearch;
      }
    }
  }

  std::array<const KeyToken*, kMaxTokens> company{}, apFirstNames{}, apLastNames{};
  int nCompany = 0, nFirstNames = 0, nLastNames = 0;
  char criterion = a;
  if (rule == Rule::kNone) {
    for (int k = 0; k < nameTokens; ++k) {
      if (PassesCompanyFilter(tokens_[k].cls)) company[nCompany++] = &tokens_[k];
    }
  } else {
    for (int k = 0; k < t; ++k) {
      if (k < nameTokens && PassesCompanyFilter(tokens_[k].cls)) company[nCompany++] = &tokens_[k];
    }
    RunNameAutomaton(std::span(tokens_.data(), n), t, e);
    static constexpr std::uint8_t kGender[5][5] = {
        {0, 1, 2, 3, 4}, {1, 1, 2, 3, 4}, {2, 2, 2, 4, 4}, {3, 3, 4, 3, 4}, {4, 4, 4, 4, 4}};
    int q = 0;
    for (int k = t; k <= e; ++k) {
      const std::uint8_t c = tokens_[k].cls;
      int input = -1;
      if (!IsExcludedClass(c) || (rule == Rule::kAp && c == 30)) {
        if (c >= 1 && c <= 9) {
          apFirstNames[nFirstNames++] = &tokens_[k];
          input = c == 1 ? 2 : c == 2 ? 3 : 0;
        } else {
          apLastNames[nLastNames++] = &tokens_[k];
        }
      } else {
        input = (c == 11 || c == 15 || c == 18) ? 2
                : (c == 12 || c == 16 || c == 19) ? 3
                : c == 14                          ? 4
                : c == 20                          ? 1
                                                   : 0;
      }
      if (input >= 0) q = kGender[q][input];
    }
    const bool salutation = tokens_[t].cls >= 11 && tokens_[t].cls <= 17;
    const int from = (rule != Rule::kSearch || salutation) ? e + 1 : t;
    for (int k = from; k < nameTokens && nCompany < kMaxTokens; ++k) {
      if (PassesCompanyFilter(tokens_[k].cls)) company[nCompany++] = &tokens_[k];
    }
    static constexpr char kCriterion3[5] = {'3', '3', '1', '2', '3'};
    static constexpr char kCriterion0[5] = {'0', '1', '1', '2', '3'};
    criterion = a == '0' ? kCriterion0[q] : a == '3' ? kCriterion3[q] : a;
  }

  // 6. The components: Firmierung, AP Vorname, AP Nachname, AKZ-Kriterium.
  const std::array<std::span<const KeyToken* const>, 3> lists = {
      std::span<const KeyToken* const>(company.data(), nCompany),
      std::span<const KeyToken* const>(apFirstNames.data(), nFirstNames),
      std::span<const KeyToken* const>(apLastNames.data(), nLastNames)};
  for (std::size_t ci = 0; ci < components.size(); ++ci) {
    const TComponentEntry& c = components[ci];
    if (ci == 3) {
      out.Begin(componentIndex_++);
      if (criterion == '0') {
        out.Byte(0);
      } else {
        out.Byte(1);
        out.Byte(1);
        out.Byte(static_cast<std::uint8_t>(criterion));
        out.AddQuality(c.quality);
      }
      continue;
    }
    // The company slot's first three components are Normal ones.
    out.Begin(componentIndex_++);
    WriteNormal(c, lists[ci], out);
  }
}

std::int32_t TMatchKeyBuilder::Build(const TFileLayout& layout, std::uint8_t* record) {
  Writer out(record, layout, set_.Fields().matchKeyLength);
  componentIndex_ = 0;
  if (set_.Fields().anyDynamicBlocking) CityWords(record);
  for (const TSlotEntry& slot : set_.Slots()) BuildSlot(slot, record, out);
  record[layout.flagPosition - 1] = static_cast<std::uint8_t>(out.Quality());
  return out.End();
}

}  // namespace vld
