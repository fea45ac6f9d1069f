#include "params/param_tree_io.h"

#include "params/param_adapt.h"
#include "params/param_tree_error.h"
#include "params/param_types_composed.h"

namespace vld {

namespace {

// Smallest type description: stream code, id and one more int32.
constexpr std::size_t kMinTypeDescriptionSize = 12;

TParamTypeRef<TParamTreeType> CreateShell(std::int32_t code) {
  switch (code) {
    case 12:
      return TParamTTEnum::CreateEmpty();
    case 13:
      return TParamTTRecord::CreateEmpty();
    case 14:
      return TParamTTList::CreateEmpty();
    case 15:
      return TParamTTUnion::CreateEmpty();
    case 16:
      return TParamTTBoolean::CreateEmpty();
    default:
      RaiseParamTree("invalid streaming code read %d", code);
  }
}

}  // namespace

void WriteParamTree(const TParamTreeValue& root, IParamWriter& writer) {
  TParamTypeIDServer server;
  const TParamTreeType& type = root.ParamType();
  type.ResetTypeID();
  type.AssignTypeID(server);
  writer.WriteInt(server.Count());
  for (std::int32_t id = 1; id <= server.Count(); ++id) server.TypeByID(id)->WriteTypeInfo(writer);
  root.Write(writer);
}

std::unique_ptr<TParamTreeValue> ReadParamTree(const TParamTreeType& schema, IParamReader& reader,
                                               bool lazy) {
  std::int32_t count = 0;
  if (!reader.ReadInt(count)) return nullptr;
  // A file without types has no root type; a count beyond the bytes left cannot be true.
  if (count <= 0 || !reader.CanHold(count, kMinTypeDescriptionSize)) return nullptr;
  TParamReadServer registry(count);
  for (std::int32_t i = 0; i < count; ++i) {
    std::int32_t code = 0;
    if (!reader.ReadInt(code)) return nullptr;
    // The shell is kept alive by the registry once it registered itself.
    TParamTypeRef<TParamTreeType> shell = CreateShell(code);
    if (!shell->ReadTypeInfo(reader, registry)) return nullptr;
  }
  const TypeRef stored_root = registry.TypeByID(count);
  TParamTreeAIServer owner(lazy);  // destroyed before the registry that holds the stored types
  if (!lazy) owner.Find(schema, *stored_root, false);
  return ReadNewValue(schema, reader, *stored_root, owner);
}

}  // namespace vld
