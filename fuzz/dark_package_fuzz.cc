// Fuzz target: dark-list packages ("Schwarze-Liste-Paketdatei").
//
// The input is the plain form of a package (fuzz/fuzz_formats.h): the 44-byte header as stored,
// then the entries in the clear; the target enciphers them as WritePackage does. A list that
// names the package (">Paket.pak") is loaded: the package either gives its entries or a German
// message naming it, never an exception or a fatal error, and a loaded list must come back
// unchanged from its dictionary cache (fuzz/dark_list_check.h).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/dark_list_check.h"
#include "fuzz/fuzz_formats.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vld::fuzz::InstallFuzzHooks();
  vld::fuzz::WriteScratchFile(vld::fuzz::ScratchFile("liste.txt"), "meier,1\n>Paket.pak\nende\n");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vld::fuzz;
  WriteScratchFile(ScratchFile("Paket.pak"),
                   PackagePlainSwap(std::string_view(reinterpret_cast<const char*>(data), size)));
  CheckDarkListLoad(ScratchFile("liste.txt"));
  return 0;
}
