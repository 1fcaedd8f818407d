#include "engine/core/ExifOrientation.h"

#include <cstring>

#include "engine/core/ByteReader.h"

namespace engine {
namespace {

constexpr std::size_t kIdentifierBytes = 6;
constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::size_t kEntryBytes = 12;

struct TiffFields {
  const ByteReader& bytes;
  bool bigEndian;
  [[nodiscard]] std::uint16_t U16(std::size_t at) const { return bigEndian ? bytes.U16be(at) : bytes.U16le(at); }
  [[nodiscard]] std::uint32_t U32(std::size_t at) const { return bigEndian ? bytes.U32be(at) : bytes.U32le(at); }
};

}  // namespace

int ExifOrientation(const std::uint8_t* payload, std::size_t size) {
  if (payload == nullptr || size < kIdentifierBytes || std::memcmp(payload, "Exif\0\0", kIdentifierBytes) != 0) {
    return 1;
  }
  const ByteReader bytes(payload + kIdentifierBytes, size - kIdentifierBytes);
  if (!bytes.Has(0, 8)) return 1;
  const std::uint16_t order = bytes.U16be(0);
  if (order != 0x4949 && order != 0x4D4D) return 1;
  const TiffFields tiff{bytes, order == 0x4D4D};
  if (tiff.U16(2) != 42) return 1;

  const std::size_t directory = tiff.U32(4);
  if (!bytes.Has(directory, 2)) return 1;
  const std::uint32_t entries = tiff.U16(directory);
  for (std::uint32_t i = 0; i < entries; ++i) {
    const std::size_t entry = directory + 2 + i * kEntryBytes;
    if (!bytes.Has(entry, kEntryBytes)) return 1;  // a count past the segment
    if (tiff.U16(entry) != kOrientationTag) continue;
    if (tiff.U16(entry + 2) != kTypeShort || tiff.U32(entry + 4) != 1) return 1;
    const std::uint16_t value = tiff.U16(entry + 8);
    return value >= 1 && value <= 8 ? value : 1;
  }
  return 1;
}

}  // namespace engine
