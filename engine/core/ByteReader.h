// Bounds-checked access to a header read with one fread, and the matching
// field writers for headers built in a fixed buffer. A read outside the bytes
// gives 0; callers test Has() first where a short header is a refusal.
#pragma once

#include <cstddef>
#include <cstdint>

namespace engine {

class ByteReader {
 public:
  ByteReader(const void* data, std::size_t size) : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}

  [[nodiscard]] bool Has(std::size_t offset, std::size_t count) const {
    return offset <= size_ && count <= size_ - offset;
  }
  [[nodiscard]] std::size_t Size() const { return size_; }

  [[nodiscard]] std::uint8_t U8(std::size_t offset) const { return Has(offset, 1) ? data_[offset] : 0; }
  [[nodiscard]] std::uint16_t U16le(std::size_t offset) const {
    if (!Has(offset, 2)) return 0;
    return static_cast<std::uint16_t>(data_[offset] | data_[offset + 1] << 8);
  }
  [[nodiscard]] std::uint32_t U32le(std::size_t offset) const {
    if (!Has(offset, 4)) return 0;
    return static_cast<std::uint32_t>(data_[offset]) | static_cast<std::uint32_t>(data_[offset + 1]) << 8 |
           static_cast<std::uint32_t>(data_[offset + 2]) << 16 | static_cast<std::uint32_t>(data_[offset + 3]) << 24;
  }
  [[nodiscard]] std::int32_t I32le(std::size_t offset) const { return static_cast<std::int32_t>(U32le(offset)); }
  [[nodiscard]] std::uint16_t U16be(std::size_t offset) const {
    if (!Has(offset, 2)) return 0;
    return static_cast<std::uint16_t>(data_[offset] << 8 | data_[offset + 1]);
  }
  [[nodiscard]] std::uint32_t U32be(std::size_t offset) const {
    if (!Has(offset, 4)) return 0;
    return static_cast<std::uint32_t>(data_[offset]) << 24 | static_cast<std::uint32_t>(data_[offset + 1]) << 16 |
           static_cast<std::uint32_t>(data_[offset + 2]) << 8 | static_cast<std::uint32_t>(data_[offset + 3]);
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

inline void PutU16le(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}
inline void PutU32le(std::uint8_t* at, std::uint32_t value) {
  PutU16le(at, value);
  PutU16le(at + 2, value >> 16);
}
inline void PutU16be(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value >> 8);
  at[1] = static_cast<std::uint8_t>(value);
}
inline void PutU32be(std::uint8_t* at, std::uint32_t value) {
  PutU16be(at, value >> 16);
  PutU16be(at + 2, value);
}

}  // namespace engine
