// JPEG: JFIF baseline files, read and written through libjpeg.
//
// Format card
//   Defined by: ITU-T T.81 (JPEG) and the JFIF 1.02 note; coded by libjpeg
//   (Debian's libjpeg-turbo, interface version 62).
//   Byte order: big-endian marker segments; the library parses them all.
//   What the codec looks at itself:
//     0  u16  start of image   0xFF 0xD8, checked before the library is asked
//   Header facts taken from the library after jpeg_start_decompress:
//     output_width, output_height   at least 1; width * height * components
//                                   must fit a scratch mapping
//     out_color_components          1 (grey, 8-bit image) or 3 (RGB, 24-bit);
//                                   CMYK and YCCK come out with 4 and are refused
//   APP1 "Exif\0\0" segments: the orientation they record (ExifOrientation)
//   turns the decoded picture upright; nothing else of them is used.
//   Written: a baseline JFIF 1.01 file, density unit 0 at 1:1, integer DCT,
//   the library's default sampling; quality, optimised Huffman tables and input
//   smoothing as the caller asks. Markers after the last scan are never read.
#pragma once

#include <cstdint>
#include <cstdio>  // before jpeglib.h, which needs FILE

#include <jpeglib.h>

#include "codecs/library/JpegErrorManager.h"
#include "engine/core/FileStream.h"
#include "engine/core/ImageBuffer.h"
#include "engine/core/TextBuffer.h"

namespace codecs {

class JpegCodec {
 public:
  JpegCodec() { Reset(); }
  JpegCodec(const JpegCodec&) = delete;
  JpegCodec& operator=(const JpegCodec&) = delete;
  ~JpegCodec() { Close(); }

  int BeginRead(const char* path, engine::ImageBuffer* target);
  int ReadImage();
  // colour == 1: three-component RGB; any other value: one-component grey.
  int WriteImage(const char* path, engine::ImageBuffer* source, int quality, int colour, int optimize,
                 int smoothing);
  int Close();

  static constexpr int kColourRgb = 14;
  static constexpr int kColourGrey = 15;

 private:
  void Reset();
  // A failed operation: everything closed, 0.
  int Fail();
  // The Exif orientation among the saved APP1 segments; 1 without one.
  [[nodiscard]] int RecordedOrientation() const;

  engine::FileStream file_;
  int decompressCreated_ = 0;
  int compressCreated_ = 0;
  jpeg_decompress_struct decompress_{};
  jpeg_compress_struct compress_{};
  JpegErrorManager errors_{};
  int quality_ = 100;
  engine::TextBuffer path_;
  std::uint32_t depth_ = 0;
  int colourMode_ = 0;
  std::uint32_t width_ = 0;
  std::uint32_t height_ = 0;
  engine::ImageBuffer* image_ = nullptr;
  int orientation_ = 1;
  // The writer's depth-converted copy; a member so that no destructor lives in
  // a frame a library error can jump out of.
  engine::ImageBuffer scratch_;
  const engine::ImageBuffer* encoded_ = nullptr;
};

}  // namespace codecs
