// Test support of the data library: the shipped parameter sets built from their text forms,
// and the sample word lists of the repository.
#pragma once

#include <fstream>
#include <string>

#include "params/match_schema.h"
#include "params/param_assign.h"
#include "params/param_file.h"
#include "tools/sample/sample_generator.h"

namespace vld::testing {

inline const TParamTTRecord& MatchSchema() {
  static const TParamTypeRef<const TParamTTRecord> schema = BuildMatchParamSchema();
  return *schema;
}

inline TParamSet NewParamSet() {
  TParamSet set;
  set.root.reset(static_cast<TParamTVRecord*>(MatchSchema().NewValue().release()));
  return set;
}

// A shipped set ("Privatadressen", "Firmenadressen") as the build makes it: the schema's
// defaults changed by the assignments of its text form.
inline TParamSet ShippedParamSet(const std::string& name) {
  TParamSet set = NewParamSet();
  std::ifstream in(std::string(VELDRONA_SOURCE_DIR) + "/params/sets/" + name + ".txt");
  if (!in) throw EUserError("Den Parametersatz " + name + " gibt es nicht.");
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    AssignParamPath(set, line);
  }
  return set;
}

inline const TSampleWordLists& SampleWordLists() {
  static const TSampleWordLists lists =
      LoadSampleWordLists(std::string(VELDRONA_SOURCE_DIR) + "/tools/sample/data",
                          std::string(VELDRONA_SOURCE_DIR) + "/tables/sources/plz_de_geonames.csv");
  return lists;
}

}  // namespace vld::testing
