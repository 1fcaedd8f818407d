// Windows implementation of the kernel services, on kernel32's wide-character
// calls. Paths arrive in the code page (GB18030), are converted to UTF-16 at
// each call and back; a '/' typed by a user is taken as '\'. Paths of
// MAX_PATH characters and more go to the system in the "\\?\" form.
#include "platform/Platform.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// Our own functions of these names are meant, not the A/W macros.
#undef CreateDirectory
#undef DeleteFile
#undef GetCurrentDirectory
#undef GetTempPath
#undef SetCurrentDirectory

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <io.h>

namespace platform {
namespace {

// Owns a search handle of FindFirstFileW.
class SearchHandle {
 public:
  explicit SearchHandle(HANDLE handle) : handle_(handle) {}
  SearchHandle(const SearchHandle&) = delete;
  SearchHandle& operator=(const SearchHandle&) = delete;
  ~SearchHandle() {
    if (valid()) ::FindClose(handle_);
  }
  [[nodiscard]] bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  [[nodiscard]] HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Owns a file HANDLE.
class KernelHandle {
 public:
  explicit KernelHandle(HANDLE handle) : handle_(handle) {}
  KernelHandle(const KernelHandle&) = delete;
  KernelHandle& operator=(const KernelHandle&) = delete;
  ~KernelHandle() {
    if (valid()) ::CloseHandle(handle_);
  }
  [[nodiscard]] bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  [[nodiscard]] HANDLE get() const { return handle_; }
  HANDLE release() {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }

 private:
  HANDLE handle_;
};

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

bool CodePage(const wchar_t* wide, std::size_t length, std::string& text) {
  return Utf16ToCodePage(std::u16string_view(reinterpret_cast<const char16_t*>(wide), length), text);
}
bool CodePage(const std::wstring& wide, std::string& text) { return CodePage(wide.c_str(), wide.size(), text); }

bool HasWildcard(const std::wstring& text) { return text.find_first_of(L"*?") != std::wstring::npos; }

// Beyond this the ordinary form fails somewhere (CreateDirectoryW stops at
// MAX_PATH - 12 so that 8.3 names still fit).
constexpr std::size_t kLongPath = MAX_PATH - 12;

// The path as the system takes it: UTF-16, '\' as separator, and long paths
// made absolute in the "\\?\" form, which switches the limit off.
bool ToSystemPath(const char* path, std::wstring& wide) {
  wide.clear();
  if (path == nullptr || *path == '\0') return false;
  std::u16string utf16;
  if (!CodePageToUtf16(path, utf16) || utf16.empty()) return false;
  wide = Wide(utf16);
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  if (wide.size() < kLongPath || wide.rfind(L"\\\\?\\", 0) == 0) return true;
  const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return false;
  std::wstring full(needed, L'\0');
  const DWORD written = ::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  if (written == 0 || written >= needed) return false;
  full.resize(written);
  if (full.rfind(L"\\\\", 0) == 0) {
    wide = L"\\\\?\\UNC\\" + full.substr(2);
  } else {
    wide = L"\\\\?\\" + full;
  }
  return true;
}

// The long form of a path is an implementation detail: callers get back the
// form they know.
std::wstring WithoutLongPrefix(const std::wstring& path) {
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
  if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
  return path;
}

bool IsDotName(const wchar_t* name) { return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0; }

std::FILE* StreamFromHandle(HANDLE handle, int flags, const char* mode) {
  const int descriptor = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(handle), flags);
  if (descriptor < 0) {
    ::CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = ::_fdopen(descriptor, mode);
  if (file == nullptr) ::_close(descriptor);
  return file;
}

}  // namespace

std::FILE* OpenFile(const char* path, const char* mode) {
  std::wstring native;
  if (!ToSystemPath(path, native) || mode == nullptr) return nullptr;
  // Binary always: text mode would turn every 0x0A written into 0x0D 0x0A.
  std::wstring wideMode(mode, mode + std::strlen(mode));
  if (wideMode.find_first_of(L"bt") == std::wstring::npos) wideMode += L'b';
  return ::_wfopen(native.c_str(), wideMode.c_str());
}

bool SeekFile(std::FILE* file, std::int64_t offset, int origin) {
  return file != nullptr && ::_fseeki64(file, offset, origin) == 0;
}

std::int64_t TellFile(std::FILE* file) { return file != nullptr ? ::_ftelli64(file) : -1; }

std::vector<FoundEntry> FindEntries(const char* pattern) {
  std::vector<FoundEntry> entries;
  std::wstring native;
  if (!ToSystemPath(pattern, native)) return entries;
  // The system's search has no answer for a path ending in a separator.
  if (native.back() == L'\\') return entries;
  const std::size_t cut = native.find_last_of(L'\\');
  const bool wildcard = HasWildcard(cut == std::wstring::npos ? native : native.substr(cut + 1));
  WIN32_FIND_DATAW found{};
  SearchHandle search(::FindFirstFileW(native.c_str(), &found));
  if (!search.valid()) {
    // A drive ("C:") is a folder that the search does not list as an entry.
    const DWORD attributes = wildcard ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(native.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        native.find_first_of(L'\\') == std::wstring::npos) {
      entries.push_back({pattern, true});
    }
    return entries;
  }
  do {
    if (wildcard && IsDotName(found.cFileName)) continue;
    std::string name;
    if (!CodePage(found.cFileName, std::wcslen(found.cFileName), name)) continue;
    entries.push_back({name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (wildcard && ::FindNextFileW(search.get(), &found));
  std::sort(entries.begin(), entries.end(),
            [](const FoundEntry& a, const FoundEntry& b) { return a.name < b.name; });
  return entries;
}

bool FindFirstExists(const char* pattern) { return !FindEntries(pattern).empty(); }

bool GetPathKind(const char* path, bool& isDirectory, bool& isRegularFile) {
  isDirectory = false;
  isRegularFile = false;
  std::wstring native;
  if (!ToSystemPath(path, native)) return false;
  const DWORD attributes = ::GetFileAttributesW(native.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (!isDirectory && (attributes & FILE_ATTRIBUTE_DEVICE) == 0) {
    // Device names ("NUL", "CON") and pipes answer too: only a disk file is a file.
    KernelHandle file(::CreateFileW(native.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    isRegularFile = file.valid() && ::GetFileType(file.get()) == FILE_TYPE_DISK;
  }
  return true;
}

bool IsSameFile(const char* first, const char* second) {
  std::wstring nativeFirst;
  std::wstring nativeSecond;
  if (!ToSystemPath(first, nativeFirst) || !ToSystemPath(second, nativeSecond)) return false;
  // A file is its volume and its index there, whatever the spelling of its path.
  auto identify = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    KernelHandle file(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file.valid() && ::GetFileInformationByHandle(file.get(), &info) != 0;
  };
  BY_HANDLE_FILE_INFORMATION a{};
  BY_HANDLE_FILE_INFORMATION b{};
  return identify(nativeFirst, a) && identify(nativeSecond, b) && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
         a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

bool DeleteFile(const char* path) {
  std::wstring native;
  return ToSystemPath(path, native) && ::DeleteFileW(native.c_str()) != 0;
}

bool CreateDirectory(const char* path) {
  std::wstring native;
  return ToSystemPath(path, native) && ::CreateDirectoryW(native.c_str(), nullptr) != 0;
}

bool RenameFile(const char* from, const char* to) {
  std::wstring nativeFrom;
  std::wstring nativeTo;
  if (!ToSystemPath(from, nativeFrom) || !ToSystemPath(to, nativeTo)) return false;
  // A file written beside its target (CreateFileBeside) is hidden while it is
  // unfinished; in the target's place it is an ordinary file.
  const std::size_t cut = nativeFrom.find_last_of(L'\\');
  const bool beside = nativeFrom.compare(cut == std::wstring::npos ? 0 : cut + 1, 1, L".") == 0;
  const DWORD attributes = ::GetFileAttributesW(nativeFrom.c_str());
  if (beside && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN) != 0) {
    ::SetFileAttributesW(nativeFrom.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
  }
  // The two names are in one folder, so this is a rename within one volume
  // and no copy: MOVEFILE_WRITE_THROUGH, which only waits for a copy, would
  // add nothing.
  return ::MoveFileExW(nativeFrom.c_str(), nativeTo.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

std::string GetProgramPath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) {
      buffer.resize(length);
      break;
    }
    if (buffer.size() >= 32768) return std::string();
    buffer.resize(buffer.size() * 2);
  }
  std::string text;
  if (!CodePage(WithoutLongPrefix(buffer), text)) return std::string();
  return text;
}

bool SetCurrentDirectory(const char* path) {
  std::wstring native;
  return ToSystemPath(path, native) && ::SetCurrentDirectoryW(native.c_str()) != 0;
}

std::string GetCurrentDirectory() {
  const DWORD needed = ::GetCurrentDirectoryW(0, nullptr);
  if (needed == 0) return std::string();
  std::wstring buffer(needed, L'\0');
  const DWORD length = ::GetCurrentDirectoryW(needed, buffer.data());
  if (length == 0 || length >= needed) return std::string();
  buffer.resize(length);
  std::string text;
  if (!CodePage(WithoutLongPrefix(buffer), text)) return std::string();
  return text;
}

bool IsAbsolutePath(const char* path) {
  if (path == nullptr) return false;
  // "C:\..." names one file from anywhere, and so does "\\server\share";
  // "\x" and "C:x" still depend on the current drive or its folder.
  const bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) && path[1] == ':' &&
                     IsPathSeparator(path[2]);
  return drive || (IsPathSeparator(path[0]) && IsPathSeparator(path[1]));
}

bool IsWritableDirectory(const char* path) {
  std::wstring native;
  if (!ToSystemPath(path, native)) return false;
  const DWORD attributes = ::GetFileAttributesW(native.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
  // The read-only attribute of a folder says nothing on Windows: try it.
  static std::atomic<unsigned> serial{0};
  if (native.back() != L'\\') native += L'\\';
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring probe = native + L".pictomill-probe-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                               std::to_wstring(serial++);
    KernelHandle file(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY, nullptr));
    if (file.valid()) {
      ::CloseHandle(file.release());
      ::DeleteFileW(probe.c_str());
      return true;
    }
    if (::GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  return false;
}

bool CreateDirectories(const char* path) {
  std::wstring native;
  if (!ToSystemPath(path, native)) return false;
  // Skip what names the volume: "\\?\", "C:\", "\\server\share\".
  std::size_t start = 0;
  if (native.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    start = native.find(L'\\', native.find(L'\\', 8) + 1);
  } else if (native.rfind(L"\\\\?\\", 0) == 0) {
    start = native.find(L'\\', 4);
  } else if (native.rfind(L"\\\\", 0) == 0) {
    start = native.find(L'\\', native.find(L'\\', 2) + 1);
  } else if (native.size() >= 2 && native[1] == L':') {
    start = 2;
  }
  if (start == std::wstring::npos) start = native.size();
  for (std::size_t i = start + 1; i <= native.size(); ++i) {
    if (i == native.size() || native[i] == L'\\') {
      const std::wstring part = native.substr(0, i);
      if (part.empty() || part.back() == L'\\') continue;
      if (::CreateDirectoryW(part.c_str(), nullptr) == 0 && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        // A drive root or a share answers "access denied" where it exists.
        const DWORD attributes = ::GetFileAttributesW(part.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
      }
    }
  }
  const DWORD attributes = ::GetFileAttributesW(native.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string GetEnvironment(const char* name) {
  std::u16string wideName;
  if (name == nullptr || !CodePageToUtf16(name, wideName) || wideName.empty()) return std::string();
  const std::wstring key = Wide(wideName);
  const DWORD needed = ::GetEnvironmentVariableW(key.c_str(), nullptr, 0);
  if (needed == 0) return std::string();
  std::wstring value(needed, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(key.c_str(), value.data(), needed);
  if (length == 0 || length >= needed) return std::string();
  value.resize(length);
  std::string text;
  if (!CodePage(value, text)) return std::string();
  return text;
}

std::FILE* CreateFileBeside(const char* target, std::string& tempPath, bool readBack) {
  tempPath.clear();
  std::wstring native;
  if (!ToSystemPath(target, native)) return nullptr;
  const std::size_t cut = native.find_last_of(L'\\');
  const std::wstring folder = cut == std::wstring::npos ? std::wstring() : native.substr(0, cut + 1);
  const std::wstring name = cut == std::wstring::npos ? native : native.substr(cut + 1);
  if (name.empty()) return nullptr;
  static std::atomic<unsigned> serial{0};
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::wstring candidate = folder + L"." + name + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(serial++);
    // Hidden while unfinished; RenameFile makes it an ordinary file again.
    // Windows has no mode bits to carry over from a target it replaces.
    HANDLE handle = ::CreateFileW(candidate.c_str(), GENERIC_WRITE | (readBack ? GENERIC_READ : 0), FILE_SHARE_READ,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (::GetLastError() == ERROR_FILE_EXISTS) continue;
      return nullptr;
    }
    std::string text;
    if (!CodePage(WithoutLongPrefix(candidate), text)) {
      ::CloseHandle(handle);
      ::DeleteFileW(candidate.c_str());
      return nullptr;
    }
    std::FILE* file = readBack ? StreamFromHandle(handle, _O_RDWR | _O_BINARY, "w+b")
                               : StreamFromHandle(handle, _O_WRONLY | _O_BINARY, "wb");
    if (file == nullptr) {
      ::DeleteFileW(candidate.c_str());
      return nullptr;
    }
    tempPath = std::move(text);
    return file;
  }
  return nullptr;
}

std::string GetTempPath() {
  // TMP may name a folder longer than MAX_PATH: ask for the length first.
  const DWORD needed = ::GetTempPathW(0, nullptr);
  if (needed == 0) return std::string();
  std::wstring folder(needed + 1, L'\0');
  const DWORD length = ::GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
  if (length == 0 || length >= folder.size()) return std::string();
  folder.resize(length);
  // "C:\" keeps its separator: without it, it would name the drive's current folder.
  while (folder.size() > 1 && folder.back() == L'\\' && !(folder.size() == 3 && folder[1] == L':')) {
    folder.pop_back();
  }
  std::string text;
  if (!CodePage(folder, text)) return std::string();
  return text;
}

void WriteStandardError(std::string_view text) {
  HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
  std::fflush(stderr);
  DWORD mode = 0;
  if (::GetConsoleMode(error, &mode) != 0) {
    std::u16string utf16;
    if (!CodePageToUtf16(std::string(text).c_str(), utf16)) utf16.assign(text.begin(), text.end());
    const std::wstring wide = Wide(utf16);
    DWORD written = 0;
    ::WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  std::string utf8;
  if (!CodePageToUtf8(std::string(text).c_str(), utf8)) utf8 = text;
  DWORD written = 0;
  ::WriteFile(error, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

CreateResult CreateScratchFile(const char* path, std::uint64_t size, FileHandle& handle) {
  handle = kNoFile;
  std::wstring native;
  if (!ToSystemPath(path, native)) return CreateResult::Failed;
  // CREATE_NEW is the exclusive step that hands each thread its own number;
  // FILE_FLAG_DELETE_ON_CLOSE makes the system remove the file with its last
  // handle, also when the process is killed.
  KernelHandle file(::CreateFileW(native.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                  nullptr));
  if (!file.valid()) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? CreateResult::NameTaken
                                                                       : CreateResult::Failed;
  }
  // Setting the end allocates the space now, so a full disk fails here and
  // not as an exception on the first write through the mapping.
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(size);
  if (size > 0 && (::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) == 0 || ::SetEndOfFile(file.get()) == 0)) {
    return CreateResult::Failed;  // the handle goes, and the file with it
  }
  handle = reinterpret_cast<FileHandle>(file.release());
  return CreateResult::Created;
}

void CloseFileHandle(FileHandle handle) {
  if (handle != kNoFile) ::CloseHandle(reinterpret_cast<HANDLE>(handle));
}

void* MapFile(FileHandle handle, std::size_t size) {
  if (handle == kNoFile || size == 0) return nullptr;
  const auto bytes = static_cast<std::uint64_t>(size);
  // The view keeps the mapping object alive: its handle is not needed after.
  KernelHandle mapping(::CreateFileMappingW(reinterpret_cast<HANDLE>(handle), nullptr, PAGE_READWRITE,
                                            static_cast<DWORD>(bytes >> 32), static_cast<DWORD>(bytes), nullptr));
  if (!mapping.valid()) return nullptr;
  return ::MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, size);
}

void UnmapFile(void* view, std::size_t size) {
  if (view != nullptr && size > 0) ::UnmapViewOfFile(view);
}

void FlushMappedRange(void* address, std::size_t bytes) {
  if (address != nullptr && bytes > 0) ::FlushViewOfFile(address, bytes);
}

}  // namespace platform
