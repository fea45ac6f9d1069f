#include "params/pro_options.h"

#include "platform/errors.h"
#include "platform/fatal.h"

namespace vld {
namespace {

TParamTreeValue& MemberOf(const TParamTreeValue& parent, std::string_view name) {
  const auto* record = dynamic_cast<const TParamTVRecord*>(&parent);
  TParamTreeValue* member = record != nullptr ? record->Member(name) : nullptr;
  if (member == nullptr)
    Fatal(Format("parameter set has no member %.*s", static_cast<int>(name.size()), name.data()));
  return *member;
}

template <typename T>
T& As(TParamTreeValue& value) {
  T* typed = dynamic_cast<T*>(&value);
  if (typed == nullptr) Fatal("parameter of unexpected class");
  return *typed;
}

TParamTVString& Text(const TParamTreeValue& parent, std::string_view a, std::string_view b) {
  return As<TParamTVString>(MemberOf(MemberOf(parent, a), b));
}

std::unique_ptr<TParamTreeValue> NewEntry(const TParamTVList& list, const std::string& name) {
  auto entry = list.ListType().ElemType().NewValue();
  As<TParamTVString>(MemberOf(*entry, "Name")).SetText(name);
  return entry;
}

}  // namespace

TParamTVRecord& TProOptions::Root() const {
  if (!current_.root) Fatal("no current parameter set");
  return *current_.root;
}

TParamTVList& TProOptions::InputList() const {
  auto& inputs = As<TParamTVUnion>(MemberOf(Root(), "Eingabedateien"));
  if (inputs.Discriminant() != 0) inputs.SetDiscriminant(0);  // "Parameter"
  return As<TParamTVList>(*inputs.Variant());
}

std::string TProOptions::InputPath() const { return Text(Root(), "Pfade", "Eingabepfad").Text(); }

void TProOptions::SetInputPath(const std::string& path) {
  Text(Root(), "Pfade", "Eingabepfad").SetText(path);
}

std::string TProOptions::OutputPath() const { return Text(Root(), "Pfade", "Ausgabepfad").Text(); }

void TProOptions::SetTablePath(const std::string& path) {
  Text(Root(), "Pfade", "Tabellenpfad").SetText(path);
}

std::string TProOptions::OutputName() const {
  return Text(Root(), "Ausgabedateien", "Name").Text();
}

std::string TProOptions::DuplicateListName() const {
  return Text(Root(), "Ausgabedateien", "Dublettenliste").Text();
}

unsigned char TProOptions::HeadDuplicateSymbol() const {
  const TParamTreeValue& symbols = MemberOf(MemberOf(Root(), "Listendarstellung"), "Symbole");
  return As<TParamTVChar>(MemberOf(symbols, "Kopfdublette")).Current();
}

void TProOptions::SetFirstInput(const std::string& name) {
  TParamTVList& list = InputList();
  if (list.Count() == 0) {
    list.Insert(0, NewEntry(list, name));
  } else {
    As<TParamTVString>(MemberOf(list.Item(0), "Name")).SetText(name);
  }
}

void TProOptions::SetSecondInput(const std::string& name) {
  TParamTVList& list = InputList();
  if (list.Count() == 0) throw EUserError("Bitte erst die erste Eingabedatei definieren.");
  if (list.Count() == 1) {
    list.Insert(1, NewEntry(list, name));
  } else {
    As<TParamTVString>(MemberOf(list.Item(1), "Name")).SetText(name);
  }
}

void TProOptions::SetSecondIsDark(bool dark) {
  TParamTVList& list = InputList();
  if (list.Count() < 2) return;
  auto& kind = As<TParamTVEnum>(MemberOf(list.Item(1), "Typ"));
  if (!kind.SetAsText(dark ? "Sperrdatei" : "Grunddatei")) Fatal("input file kind unknown");
}

void TProOptions::SetTwoInputs(bool two) {
  if (!two) {
    TParamTVList& list = InputList();
    while (list.Count() > 1) list.Delete(list.Count() - 1);
  }
  twoInputs_ = two;
}

}  // namespace vld
