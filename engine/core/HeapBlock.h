// An owned block of heap bytes, not initialised.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <utility>

namespace engine {

class HeapBlock {
 public:
  HeapBlock() = default;
  HeapBlock(const HeapBlock&) = delete;
  HeapBlock& operator=(const HeapBlock&) = delete;
  ~HeapBlock() { Free(); }

  // Frees what it holds, then allocates; empty on failure.
  int Allocate(std::size_t bytes) {
    Free();
    if (bytes == 0) return 0;
    data_ = std::malloc(bytes);
    if (data_ == nullptr) return 0;
    size_ = bytes;
    return 1;
  }
  int Free() {
    std::free(data_);
    data_ = nullptr;
    size_ = 0;
    return 1;
  }

  void Swap(HeapBlock& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
  }

  [[nodiscard]] void* Data() const { return data_; }
  template <class T>
  [[nodiscard]] T* As() const { return static_cast<T*>(data_); }
  [[nodiscard]] std::size_t Size() const { return size_; }

 private:
  void* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace engine
