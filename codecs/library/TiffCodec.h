// TIFF: anything libtiff's RGBA reader renders, read as 24-bit RGB; written
// uncompressed as 24-bit RGB or as 8-bit grey in palette form.
//
// Format card
//   Defined by: TIFF 6.0 (Adobe, 1992); coded by libtiff 4.5.
//   Byte order: "II" (little-endian) or "MM" when read; "II" when written.
//   Tags the codec reads: ImageWidth (256) and ImageLength (257), both at least
//   1, width * length * 4 within a scratch mapping (the RGBA raster); every
//   other tag is the library's business (TIFFReadRGBAImage, stop-on-error 0):
//   any photometric, sample layout and compression scheme it can render,
//   Deflate, JPEG, LZMA, ZSTD, WebP and LERC included, strips or tiles. Only
//   the first image. Orientation (274), all eight values, turns the picture
//   upright; alpha, associated or not, is laid over white.
//   Tags written, in this order (the library sorts the directory on disk):
//     ImageLength, ImageWidth, PlanarConfiguration 1 (contiguous),
//     SamplesPerPixel 3 or 1, BitsPerSample 8, ColorMap (8-bit only: entry i
//     is i * 256 in all three tables), Photometric 2 (RGB) or 3 (palette),
//     Orientation 1 (top-left), Compression 1 (none), RowsPerStrip the
//     library's default; strip offsets and byte counts are the library's.
#pragma once

#include <array>
#include <cstdint>

#include <tiffio.h>

#include "codecs/library/TiffStream.h"
#include "engine/core/HeapBlock.h"
#include "engine/core/ImageBuffer.h"
#include "engine/core/ScratchMapping.h"
#include "engine/core/TextBuffer.h"

namespace codecs {

class TiffCodec {
 public:
  TiffCodec() { Reset(); }
  TiffCodec(const TiffCodec&) = delete;
  TiffCodec& operator=(const TiffCodec&) = delete;
  ~TiffCodec() { Close(); }

  int BeginRead(const char* path, engine::ImageBuffer* target);
  int ReadImage();
  // depth 8: grey in palette form; 24: RGB.
  int BeginWrite(const char* path, engine::ImageBuffer* source, std::uint32_t depth);
  int WriteImage();
  int Close();

  static constexpr int kLayoutGrey = 39;
  static constexpr int kLayoutRgb = 40;

 private:
  void Reset();
  int Fail();
  [[nodiscard]] bool DecodeRaster();
  [[nodiscard]] bool PrepareUncompressedTiles();
  [[nodiscard]] bool Encode();

  TIFF* tiff_ = nullptr;
  int readFlag_ = 0;
  int writeFlag_ = 0;
  engine::TextBuffer path_;
  std::uint32_t depth_ = 0;
  int layout_ = 0;
  std::uint32_t width_ = 0;
  std::uint32_t height_ = 0;
  engine::ImageBuffer* image_ = nullptr;
  TiffStream stream_;
  engine::ScratchMapping raster_;
  engine::HeapBlock rowBuffer_;
  engine::HeapBlock tileBuffer_;  // the read buffer of uncompressed tiles
  engine::ImageBuffer scratch_;
  std::array<std::uint16_t, 3 * 256> colourMap_{};
};

}  // namespace codecs
