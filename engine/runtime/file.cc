#include "engine/runtime/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/errors.h"
#include "platform/fatal.h"
#include "platform/paths.h"

namespace vld {

FileFaults& FileFaultInjection() {
  static FileFaults faults;
  return faults;
}

namespace {
// Files are written by helper threads as well.
std::mutex& FaultMutex() {
  static std::mutex mutex;
  return mutex;
}
}  // namespace

int InjectReadFault() {
  std::lock_guard lock(FaultMutex());
  FileFaults& faults = FileFaultInjection();
  if (++faults.reads != faults.failReadAt) return 0;
  faults.injected = true;
  return EIO;
}

int InjectWriteFault(std::int64_t count, std::int64_t& allowed) {
  std::lock_guard lock(FaultMutex());
  FileFaults& faults = FileFaultInjection();
  allowed = count;
  if (++faults.writes == faults.failWriteAt) {
    faults.injected = true;
    allowed = 0;
    return EIO;
  }
  if (faults.diskFullAfter >= 0) {
    allowed = std::min(count, faults.diskFullAfter);
    faults.diskFullAfter -= allowed;
    if (allowed < count) faults.injected = true;
  }
  return 0;
}

namespace {
std::string& FaultReportFile() {
  static std::string name;
  return name;
}

void WriteFaultReport() {
  const FileFaults& f = FileFaultInjection();
  if (std::FILE* out = std::fopen(FaultReportFile().c_str(), "w")) {
    std::fprintf(out, "%lld %lld %d\n", static_cast<long long>(f.reads),
                 static_cast<long long>(f.writes), f.injected ? 1 : 0);
    std::fclose(out);
  }
}
}  // namespace

void ConfigureFileFaultsFromEnvironment() {
  FileFaults& f = FileFaultInjection();
  if (const char* v = std::getenv("VELDRONA_FAULT_REPORT"); v != nullptr && *v != '\0') {
    FaultReportFile() = v;
    std::atexit(WriteFaultReport);
  }
  if (const char* v = std::getenv("VELDRONA_FAIL_READ")) f.failReadAt = std::atoll(v);
  if (const char* v = std::getenv("VELDRONA_FAIL_WRITE")) f.failWriteAt = std::atoll(v);
  if (const char* v = std::getenv("VELDRONA_DISK_FULL_AFTER")) f.diskFullAfter = std::atoll(v);
}

std::string GermanReason(int error) {
  switch (error) {
    case ENOENT:
      return "Datei nicht gefunden";
    case EACCES:
    case EPERM:
      return "Zugriff verweigert";
    case ENOSPC:
      return "kein Platz mehr auf dem Datenträger";
    case EDQUOT:
      return "Speicherkontingent überschritten";
    case EROFS:
      return "der Datenträger ist schreibgeschützt";
    case EISDIR:
      return "das ist ein Verzeichnis";
    case ENOTDIR:
      return "ein Teil des Pfades ist kein Verzeichnis";
    case EMFILE:
    case ENFILE:
      return "zu viele offene Dateien";
    case EFBIG:
      return "die Datei wird zu groß";
    case ENAMETOOLONG:
      return "der Dateiname ist zu lang";
    case EEXIST:
      return "die Datei gibt es schon";
    case EIO:
      return "Ein-/Ausgabefehler des Datenträgers";
    case 0:
      return "Lesen über das Dateiende hinaus";
    default:
      return Format("Systemfehler %d", error);
  }
}

TFile::~TFile() {
  if (fd_ >= 0) ::close(fd_);  // quietly: only reached while unwinding after an error
}

void TFile::BeforeFree() {
  if (IsOpen()) Fatal("Datei nicht geschlossen");
}

void TFile::Raise(const char* action, int error) const {
  throw EInOutError(Format("Fehler beim %s der Datei \"%s\": %s.", action, name_.c_str(),
                           GermanReason(error).c_str()));
}

void TFile::Assign(const std::string& name) {
  if (IsOpen()) Fatal("Datei nicht geschlossen");
  name_ = name.empty() ? std::string() : NormalisePath(name);
}

bool TFile::Exists() const {
  if (IsOpen()) return true;
  struct stat st;
  return !name_.empty() && stat(name_.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

void TFile::Open(OpenKind kind) {
  if (IsOpen()) Fatal("Datei nicht geschlossen");
  int flags = O_CLOEXEC;
  switch (kind) {
    case OpenKind::kRead:
      flags |= O_RDONLY;
      break;
    case OpenKind::kWrite:
      flags |= O_WRONLY;
      break;
    case OpenKind::kCreate:
      flags |= O_WRONLY | O_CREAT | O_TRUNC;
      break;
    case OpenKind::kReadWrite:
      flags |= O_RDWR;
      break;
    case OpenKind::kCreateReadWrite:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
  }
  const int fd = ::open(name_.c_str(), flags, 0666);
  if (fd < 0) Raise("Öffnen", errno);
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    Raise("Öffnen", EISDIR);
  }
  fd_ = fd;
  position_ = 0;
}

void TFile::Close() {
  if (!IsOpen()) return;
  const int fd = fd_;
  fd_ = -1;
  // A close can report a write that failed late (full disk on a network volume).
  if (::close(fd) != 0 && errno != EINTR) Raise("Schließen", errno);
}

void TFile::ReadBlock(void* address, std::int64_t count) {
  if (count <= 0) return;
  if (!IsOpen()) Raise("Lesen", EBADF);
  if (const int fault = InjectReadFault()) Raise("Lesen", fault);
  auto* out = static_cast<std::uint8_t*>(address);
  std::int64_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd_, out + done, static_cast<std::size_t>(count - done),
                              position_ + done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Raise("Lesen", errno);
    }
    if (n == 0) Raise("Lesen", 0);
    done += n;
  }
  position_ += count;
}

void TFile::WriteBlock(const void* address, std::int64_t count) {
  if (count <= 0) return;
  if (!IsOpen()) Raise("Schreiben", EBADF);
  std::int64_t allowed = count;
  if (const int fault = InjectWriteFault(count, allowed)) Raise("Schreiben", fault);
  const auto* in = static_cast<const std::uint8_t*>(address);
  std::int64_t done = 0;
  while (done < allowed) {
    const ssize_t n = ::pwrite(fd_, in + done, static_cast<std::size_t>(allowed - done),
                               position_ + done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Raise("Schreiben", errno);
    }
    done += n;
  }
  position_ += done;
  if (done < count) Raise("Schreiben", ENOSPC);
}

std::int64_t TFile::Size() const {
  if (IsOpen()) {
    struct stat st;
    if (fstat(fd_, &st) != 0) Raise("Lesen", errno);
    return st.st_size;
  }
  struct stat st;
  if (stat(name_.c_str(), &st) != 0) Raise("Öffnen", errno);
  return st.st_size;
}

void TFile::SeekTo(std::int64_t offset) {
  if (offset < 0) Fatal(Format("Fehler beim Positionieren in der Datei: Code %.8x", EINVAL));
  position_ = offset;
}

void TFile::Erase() {
  if (IsOpen()) Fatal("Datei nicht geschlossen");
  if (::unlink(name_.c_str()) != 0) Raise("Löschen", errno);
}

}  // namespace vld
