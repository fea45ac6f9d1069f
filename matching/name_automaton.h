// Deciding which words of a name are first names: the name automaton, and the contact-person
// search of company slots.
//
// Token classes (from the dark lists): 1..8 first names, 9 initials, 10..25 and 27..30 words
// that are never part of a person's name ("excluded": titles, salutations, legal forms), 11..17
// salutations that start a contact person, 0, 26 and 31 plain words.
#pragma once

#include <cstdint>
#include <span>

namespace vld {

// A token of a slot while its match key is built.
struct KeyToken {
  const std::uint8_t* text = nullptr;
  std::uint8_t length = 0;
  std::uint8_t cls = 0;
  bool abbreviation = false;  // ended by '!' (a '.' in the text)
  bool joined = false;        // ended by '"' (joined to the next token)
  std::uint32_t id = 0;       // number in the identifier map; 0 none
  std::uint8_t field = 0;     // company slots: 1-based name field (n+1: the contact fields)
};

bool IsExcludedClass(std::uint8_t cls);

// Runs the name automaton over tokens[first..last] (0-based, inclusive) and rewrites classes:
// words taken as first names get a first-name class, others class 0.
void RunNameAutomaton(std::span<KeyToken> tokens, int first, int last);

// Rank of name field [s..e] (0-based, inclusive) as the place of a contact person, 1 surest ..
// 6 weakest, 0 no rank; `start` receives the token where the contact person starts.
int ContactRank(std::span<const KeyToken> tokens, int s, int e, int& start);

}  // namespace vld
