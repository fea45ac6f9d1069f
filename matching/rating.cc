#include "matching/rating.h"

#include <algorithm>
#include <cstring>

#include "engine/files/global.h"
#include "platform/fatal.h"

namespace vld {
namespace {

bool IsEmptyValue(std::string_view v) {
  return std::all_of(v.begin(), v.end(), [](char c) { return c == ' ' || c == '\0'; });
}

std::int64_t NumberOf(std::string_view v) { return ParseUnsigned(v, 9); }

// ---- Numeric rules --------------------------------------------------------------------------

class TNumericRating : public TRatingEngine {
 public:
  bool Differs(const RatingResult& result, const std::uint8_t* head) const override {
    return !result.noValue && result.number != NumberOf(FieldOf(head));
  }

 protected:
  std::int64_t headNumber_ = 0;
  std::int64_t current_ = 0;
  const std::uint8_t* currentText_ = nullptr;
};

class TMaxRating : public TNumericRating {
 public:
  bool Start(const TRatingFieldEntry& field, std::uint8_t* head, const RatedRecord&) override {
    field_ = &field;
    head_ = head;
    headNumber_ = current_ = NumberOf(FieldOf(head));
    currentText_ = head + field.field.position - 1;
    return true;
  }
  void Add(const RatedRecord& r) override {
    const std::int64_t n = NumberOf(FieldOf(r.bytes));
    if (n > current_) {
      current_ = n;
      currentText_ = r.bytes + field_->field.position - 1;
    }
  }
  bool Result(RatingResult& out) override {
    out = {};
    out.noValue = current_ == 0;
    out.number = current_;
    out.value = currentText_;
    out.length = field_->field.length;
    return false;
  }
};

class TMinRating : public TNumericRating {
 public:
  static constexpr std::int64_t kNone = 2147483647;
  bool Start(const TRatingFieldEntry& field, std::uint8_t* head, const RatedRecord&) override {
    field_ = &field;
    head_ = head;
    headNumber_ = NumberOf(FieldOf(head));
    current_ = headNumber_ == 0 ? kNone : headNumber_;
    currentText_ = head + field.field.position - 1;
    return true;
  }
  void Add(const RatedRecord& r) override {
    const std::int64_t n = NumberOf(FieldOf(r.bytes));
    if (n != 0 && n < current_) {
      current_ = n;
      currentText_ = r.bytes + field_->field.position - 1;
    }
  }
  bool Result(RatingResult& out) override {
    out = {};
    out.noValue = current_ == kNone;
    out.number = current_;
    out.value = currentText_;
    out.length = field_->field.length;
    return false;
  }
};

class TSumRating : public TNumericRating {
 public:
  bool Start(const TRatingFieldEntry& field, std::uint8_t* head, const RatedRecord&) override {
    field_ = &field;
    head_ = head;
    headNumber_ = current_ = NumberOf(FieldOf(head));
    return true;
  }
  void Add(const RatedRecord& r) override {
    const std::int64_t n = NumberOf(FieldOf(r.bytes));
    const std::int64_t limit = field_->limit;
    current_ = limit - current_ < n ? limit : current_ + n;
  }
  bool Result(RatingResult& out) override {
    out = {};
    out.noValue = false;
    out.number = current_;
    if (current_ == headNumber_) return false;
    const std::int32_t width = field_->field.length;
    const std::string text = Format("%*lld", width, static_cast<long long>(current_));
    std::memcpy(head_ + field_->field.position - 1, text.data() + text.size() - width,
                static_cast<std::size_t>(width));
    return true;
  }
  bool Differs(const RatingResult&, const std::uint8_t*) const override { return false; }
};

// ---- List rules -----------------------------------------------------------------------------

class TStringRating : public TRatingEngine {
 public:
  explicit TStringRating(bool distinct) : distinct_(distinct) {}
  void Setup(const TParameterStore& set) override { separator_ = set.Fields().concatenator; }
  bool Start(const TRatingFieldEntry& field, std::uint8_t* head, const RatedRecord&) override {
    field_ = &field;
    head_ = head;
    buffer_.clear();
    overflow_ = false;
    rewritten_ = nullptr;
    Append(FieldOf(head));
    startLength_ = buffer_.size();
    return true;
  }
  void Add(const RatedRecord& r) override {
    if (!overflow_) Append(FieldOf(r.bytes));
  }
  bool Result(RatingResult& out) override {
    out = {};
    if (buffer_.empty()) return false;  // no value
    out.noValue = false;
    if (overflow_) {
      out.length = -1;
      return false;
    }
    out.text = buffer_;
    out.length = static_cast<std::int32_t>(buffer_.size());
    if (buffer_.size() == startLength_) return false;
    WriteInto(head_, buffer_);
    rewritten_ = head_;
    return true;
  }
  bool Differs(const RatingResult& result, const std::uint8_t* head) const override {
    if (result.noValue || result.length < 0 || head == rewritten_) return false;
    return Joined(FieldOf(head)).size() < result.text.size();
  }
  void WriteInto(std::uint8_t* head, const std::string& text) const {
    std::uint8_t* at = head + field_->field.position - 1;
    std::memset(at, ' ', field_->field.length);
    std::memcpy(at, text.data(), std::min<std::size_t>(text.size(), field_->field.length));
  }

 private:
  // The items of a value: runs between separators, blanks dropped, empty runs skipped.
  std::vector<std::string> Items(std::string_view value) const {
    std::vector<std::string> items(1);
    for (char c : value) {
      if (c == separator_) {
        items.emplace_back();
      } else if (c != ' ' && c != '\0') {
        items.back() += c;
      }
    }
    std::erase_if(items, [](const std::string& s) { return s.empty(); });
    return items;
  }
  std::string Joined(std::string_view value) const {
    std::string out;
    for (const std::string& item : Items(value)) {
      if (!out.empty()) out += separator_;
      out += item;
    }
    return out;
  }
  void Append(std::string_view value) {
    for (const std::string& item : Items(value)) {
      if (distinct_) {
        const std::string wrapped = std::string(1, separator_) + buffer_ + separator_;
        if (wrapped.find(std::string(1, separator_) + item + separator_) != std::string::npos) {
          continue;
        }
      }
      const std::size_t grown = buffer_.size() + (buffer_.empty() ? 0 : 1) + item.size();
      if (grown > field_->field.length) {
        overflow_ = true;
        return;
      }
      if (!buffer_.empty()) buffer_ += separator_;
      buffer_ += item;
    }
  }

  bool distinct_;
  char separator_ = ',';
  std::string buffer_;
  std::size_t startLength_ = 0;
  bool overflow_ = false;
  const std::uint8_t* rewritten_ = nullptr;
};

// ---- Selection ------------------------------------------------------------------------------

class TSelRating : public TRatingEngine {
 public:
  void Setup(const TParameterStore& set) override {
    const TParameterFields& f = set.Fields();
    year_ = f.creationDate / 10000;
    window_ = f.centuryWindow;
    rule_ = f.selectionRule;
    priorityFirst_ = f.selectionPriority == 1;
    reference_ = f.referenceField;
    const auto fields = set.Entries<TRatingFieldEntry>(f.vectors[9]);
    selection_ = f.selectionField >= 0 && static_cast<std::size_t>(f.selectionField) < fields.size()
                     ? &fields[static_cast<std::size_t>(f.selectionField)]
                     : nullptr;
  }
  void ResetGroup() override { chosen_ = false; }
  bool Start(const TRatingFieldEntry& field, std::uint8_t* head, const RatedRecord& headRecord) override {
    field_ = &field;
    head_ = head;
    if (chosen_) return false;
    chosen_ = true;
    best_ = headRecord;
    bestReferenceKnown_ = false;
    return true;
  }
  void Add(const RatedRecord& r) override {
    if (Better(r)) {
      best_ = r;
      bestReferenceKnown_ = false;
    }
  }
  bool Result(RatingResult& out) override {
    out = {};
    out.noValue = false;
    out.value = best_.bytes + field_->field.position - 1;
    out.length = field_->field.length;
    return false;
  }
  bool Differs(const RatingResult& result, const std::uint8_t* head) const override {
    return !result.noValue && result.value != head + field_->field.position - 1;
  }

 private:
  std::int64_t Reference(const std::uint8_t* record) const {
    if (reference_.length == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(record) + reference_.position - 1,
                                reference_.length);
    if (rule_ == 3 || rule_ == 4) return NumberOf(text);
    return ParseDate(text, year_, window_);
  }
  bool SelectionEmpty(const std::uint8_t* record) const {
    const TRatingFieldEntry* f = selection_ ? selection_ : field_;
    return IsEmptyValue(std::string_view(reinterpret_cast<const char*>(record) + f->field.position - 1,
                                         f->field.length));
  }
  bool Better(const RatedRecord& r) {
    if (priorityFirst_) {
      const std::uint32_t pr = (r.priorityKey >> 8) & 0xFFFF, pb = (best_.priorityKey >> 8) & 0xFFFF;
      if (pr != pb) return pr < pb;
    }
    if (rule_ != 0) {
      if (!bestReferenceKnown_) {
        bestReference_ = Reference(best_.bytes);
        bestReferenceKnown_ = true;
      }
      const std::int64_t vr = Reference(r.bytes), vb = bestReference_;
      if (vr != vb) {
        if (rule_ == 2 || rule_ == 4) return vr > vb;  // newest date, largest number
        return vr != 0 && vr < vb;                      // oldest date, smallest number
      }
    }
    return SelectionEmpty(best_.bytes) && !SelectionEmpty(r.bytes);
  }

  int year_ = 0;
  int window_ = 0;
  std::uint8_t rule_ = 0;
  bool priorityFirst_ = false;
  TFieldEntry reference_;
  const TRatingFieldEntry* selection_ = nullptr;
  bool chosen_ = false;
  RatedRecord best_;
  bool bestReferenceKnown_ = false;
  std::int64_t bestReference_ = 0;
};

}  // namespace

std::string_view TRatingEngine::FieldOf(const std::uint8_t* record) const {
  return std::string_view(reinterpret_cast<const char*>(record) + field_->field.position - 1,
                          field_->field.length);
}

bool TRatingEngine::IsEmpty(const TRatingFieldEntry& field, const std::uint8_t* head) {
  field_ = &field;
  return IsEmptyValue(FieldOf(head));
}

void TRatingSet::Init() {
  engines_[0] = CreateOwned<TMaxRating>(*this, 0);
  engines_[1] = CreateOwned<TMinRating>(*this, 0);
  engines_[2] = CreateOwned<TSumRating>(*this, 0);
  engines_[3] = CreateOwned<TStringRating>(*this, 0, false);
  engines_[4] = CreateOwned<TStringRating>(*this, 0, true);
  engines_[5] = CreateOwned<TSelRating>(*this, 0);
}

void TRatingSet::Setup(const TParameterStore& set) {
  for (TRatingEngine* e : engines_) e->Setup(set);
  fields_ = set.Entries<TRatingFieldEntry>(set.Fields().vectors[9]);
  overwrite_ = set.Fields().ratingMode == 1;
  known_.assign(fields_.size(), false);
  results_.assign(fields_.size(), {});
}

void TRatingSet::StartBlock() {
  engines_[5]->ResetGroup();
  std::fill(known_.begin(), known_.end(), false);
}

bool TRatingSet::RateHead(std::uint8_t* head, std::uint32_t headPriorityKey,
                          std::span<const RatedRecord> others,
                          std::vector<std::int64_t>& changes) {
  bool changed = false;
  const RatedRecord headRecord{head, headPriorityKey};
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    const TRatingFieldEntry& field = fields_[i];
    if (field.field.position == 0 || field.field.length == 0) continue;
    TRatingEngine& engine = *engines_[CheckIndex(static_cast<int>(field.rule), engines_.size())];
    if (!engine.IsEmpty(field, head) && !overwrite_) continue;
    bool fieldChanged = false;
    if (!known_[i]) {
      if (engine.Start(field, head, headRecord)) {
        for (const RatedRecord& r : others) engine.Add(r);
      }
      fieldChanged = engine.Result(results_[i]);
      known_[i] = true;
    }
    const RatingResult& result = results_[i];
    if (!fieldChanged && !result.noValue && result.length > 0 && engine.Differs(result, head)) {
      std::uint8_t* at = head + field.field.position - 1;
      if (!result.text.empty()) {
        std::memset(at, ' ', field.field.length);
        std::memcpy(at, result.text.data(), std::min<std::size_t>(result.text.size(), field.field.length));
      } else if (result.value != nullptr) {
        std::memmove(at, result.value, field.field.length);
      }
      fieldChanged = true;
    }
    if (fieldChanged) {
      ++changes[i];
      changed = true;
    }
  }
  return changed;
}

}  // namespace vld
