#include "matching/dark_lists.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <utility>

#include "engine/files/xan_file.h"
#include "platform/codepage.h"
#include "platform/fatal.h"
#include "platform/le_codec.h"
#include "platform/paths.h"

namespace vld {
namespace {

constexpr std::int32_t kCounterStart = 4194304;
constexpr std::int32_t kMaxEntries = 32768;
constexpr const char* kDamagedFileText = "Die Datei \"%s\" ist beschädigt.";

std::string_view Trim(std::string_view s) {
  while (!s.empty() && static_cast<std::uint8_t>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<std::uint8_t>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

// The package cipher's 128-byte key, built from a fixed seed.
const std::array<std::uint8_t, 128>& PackageKey() {
  static const std::array<std::uint8_t, 128> key = [] {
    std::array<std::uint8_t, 128> k{};
    std::mt19937 generator(0x5EED1999u);
    for (auto& b : k) b = static_cast<std::uint8_t>(generator());
    return k;
  }();
  return key;
}

// Reads one list into `hash`; packages are read with the same identifier counter.
class ListReader {
 public:
  ListReader(THash& hash, const DarkListSettings& settings, std::string& error)
      : hash_(hash), settings_(settings), error_(error) {}

  bool ReadList(const std::string& fileName) {
    TXanBufferedFile file(fileName);
    try {
      file.SetBufferSize(65536);
      file.SetMaxLineLength(65000);
      file.Open(kXanRead | kXanSequential);
      hash_.AddSource(file);
      while (!file.IsAtEnd()) {
        ++line_;
        const std::string text = file.ReadLine();
        if (text.size() > 255) continue;
        if (!Entry(text, fileName)) return false;
      }
      file.Close();
    } catch (const EXanFileError&) {
      if (error_.empty()) error_ = "\"" + fileName + "\" kann nicht gelesen werden.";
      return false;
    }
    return true;
  }

 private:
  bool ReadPackage(const std::string& fileName) {
    // A package may name packages itself; one that is being read already (under whatever
    // spelling of its name) would never end.
    struct stat info {};
    const bool known = ::stat(fileName.c_str(), &info) == 0;
    const std::pair<dev_t, ino_t> identity(info.st_dev, info.st_ino);
    if (known && std::find(packages_.begin(), packages_.end(), identity) != packages_.end()) {
      error_ = "\"" + fileName + "\" bindet sich selbst ein.";
      return false;
    }
    std::string bytes;
    try {
      TXanBufferedFile file(fileName);
      file.Open(kXanRead | kXanSequential);
      bytes = file.ReadText(file.Size());
      hash_.AddSource(file);
      file.Close();
    } catch (const EXanFileError&) {
      error_ = "\"" + fileName + "\" kann nicht gelesen werden.";
      return false;
    }
    const std::span<const std::uint8_t> header(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                               std::min<std::size_t>(bytes.size(), 44));
    if (bytes.size() < 44 || bytes.compare(0, 32, kDarkFileMagic) != 0 ||
        le::GetI32(header, 32) != 1 || le::GetI32(header, 36) < 0) {
      error_ = "\"" + fileName + "\" ist keine Schwarze-Liste-Paketdatei.";
      return false;
    }
    const std::int32_t count = le::GetI32(header, 36);
    const std::string payload = PackageCipher(std::string_view(bytes).substr(44));
    // The entries must fill the payload exactly; anything else is a damaged package.
    std::vector<std::string_view> entries;
    std::size_t at = 0;
    for (std::int32_t i = 0; i < count && at < payload.size(); ++i) {
      const std::size_t n = static_cast<std::uint8_t>(payload[at]);
      if (at + 1 + n > payload.size()) break;
      entries.push_back(std::string_view(payload).substr(at + 1, n));
      at += 1 + n;
    }
    if (entries.size() != static_cast<std::size_t>(count) || at != payload.size()) {
      error_ = Format(kDamagedFileText, fileName.c_str());
      return false;
    }
    if (known) packages_.push_back(identity);
    for (const std::string_view entry : entries) {
      if (!Entry(entry, fileName)) return false;
    }
    if (known) packages_.pop_back();
    return true;
  }

  std::string ToCp437(std::string_view text) const {
    bool high = false;
    for (char c : text) high = high || static_cast<std::uint8_t>(c) >= 0x80;
    if (high && IsValidUtf8(text)) return FromUtf8(text, CodePage::k437);
    return std::string(text);
  }

  bool Entry(std::string_view raw, const std::string& fileName) {
    std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';') return true;
    if (line.front() == '>') {
      const std::string package = JoinPath(ParentPath(fileName), Trim(line.substr(1)));
      return ReadPackage(package);
    }
    if (const std::size_t comment = line.find(';'); comment != std::string_view::npos) {
      line = Trim(line.substr(0, comment));
    }
    std::string_view idText;
    if (const std::size_t hash = line.rfind('#'); hash != std::string_view::npos) {
      idText = Trim(line.substr(hash + 1));
      line = line.substr(0, hash);
    }
    const std::size_t equals = line.find('='), comma = line.find(',');
    std::string_view word = line, replacement, classText;
    bool hasReplacement = false;
    if (equals != std::string_view::npos || comma != std::string_view::npos) {
      word = line.substr(0, std::min(equals, comma));
      if (equals != std::string_view::npos) {
        hasReplacement = true;
        const std::size_t end =
            comma != std::string_view::npos && comma > equals ? comma : line.size();
        replacement = line.substr(equals + 1, end - equals - 1);
      }
      if (comma != std::string_view::npos) {
        const std::size_t end =
            equals != std::string_view::npos && equals > comma ? equals : line.size();
        classText = line.substr(comma + 1, end - comma - 1);
      }
    }
    const std::string key = settings_.normalise(ToCp437(Trim(word)));
    if (key.size() <= 1) return true;
    std::int64_t cls = 0;
    classText = Trim(classText);
    if (!classText.empty() && classText.size() <= 3 &&
        std::all_of(classText.begin(), classText.end(),
                    [](char c) { return c >= '0' && c <= '9'; })) {
      cls = std::stoi(std::string(classText));
    }
    if (cls > 255) cls = 0;
    if (cls >= 100) {
      error_ = Format("\"%s\", Zeile %d: Die Klasse %lld ist nicht im Wertebereich von 0 bis 99.",
                      fileName.c_str(), line_, static_cast<long long>(cls));
      return false;
    }
    std::string value;
    std::int32_t id = 0;
    if (cls >= 1 && cls <= 8) {
      std::int64_t given = 0;
      if (!idText.empty() && idText.size() <= 8 &&
          std::all_of(idText.begin(), idText.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        given = std::stoll(std::string(idText));
      }
      id = given >= 1 && given < kCounterStart ? static_cast<std::int32_t>(given) : ++counter_;
    } else if (hasReplacement) {
      const std::string_view r = Trim(replacement);
      value = r == "@" ? std::string("@") : settings_.normalise(ToCp437(r));
    }
    if (hash_.EntryCount() >= kMaxEntries) {
      error_ = Format("\"%s\" hat mehr als %d Einträge.", fileName.c_str(), kMaxEntries);
      return false;
    }
    hash_.AddEntry(key, value, id, static_cast<int>(cls));
    return true;
  }

  THash& hash_;
  const DarkListSettings& settings_;
  std::string& error_;
  std::int32_t counter_ = kCounterStart;
  int line_ = 0;
  // Device and inode of the packages being read, outermost first.
  std::vector<std::pair<dev_t, ino_t>> packages_;
};

}  // namespace

std::string PackageCipher(std::string_view payload) {
  // RC4 over the product's key: the same operation enciphers and deciphers.
  const auto& key = PackageKey();
  std::array<std::uint8_t, 256> s{};
  for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + key[i % key.size()]) & 0xFF;
    std::swap(s[i], s[j]);
  }
  std::string out(payload);
  int i = 0, j = 0;
  for (char& c : out) {
    i = (i + 1) & 0xFF;
    j = (j + s[i]) & 0xFF;
    std::swap(s[i], s[j]);
    c = static_cast<char>(static_cast<std::uint8_t>(c) ^ s[(s[i] + s[j]) & 0xFF]);
  }
  return out;
}

void WritePackage(const std::string& fileName, const std::vector<std::string>& entries) {
  std::string payload;
  for (const std::string& e : entries) {
    const std::size_t n = std::min<std::size_t>(e.size(), 255);
    payload += static_cast<char>(n);
    payload.append(e, 0, n);
  }
  le::Writer w;
  w.Bytes(kDarkFileMagic);
  w.I32(1);
  w.I32(static_cast<std::int32_t>(entries.size()));
  w.I32(0);
  w.Bytes(PackageCipher(payload));
  TXanFile file(fileName);
  file.Open(kXanCreate | kXanAlways | kXanWrite);
  file.WriteBytes(w.bytes().data(), static_cast<std::int64_t>(w.size()));
  file.Close();
}

void TDarkLists::Init() {
  auto* empty = CreateOwned<THash>(*this, 0);
  empty->Finish();
  hashes_.push_back(empty);
  map_ = CreateOwned<THashMap>(*this, 0);
}

THash* TDarkLists::Parse(const std::string& listFile, const DarkListSettings& settings,
                         std::string& error) {
  auto* hash = CreateOwned<THash>(*this, 0);
  ListReader reader(*hash, settings, error);
  if (!reader.ReadList(listFile)) {
    Free(hash);
    return nullptr;
  }
  if (!settings.phoneticTable.empty() && FileExistsNotDirectory(settings.phoneticTable)) {
    hash->AddSource(settings.phoneticTable);
  }
  hash->Finish();
  return hash;
}

std::int32_t TDarkLists::Load(const std::string& listFile, const std::string& cacheFile,
                              const DarkListSettings& settings, std::string& error) {
  error.clear();
  if (listFile.empty()) return 0;
  if (auto it = byFile_.find(listFile); it != byFile_.end()) return it->second;
  THash* hash = nullptr;
  if (settings.useCache && !cacheFile.empty()) {
    auto* cached = CreateOwned<THash>(*this, 0);
    std::vector<std::string> required;
    if (!settings.phoneticTable.empty()) required.push_back(settings.phoneticTable);
    required.push_back(listFile);
    if (cached->LoadCache(cacheFile, required)) {
      hash = cached;
    } else {
      Free(cached);
    }
  }
  if (hash == nullptr) {
    hash = Parse(listFile, settings, error);
    if (hash == nullptr) return -1;
    if (settings.useCache && !cacheFile.empty()) {
      try {
        hash->SaveCache(cacheFile);
      } catch (const EXanFileError&) {
        // A cache that cannot be written is rebuilt next time; the list itself is fine.
      }
    }
  }
  hashes_.push_back(hash);
  const auto index = static_cast<std::int32_t>(hashes_.size() - 1);
  byFile_[listFile] = index;
  return index;
}

void TDarkLists::BuildIdentifierMap() {
  // A map built before is replaced (its numbers would run on).
  Free(map_);
  map_ = CreateOwned<THashMap>(*this, 0);
  std::int64_t ids = 0;
  for (const THash* h : hashes_) ids += h->IdCount();
  map_->PrepareMap(static_cast<std::int32_t>(std::min<std::int64_t>(ids, kMaxHashMapCapacity)));
  for (THash* h : hashes_) map_->NumberEntries(*h);
}

const THash& TDarkLists::Dictionary(std::int32_t index) const {
  return *hashes_[CheckIndex(index, hashes_.size())];
}

std::int32_t TDarkLists::Group(std::uint32_t number) const {
  if (number < 1 || number > static_cast<std::uint32_t>(map_->Capacity())) return 0;
  const THashEntry* e = map_->EntryByNumber(static_cast<std::int32_t>(number));
  return e ? e->Id() : 0;
}

bool TDarkLists::Related(std::uint32_t a, std::uint32_t b) const {
  const auto capacity = static_cast<std::uint32_t>(map_->Capacity());
  if (a < 1 || b < 1 || a > capacity || b > capacity) return false;
  const THashEntry* ea = map_->EntryByNumber(static_cast<std::int32_t>(a));
  const THashEntry* eb = map_->EntryByNumber(static_cast<std::int32_t>(b));
  return ea && eb && THashMap::PrefixRelation(ea, eb) != 0;
}

}  // namespace vld
