// The match key of a record: a compact, normalised and tokenised encoding of every slot's
// components, which the record comparison reads instead of the raw record.
//
// Layout of the match record (positions from the set's derived values):
//   [input record][file number u16][class key][flag byte][component offsets u16 x n][match key]
// The match key holds the components in slot order and, within a slot, in component order;
// before a component is written its offset (distance from the start of the record) is stored.
//   component                     bytes
//   any, empty                    0
//   Text of a Text or Ident slot  1, the slot text as a short string
//   Text (other slots)            1, the tokens joined by one blank as a short string
//   Postfach                      1, the tokens joined without separator as a short string
//   Normal                        n (tokens written), per token: [3-byte identifier with
//                                 "Vornamen benutzen"] and the token as a short string; an
//                                 abbreviation is written with a trailing '.'
//   Hausnummer                    1, 6, u16 first number, u16 last number, u16 digit set
//   AKZ criterion (Firma)         1, 1, the criterion character
// The flag byte receives the low byte of the "Qualität" sum of the non-empty components.
//
// Tokens are the parts of the normalised slot text between the bytes 32, 33 and 34 (blank, '!',
// '"'); the phonetic table writes '!' for the end of an abbreviation and '"' where two tokens
// are joined. At most 30 tokens a slot are kept.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "engine/pipeline/file_layout.h"
#include "matching/dark_lists.h"
#include "matching/match_params.h"
#include "matching/name_automaton.h"

namespace vld {

// Normalises `length` bytes of `buffer` in place and returns the new length (never more).
using NormaliseInPlace = std::function<std::size_t(std::uint8_t* buffer, std::size_t length)>;

// The tables a task's key building runs on.
struct TKeyTables {
  NormaliseInPlace phonetic;
  NormaliseInPlace simple;
  std::function<std::int32_t(std::int32_t)> plzMap;  // empty: no postal-code mapping
  const TDarkLists* darkLists = nullptr;              // empty: no dark lists
};

inline constexpr int kMaxTokens = 30;

class TMatchKeyBuilder {
 public:
  TMatchKeyBuilder(const TParameterStore& set, const TKeyTables& tables);

  // Builds the match key of `record` (laid out as `layout` says) in place; returns the record's
  // used length. Fatal "Match-Schlüssel zu lang" when the key would pass its area.
  std::int32_t Build(const TFileLayout& layout, std::uint8_t* record);

 private:
  // The match-key writer of one record.
  class Writer;

  void CityWords(const std::uint8_t* record);
  // Normalises `text` with `table`, splits it and fills tokens_ from `count` on; returns the new
  // count. `field` is stored with every token.
  int Tokenise(std::string_view text, const NormaliseInPlace& table, const TSlotEntry& slot,
               int count, std::uint8_t field);
  std::string AssembleText(const std::uint8_t* record, std::span<const TFieldEntry> fields) const;
  // Writes one component (its offset first) of the given tokens.
  void WriteComponent(const TComponentEntry& c, std::span<const KeyToken* const> tokens,
                      Writer& out);
  void WriteNormal(const TComponentEntry& c, std::span<const KeyToken* const> tokens,
                   Writer& out);
  void BuildSlot(const TSlotEntry& slot, const std::uint8_t* record, Writer& out);
  void BuildFirma(const TSlotEntry& slot, const std::uint8_t* record, Writer& out);
  const THash* Dictionary(std::int16_t index) const;

  const TParameterStore& set_;
  const TKeyTables& tables_;
  std::array<KeyToken, kMaxTokens> tokens_;
  std::array<std::uint8_t, 4096> text_{};  // normalised texts of the current slot
  std::size_t textUsed_ = 0;
  std::array<std::string, 5> cities_;
  int cityCount_ = 0;
  int componentIndex_ = 0;
};

}  // namespace vld
