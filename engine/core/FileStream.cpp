#include "engine/core/FileStream.h"

#include "engine/core/FileHelpers.h"
#include "platform/Platform.h"

namespace engine {
namespace {

void UseBuffer(std::FILE* file, HeapBlock& buffer, std::size_t bytes) {
  // Without the buffer the stream keeps its own small one.
  if (buffer.Data() != nullptr || buffer.Allocate(bytes) == 1) {
    (void)std::setvbuf(file, buffer.As<char>(), _IOFBF, buffer.Size());
  }
}

}  // namespace

bool FileStream::Open(const char* path, const char* mode) {
  Close();
  file_ = platform::OpenFile(path, mode);
  if (file_ == nullptr) return false;
  UseBuffer(file_, buffer_, kBufferBytes);
  return true;
}

bool FileStream::OpenReplacement(const char* target, bool readBack) {
  Close();
  if (target == nullptr || *target == '\0') return false;
  // A folder cannot be replaced by a file, and renaming over it would fail
  // only after the whole picture was written.
  bool isDirectory = false;
  bool isRegularFile = false;
  if (platform::GetPathKind(target, isDirectory, isRegularFile) && isDirectory) return false;
  file_ = platform::CreateFileBeside(target, temporary_, readBack);
  if (file_ == nullptr) {
    temporary_.clear();
    return false;
  }
  target_ = target;
  UseBuffer(file_, buffer_, kBufferBytes);
  return true;
}

bool FileStream::ReadExact(void* data, std::size_t bytes) {
  if (file_ == nullptr) return false;
  if (bytes == 0) return true;
  return std::fread(data, bytes, 1, file_) == 1;
}

bool FileStream::WriteExact(const void* data, std::size_t bytes) {
  if (file_ == nullptr) return false;
  if (bytes == 0) return true;
  if (std::fwrite(data, bytes, 1, file_) != 1) {
    failed_ = true;
    return false;
  }
  return true;
}

bool FileStream::Seek(std::int64_t offset, int origin) {
  return platform::SeekFile(file_, offset, origin);
}

std::int64_t FileStream::Size() { return GetOpenFileSize(file_); }

bool FileStream::CloseStream() {
  if (file_ == nullptr) return false;
  bool ok = !failed_ && std::ferror(file_) == 0;
  if (std::fflush(file_) != 0) ok = false;
  if (std::fclose(file_) != 0) ok = false;
  file_ = nullptr;
  failed_ = false;
  return ok;
}

bool FileStream::Commit() {
  if (temporary_.empty()) return Close();
  bool ok = CloseStream();
  if (ok) ok = platform::RenameFile(temporary_.c_str(), target_.c_str());
  if (!ok) platform::DeleteFile(temporary_.c_str());
  temporary_.clear();
  target_.clear();
  return ok;
}

bool FileStream::Close() {
  const bool ok = CloseStream();
  if (temporary_.empty()) return ok;
  platform::DeleteFile(temporary_.c_str());
  temporary_.clear();
  target_.clear();
  return false;
}

}  // namespace engine
