// Messages of the parameter check and their context paths.
//
// Every problem the check finds becomes one German text handed to the message sink: "! " before
// an error, "? " before a warning. Errors and warnings are counted in the set's fields; the
// counts start at 0 when the check starts.
//
// A message names the parameter it is about by a dotted, indexed context path. The check keeps
// a chain of contexts: a vector pushes its name with the 1-based element number for each
// element ("Slots [2]."), a single field pushes its name alone ("Ortsfeld."). A value message
// is the path, the value's name, a colon and the text:
//   Slots [2].Komponenten [1].Wort-Hürde: 0 ist nicht im Wertebereich von 1 bis 255.
// An element message is the path without its final dot, a colon and the text:
//   Slots [2]: Text-Komponente erwartet
//
// Element-level gating: a check that needs earlier results of the same element asks
// ElementClean(), true when no error was reported since the innermost context was entered.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "matching/match_params.h"
#include "matching/match_setup.h"

namespace vld {

class TCheckMessages {
 public:
  // Counts go to `fields.errors` and `fields.warnings`, which are set to 0 here.
  TCheckMessages(TParameterFields& fields, ParameterMessageSink sink);

  void Error(const std::string& text);
  void Warning(const std::string& text);
  // A continuation line of the error before it (the lines of a name collision): passed on as
  // an error text as it stands, without "! " and without being counted.
  void ErrorLine(const std::string& text);

  void Push(std::string_view name);
  void PushIndexed(std::string_view name, std::int64_t index);
  void Pop();

  // "Slots [2].Komponenten [1]." ("" without context).
  std::string Path() const;
  // The path without its final dot ("Slots [2].Komponenten [1]").
  std::string ElementPath() const;
  // Path() + name.
  std::string ValuePath(std::string_view name) const { return Path() + std::string(name); }

  // "<ValuePath(name)>: <text>".
  void ValueError(std::string_view name, const std::string& text);
  void ValueWarning(std::string_view name, const std::string& text);
  // "<ElementPath()>: <text>".
  void ElementError(const std::string& text);
  void ElementWarning(const std::string& text);

  // The range check: false and the error "%s: %d ist nicht im Wertebereich von %d bis %d."
  // when `value` lies outside lowest..highest.
  bool Range(std::string_view name, std::int64_t value, std::int64_t lowest, std::int64_t highest);

  // True when no error was reported since the innermost context was entered.
  bool ElementClean() const;
  std::int32_t Errors() const { return fields_.errors; }
  std::int32_t Warnings() const { return fields_.warnings; }

 private:
  struct Context {
    std::string name;
    std::int64_t index = 0;
    bool indexed = false;
    std::int32_t errorsAtEntry = 0;
  };

  TParameterFields& fields_;
  ParameterMessageSink sink_;
  std::vector<Context> contexts_;
};

// Pushes a context for the lifetime of the object.
class TCheckContext {
 public:
  TCheckContext(TCheckMessages& messages, std::string_view name) : messages_(messages) {
    messages_.Push(name);
  }
  TCheckContext(TCheckMessages& messages, std::string_view name, std::int64_t index)
      : messages_(messages) {
    messages_.PushIndexed(name, index);
  }
  ~TCheckContext() { messages_.Pop(); }
  TCheckContext(const TCheckContext&) = delete;
  TCheckContext& operator=(const TCheckContext&) = delete;

 private:
  TCheckMessages& messages_;
};

}  // namespace vld
