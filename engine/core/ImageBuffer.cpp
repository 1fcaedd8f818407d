#include "engine/core/ImageBuffer.h"

#include <cstring>

#include "engine/core/SizeMath.h"

namespace engine {

int Palette::Allocate(std::uint32_t count) {
  Clear();
  if (count == 0) return 0;
  if (entries_.Allocate(sizeof(PaletteEntry) * count) == 0) return 0;
  std::memset(entries_.Data(), 0, entries_.Size());
  count_ = count;
  return 1;
}

int Palette::Clear() {
  entries_.Free();
  count_ = 0;
  return 1;
}

int ImageBuffer::Create(std::int32_t width, std::int32_t height, std::uint32_t bitsPerPixel,
                        std::int32_t paletteCount) {
  Release();
  if (width < 1 || height < 1) return 0;
  if (bitsPerPixel != 8 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) return 0;
  if (bitsPerPixel == 8 && paletteCount < 0) return 0;
  const std::int32_t count = bitsPerPixel == 8 ? paletteCount : 0;

  std::uint64_t bytes = 0;
  if (!MappableProduct(bytes, {width, height, bitsPerPixel / 8})) return 0;
  if (storage_.Open(static_cast<std::uint32_t>(bytes), "ORBCLASS") == 0) {
    Release();
    return 0;
  }
  if (count > 0 && palette_.Allocate(static_cast<std::uint32_t>(count)) == 0) {
    Release();
    return 0;
  }
  bitsPerPixel_ = bitsPerPixel;
  paletteCount_ = count;
  pixels_ = storage_.View();
  height_ = height;
  width_ = width;
  return 1;
}

int ImageBuffer::Release() {
  storage_.Close(1);
  palette_.Clear();
  width_ = 0;
  height_ = 0;
  bitsPerPixel_ = 0;
  paletteCount_ = 0;
  pixels_ = nullptr;
  return 1;
}

int ImageBuffer::CopyFrom(const ImageBuffer& source) {
  if (&source == this) return source.width_ >= 1 && source.height_ >= 1 ? 1 : 0;
  if (source.width_ < 1 || source.height_ < 1) return 0;
  if (Create(source.width_, source.height_, source.bitsPerPixel_, source.paletteCount_) == 0) return 0;
  std::memcpy(pixels_, source.pixels_, GetPixelBytes());
  const std::uint32_t entries =
      palette_.EntryCount() < source.palette_.EntryCount() ? palette_.EntryCount() : source.palette_.EntryCount();
  if (entries > 0) std::memcpy(palette_.Entries(), source.palette_.Entries(), entries * sizeof(PaletteEntry));
  Flush();
  return 1;
}

void ImageBuffer::SwapWith(ImageBuffer& other) noexcept {
  std::swap(width_, other.width_);
  std::swap(height_, other.height_);
  std::swap(bitsPerPixel_, other.bitsPerPixel_);
  std::swap(pixels_, other.pixels_);
  std::swap(paletteCount_, other.paletteCount_);
  storage_.Swap(other.storage_);
  palette_.Swap(other.palette_);
}

std::uint32_t ImageBuffer::GetRowBytes() const {
  switch (bitsPerPixel_) {
    case 8:
    case 16:
    case 24:
    case 32:
      return static_cast<std::uint32_t>(width_) * (bitsPerPixel_ / 8);
    default:
      return 0;
  }
}

void ImageBuffer::Flush() { storage_.FlushView(pixels_, 0); }

}  // namespace engine
