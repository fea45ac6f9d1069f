// Builds the sequence table T2 of a normalisation table from retraction patterns.
//
// T2 is an automaton over the symbols (states) the normalizer writes. A pattern is a sequence
// of symbols; when the written symbols end with it, the normalizer takes back all of it but
// the current symbol and writes the replacement symbol 2 instead of the current one (so
// "s ch" turns the characters of "s" and "ch" into the one character of symbol 2). A pattern
// marked "at end" matches only at the end of the text and takes all its symbols back.
//
// The table is an Aho-Corasick automaton: one row per recognised pattern prefix that is not a
// complete match (row 0 = nothing recognised); a transition that completes a pattern holds
// 200 + the number of characters to take back. After a retraction the normalizer goes on in
// row T2[0][2]: the replacement symbol starts a new context.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace vld::tables {

struct RetractionPattern {
  std::vector<int> symbols;  // state numbers 2..63
  bool at_end = false;
  int line = 0;  // line of the rules file, for messages
};

struct RetractionProblem {
  int line = 0;
  std::string text;  // German, without file and line
};

using SequenceRows = std::vector<std::array<std::uint8_t, 64>>;

// Characters a pattern takes back: all its symbols at the end of the text, all but the
// current one otherwise.
int RetractionDepth(const RetractionPattern& pattern);

// The rows of T2 (at least one). Problems: a pattern equal to an earlier one, a pattern that
// can never match because an earlier-ending pattern always matches first, more than 201 rows.
// REQUIRES every pattern has 1..55 as its depth and symbols in 2..63.
std::variant<SequenceRows, RetractionProblem> BuildRetractionTable(
    const std::vector<RetractionPattern>& patterns);

}  // namespace vld::tables
