#include "params/param_adapt.h"

#include <limits>

#include "params/param_text.h"
#include "params/param_tree_error.h"
#include "params/param_types_composed.h"

namespace vld {

TParamTreeAIEnum::TParamTreeAIEnum(const TParamTreeType& stored,
                                   const std::vector<std::string>& stored_names,
                                   const std::vector<std::string>& schema_names)
    : TParamTreeAdaptInfo(stored),
      stored_names_(stored_names),
      schema_names_(schema_names),
      cache_(stored_names.size(), -2) {}

int TParamTreeAIEnum::MapIndex(std::int64_t i) const {
  if (i < 0 || i >= static_cast<std::int64_t>(stored_names_.size())) {
    RaiseParamTree("value to adapt (%d) out of range for type %s", static_cast<int>(i),
                   Stored().TypeName().c_str());
  }
  int& cached = cache_[static_cast<std::size_t>(i)];
  if (cached != -2) return cached;
  const std::string& name = stored_names_[static_cast<std::size_t>(i)];
  if (i < static_cast<std::int64_t>(schema_names_.size()) &&
      schema_names_[static_cast<std::size_t>(i)] == name) {
    cached = static_cast<int>(i);
  } else {
    cached = IndexOfName(schema_names_, name);
  }
  return cached;
}

const TParamTreeAdaptInfo* TParamTreeAIServer::Find(const TParamTreeType& schema,
                                                    const TParamTreeType& stored, bool must) {
  const auto key = std::make_pair(&schema, &stored);
  auto it = infos_.find(key);
  if (it == infos_.end()) {
    if (!schema.IsCompatible(stored)) {
      RaiseParamTree("class %s (%s) is incompatible with class %s", schema.ClassName(),
                     schema.TypeName().c_str(), stored.ClassName());
    }
    // Mark the pair before building, so the building does not look at it again.
    it = infos_.emplace(key, nullptr).first;
    it->second = schema.CreateAdaptInfo(stored, *this);
  }
  if (it->second == nullptr && must) {
    RaiseParamTree("class %s (%s) does not adapt to class %s", schema.ClassName(),
                   schema.TypeName().c_str(), stored.ClassName());
  }
  return it->second.get();
}

const TParamTreeAIEnum& TParamTreeAIServer::FindEnum(const TParamTreeType& schema,
                                                     const TParamTreeType& stored) {
  return static_cast<const TParamTreeAIEnum&>(*Find(schema, stored, true));
}

std::int32_t TParamTypeIDServer::Register(const TParamTreeType& type) {
  types_.push_back(&type);
  return Count();
}

const TParamTreeType* TParamTypeIDServer::TypeByID(std::int32_t id) const {
  if (id < 1 || id > Count()) return nullptr;
  return types_[static_cast<std::size_t>(id - 1)];
}

TParamReadServer::TParamReadServer(std::int32_t count) : capacity_(count) {
  predefined_[1] = NewType<TParamTTInteger>();
  predefined_[2] = NewType<TParamTTString>();
  predefined_[3] = NewType<TParamTTChar>('a', TParamTTChar::Range('a', 'a'));
  predefined_[4] = NewType<TParamTTMemo>("", 0, std::numeric_limits<std::int32_t>::max());
}

TypeRef TParamReadServer::TypeByID(std::int32_t id) const {
  if (id >= 1 && id <= Count()) return types_[static_cast<std::size_t>(id - 1)];
  if (id <= 0 && id > -5) return predefined_[-id];
  RaiseParamTree("invalid TypeID");
}

bool TParamReadServer::Register(TypeRef type) {
  if (Count() >= capacity_) return false;
  types_.push_back(std::move(type));
  return true;
}

}  // namespace vld
