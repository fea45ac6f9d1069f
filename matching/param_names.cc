#include "matching/param_names.h"

#include <algorithm>

#include "engine/runtime/heap.h"
#include "platform/fatal.h"
#include "platform/paths.h"

namespace vld {
namespace {

// Position of each base in the order of the bases ("-*!xyeat", 1-based): a base path may name
// only bases of a lower position; file names may name all of them.
int BaseOrder(std::int32_t code) {
  switch (code) {
    case kCodeUniversal1:
      return 4;
    case kCodeUniversal2:
      return 5;
    case kCodeInputPath:
      return 6;
    case kCodeOutputPath:
      return 7;
    case kCodeTablePath:
      return 8;
    default:
      return 9;
  }
}

std::int32_t BaseOfLetter(char letter) {
  switch (letter) {
    case 'E':
    case 'e':
      return kCodeInputPath;
    case 'A':
    case 'a':
      return kCodeOutputPath;
    case 'T':
    case 't':
      return kCodeTablePath;
    case 'X':
    case 'x':
      return kCodeUniversal1;
    case 'Y':
    case 'y':
      return kCodeUniversal2;
    default:
      return 0;
  }
}

bool HasDoubleDot(std::string_view slashed) {
  std::size_t pos = 0;
  while (pos <= slashed.size()) {
    std::size_t next = slashed.find('/', pos);
    if (next == std::string_view::npos) next = slashed.size();
    if (slashed.substr(pos, next - pos) == "..") return true;
    pos = next + 1;
  }
  return false;
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The common part of file and base path resolution. `ownOrder`: bases of a lower order may be
// named explicitly (9 for files: all).
TResolvedName Resolve(std::string_view given, int defaultBase, int ownOrder,
                      const TBasePaths& bases) {
  TResolvedName out;
  if (given.empty()) return out;
  const std::string s = WithSlashes(given);
  if (HasDoubleDot(s)) {
    out.state = kNameDoubleDot;
    return out;
  }
  int base = defaultBase;
  std::string_view rest = s;
  if (s.size() >= 3 && s[0] == '~' && s[2] == '~' && IsAsciiLetter(s[1])) {
    base = BaseOfLetter(s[1]);
    if (base == 0 || BaseOrder(base) >= ownOrder) {
      out.state = kNameBadBase;
      return out;
    }
    rest.remove_prefix(3);
  } else if (s[0] == '~') {
    rest.remove_prefix(1);
    if (!IsRootedPath(rest)) {
      out.state = kNameNotAbsolute;
      return out;
    }
    base = 0;
  } else if (IsRootedPath(s)) {
    base = 0;
  } else if (base == 0) {
    out.state = kNameNotAbsolute;
    return out;
  }
  if (base == 0) {
    out.state = kNameOk;
    out.full = NormalisePath(rest);
    return out;
  }
  const std::uint16_t baseState = bases.state[CheckIndex(base, bases.state.size())];
  if (baseState != kNameOk) {
    out.state = baseState == kNameEmpty ? kNameBaseUndefined : kNameBaseFaulty;
    return out;
  }
  out.state = kNameOk;
  out.full = NormalisePath(JoinPath(bases.full[static_cast<std::size_t>(base)], rest));
  return out;
}

}  // namespace

int DefaultBaseOf(std::int32_t code) {
  if (code >= kCodeInputPath && code <= kCodeUniversal2) return 0;
  if (code == kCodeFileList) return kCodeInputPath;
  if (code == kCodeDarkCache || (code >= kCodePlz && code <= kCodePhoneticTable)) {
    return kCodeTablePath;
  }
  if (code > kCodeSlotDarkList && code < kCodeInputFile) return kCodeTablePath;
  if (code > kCodeInputFile && code < kCodeOwnSingle) return kCodeInputPath;
  return kCodeOutputPath;
}

TResolvedName ResolveFileName(std::string_view given, int defaultBase, const TBasePaths& bases) {
  return Resolve(given, defaultBase, 9, bases);
}

TResolvedName ResolveBasePath(std::string_view given, std::int32_t code, const TBasePaths& bases) {
  TResolvedName out = Resolve(given, 0, BaseOrder(code), bases);
  if (out.state == kNameOk && out.full != "/") out.full += '/';
  return out;
}

std::string FileCodeName(std::int32_t code) {
  static const char* const kNames[23] = {"anonymer Pfad",
                                         "Eingabepfad",
                                         "Ausgabepfad",
                                         "Tabellenpfad",
                                         "Universalpfad 1",
                                         "Universalpfad 2",
                                         "Ausgabedatei (Single)",
                                         "Ausgabedatei (Multi)",
                                         "Dublettendatei",
                                         "Dublettenliste",
                                         "Statistik",
                                         "Statistik-Protokoll",
                                         "Journaldatei",
                                         "Kompaktdatei",
                                         "Schwarze Liste Cache",
                                         "Temporärdatei 1",
                                         "Temporärdatei 2",
                                         "Temporärdatei 3",
                                         "Temporärdatei 4",
                                         "Dateiliste",
                                         "PLZ-Abbildung",
                                         "NormDatei (einfach)",
                                         "NormDatei (phonetisch)"};
  if (code >= 0 && code <= 22) return kNames[code];
  const int i = code % 1000;
  switch (code / 1000) {
    case 1:
      return Format("Slot [%d].Schwarze Liste", i);
    case 2:
      return Format("Slot [%d].AKZ-Schwarze Liste", i);
    case 3:
      return Format("Slot [%d].Schwarze Liste, Cache-Datei", i);
    case 4:
      return Format("Slot [%d].AKZ-Schwarze Liste, Cache-Datei", i);
    case 5:
      return Format("Eingabedatei %d", i);
    case 6:
      return Format("Ausgabedatei (Single) %d", i);
    case 7:
      return Format("Ausgabedatei (Multi) %d", i);
    case 8:
      return Format("Dublettendatei %d", i);
    default:
      return Format("%d", code);
  }
}

std::optional<std::string> NameStateMessage(std::string_view who, std::string_view given,
                                            std::uint16_t state, bool required) {
  const std::string w(who), g(given);
  switch (state) {
    case kNameOk:
    case kNameBaseFaulty:
      return std::nullopt;
    case kNameEmpty:
      if (!required) return std::nullopt;
      return Format("%s: Der Name darf nicht leer sein.", w.c_str());
    case kNameBadBase:
      return Format("%s, \"%s\": Ungültige Umleitung des Basispfades.", w.c_str(), g.c_str());
    case kNameNotAbsolute:
      return Format("%s: \"%s\" ist kein gültiger absoluter Name.", w.c_str(), g.c_str());
    case kNameDoubleDot:
      return Format("%s, \"%s\": '..' ist in Namen unzulässig.", w.c_str(), g.c_str());
    case kNameBaseUndefined:
      return Format("%s, \"%s\": Der Basispfad ist (noch) nicht definiert.", w.c_str(), g.c_str());
    default:
      return Format("unexpected file code: %d", static_cast<int>(state));
  }
}

std::string ReplaceStar(std::string_view pattern, std::string_view fullName) {
  const std::size_t star = pattern.find('*');
  if (star == std::string_view::npos) return std::string(pattern);
  std::string bare = ShortName(fullName);
  if (const std::size_t dot = bare.rfind('.'); dot != std::string::npos) bare.resize(dot);
  std::string out(pattern.substr(0, star));
  out += bare;
  out += pattern.substr(star + 1);
  return out;
}

// ---- TNameRegistry ---------------------------------------------------------------------------

TNameRegistry::TNameRegistry() : store_(CreateIn<TFileNameStore>(StandardHeap())) {}

TNameRegistry::~TNameRegistry() { Free(store_); }

void TNameRegistry::Add(std::string_view fullName, bool isDirectory, std::int32_t code) {
  // A name with a component longer than the store holds cannot be a file of this system (its
  // open fails with a message naming it); it cannot collide either.
  std::size_t start = 0;
  while (start < fullName.size()) {
    std::size_t end = fullName.find('/', start);
    if (end == std::string_view::npos) end = fullName.size();
    if (end - start > 255) return;
    start = end + 1;
  }
  TFileNameStoreEntry* entry = store_->AddPath(fullName, isDirectory, nullptr, 0, 0, code);
  if (entry != nullptr) registered_.emplace_back(entry, code);
}

std::vector<TNameRegistry::Collision> TNameRegistry::Collisions() const {
  std::vector<Collision> out;
  std::vector<const TFileNameStoreEntry*> reported;
  const auto registeredCode = [&](const TFileNameStoreEntry* e) -> std::optional<std::int32_t> {
    for (const auto& [entry, code] : registered_) {
      if (entry == e) return code;
    }
    return std::nullopt;
  };
  for (const auto& [entry, code] : registered_) {
    if (std::find(reported.begin(), reported.end(), entry) != reported.end()) continue;
    std::vector<const TFileNameStoreEntry*> group;
    const TFileNameStoreEntry* first =
        entry->parent != nullptr ? entry->parent->firstChild : store_->Roots();
    bool anyFile = false;
    for (const TFileNameStoreEntry* e = first; e != nullptr; e = e->nextSibling) {
      if (e->name != entry->name) continue;
      group.push_back(e);
      anyFile = anyFile || e->code < 0;
    }
    if (group.size() < 2 || !anyFile) continue;
    Collision c;
    c.code = code;
    c.fullName = TFileNameStore::FullName(*entry);
    // The other registered codes in the order of their registration, then folders of others.
    for (const auto& [other, otherCode] : registered_) {
      if (other != entry && std::find(group.begin(), group.end(), other) != group.end()) {
        c.others.push_back(otherCode);
      }
    }
    for (const TFileNameStoreEntry* e : group) {
      if (e != entry && !registeredCode(e)) c.others.push_back(TFileNameStore::FileCode(*e));
    }
    reported.insert(reported.end(), group.begin(), group.end());
    out.push_back(std::move(c));
  }
  return out;
}

}  // namespace vld
