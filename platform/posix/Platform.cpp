// Linux implementation of the kernel services. Paths arrive in the code page
// (GB18030) and are converted to UTF-8 at each system call; the code page
// itself and the wildcard meaning are in common/.
#include "platform/Platform.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool ToSystemPath(const char* path, std::string& utf8) {
  if (path == nullptr || *path == '\0') return false;
  return CodePageToUtf8(path, utf8) && !utf8.empty();
}

bool HasWildcard(const char* text) { return std::strpbrk(text, "*?") != nullptr; }

}  // namespace

std::FILE* OpenFile(const char* path, const char* mode) {
  std::string native;
  if (!ToSystemPath(path, native)) return nullptr;
  return std::fopen(native.c_str(), mode);
}

bool SeekFile(std::FILE* file, std::int64_t offset, int origin) {
  return file != nullptr && ::fseeko(file, static_cast<off_t>(offset), origin) == 0;
}

std::int64_t TellFile(std::FILE* file) {
  return file != nullptr ? static_cast<std::int64_t>(::ftello(file)) : -1;
}

bool GetPathKind(const char* path, bool& isDirectory, bool& isRegularFile) {
  isDirectory = false;
  isRegularFile = false;
  std::string native;
  if (!ToSystemPath(path, native)) return false;
  struct stat info {};
  if (::stat(native.c_str(), &info) != 0) return false;
  isDirectory = S_ISDIR(info.st_mode);
  isRegularFile = S_ISREG(info.st_mode);
  return true;
}

std::vector<FoundEntry> FindEntries(const char* pattern) {
  std::vector<FoundEntry> entries;
  if (pattern == nullptr || *pattern == '\0') return entries;
  const std::string text(pattern);
  const std::size_t cut = FindLastSeparator(text);
  const std::string folder = cut == std::string::npos ? std::string() : text.substr(0, cut);
  const std::string last = cut == std::string::npos ? text : text.substr(cut + 1);
  if (last.empty()) return entries;

  if (!HasWildcard(last.c_str())) {
    bool isDirectory = false;
    bool isRegularFile = false;
    if (GetPathKind(pattern, isDirectory, isRegularFile)) entries.push_back({last, isDirectory});
    return entries;
  }

  std::string nativeFolder = ".";
  if (cut != std::string::npos) {
    if (folder.empty()) {
      nativeFolder = "/";
    } else if (!ToSystemPath(folder.c_str(), nativeFolder)) {
      return entries;
    }
  }
  DIR* dir = ::opendir(nativeFolder.c_str());
  if (dir == nullptr) return entries;
  while (const dirent* item = ::readdir(dir)) {
    if (std::strcmp(item->d_name, ".") == 0 || std::strcmp(item->d_name, "..") == 0) continue;
    std::string name;
    if (!Utf8ToCodePage(item->d_name, name)) continue;  // a name the code page cannot spell
    if (!MatchesWildcard(last.c_str(), name.c_str())) continue;
    const std::string full = nativeFolder + "/" + item->d_name;
    struct stat info {};
    if (::stat(full.c_str(), &info) != 0) continue;
    entries.push_back({name, S_ISDIR(info.st_mode)});
  }
  ::closedir(dir);
  std::sort(entries.begin(), entries.end(),
            [](const FoundEntry& a, const FoundEntry& b) { return a.name < b.name; });
  return entries;
}

bool FindFirstExists(const char* pattern) { return !FindEntries(pattern).empty(); }

bool IsSameFile(const char* first, const char* second) {
  std::string nativeFirst;
  std::string nativeSecond;
  if (!ToSystemPath(first, nativeFirst) || !ToSystemPath(second, nativeSecond)) return false;
  struct stat a {};
  struct stat b {};
  return ::stat(nativeFirst.c_str(), &a) == 0 && ::stat(nativeSecond.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

bool DeleteFile(const char* path) {
  std::string native;
  if (!ToSystemPath(path, native)) return false;
  return ::unlink(native.c_str()) == 0;
}

bool CreateDirectory(const char* path) {
  std::string native;
  if (!ToSystemPath(path, native)) return false;
  return ::mkdir(native.c_str(), 0777) == 0;
}

bool RenameFile(const char* from, const char* to) {
  std::string nativeFrom;
  std::string nativeTo;
  if (!ToSystemPath(from, nativeFrom) || !ToSystemPath(to, nativeTo)) return false;
  return std::rename(nativeFrom.c_str(), nativeTo.c_str()) == 0;
}

namespace {

// Read without changing it: umask() itself would open a window in which other
// threads create files with mode 0666.
mode_t CurrentUmask() {
  mode_t mask = 022;
  if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
      if (std::strncmp(line, "Umask:", 6) == 0) {
        mask = static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8));
        break;
      }
    }
    std::fclose(status);
  }
  return mask;
}

}  // namespace

std::string GetProgramPath() {
  char buffer[4096];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return std::string();
  buffer[length] = '\0';
  std::string text;
  if (!Utf8ToCodePage(buffer, text)) return std::string();
  return text;
}

bool SetCurrentDirectory(const char* path) {
  std::string native;
  if (!ToSystemPath(path, native)) return false;
  return ::chdir(native.c_str()) == 0;
}

std::string GetCurrentDirectory() {
  char buffer[4096];
  if (::getcwd(buffer, sizeof buffer) == nullptr) return std::string();
  std::string text;
  if (!Utf8ToCodePage(buffer, text)) return std::string();
  return text;
}

bool IsAbsolutePath(const char* path) { return path[0] == '/'; }

bool IsWritableDirectory(const char* path) {
  std::string native;
  if (!ToSystemPath(path, native)) return false;
  struct stat info {};
  if (::stat(native.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  // access() says yes to root on a read-only mount, so try it for real.
  std::string probe = native + "/.pictomill-probe-XXXXXX";
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

bool CreateDirectories(const char* path) {
  std::string native;
  if (!ToSystemPath(path, native)) return false;
  for (std::size_t i = 1; i <= native.size(); ++i) {
    if (i == native.size() || native[i] == '/') {
      const std::string part = native.substr(0, i);
      if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
  }
  struct stat info {};
  return ::stat(native.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string GetEnvironment(const char* name) {
  const char* value = std::getenv(name);
  std::string text;
  if (value == nullptr || !Utf8ToCodePage(value, text)) return std::string();
  return text;
}

std::FILE* CreateFileBeside(const char* target, std::string& tempPath, bool readBack) {
  tempPath.clear();
  std::string native;
  if (!ToSystemPath(target, native)) return nullptr;
  const std::size_t slash = native.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : native.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? native : native.substr(slash + 1);
  if (name.empty()) return nullptr;
  std::string candidate = folder + "." + name + ".XXXXXX";
  const int fd = ::mkstemp(candidate.data());
  if (fd < 0) return nullptr;
  // mkstemp makes the file private; the finished file gets the mode of the
  // file it replaces, or the usual one.
  struct stat existing {};
  const bool replaces = ::stat(native.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
  ::fchmod(fd, replaces ? (existing.st_mode & 0777) : static_cast<mode_t>(0666 & ~CurrentUmask()));
  std::FILE* file = ::fdopen(fd, readBack ? "w+b" : "wb");
  if (file == nullptr || !Utf8ToCodePage(candidate.c_str(), tempPath)) {
    if (file != nullptr) std::fclose(file); else ::close(fd);
    ::unlink(candidate.c_str());
    tempPath.clear();
    return nullptr;
  }
  return file;
}

std::string GetTempPath() {
  // An empty TMPDIR means unset, as for every other program.
  const char* fromEnvironment = std::getenv("TMPDIR");
  std::string utf8 = fromEnvironment != nullptr && *fromEnvironment != '\0' ? fromEnvironment : "/tmp";
  while (utf8.size() > 1 && utf8.back() == '/') utf8.pop_back();
  std::string text;
  if (!Utf8ToCodePage(utf8.c_str(), text)) return std::string();
  return text;
}

CreateResult CreateScratchFile(const char* path, std::uint64_t size, FileHandle& handle) {
  handle = kNoFile;
  std::string native;
  if (!ToSystemPath(path, native)) return CreateResult::Failed;
  const int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return errno == EEXIST ? CreateResult::NameTaken : CreateResult::Failed;
  // Reserving the space now turns a full disk into a failed open instead of
  // a SIGBUS on the first write through the mapping.
  if (size > 0 && ::posix_fallocate(fd, 0, static_cast<off_t>(size)) != 0) {
    ::close(fd);
    ::unlink(native.c_str());
    return CreateResult::Failed;
  }
  handle = fd;
  return CreateResult::Created;
}

void CloseFileHandle(FileHandle handle) {
  if (handle != kNoFile) ::close(static_cast<int>(handle));
}

void* MapFile(FileHandle handle, std::size_t size) {
  if (handle == kNoFile || size == 0) return nullptr;
  void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, static_cast<int>(handle), 0);
  if (view == MAP_FAILED) return nullptr;
#ifdef MADV_POPULATE_WRITE
  // Every page is written soon (a decoder fills every row): one call makes
  // them writable instead of one fault per page. Older kernels refuse it.
  // Not for huge mappings: a tiny hostile header can ask for gigabytes that
  // are never written, and prefaulting them would make them real.
  constexpr std::size_t kPopulateLimit = std::size_t{256} << 20;
  if (size <= kPopulateLimit) (void)::madvise(view, size, MADV_POPULATE_WRITE);
#endif
  return view;
}

void UnmapFile(void* view, std::size_t size) {
  if (view != nullptr && size > 0) ::munmap(view, size);
}

void FlushMappedRange(void* address, std::size_t bytes) {
  if (address == nullptr || bytes == 0) return;
  // msync wants a page-aligned start.
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(address);
  const std::uintptr_t aligned = start - start % page;
  ::msync(reinterpret_cast<void*>(aligned), bytes + (start - aligned), MS_ASYNC);
}

void WriteStandardError(std::string_view text) {
  std::string utf8;
  if (!CodePageToUtf8(std::string(text).c_str(), utf8)) utf8 = text;  // better raw bytes than nothing
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
}

}  // namespace platform
