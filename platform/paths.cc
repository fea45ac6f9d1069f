#include "platform/paths.h"

#include <dirent.h>
#include <limits.h>
#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#ifndef VELDRONA_DATA_DIR
#define VELDRONA_DATA_DIR "/usr/local/share/veldrona"
#endif

namespace vld {
namespace {

std::string CurrentDirectory() {
  std::vector<char> buf(PATH_MAX);
  if (getcwd(buf.data(), buf.size()) == nullptr) return "/";
  return buf.data();
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The nearest existing directory at or above `path`.
std::string NearestExisting(std::string path) {
  path = NormalisePath(path);
  while (!IsDirectory(path)) {
    if (path == "/") break;
    path = NormalisePath(ParentPath(path));
  }
  return path;
}

}  // namespace

bool IsRootedPath(std::string_view path) { return !path.empty() && path[0] == '/'; }

std::string WithSlashes(std::string_view path) {
  std::string out(path);
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

std::string NormalisePath(std::string_view path) {
  std::string in = WithSlashes(path);
  if (!IsRootedPath(in)) in = CurrentDirectory() + "/" + in;
  std::string out;
  std::size_t pos = 0;
  while (pos < in.size()) {
    std::size_t next = in.find('/', pos);
    if (next == std::string::npos) next = in.size();
    const std::string_view part(in.data() + pos, next - pos);
    if (!part.empty() && part != ".") {
      out += '/';
      out += part;
    }
    pos = next + 1;
  }
  return out.empty() ? "/" : out;
}

std::string ShortName(std::string_view path) {
  std::string p = WithSlashes(path);
  if (p.size() > 1 && p.back() == '/') p.pop_back();
  const std::size_t slash = p.rfind('/');
  if (p == "/") return "";
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string ParentPath(std::string_view path) {
  std::string p = WithSlashes(path);
  if (p.size() > 1 && p.back() == '/') p.pop_back();
  const std::size_t slash = p.rfind('/');
  if (slash == std::string::npos) return "";
  return p.substr(0, slash + 1);
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (out.empty()) return std::string(name);
  if (out.back() != '/') out += '/';
  while (!name.empty() && name.front() == '/') name.remove_prefix(1);
  out += name;
  return out;
}

std::string VolumeOf(std::string_view path) {
  std::string dir = NearestExisting(std::string(path));
  struct stat st;
  if (stat(dir.c_str(), &st) != 0) return "/";
  const dev_t dev = st.st_dev;
  while (dir != "/") {
    const std::string parent = NormalisePath(ParentPath(dir));
    struct stat pst;
    if (stat(parent.c_str(), &pst) != 0 || pst.st_dev != dev) break;
    dir = parent;
  }
  return dir;
}

bool SameVolume(std::string_view a, std::string_view b) {
  struct stat sa, sb;
  if (stat(NearestExisting(std::string(a)).c_str(), &sa) != 0) return false;
  if (stat(NearestExisting(std::string(b)).c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev;
}

std::optional<std::string> FindProductFile(std::string_view folder, std::string_view name) {
  const std::string exact = JoinPath(folder, name);
  struct stat st;
  if (stat(exact.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return exact;
  DIR* dir = opendir(std::string(folder.empty() ? "." : folder).c_str());
  if (dir == nullptr) return std::nullopt;
  std::optional<std::string> found;
  const std::string wanted(name);
  while (dirent* entry = readdir(dir)) {
    if (strcasecmp(entry->d_name, wanted.c_str()) == 0) {
      const std::string candidate = JoinPath(folder, entry->d_name);
      if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        found = candidate;
        break;
      }
    }
  }
  closedir(dir);
  return found;
}

std::string ExecutableFolder() {
  std::vector<char> buf(PATH_MAX + 1);
  const ssize_t n = readlink("/proc/self/exe", buf.data(), PATH_MAX);
  if (n <= 0) return CurrentDirectory();
  return NormalisePath(ParentPath(std::string(buf.data(), static_cast<std::size_t>(n))));
}

std::vector<std::string> ProductFolders(std::string_view subfolder) {
  std::vector<std::string> out;
  for (const std::string& base : {ExecutableFolder(), std::string(VELDRONA_DATA_DIR)}) {
    const std::string candidate = JoinPath(base, subfolder);
    if (IsDirectory(candidate)) out.push_back(candidate);
  }
  return out;
}

std::string UserName() {
  if (const passwd* pw = getpwuid(geteuid()); pw != nullptr && pw->pw_name != nullptr) {
    return pw->pw_name;
  }
  return "";
}

std::string ComputerName() {
  char buf[256] = {};
  if (gethostname(buf, sizeof buf - 1) != 0 || buf[0] == '\0') return "PC";
  return buf;
}

}  // namespace vld
