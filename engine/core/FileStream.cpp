#include "engine/core/FileStream.h"

#include "engine/core/FileHelpers.h"
#include "platform/Platform.h"

namespace engine {

bool FileStream::Open(const char* path, const char* mode) {
  Close();
  file_ = platform::OpenFile(path, mode);
  failed_ = false;
  if (file_ == nullptr) return false;
  // Without the buffer the stream keeps its own small one.
  if (buffer_.Data() != nullptr || buffer_.Allocate(kBufferBytes) == 1) {
    (void)std::setvbuf(file_, buffer_.As<char>(), _IOFBF, buffer_.Size());
  }
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

bool FileStream::Close() {
  if (file_ == nullptr) return false;
  bool ok = !failed_ && std::ferror(file_) == 0;
  if (std::fflush(file_) != 0) ok = false;
  if (std::fclose(file_) != 0) ok = false;
  file_ = nullptr;
  failed_ = false;
  return ok;
}

}  // namespace engine
