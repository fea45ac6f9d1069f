// Fuzz target: dark lists ("Schwarze Listen"), the text files of word entries.
//
// The input is a list file. Loading it either gives a dictionary or a German message naming the
// file, never an exception or a fatal error; a loaded list must come back unchanged from the
// dictionary cache it wrote (fuzz/dark_list_check.h). A list line ">name.pak" reads a package
// of the scratch folder: "Paket.pak" holds a small valid package, so lists can reach it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/dark_list_check.h"
#include "fuzz/fuzz_support.h"
#include "matching/dark_lists.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vld::fuzz::InstallFuzzHooks();
  vld::WritePackage(vld::fuzz::ScratchFile("Paket.pak"), {"gmbh", "co,20", "hans,1#7", "x=y"});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vld::fuzz;
  const std::string list = ScratchFile("liste.txt");
  WriteScratchFile(list, std::string_view(reinterpret_cast<const char*>(data), size));
  CheckDarkListLoad(list);
  return 0;
}
