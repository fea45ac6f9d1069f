// The table compiler: turns a readable rules file into a normalisation table ("Veldrona-Map").
//
// The rules language describes the normalizer's automaton directly; one statement a line,
// "#" starts a comment:
//
//   class NAME : CHAR...            a byte class. CHAR is one character as it looks (UTF-8; it
//                                   must exist in code page 437), \N for the byte N (decimal),
//                                   X-Y for a range, or "rest" for every byte no class names.
//   state NAME OUT                  a state (pending symbol) and the one character it writes.
//   symbol NAME OUT : CHAR...       shorthand for: class NAME : CHAR...; state NAME OUT;
//                                   in * on NAME -> NAME
//   in STATES on CLASSES -> NEXT    in one of the states, a byte of one of the classes writes
//                                   the pending symbol and continues in NEXT.
//   in STATES on CLASSES => NEXT    ... takes the byte into the pending symbol without writing:
//                                   the spelling so far is now NEXT (multi-letter spellings).
//   merge STATES                    a "->" between two of these states that write the same
//                                   character becomes "=>": doubled letters write one.
//   replacement NAME                the state written in place of a retraction (state 2).
//   retract NAME NAME... [end]      when the written symbols end with these states, take back
//                                   all but the last and write the replacement instead; with
//                                   "end": at the end of the text, take all of them back.
//   compare identity                the comparison's character table maps every byte to itself
//   compare CHAR... -> CHAR         ... and these bytes to another (default: identity).
//
// STATES and CLASSES are names separated by blanks or commas, or "*" for all of them. The
// state "start" is the start and end of every text and writes nothing; the class "end" is read
// once after the last byte. NEXT may be "same" (the state the rule is in). When several lines
// name the same state and class, the last one decides; "symbol" lines give the defaults, so
// exceptions follow them. Every state needs a rule for every class; "in * on end -> start"
// is built in.
//
// Limits of the format are checked: 63 classes besides "end", 62 states besides "start",
// 201 rows of the sequence table, 55 characters per retraction. A rule that cannot be
// expressed is refused with a German message naming file and line.
#pragma once

#include <string>
#include <string_view>

#include "matching/norm.h"

namespace vld::tables {

// Compiles the rules `text`; `file_name` names the file in messages ("<name>, Zeile <n>: ...").
// Throws EUserError.
NormTableContents CompileRules(std::string_view text, std::string_view file_name);

// Reads and compiles a rules file. Throws EUserError (also for a file that cannot be read).
NormTableContents CompileRulesFile(const std::string& file);

}  // namespace vld::tables
