#include "engine/core/FileHelpers.h"

#include "platform/Platform.h"

namespace engine {

int FileExists(const char* path) {
  if (path == nullptr || *path == '\0') return 0;
  return platform::FindFirstExists(path) ? 1 : 0;
}

int IsDirectory(const char* path) {
  TextBuffer trimmed;
  if (trimmed.Assign(path) == 0) return 0;
  trimmed.RemoveTrailingSeparator();
  if (trimmed.IsEmpty()) {
    // The root itself: it has no name of its own for find-first to match.
    bool isDirectory = false;
    bool isRegularFile = false;
    return path != nullptr && *path != '\0' && platform::GetPathKind(path, isDirectory, isRegularFile) && isDirectory
               ? 1
               : 0;
  }
  const auto entries = platform::FindEntries(trimmed.Text());
  return !entries.empty() && entries.front().isDirectory ? 1 : 0;
}

int DeleteFileIfExists(const char* path) {
  if (FileExists(path) == 0) return 1;
  return platform::DeleteFile(path) ? 1 : 0;
}

bool IsRegularFile(const char* path) {
  bool isDirectory = false;
  bool isRegularFile = false;
  return platform::GetPathKind(path, isDirectory, isRegularFile) && isRegularFile;
}

std::int64_t GetOpenFileSize(std::FILE* stream) {
  if (stream == nullptr) return 0;
  if (!platform::SeekFile(stream, 0, SEEK_END)) return 0;
  const std::int64_t end = platform::TellFile(stream);
  if (!platform::SeekFile(stream, 0, SEEK_SET) || end < 0) return 0;
  return end;
}

int ResolveTempDirectory(TextBuffer& directory, const char* given) {
  if (given != nullptr && *given != '\0') {
    directory.Assign(given);
  } else if (directory.Assign(platform::GetTempPath().c_str()) == 0) {
    return 0;
  }
  if (IsDirectory(directory.Text()) == 0) return 0;
  directory.AddTrailingSeparator();
  return 1;
}

int MakeTempFileName(TextBuffer& result, const char* prefix, const char* directory) {
  TextBuffer folder;
  if (ResolveTempDirectory(folder, directory) == 0) return 0;
  for (std::int32_t n = 0; n <= 2047483647; ++n) {
    TextBuffer candidate(folder.Text());
    candidate.Append(prefix);
    candidate.AppendNumber(n);
    candidate.Append(".tmp");
    if (FileExists(candidate.Text()) == 0) {
      result.Assign(candidate);
      return 1;
    }
  }
  return 0;
}

}  // namespace engine
