// Fuzz target: postal-code mappings ("GERMANY5.PLZ" and its 3- and 4-digit kin).
//
// The input is a whole mapping file. The load check either refuses it with its German message
// naming the file, or passes it; a mapping that passed must map every code of its digit count
// onto a code of that count, map the postal-code part of a class key in place, and decode back to
// its own data part. A fatal error is a finding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "matching/plz.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vld::fuzz::InstallFuzzHooks();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vld;
  using namespace vld::fuzz;
  const std::string path = ScratchFile("GERMANY.PLZ");
  WriteScratchFile(path, std::span<const std::uint8_t>(data, size));
  std::optional<std::string> message;
  Outcome([&] { message = CheckPlzFile(path, "GERMANY.PLZ", 0); }, 0);
  std::optional<TPlzMapping> mapping;
  const auto error =
      Outcome([&] { mapping.emplace(LoadPlzMapping(path, "GERMANY.PLZ", 0)); }, kAcceptUserError);
  Require(message == error, "Prüfung und Laden sind sich nicht einig.");
  EchoError(error);
  if (error) {
    RequireNamesFile(*error, "GERMANY.PLZ");
    return 0;
  }
  const int digits = mapping->Digits();
  Require(digits >= 3 && digits <= 5, "geladene Abbildung mit falscher Stelligkeit");
  // A mapping of another digit count is refused with its own message.
  const auto wrong =
      Outcome([&] { LoadPlzMapping(path, "GERMANY.PLZ", digits == 5 ? 4 : 5); }, kAcceptUserError);
  Require(wrong ==
              "Die Veldrona-PLZ-Abbildung \"GERMANY.PLZ\" hat nicht die richtige "
              "Stelligkeit.",
          "Eine Abbildung falscher Stelligkeit wurde geladen.");

  const std::int32_t codes = PowerOfTen(digits);
  for (std::int32_t code = 0; code < codes; ++code) {
    const std::int32_t rep = mapping->Map(code);
    Require(rep >= 0 && rep < codes, "Eine PLZ wurde außerhalb ihres Bereichs abgebildet.");
  }
  for (const char* part : {"12345", "   42", "\0\0\0001", "9x9x9", "00000", "99999", "     "}) {
    std::string text = std::string(part, 5).substr(0, static_cast<std::size_t>(digits));
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    mapping->MapPart(bytes);
    for (std::uint8_t b : bytes)
      Require(b >= '0' && b <= '9', "Ein PLZ-Teil enthält keine Ziffer.");
  }
  // The reserved header bytes are not read, so only the data part must come back.
  const std::vector<std::uint8_t> image = mapping->Contents().Encode();
  const std::size_t header = TPlzMapping::kHeaderSize;
  Require(image.size() == size && std::equal(image.begin() + header, image.end(), data + header),
          "Die Abbildung ergibt zerlegt und wieder zusammengesetzt ein anderes Bild.");
  return 0;
}
