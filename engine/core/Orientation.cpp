#include "engine/core/Orientation.h"

#include <algorithm>
#include <cstring>

namespace engine {
namespace {

// Swaps two pixels of bytes B.
template <std::uint32_t B>
void SwapPixels(std::uint8_t* a, std::uint8_t* b) {
  std::uint8_t held[B];
  std::memcpy(held, a, B);
  std::memcpy(a, b, B);
  std::memcpy(b, held, B);
}

template <std::uint32_t B>
void MirrorRow(std::uint8_t* row, std::int32_t width) {
  for (std::int32_t left = 0, right = width - 1; left < right; ++left, --right) {
    SwapPixels<B>(row + static_cast<std::size_t>(left) * B, row + static_cast<std::size_t>(right) * B);
  }
}

// 2, 3 and 4: mirror each row, swap rows top for bottom, or both.
template <std::uint32_t B>
void FlipInPlace(ImageBuffer& image, bool mirrorRows, bool swapRows) {
  const std::int32_t width = image.GetWidth();
  const std::int32_t height = image.GetHeight();
  if (swapRows) {
    const std::size_t rowBytes = image.GetRowBytes();
    for (std::int32_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
      std::swap_ranges(image.GetRow(top), image.GetRow(top) + rowBytes, image.GetRow(bottom));
      if (mirrorRows) {
        MirrorRow<B>(image.GetRow(top), width);
        MirrorRow<B>(image.GetRow(bottom), width);
      }
    }
    if (mirrorRows && height % 2 == 1) MirrorRow<B>(image.GetRow(height / 2), width);
    return;
  }
  for (std::int32_t y = 0; y < height; ++y) MirrorRow<B>(image.GetRow(y), width);
}

// 5 to 8: target pixel (x, y) is source pixel (y, x), with the source column
// counted from the right when reverseColumns and the source row from the
// bottom when reverseRows. Square blocks keep the rows read and the rows
// written in the cache together.
template <std::uint32_t B>
void TransposeInto(const ImageBuffer& source, ImageBuffer& target, bool reverseColumns, bool reverseRows) {
  constexpr std::int32_t kBlock = 64;
  const std::int32_t sourceWidth = source.GetWidth();
  const std::int32_t sourceHeight = source.GetHeight();
  const std::int32_t width = target.GetWidth();    // = source height
  const std::int32_t height = target.GetHeight();  // = source width
  for (std::int32_t top = 0; top < height; top += kBlock) {
    const std::int32_t bottom = std::min(height, top + kBlock);
    for (std::int32_t left = 0; left < width; left += kBlock) {
      const std::int32_t right = std::min(width, left + kBlock);
      for (std::int32_t y = top; y < bottom; ++y) {
        const std::int32_t sourceX = reverseColumns ? sourceWidth - 1 - y : y;
        std::uint8_t* out = target.GetRow(y) + static_cast<std::size_t>(left) * B;
        for (std::int32_t x = left; x < right; ++x, out += B) {
          const std::int32_t sourceY = reverseRows ? sourceHeight - 1 - x : x;
          std::memcpy(out, source.GetRow(sourceY) + static_cast<std::size_t>(sourceX) * B, B);
        }
      }
    }
  }
}

template <std::uint32_t B>
int Apply(ImageBuffer& image, int orientation) {
  switch (orientation) {
    case 2:
      FlipInPlace<B>(image, true, false);
      return 1;
    case 3:
      FlipInPlace<B>(image, true, true);
      return 1;
    case 4:
      FlipInPlace<B>(image, false, true);
      return 1;
    default:
      break;
  }
  ImageBuffer turned;
  if (turned.Create(image.GetHeight(), image.GetWidth(), image.GetBitsPerPixel(), image.GetPaletteCount()) == 0) {
    return 0;
  }
  const std::uint32_t entries = std::min(turned.GetPaletteEntryCount(), image.GetPaletteEntryCount());
  if (entries > 0) std::memcpy(turned.GetPalette(), image.GetPalette(), entries * sizeof(PaletteEntry));
  TransposeInto<B>(image, turned, orientation == 7 || orientation == 8, orientation == 6 || orientation == 7);
  image.SwapWith(turned);  // the stored picture's mapping goes with turned
  return 1;
}

}  // namespace

int ApplyOrientation(ImageBuffer& image, int orientation) {
  if (orientation < 2 || orientation > 8 || image.GetPixels() == nullptr) return 1;
  switch (image.GetBitsPerPixel()) {
    case 8:
      return Apply<1>(image, orientation);
    case 16:
      return Apply<2>(image, orientation);
    case 24:
      return Apply<3>(image, orientation);
    case 32:
      return Apply<4>(image, orientation);
    default:
      return 1;
  }
}

}  // namespace engine
