// The engine's one decoded picture. Rows run top to bottom, packed without
// padding; 8-bit pixels are grey levels (no palette) or palette indices,
// 16-bit pixels are PackPixel16 words, 24-bit pixels R, G, B, 32-bit pixels a
// leading byte then R, G, B. The pixel bytes live in a scratch mapping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "engine/core/HeapBlock.h"
#include "engine/core/ScratchMapping.h"

namespace engine {

struct PaletteEntry {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
  std::uint8_t reserved;  // the quantiser sets it to 255; nothing reads it
  std::uint32_t key;      // the quantiser's sort key: red + green * 256 + blue * 65536
};
static_assert(sizeof(PaletteEntry) == 8);

// ((r / 8) * 1024 + (g / 8) * 32 + b / 8) * 2: five bits per channel, bit 0 clear.
constexpr std::uint16_t PackPixel16(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  return static_cast<std::uint16_t>(((red >> 3) * 1024 + (green >> 3) * 32 + (blue >> 3)) * 2);
}
struct Rgb {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
};
constexpr Rgb UnpackPixel16(std::uint32_t value) {
  return Rgb{static_cast<std::uint8_t>((value >> 8) & 0xF8), static_cast<std::uint8_t>((value >> 3) & 0xF8),
             static_cast<std::uint8_t>((value << 2) & 0xF8)};
}

class Palette {
 public:
  Palette() = default;
  Palette(const Palette&) = delete;
  Palette& operator=(const Palette&) = delete;

  // count entries, zero-filled (so an entry nobody filled reads as black).
  int Allocate(std::uint32_t count);
  int Clear();

  // The most frequent 16-bit colours of a picture, at most wanted of them,
  // ordered by key.
  int BuildFromPixels(const std::uint8_t* pixels, std::uint32_t bitsPerPixel, std::int32_t width,
                      std::int32_t height, std::int32_t wanted);
  int SortByKey();
  // Nearest entry by the key window; false (nothing written) with no entries.
  [[nodiscard]] bool FindIndex(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                               std::uint8_t& index) const;
  [[nodiscard]] bool FindIndexPacked(std::uint16_t pixel, std::uint8_t& index) const;
  // FindIndex's answer by bisection, for keys in ascending order (as SortByKey
  // leaves them); any other order may give another index.
  [[nodiscard]] bool FindIndexSorted(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                     std::uint8_t& index) const;

  void Swap(Palette& other) noexcept {
    entries_.Swap(other.entries_);
    std::swap(count_, other.count_);
  }

  [[nodiscard]] PaletteEntry* Entries() const { return entries_.As<PaletteEntry>(); }
  [[nodiscard]] std::uint32_t EntryCount() const { return count_; }

 private:
  HeapBlock entries_;
  std::uint32_t count_ = 0;
};

class ImageBuffer {
 public:
  ImageBuffer() = default;
  ImageBuffer(const ImageBuffer&) = delete;
  ImageBuffer& operator=(const ImageBuffer&) = delete;
  ~ImageBuffer() { Release(); }

  int Create(std::int32_t width, std::int32_t height, std::uint32_t bitsPerPixel, std::int32_t paletteCount);
  int Release();
  int CopyFrom(const ImageBuffer& source);
  // Writes a copy of this image at another depth into target: 32, 24 or
  // 16-bit colour, 8-bit grey (count 0) or an 8-bit quantised palette.
  int ConvertTo(ImageBuffer& target, std::uint32_t bitsPerPixel, std::int32_t paletteCount) const;
  // Exchanges pictures, scratch files and palettes with other.
  void SwapWith(ImageBuffer& other) noexcept;

  [[nodiscard]] std::int32_t GetWidth() const { return width_; }
  [[nodiscard]] std::int32_t GetHeight() const { return height_; }
  [[nodiscard]] std::uint32_t GetBitsPerPixel() const { return bitsPerPixel_; }
  [[nodiscard]] std::int32_t GetPaletteCount() const { return paletteCount_; }
  [[nodiscard]] PaletteEntry* GetPalette() const { return palette_.Entries(); }
  // The entries the palette really holds; a quantised image may report more.
  [[nodiscard]] std::uint32_t GetPaletteEntryCount() const { return palette_.EntryCount(); }
  [[nodiscard]] Palette& GetPaletteObject() { return palette_; }
  [[nodiscard]] std::uint8_t* GetPixels() const { return pixels_; }
  [[nodiscard]] std::uint32_t GetRowBytes() const;
  [[nodiscard]] std::uint8_t* GetRow(std::int32_t row) const {
    return pixels_ + static_cast<std::size_t>(row) * GetRowBytes();
  }
  [[nodiscard]] std::uint32_t GetPixelBytes() const { return storage_.Size(); }
  void Flush();

 private:
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  std::uint32_t bitsPerPixel_ = 0;
  std::uint8_t* pixels_ = nullptr;
  std::int32_t paletteCount_ = 0;
  ScratchMapping storage_;
  Palette palette_;
};

}  // namespace engine
