// Reading a parameter tree stored under another schema, and the type registries of a write and
// a read.
//
// While a file is read, each stored record, enumeration and union is matched with its schema
// type by names: TParamTreeAIEnum maps the indices of a stored name list (member names, element
// names, discriminant names) to the schema's list. The adapt owner (TParamTreeAIServer) keeps
// every mapping built during one read, keyed by the pair (schema type, stored type), and frees
// them when the read ends; the schema types themselves stay unchanged.
//
// TParamTypeIDServer assigns the type ids of one write (post-order, starting at 1).
// TParamReadServer holds the stored types of one read and the predefined elementary types.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "params/param_types.h"

namespace vld {

class TParamTreeAdaptInfo {
 public:
  explicit TParamTreeAdaptInfo(const TParamTreeType& stored) : stored_(stored) {}
  virtual ~TParamTreeAdaptInfo() = default;
  const TParamTreeType& Stored() const { return stored_; }

 private:
  const TParamTreeType& stored_;
};

// Maps stored name positions to schema name positions. Both lists must outlive the object
// (they belong to the stored and the schema type, which live through the read).
class TParamTreeAIEnum : public TParamTreeAdaptInfo {
 public:
  TParamTreeAIEnum(const TParamTreeType& stored, const std::vector<std::string>& stored_names,
                   const std::vector<std::string>& schema_names);
  // The schema position of stored name i: the same position when the names are equal, else
  // the case-insensitive position in the schema list, else -1. Raises "value to adapt (%d) out
  // of range for type %s" unless 0 <= i < the stored count.
  int MapIndex(std::int64_t i) const;

 private:
  const std::vector<std::string>& stored_names_;
  const std::vector<std::string>& schema_names_;
  mutable std::vector<int> cache_;  // -2: not yet computed
};

// The adapt owner of one read.
class TParamTreeAIServer {
 public:
  // `lazy`: build mappings only when a value needs them (the loader always reads lazily).
  explicit TParamTreeAIServer(bool lazy) : lazy_(lazy) {}
  bool Lazy() const { return lazy_; }

  // The mapping of (schema, stored); builds it when absent. Raises "class %s (%s) is
  // incompatible with class %s" when the stored type cannot be read into the schema type, and
  // "class %s (%s) does not adapt to class %s" when `must` is set and no mapping exists.
  const TParamTreeAdaptInfo* Find(const TParamTreeType& schema, const TParamTreeType& stored,
                                  bool must);
  // Find with must = true for enumerations, records and unions.
  const TParamTreeAIEnum& FindEnum(const TParamTreeType& schema, const TParamTreeType& stored);

 private:
  bool lazy_;
  // nullptr entries: the pair was looked at and needs no mapping.
  std::map<std::pair<const TParamTreeType*, const TParamTreeType*>,
           std::unique_ptr<TParamTreeAdaptInfo>>
      infos_;
};

// Type ids of one write: Register appends and answers the next id, starting at 1.
class TParamTypeIDServer {
 public:
  std::int32_t Register(const TParamTreeType& type);
  // The id-th registered type (1-based), nullptr when out of range.
  const TParamTreeType* TypeByID(std::int32_t id) const;
  std::int32_t Count() const { return static_cast<std::int32_t>(types_.size()); }

 private:
  std::vector<const TParamTreeType*> types_;
};

// The stored types of one read.
class TParamReadServer {
 public:
  // REQUIRES: 0 <= count (checked against the stream by the caller).
  explicit TParamReadServer(std::int32_t count);
  // 1 <= id <= Count(): a registered type; 0 none (an empty union variant); -1 integer,
  // -2 string, -3 character, -4 memo. Anything else raises "invalid TypeID".
  TypeRef TypeByID(std::int32_t id) const;
  // False when the announced count is reached.
  bool Register(TypeRef type);
  std::int32_t Count() const { return static_cast<std::int32_t>(types_.size()); }

 private:
  std::int32_t capacity_;
  TypeRef predefined_[5];
  std::vector<TypeRef> types_;
};

}  // namespace vld
