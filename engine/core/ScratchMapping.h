// A scratch file in the temporary directory, mapped into memory. Images keep
// their pixels here and several codecs their large work areas, so that big
// pictures are bounded by the temporary directory rather than by the heap.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/core/TextBuffer.h"
#include "platform/Platform.h"

namespace engine {

class ScratchMapping {
 public:
  ScratchMapping() = default;
  ScratchMapping(const ScratchMapping&) = delete;
  ScratchMapping& operator=(const ScratchMapping&) = delete;
  // A scratch file is worthless once its mapping is gone, so destruction
  // deletes it as well.
  ~ScratchMapping() { Close(1); }

  // A new file of exactly size bytes (reading as zeros), mapped read/write.
  // Without a path the file is prefix + the first free number + ".tmp" in the
  // temporary directory; taking the number and creating the file are one step.
  int Open(std::uint32_t size, const char* prefix, const char* path = nullptr);
  // Unmaps and closes; deletes the file when deleteFile is 1. Always 1.
  int Close(int deleteFile);
  // Exchanges the two files and views (an image taking over a turned copy).
  void Swap(ScratchMapping& other) noexcept;
  // Write-back without waiting; 0 bytes means the whole view.
  void FlushView(void* address, std::size_t bytes);

  [[nodiscard]] std::uint8_t* View() const { return view_; }
  [[nodiscard]] std::uint32_t Size() const { return size_; }
  [[nodiscard]] const char* Path() const { return path_.Text(); }

 private:
  [[nodiscard]] bool CreateAt(const char* path, std::uint32_t size);

  platform::FileHandle file_ = platform::kNoFile;
  std::uint8_t* view_ = nullptr;
  TextBuffer path_;
  std::uint32_t size_ = 0;
};

}  // namespace engine
