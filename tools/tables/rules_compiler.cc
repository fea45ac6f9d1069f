#include "tools/tables/rules_compiler.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <set>
#include <sstream>
#include <tuple>
#include <vector>

#include "matching/table_file.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/fatal.h"
#include "tools/tables/retraction_table.h"

namespace vld::tables {
namespace {

constexpr int kMaxClasses = 63;  // besides the end class 1
constexpr int kMaxStates = 62;   // besides the start state 1 (state 0 cannot be entered)
constexpr int kSame = -1;        // rule target "same"
constexpr int kStartIndex = 0;   // state index of "start"
constexpr int kEndIndex = 0;     // class index of "end"

const std::set<std::string_view> kReserved = {"start", "end", "same",  "rest",  "identity",
                                              "in",    "on",  "class", "state", "symbol"};

struct ClassDecl {
  std::string name;
  int line = 0;
  bool rest = false;
};

struct StateDecl {
  std::string name;
  int line = 0;
  std::uint8_t out = 0;
};

// A transition rule. States and classes are indices: state 0 is "start", class 0 is "end",
// declared ones follow in their order.
struct Rule {
  bool all_states = false;
  std::vector<int> states;
  bool all_classes = false;
  std::vector<int> classes;
  bool absorb = false;
  int next = 0;  // state index or kSame
  int line = 0;
};

struct Entry {
  bool set = false;
  bool absorb = false;
  int next = 0;
};

std::vector<std::string> Split(std::string_view line) {
  std::vector<std::string> tokens;
  std::istringstream in{std::string(line)};
  for (std::string token; in >> token;) tokens.push_back(token);
  return tokens;
}

bool IsName(std::string_view s) {
  if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
  return std::all_of(s.begin(), s.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
  });
}

class Compiler {
 public:
  explicit Compiler(std::string_view file) : file_(file) {
    owner_.fill(-1);
    classes_.push_back({"end", 0, false});
    states_.push_back({"start", 0, 0});
    rules_.push_back(Rule{true, {}, false, {kEndIndex}, false, kStartIndex, 0});
    for (int b = 0; b < 256; ++b)
      compare_[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(b);
  }

  void Statement(std::string_view text, int line) {
    line_ = line;
    const std::vector<std::string> t = Split(text);
    if (t.empty()) return;
    const std::string& verb = t[0];
    if (verb == "class") {
      if (t.size() < 3 || t[2] != ":")
        Fail("Die Zeile braucht die Form \"class NAME : ZEICHEN...\".");
      DeclareClass(t[1], std::vector<std::string>(t.begin() + 3, t.end()));
    } else if (verb == "state") {
      if (t.size() != 3) Fail("Die Zeile braucht die Form \"state NAME ZEICHEN\".");
      DeclareState(t[1], t[2]);
    } else if (verb == "symbol") {
      if (t.size() < 4 || t[3] != ":") {
        Fail("Die Zeile braucht die Form \"symbol NAME ZEICHEN : ZEICHEN...\".");
      }
      const int cls = DeclareClass(t[1], std::vector<std::string>(t.begin() + 4, t.end()));
      const int state = DeclareState(t[1], t[2]);
      rules_.push_back(Rule{true, {}, false, {cls}, false, state, line});
    } else if (verb == "in") {
      TransitionRule(t);
    } else if (verb == "merge") {
      for (int s : StateList(std::vector<std::string>(t.begin() + 1, t.end()), true).second) {
        merge_.insert(s);
      }
    } else if (verb == "replacement") {
      if (t.size() != 2) Fail("Die Zeile braucht die Form \"replacement ZUSTAND\".");
      if (replacement_)
        Fail(Format("Es gibt schon einen Ersatzzustand (Zeile %d).", replacement_line_));
      replacement_ = FindState(t[1], false);
      replacement_line_ = line;
    } else if (verb == "retract") {
      Retract(t);
    } else if (verb == "compare") {
      Compare(t);
    } else {
      Fail(Format("Unbekannte Anweisung \"%s\".", verb.c_str()));
    }
  }

  NormTableContents Finish(int last_line) {
    line_ = last_line;
    AssignRest();
    std::vector<std::vector<Entry>> entries(states_.size(), std::vector<Entry>(classes_.size()));
    for (const Rule& r : rules_) Apply(r, entries);
    Merge(entries);
    for (std::size_t c = 0; c < classes_.size(); ++c) {
      for (std::size_t s = 0; s < states_.size(); ++s) {
        if (!entries[s][c].set) {
          FailAt(classes_[c].line,
                 Format("Für den Zustand \"%s\" und die Klasse \"%s\" gibt es keine Regel.",
                        states_[s].name.c_str(), classes_[c].name.c_str()));
        }
      }
    }
    NormTableContents table;
    table.compare = compare_;
    for (int b = 0; b < 256; ++b) {
      table.classes[static_cast<std::size_t>(b)] =
          static_cast<std::uint8_t>(ClassNumber(owner_[static_cast<std::size_t>(b)]));
    }
    for (std::size_t s = 0; s < states_.size(); ++s) {
      const int number = StateNumber(static_cast<int>(s));
      table.outputs[static_cast<std::size_t>(number)] = states_[s].out;
      for (std::size_t c = 0; c < classes_.size(); ++c) {
        const Entry& e = entries[s][c];
        const int next = StateNumber(e.next);
        table.T1(number, ClassNumber(static_cast<int>(c))) =
            static_cast<std::int8_t>(e.absorb ? next : -next);
      }
    }
    table.t2 = SequenceTable();
    return table;
  }

 private:
  [[noreturn]] void Fail(const std::string& text) const { FailAt(line_, text); }
  [[noreturn]] void FailAt(int line, const std::string& text) const {
    throw EUserError(Format("%s, Zeile %d: %s", file_.c_str(), line, text.c_str()));
  }

  void CheckNewName(const std::string& name) const {
    if (!IsName(name) || kReserved.count(name)) {
      Fail(Format("\"%s\" ist als Name nicht erlaubt.", name.c_str()));
    }
  }

  // One character: a single UTF-8 character that code page 437 holds, or \N.
  std::uint8_t Character(std::string_view token) const {
    if (token.size() >= 2 && token[0] == '\\') {
      const std::string_view digits = token.substr(1);
      if (digits.size() <= 3 &&
          std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const int value = std::stoi(std::string(digits));
        if (value <= 255) return static_cast<std::uint8_t>(value);
      }
      Fail(Format("\"%s\" ist kein Bytewert von \\0 bis \\255.", std::string(token).c_str()));
    }
    std::size_t pos = 0;
    const std::optional<char32_t> c = DecodeUtf8(token, pos);
    if (!c || pos != token.size()) {
      Fail(Format("\"%s\" ist kein Zeichen: erlaubt sind ein einzelnes Zeichen, \\N und X-Y.",
                  std::string(token).c_str()));
    }
    const std::string cp = FromUtf8(token, CodePage::k437);
    if (cp.size() != 1 || ByteToUnicode(CodePage::k437, static_cast<std::uint8_t>(cp[0])) != *c) {
      Fail(Format("Das Zeichen \"%s\" gibt es in Codepage 437 nicht.", std::string(token).c_str()));
    }
    return static_cast<std::uint8_t>(cp[0]);
  }

  // The bytes of one CHAR token: a character or a range X-Y.
  std::vector<std::uint8_t> Characters(std::string_view token) const {
    const std::size_t dash = token.find('-', 1);
    if (token.size() >= 3 && dash != std::string_view::npos && dash + 1 < token.size()) {
      const int low = Character(token.substr(0, dash));
      const int high = Character(token.substr(dash + 1));
      if (low > high) Fail(Format("Der Bereich \"%s\" ist leer.", std::string(token).c_str()));
      std::vector<std::uint8_t> bytes;
      for (int b = low; b <= high; ++b) bytes.push_back(static_cast<std::uint8_t>(b));
      return bytes;
    }
    return {Character(token)};
  }

  int DeclareClass(const std::string& name, const std::vector<std::string>& chars) {
    CheckNewName(name);
    if (FindClassIndex(name)) Fail(Format("Die Klasse \"%s\" gibt es schon.", name.c_str()));
    if (static_cast<int>(classes_.size()) - 1 >= kMaxClasses) {
      Fail(Format("Zu viele Klassen: höchstens %d (dazu kommt die Klasse \"end\").", kMaxClasses));
    }
    const int index = static_cast<int>(classes_.size());
    classes_.push_back({name, line_, false});
    for (const std::string& token : chars) {
      if (token == "rest") {
        if (rest_class_ >= 0) {
          Fail(Format("\"rest\" gehört schon zur Klasse \"%s\".",
                      classes_[static_cast<std::size_t>(rest_class_)].name.c_str()));
        }
        rest_class_ = index;
        classes_.back().rest = true;
        continue;
      }
      for (std::uint8_t b : Characters(token)) {
        const int owner = owner_[b];
        if (owner >= 0) {
          Fail(Format("Das Byte %d gehört schon zur Klasse \"%s\".", b,
                      classes_[static_cast<std::size_t>(owner)].name.c_str()));
        }
        owner_[b] = index;
      }
    }
    return index;
  }

  int DeclareState(const std::string& name, const std::string& out) {
    CheckNewName(name);
    if (FindStateIndex(name)) Fail(Format("Den Zustand \"%s\" gibt es schon.", name.c_str()));
    if (static_cast<int>(states_.size()) - 1 >= kMaxStates) {
      Fail(Format("Zu viele Zustände: höchstens %d (dazu kommt der Zustand \"start\").",
                  kMaxStates));
    }
    const std::vector<std::uint8_t> bytes = Characters(out);
    if (bytes.size() != 1) Fail("Ein Zustand schreibt genau ein Zeichen.");
    states_.push_back({name, line_, bytes[0]});
    return static_cast<int>(states_.size()) - 1;
  }

  std::optional<int> FindClassIndex(std::string_view name) const {
    for (std::size_t i = 0; i < classes_.size(); ++i) {
      if (classes_[i].name == name) return static_cast<int>(i);
    }
    return std::nullopt;
  }
  std::optional<int> FindStateIndex(std::string_view name) const {
    for (std::size_t i = 0; i < states_.size(); ++i) {
      if (states_[i].name == name) return static_cast<int>(i);
    }
    return std::nullopt;
  }

  int FindState(const std::string& name, bool allow_same) const {
    if (allow_same && name == "same") return kSame;
    if (auto i = FindStateIndex(name)) return *i;
    Fail(Format("Den Zustand \"%s\" gibt es nicht.", name.c_str()));
  }
  int FindClass(const std::string& name) const {
    if (auto i = FindClassIndex(name)) return *i;
    Fail(Format("Die Klasse \"%s\" gibt es nicht.", name.c_str()));
  }

  // Names separated by blanks or commas; "*" alone stands for all.
  static std::vector<std::string> Names(const std::vector<std::string>& tokens) {
    std::vector<std::string> names;
    for (const std::string& token : tokens) {
      std::size_t start = 0;
      while (start <= token.size()) {
        const std::size_t comma = std::min(token.find(',', start), token.size());
        if (comma > start) names.push_back(token.substr(start, comma - start));
        start = comma + 1;
      }
    }
    return names;
  }

  std::pair<bool, std::vector<int>> StateList(const std::vector<std::string>& tokens,
                                              bool forbid_all) const {
    const std::vector<std::string> names = Names(tokens);
    if (names.empty()) Fail("Es fehlen die Zustände.");
    if (names.size() == 1 && names[0] == "*" && !forbid_all) return {true, {}};
    std::vector<int> states;
    for (const std::string& n : names) states.push_back(FindState(n, false));
    return {false, states};
  }

  std::pair<bool, std::vector<int>> ClassList(const std::vector<std::string>& tokens) const {
    const std::vector<std::string> names = Names(tokens);
    if (names.empty()) Fail("Es fehlen die Klassen.");
    if (names.size() == 1 && names[0] == "*") return {true, {}};
    std::vector<int> classes;
    for (const std::string& n : names) classes.push_back(FindClass(n));
    return {false, classes};
  }

  void TransitionRule(const std::vector<std::string>& t) {
    const auto on = std::find(t.begin(), t.end(), "on");
    const bool well_formed = on != t.end() && t.size() >= 6 &&
                             (t[t.size() - 2] == "->" || t[t.size() - 2] == "=>") &&
                             on < t.end() - 3;
    if (!well_formed) {
      Fail("Die Regel braucht die Form \"in ZUSTÄNDE on KLASSEN -> ZIEL\" oder \"... => ZIEL\".");
    }
    Rule r;
    r.line = line_;
    std::tie(r.all_states, r.states) =
        StateList(std::vector<std::string>(t.begin() + 1, on), false);
    std::tie(r.all_classes, r.classes) = ClassList(std::vector<std::string>(on + 1, t.end() - 2));
    r.absorb = t[t.size() - 2] == "=>";
    r.next = FindState(t.back(), true);
    rules_.push_back(r);
  }

  void Retract(const std::vector<std::string>& t) {
    if (!replacement_) Fail("Vor der ersten Rücknahme fehlt die Zeile \"replacement ZUSTAND\".");
    RetractionPattern p;
    p.line = line_;
    std::vector<std::string> names = Names(std::vector<std::string>(t.begin() + 1, t.end()));
    if (!names.empty() && names.back() == "end") {
      p.at_end = true;
      names.pop_back();
    }
    for (const std::string& n : names) {
      const int s = FindState(n, false);
      if (s == kStartIndex)
        Fail("Der Zustand \"start\" schreibt nichts und kann nicht zurückgenommen werden.");
      p.symbols.push_back(s);  // renumbered when the table is built
    }
    const int depth = RetractionDepth(p);
    if (depth < 1) Fail("Eine Rücknahme braucht zwei Zustände, oder einen vor \"end\".");
    if (depth > 55) Fail("Eine Rücknahme nimmt höchstens 55 Zeichen zurück.");
    patterns_.push_back(p);
  }

  void Compare(const std::vector<std::string>& t) {
    if (t.size() == 2 && t[1] == "identity") {
      for (int b = 0; b < 256; ++b)
        compare_[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(b);
      return;
    }
    if (t.size() < 4 || t[t.size() - 2] != "->") {
      Fail(
          "Die Zeile braucht die Form \"compare identity\" oder \"compare ZEICHEN... -> "
          "ZEICHEN\".");
    }
    const std::uint8_t to = Character(t.back());
    for (std::size_t i = 1; i + 2 < t.size(); ++i) {
      for (std::uint8_t b : Characters(t[i])) compare_[b] = to;
    }
  }

  void AssignRest() {
    for (int b = 0; b < 256; ++b) {
      if (owner_[static_cast<std::size_t>(b)] >= 0) continue;
      if (rest_class_ < 0)
        Fail(Format("Das Byte %d gehört zu keiner Klasse (es fehlt \"rest\").", b));
      owner_[static_cast<std::size_t>(b)] = rest_class_;
    }
  }

  void Apply(const Rule& r, std::vector<std::vector<Entry>>& entries) const {
    std::vector<int> states = r.states, classes = r.classes;
    if (r.all_states) {
      states.clear();
      for (std::size_t s = 0; s < states_.size(); ++s) states.push_back(static_cast<int>(s));
    }
    if (r.all_classes) {
      classes.clear();
      for (std::size_t c = 0; c < classes_.size(); ++c) classes.push_back(static_cast<int>(c));
    }
    for (int s : states) {
      for (int c : classes) {
        entries[static_cast<std::size_t>(s)][static_cast<std::size_t>(c)] =
            Entry{true, r.absorb, r.next == kSame ? s : r.next};
      }
    }
  }

  void Merge(std::vector<std::vector<Entry>>& entries) const {
    for (int s : merge_) {
      if (s == kStartIndex) continue;
      for (Entry& e : entries[static_cast<std::size_t>(s)]) {
        if (e.set && !e.absorb && e.next != kStartIndex && merge_.count(e.next) &&
            states_[static_cast<std::size_t>(e.next)].out ==
                states_[static_cast<std::size_t>(s)].out) {
          e.absorb = true;
        }
      }
    }
  }

  // Class numbers: "end" is 1, the declared classes take 0, 2, 3, ...
  static int ClassNumber(int index) { return index == kEndIndex ? 1 : index == 1 ? 0 : index; }

  // State numbers: "start" is 1, the replacement 2, the other states follow from 2 or 3.
  int StateNumber(int index) const {
    if (index == kStartIndex) return 1;
    if (!replacement_) return index + 1;
    if (index == *replacement_) return 2;
    return index < *replacement_ ? index + 2 : index + 1;
  }

  SequenceRows SequenceTable() const {
    std::vector<RetractionPattern> patterns = patterns_;
    for (RetractionPattern& p : patterns) {
      for (int& s : p.symbols) s = StateNumber(s);
    }
    auto built = BuildRetractionTable(patterns);
    if (auto* problem = std::get_if<RetractionProblem>(&built))
      FailAt(problem->line, problem->text);
    return std::get<SequenceRows>(built);
  }

  std::string file_;
  int line_ = 0;
  std::vector<ClassDecl> classes_;
  std::vector<StateDecl> states_;
  std::array<int, 256> owner_{};
  int rest_class_ = -1;
  std::vector<Rule> rules_;
  std::set<int> merge_;
  std::optional<int> replacement_;
  int replacement_line_ = 0;
  std::vector<RetractionPattern> patterns_;
  std::array<std::uint8_t, 256> compare_{};
};

}  // namespace

NormTableContents CompileRules(std::string_view text, std::string_view file_name) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  Compiler compiler(file_name);
  int line = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view statement = text.substr(start, end - start);
    ++line;
    if (const std::size_t hash = statement.find('#'); hash != std::string_view::npos) {
      statement = statement.substr(0, hash);
    }
    if (!statement.empty() && statement.back() == '\r') statement.remove_suffix(1);
    compiler.Statement(statement, line);
    start = end + 1;
  }
  return compiler.Finish(line);
}

NormTableContents CompileRulesFile(const std::string& file) {
  constexpr std::size_t kLimit = 1 << 20;  // a rules file is a few pages
  if (!TableFileExists(file)) throw EUserError(FormatFileMessage(kTableFileMissingText, file));
  const auto bytes = ReadTableFile(file, 0, kLimit + 1);
  if (!bytes)
    throw EUserError(FormatFileMessage("Die Datei \"%s\" kann nicht gelesen werden.", file));
  if (bytes->size() > kLimit) {
    throw EUserError(FormatFileMessage("Die Regeldatei \"%s\" ist zu groß.", file));
  }
  return CompileRules(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()),
                      file);
}

}  // namespace vld::tables
