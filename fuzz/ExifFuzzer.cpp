#include <algorithm>
#include <cstdlib>

#include "engine/core/ExifOrientation.h"
#include "fuzz/FuzzSupport.h"

// Seeded with whole JPEG files: the block is taken from its identifier on, so
// the photos' own Exif blocks are what gets mutated.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static constexpr std::uint8_t kIdentifier[] = {'E', 'x', 'i', 'f', 0, 0};
  const std::uint8_t* start = std::search(data, data + size, kIdentifier, kIdentifier + sizeof kIdentifier);
  if (start == data + size) start = data;
  const int orientation = engine::ExifOrientation(start, static_cast<std::size_t>(data + size - start));
  if (orientation < 1 || orientation > 8) std::abort();
  return 0;
}
