#include "matching/param_messages.h"

#include "platform/checked.h"
#include "platform/fatal.h"

namespace vld {

TCheckMessages::TCheckMessages(TParameterFields& fields, ParameterMessageSink sink)
    : fields_(fields), sink_(std::move(sink)) {
  fields_.errors = 0;
  fields_.warnings = 0;
}

void TCheckMessages::Error(const std::string& text) {
  fields_.errors = CheckedAdd(fields_.errors, 1);
  if (sink_) sink_(true, "! " + text);
}

void TCheckMessages::Warning(const std::string& text) {
  fields_.warnings = CheckedAdd(fields_.warnings, 1);
  if (sink_) sink_(false, "? " + text);
}

void TCheckMessages::ErrorLine(const std::string& text) {
  if (sink_) sink_(true, text);
}

void TCheckMessages::Push(std::string_view name) {
  contexts_.push_back({std::string(name), 0, false, fields_.errors});
}

void TCheckMessages::PushIndexed(std::string_view name, std::int64_t index) {
  contexts_.push_back({std::string(name), index, true, fields_.errors});
}

void TCheckMessages::Pop() {
  if (contexts_.empty()) Fatal("check context underflow");
  contexts_.pop_back();
}

std::string TCheckMessages::Path() const {
  std::string path;
  for (const Context& c : contexts_) {
    path += c.indexed ? Format("%s [%lld].", c.name.c_str(), static_cast<long long>(c.index))
                      : c.name + ".";
  }
  return path;
}

std::string TCheckMessages::ElementPath() const {
  std::string path = Path();
  if (!path.empty()) path.pop_back();
  return path;
}

void TCheckMessages::ValueError(std::string_view name, const std::string& text) {
  Error(ValuePath(name) + ": " + text);
}

void TCheckMessages::ValueWarning(std::string_view name, const std::string& text) {
  Warning(ValuePath(name) + ": " + text);
}

void TCheckMessages::ElementError(const std::string& text) { Error(ElementPath() + ": " + text); }

void TCheckMessages::ElementWarning(const std::string& text) {
  Warning(ElementPath() + ": " + text);
}

bool TCheckMessages::Range(std::string_view name, std::int64_t value, std::int64_t lowest,
                           std::int64_t highest) {
  if (value >= lowest && value <= highest) return true;
  Error(Format("%s: %lld ist nicht im Wertebereich von %lld bis %lld.", ValuePath(name).c_str(),
               static_cast<long long>(value), static_cast<long long>(lowest),
               static_cast<long long>(highest)));
  return false;
}

bool TCheckMessages::ElementClean() const {
  const std::int32_t since = contexts_.empty() ? 0 : contexts_.back().errorsAtEntry;
  return fields_.errors == since;
}

}  // namespace vld
