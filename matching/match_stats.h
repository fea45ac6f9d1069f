// The match statistics: what the class matcher counts per input file during a run, turned at
// the end of the run into the plain-text statistics ("Statistik") and the statistics protocol
// document ("Statistik-Protokoll", match_document.h).
//
// Call order (TMatch):
//   Setup(set)                       once, at Init of the match process
//   per block that is output (a block skipped by "reine Blöcke unterdrücken" is not counted):
//     BeginBlock()
//     AddHead / AddDuplicate         for each record of the block, in the order of the block
//                                    walk; WithdrawMultiHead and the rating counts as they occur
//     EndBlock(file of the block representative's group-1 representative)
//   Finish()                         once, when the run closes
//   TextLines()                      the plain text, when the statistics output is connected
//   BuildDocument(document)          when a statistics-protocol file is named
//
// Counting rules of one block. Files are named by their 1-based file number. Each file starts
// the block with no roles; dark records are records of Sperr- and Kompaktsperrdateien.
// - A head adds its file to the block's file list on its first appearance; it counts one intra
//   duplicate ("both roles") when its file so far had only duplicates in the block, then the
//   file has the head role; with `multiHead` it counts one multi head of its file.
// - A counted duplicate (the first time its original is marked as duplicate) adds its file to
//   the file list on its first appearance, counts one intra duplicate when its file already
//   had a role in the block, gives the file the duplicate role, counts one duplicate of the
//   file and, with "Eliminationsmatrix", one in the matrix cell (first file of the list, file).
//   A duplicate that is not counted gives its file both roles.
// - Under "Kompatibilitätsmatrix" a dark duplicate stays out of the file list and counts no
//   duplicate: counted, it only counts an intra duplicate when its file already had a role,
//   and its file then has the duplicate role.
// - At the end of a block with a non-empty file list the representative's file counts one block;
//   "Kompatibilitätsmatrix": a block without head counts the pair (representative's file, first
//   file of the list), then every later file of the list that has the duplicate role counts a
//   pair with each file before it; "Überschneidungsmatrix": every pair of the list counts.
//   Pairs live in a lower triangle (larger file number first); a pair of a file with itself has
//   no cell there (the diagonal shows the intra duplicates) and is not counted.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/runtime/origin.h"
#include "matching/match_document.h"
#include "matching/match_params.h"

namespace vld {

class TMatchStatistics : public TOrigin {
 public:
  // REQUIRES: `set` is checked, holds 1..500 input files and outlives this object.
  void Setup(const TParameterStore& set);

  // ---- Counters (TMatch, during the run) ----
  void BeginBlock();
  // `multiHead`: the head got the multi-head mark (its group-1 ring holds records of several
  // input files, with "Multi-Dubletten") and is neither a replica nor already a duplicate.
  void AddHead(std::int32_t file, bool multiHead);
  // `counted`: the record (or, for a replica or replicated original, its original) becomes a
  // duplicate for the first time.
  void AddDuplicate(std::int32_t file, bool counted);
  // An original that carried the multi-head mark became a duplicate through a replica.
  void WithdrawMultiHead(std::int32_t file);
  void EndBlock(std::int32_t representativeFile);
  // A re-rated head listed again ("neu bewertete Sätze auflisten").
  void AddReratedHead();
  // Rating field `field` (1-based) changed a head.
  void AddRatingChange(std::int32_t field);

  // ---- End of the run ----
  // Totals, apportioned net records and the net share; fatal "Pure < 1" when the Grund and
  // Master files hold no record that is not an intra duplicate.
  void Finish();
  // The plain-text statistics, one line per element, code page 437, without line ends.
  // REQUIRES: Finish.
  std::vector<std::string> TextLines() const;
  // Replaces `document` by the protocol of this run. REQUIRES: Finish.
  void BuildDocument(TMatchDocument& document) const;

  // ---- Read access (tests, journal) ----
  struct FileCounts {
    std::int64_t records = 0;
    std::int32_t duplicates = 0, intra = 0, blocks = 0, multiHeads = 0;
    std::int32_t netShare = 0;  // after Finish
  };
  FileCounts Counts(std::int32_t file) const;
  // Matrix cell (row r, column s); for the triangular types r > s.
  std::int32_t MatrixCell(std::int32_t r, std::int32_t s) const;
  // 0: re-rated heads; i: changes of rating field i.
  std::int32_t RatingCount(std::int32_t i) const;
  const std::string& NetShareText() const { return netShareText_; }
  // Sums over the Grund and Master files, and over all files. REQUIRES: Finish.
  struct Totals {
    std::int64_t records = 0, duplicates = 0, intra = 0, blocks = 0, multiHeads = 0;
    std::int64_t netShares = 0;
    std::int64_t allRecords = 0, allBlocks = 0;
  };
  Totals RunTotals() const;
  std::int32_t FileCount() const { return files_; }
  std::int32_t RatingFieldCount() const { return static_cast<std::int32_t>(ratings_.size()) - 1; }

 private:
  struct FileState {
    std::int32_t multiHeads, duplicates, intra, blocks, netShare;
    std::int64_t remainder;
    std::uint8_t roles;  // 1 head, 2 duplicate, 4 in the block's file list
  };
  bool IsDark(std::int32_t file) const;
  FileState& State(std::int32_t file);
  const FileState& State(std::int32_t file) const;
  std::int32_t& Cell(std::int32_t r, std::int32_t s);
  void CountPair(std::int32_t a, std::int32_t b);
  void Appear(std::int32_t file);

  const TParameterStore* set_ = nullptr;
  std::int32_t files_ = 0;
  bool triangular_ = true;
  std::span<FileState> state_;       // index file - 1
  std::span<std::int32_t> matrix_;   // n × n, or the lower triangle without the diagonal
  std::span<std::int32_t> ratings_;  // rating field count + 1
  // The current block: its file list and every file that got a role.
  std::span<std::int32_t> fileList_;
  std::int32_t listed_ = 0;
  std::span<std::int32_t> touched_;
  std::int32_t touchedCount_ = 0;
  bool blockHasHead_ = false;
  // After Finish.
  bool finished_ = false;
  std::int64_t totalRecords_ = 0, totalBlocks_ = 0;
  std::int64_t records_ = 0, duplicates_ = 0, intra_ = 0, blocks_ = 0, multiHeads_ = 0;
  std::string netShareText_;
};

}  // namespace vld
