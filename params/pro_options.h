// The Pro options: the handful of values of the current parameter set that the match wizard
// sets (input files, paths, output names). TProOptions holds no parameter data of its own:
// every read and write goes to the current parameter set at a fixed member path, so the
// wizard's settings are exactly what a later save or a task run sees.
//
// Member paths (below "Root"): "Eingabedateien" (its "Parameter" variant, the input file list),
// "Ausgabedateien", "Pfade", "Listendarstellung". Setters write the content directly; texts are
// not checked against their types here (the parameter check validates them before a run).
//
// Setting an input file on a set whose input files come from a list file ("Listendatei") first
// switches "Eingabedateien" to "Parameter": the wizard names the input files itself.
#pragma once

#include <string>

#include "params/param_file.h"

namespace vld {

class TProOptions {
 public:
  // `current` is the program's current parameter set; its root may be replaced between calls.
  explicit TProOptions(TParamSet& current) : current_(current) {}

  std::string InputPath() const;
  void SetInputPath(const std::string& path);
  std::string OutputPath() const;
  void SetTablePath(const std::string& path);
  std::string OutputName() const;
  std::string DuplicateListName() const;
  // The Windows-1252 code of "Listendarstellung"/"Symbole"/"Kopfdublette".
  unsigned char HeadDuplicateSymbol() const;
  // The "Name" of the first input file entry; with no entry a new "FileEntry" with the schema
  // defaults is inserted.
  void SetFirstInput(const std::string& name);
  // The second entry's "Name"; with exactly one entry a new one is inserted. Raises EUserError
  // "Bitte erst die erste Eingabedatei definieren." without any entry.
  void SetSecondInput(const std::string& name);
  // With two or more entries the second entry's "Typ" becomes "Sperrdatei" or "Grunddatei".
  void SetSecondIsDark(bool dark);
  bool TwoInputs() const { return twoInputs_; }
  // Clearing the flag deletes every input file entry after the first.
  void SetTwoInputs(bool two);

 private:
  TParamTVRecord& Root() const;
  TParamTVList& InputList() const;

  TParamSet& current_;
  bool twoInputs_ = false;
};

}  // namespace vld
