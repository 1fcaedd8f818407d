// The kernel services the engine and the host stand on: files, the temporary
// directory, mapped scratch files and the code page. Every text that crosses
// this interface is a byte string in the program's code page (GB18030, by the
// program's own tables on every system, so every Unicode name has a spelling).
// The conversion to the system's own encoding (UTF-8 on Linux, UTF-16 on
// Windows) happens here and nowhere else. posix/ and win32/ hold one
// implementation each, common/ what both share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// A separator as a path may be typed: on Windows '/' works as well as '\'.
inline constexpr bool IsPathSeparator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

// --- Code page -------------------------------------------------------------

// True when the byte starts a two-byte unit of the code page (0x81-0xFE).
bool IsDBCSLeadByte(unsigned char byte);

// Code page -> UTF-8 for the system. A trailing partial character (a cut
// inside a two-byte unit or a four-byte GB18030 sequence) is dropped; any other
// invalid sequence makes the conversion fail.
bool CodePageToUtf8(const char* text, std::string& utf8);
// UTF-8 -> code page, for texts arriving from the system.
bool Utf8ToCodePage(const char* utf8, std::string& text);
// The same for UTF-16 (the Windows system's own texts, and the window's).
bool CodePageToUtf16(const char* text, std::u16string& utf16);
bool Utf16ToCodePage(std::u16string_view utf16, std::string& text);

// Position of the last path separator of a code-page path that is a whole
// character (never the second byte of a two-byte one, as in "\x9C\x5C");
// std::string::npos when there is none. On Windows a '/' counts as well.
std::size_t FindLastSeparator(std::string_view path);

// --- Files -----------------------------------------------------------------

// fopen for a code-page path. Null when the path does not convert or the
// open fails.
std::FILE* OpenFile(const char* path, const char* mode);
// 64-bit stream positions (files past 2 GiB).
bool SeekFile(std::FILE* file, std::int64_t offset, int origin);
std::int64_t TellFile(std::FILE* file);

struct FoundEntry {
  std::string name;  // in the code page, without the folder
  bool isDirectory = false;
};

// The Windows find-first semantics: a path without wildcards names itself
// (file or directory); when its last part holds '*' or '?', every entry of the
// folder matching it (ASCII letters compared case-insensitively). The result is
// sorted by the bytes of the names, so callers do not depend on directory order.
std::vector<FoundEntry> FindEntries(const char* pattern);

// True when the pattern names or matches anything (find-first succeeds).
bool FindFirstExists(const char* pattern);

// Windows wildcard match of one name: '*' any run, '?' one character,
// ASCII letters compared case-insensitively.
bool MatchesWildcard(const char* pattern, const char* name);

// Attributes of one exact path (no wildcards): false when nothing is there.
bool GetPathKind(const char* path, bool& isDirectory, bool& isRegularFile);

// True when both paths name one existing file (links and spellings included).
bool IsSameFile(const char* first, const char* second);

bool DeleteFile(const char* path);
bool CreateDirectory(const char* path);
// Replaces an existing file at to in one step: a reader sees the old file or
// the new one, never neither.
bool RenameFile(const char* from, const char* to);

// --- Process and folders (for the host) ---------------------------------------

// The running program's full path, in the code page; empty when unknown.
std::string GetProgramPath();
bool SetCurrentDirectory(const char* path);
// The working directory in the code page; empty when it cannot be told or spelt.
std::string GetCurrentDirectory();
// True for a path that names the same file from any working directory.
bool IsAbsolutePath(const char* path);
// True when a file can be created in the folder (tried, then removed).
bool IsWritableDirectory(const char* path);
// Creates the folder and any missing parents; true when it exists afterwards.
bool CreateDirectories(const char* path);
// An environment variable in the code page; empty when unset.
std::string GetEnvironment(const char* name);

// Creates a new, uniquely named hidden file in the folder of target (".name."
// followed by a suffix), open "wb" (or "w+b" with readBack), for writing a file
// in full before RenameFile puts it over the target. It takes the mode of an
// existing target. Null on failure.
std::FILE* CreateFileBeside(const char* target, std::string& tempPath, bool readBack = false);

// The system temporary directory, without a trailing separator (a root keeps
// it: "/", "C:\\"). Linux: $TMPDIR when set and not empty (even when
// unusable), else /tmp. Windows: what GetTempPathW answers, used as given.
std::string GetTempPath();

// A code-page text on standard error, legible there: UTF-16 through the
// console on a Windows console, UTF-8 everywhere else.
void WriteStandardError(std::string_view text);

// --- Scratch files ---------------------------------------------------------

using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

enum class CreateResult { Created, NameTaken, Failed };

// Creates a new file exclusively (never follows or replaces anything already
// at the path), readable and writable by the owner only, with size bytes of
// space reserved so that writing through a mapping can never run out of disk.
// On Windows it is hidden and temporary and goes with its last handle, so not
// even a killed program leaves one behind.
CreateResult CreateScratchFile(const char* path, std::uint64_t size, FileHandle& handle);
void CloseFileHandle(FileHandle handle);

// A shared read/write mapping of the first size bytes of the file.
void* MapFile(FileHandle handle, std::size_t size);
void UnmapFile(void* view, std::size_t size);
// Asks for write-back of the range without waiting for it.
void FlushMappedRange(void* address, std::size_t bytes);

}  // namespace platform
