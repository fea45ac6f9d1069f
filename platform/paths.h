// The path model of the product on Linux.
//
// A path is rooted when it starts with '/'. A backslash read from a parameter set is a
// separator. Names keep their case and compare case-sensitively; normalising makes a name
// absolute, removes "." components, doubled separators and one trailing separator. "The same
// volume" means the same st_dev of the nearest existing directory. Product files looked up by
// a fixed name (PHONETIC.MAP, GERMANY5.PLZ, ...) are found by their exact name first, then by
// a case-insensitive match in the same folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vld {

bool IsRootedPath(std::string_view path);

// Backslashes become '/'.
std::string WithSlashes(std::string_view path);

// Absolute (against the current directory), without "." components, doubled separators or a
// trailing separator (the root stays "/"). ".." components are kept as they are.
std::string NormalisePath(std::string_view path);

// Last component of a full name ("" for "/").
std::string ShortName(std::string_view path);

// Everything before the last component, with its trailing '/' ("/" for "/a").
std::string ParentPath(std::string_view path);

// Joins a folder and a name with exactly one separator.
std::string JoinPath(std::string_view folder, std::string_view name);

// Mount point of the volume that holds `path` (its nearest existing directory).
std::string VolumeOf(std::string_view path);

// True when both paths lie on the same volume.
bool SameVolume(std::string_view a, std::string_view b);

// Finds `name` in `folder`: the exact name first, then a case-insensitive match.
std::optional<std::string> FindProductFile(std::string_view folder, std::string_view name);

// Folder of the running executable.
std::string ExecutableFolder();

// Candidates for a product folder ("Params", "Tables", "Help"): next to the executable, then
// in the installed data folder <prefix>/share/veldrona. Only existing folders are returned.
std::vector<std::string> ProductFolders(std::string_view subfolder);

// Login name of the user ("" when unknown) and host name ("PC" when unknown).
std::string UserName();
std::string ComputerName();

}  // namespace vld
