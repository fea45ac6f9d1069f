// Fuzz target: field-list files (".fls"), in both forms a user may hand the product: the binary
// list the wizard saves and the text form "Feld;Position;Länge;Typ" of the command line.
//
// The input is the whole file, loaded by TFieldTable::LoadFromAnyFile (the binary list when the
// file begins with its magic, else the text form). The documented failure is EDataAccess naming
// the file; a failed load leaves the table empty. A loaded list must hold only names the binary
// form can store (valid UTF-8, at most 50 characters), the text form only rows with a position
// and length above 0 and a type of the type table, and the list must survive writing and loading
// again unchanged; a binary list must be written back to exactly the bytes it was read from.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "data/field_table.h"
#include "data/field_types.h"
#include "fuzz/fuzz_support.h"
#include "params/param_text.h"
#include "platform/codepage.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vld::fuzz::InstallFuzzHooks();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vld;
  using namespace vld::fuzz;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string path = ScratchFile("Felder.fls");
  WriteScratchFile(path, bytes);

  TFieldTable table;
  table.Append("vorher", 1, 1, kTypeName);
  const auto error = Outcome([&] { table.LoadFromAnyFile(path); }, kAcceptUserError);
  EchoError(error);
  if (error) {
    RequireNamesFile(*error, path);
    Require(table.Count() == 0, "Ein fehlgeschlagenes Laden hat Zeilen hinterlassen.");
    return 0;
  }

  const bool binary = bytes.substr(0, kFieldListMagic.size()) == kFieldListMagic;
  Require(binary || table.Count() > 0, "Eine Feldliste in Textform ohne Felder wurde geladen.");
  for (const TFieldRow& row : table.Rows()) {
    Require(IsValidUtf8(row.felder) && CharCount(row.felder) <= kFieldNameChars &&
                row.felder.size() <= 4 * kFieldNameChars,
            "Ein Feldname passt nicht in die Feldliste.");
    if (binary) continue;
    Require(row.position >= 1 && row.laenge >= 1,
            "Eine Zeile der Textform hat Position oder Länge unter 1.");
    Require(row.typ == kTypeIgnore || !FieldTypeName(row.typ).empty(),
            "Eine Zeile der Textform hat einen Typ außerhalb der Typentabelle.");
  }
  Require(table.ToFieldDescs().size() == table.Count(),
          "Die Feldbeschreibungen passen nicht zur Liste.");

  // Written and loaded again: the same rows; a binary list gives its own bytes back.
  std::string image;
  Require(!Outcome([&] { image = table.ToBytes(); }, 0), "Die Liste lässt sich nicht schreiben.");
  if (binary) Require(image == bytes, "Die Feldliste ergibt geschrieben andere Bytes.");
  TFieldTable again;
  const auto reloaded = Outcome([&] { again.LoadFromBytes(image, path); }, kAcceptUserError);
  Require(!reloaded, "Die geschriebene Liste lässt sich nicht laden: " + reloaded.value_or(""));
  Require(again.Rows() == table.Rows(), "Die wieder geladene Liste ist anders.");
  return 0;
}
