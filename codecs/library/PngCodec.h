// PNG: read up to 8 bits per sample, written 8-bit Adam7, through libpng.
//
// Format card
//   Defined by: ISO/IEC 15948 (PNG, second edition); coded by libpng 1.6 over
//   zlib.
//   Byte order: big-endian chunk lengths and fields; the library parses them.
//   IHDR fields the codec uses (taken with png_get_IHDR):
//     width, height      at least 1; width * height * bytes per pixel must fit
//                        a scratch mapping
//     bit depth          1, 2, 4 or 8; 16-bit files are refused
//     colour type        0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
//     interlace method   0 none or 1 Adam7; both read
//   Read as: palette -> 8-bit with the file's PLTE; RGB -> 24; RGBA -> 32
//   (leading byte 255); grey of any depth, with or without alpha -> 8-bit grey
//   levels. Alpha, from a channel or a tRNS chunk, is laid over white: the
//   palette entries, or the pixels.
//   Written: IHDR (8 bits, Adam7), PLTE for palette images only, IDAT, IEND;
//   no ancillary chunks; the library's default compression and filters.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <png.h>

#include "codecs/library/PngHooks.h"
#include "engine/core/FileStream.h"
#include "engine/core/ImageBuffer.h"
#include "engine/core/TextBuffer.h"

namespace codecs {

class PngCodec {
 public:
  PngCodec() { Reset(); }
  PngCodec(const PngCodec&) = delete;
  PngCodec& operator=(const PngCodec&) = delete;
  ~PngCodec() { Close(); }

  int BeginRead(const char* path, engine::ImageBuffer* target);
  int ReadImage();
  // depth 8 (palette of 1..256 entries), 24 (RGB) or 32 (RGBA).
  int BeginWrite(const char* path, engine::ImageBuffer* source, std::uint32_t depth, std::int32_t paletteCount);
  int WriteImage();
  int Close();

  static constexpr int kLayoutGrey = 31;
  static constexpr int kLayoutRgb = 33;
  static constexpr int kLayoutRgba = 34;
  static constexpr int kLayoutPalette = 38;

 private:
  void Reset();
  int Fail();
  [[nodiscard]] bool PointRows(const engine::ImageBuffer& image);
  // Alpha read with the rows (or a palette's tRNS) laid over white.
  void LayOverWhite(engine::ImageBuffer& image) const;

  engine::FileStream file_;
  int readState_ = 0;
  int writeState_ = 0;
  png_uint_32 width_ = 0;
  png_uint_32 height_ = 0;
  int bitDepth_ = 0;
  int colourType_ = 0;
  int interlace_ = 0;
  int compression_ = 0;
  int filter_ = 0;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
  engine::TextBuffer path_;
  std::uint32_t depth_ = 0;
  // The depth the library's rows have while reading: depth_, or 16 (grey +
  // alpha) or 32 (RGB + alpha) where the picture cannot hold the alpha.
  std::uint32_t readDepth_ = 0;
  int layout_ = 0;
  std::int32_t paletteCount_ = 0;
  engine::ImageBuffer* image_ = nullptr;
  // Everything below outlives a library error: members, not locals, so that a
  // jump back never skips a destructor.
  PngRecovery recovery_{};
  std::vector<png_bytep> rows_;
  std::array<png_color, 256> palette_{};
  engine::ImageBuffer scratch_;
  const engine::ImageBuffer* encoded_ = nullptr;
};

}  // namespace codecs
