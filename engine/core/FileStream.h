// An owned C stream. Close() reports whether everything written reached the
// file: a full disk often shows only at fflush or fclose.
//
// Every writer opens its target with OpenReplacement: the bytes go to a new
// file beside the target, which replaces the target only at Commit, once the
// last write, the flush and the close succeeded. A failed or abandoned write
// therefore leaves the previous file exactly as it was (or no file), and a
// conversion onto its own source keeps the source until the new file is whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/core/HeapBlock.h"

namespace engine {

class FileStream {
 public:
  FileStream() = default;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;
  ~FileStream() { Close(); }

  // For reading: "rb".
  [[nodiscard]] bool Open(const char* path, const char* mode);
  // For writing target: a new, empty file beside it, open "wb" (or "w+b" when
  // the writer reads back what it wrote). The target is not touched.
  [[nodiscard]] bool OpenReplacement(const char* target, bool readBack = false);
  [[nodiscard]] bool IsOpen() const { return file_ != nullptr; }
  [[nodiscard]] std::FILE* Get() const { return file_; }

  // One fread / fwrite of the whole block; a short transfer is a failure.
  [[nodiscard]] bool ReadExact(void* data, std::size_t bytes);
  [[nodiscard]] bool WriteExact(const void* data, std::size_t bytes);
  [[nodiscard]] bool Seek(std::int64_t offset, int origin);
  [[nodiscard]] std::int64_t Size();  // the stream is left at its start
  // Records a failure the stream itself could not see (a library's own write
  // error, say), so that Commit refuses to replace the target.
  void MarkFailed() { failed_ = true; }

  // A replacement: closes it and, when every write, the flush and the close
  // succeeded, renames it over the target. Otherwise as Close. True only when
  // the target now holds the new bytes.
  bool Commit();
  // True when the stream was open, had no write error, and fflush and fclose
  // both succeeded. A replacement that was not committed is removed (false).
  // Safe to call any number of times.
  bool Close();

 private:
  bool CloseStream();

  // Whole rows and the libraries' 4 KiB chunks would otherwise each be a system
  // call: a picture's rows go through in a few hundred large ones instead.
  static constexpr std::size_t kBufferBytes = 256 * 1024;
  std::FILE* file_ = nullptr;
  HeapBlock buffer_;
  bool failed_ = false;
  std::string target_;     // set while a replacement is open
  std::string temporary_;  // the replacement's own path
};

}  // namespace engine
