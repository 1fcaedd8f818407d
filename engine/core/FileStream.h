// An owned C stream. Close() reports whether everything written reached the
// file: a full disk often shows only at fflush or fclose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "engine/core/HeapBlock.h"

namespace engine {

class FileStream {
 public:
  FileStream() = default;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;
  ~FileStream() { Close(); }

  [[nodiscard]] bool Open(const char* path, const char* mode);
  [[nodiscard]] bool IsOpen() const { return file_ != nullptr; }
  [[nodiscard]] std::FILE* Get() const { return file_; }

  // One fread / fwrite of the whole block; a short transfer is a failure.
  [[nodiscard]] bool ReadExact(void* data, std::size_t bytes);
  [[nodiscard]] bool WriteExact(const void* data, std::size_t bytes);
  [[nodiscard]] bool Seek(std::int64_t offset, int origin);
  [[nodiscard]] std::int64_t Size();  // the stream is left at its start

  // True when the stream was open, had no write error, and fflush and fclose
  // both succeeded. Safe to call any number of times.
  bool Close();

 private:
  // Whole rows and the libraries' 4 KiB chunks would otherwise each be a system
  // call: a picture's rows go through in a few hundred large ones instead.
  static constexpr std::size_t kBufferBytes = 256 * 1024;
  std::FILE* file_ = nullptr;
  HeapBlock buffer_;
  bool failed_ = false;
};

}  // namespace engine
