// BMP: Windows bitmap, 24 bits per pixel.
//
// Format card
//   Defined by: the Windows GDI bitmap file format (BITMAPFILEHEADER followed by
//   BITMAPINFOHEADER, or the older 12-byte BITMAPCOREHEADER).
//   Byte order: little-endian throughout.
//   File header, 14 bytes at offset 0:
//     0  u16  signature      "BM" (also "BA" when reading)
//     2  u32  file size      ignored; written as 54 + height * row size
//     6  u16  reserved       0
//     8  u16  reserved       0
//    10  u32  pixel offset   where the rows start; 54 when written
//   Windows info header, at offset 14 (40 bytes written; longer ones read):
//     0  u32  header size    40
//     4  i32  width
//     8  i32  height         positive: rows stored bottom-up; negative: top-down
//    12  u16  planes         1
//    14  u16  bit count      24
//    16  u32  compression    0 none (1 RLE8, 2 RLE4, 3 bit fields)
//    20..40                  image size, resolutions, colours: 0 when written
//   Core header (12 bytes): size 12, u16 width, u16 height, u16 planes, u16 bits.
//   Rows: ((width * bits + 31) / 32) * 4 bytes each, pixels stored B, G, R.
//   Accepted: 24 bits per pixel only, compression 0 or 3 (read as plain rows);
//   every other depth or an RLE file is refused so the loader moves on.
#pragma once

#include <cstdint>

#include "engine/core/FileStream.h"
#include "engine/core/HeapBlock.h"
#include "engine/core/ImageBuffer.h"
#include "engine/core/TextBuffer.h"

namespace codecs {

class BmpCodec {
 public:
  BmpCodec() { Reset(); }
  BmpCodec(const BmpCodec&) = delete;
  BmpCodec& operator=(const BmpCodec&) = delete;
  ~BmpCodec() { Close(); }

  int BeginRead(const char* path, engine::ImageBuffer* target);
  int ReadImage();
  int BeginWrite(const char* path, engine::ImageBuffer* source, std::uint32_t bitDepth);
  int WriteImage();
  int Close();

  static constexpr std::uint32_t kFileHeaderBytes = 14;
  static constexpr std::uint32_t kInfoHeaderBytes = 40;

 private:
  void Reset();
  [[nodiscard]] bool ReadHeaders(const char* path);
  [[nodiscard]] bool CopyRows();
  [[nodiscard]] bool WriteRows();

  engine::FileStream file_;
  int openedForReading_ = 0;
  int openedForWriting_ = 0;
  std::uint8_t fileHeader_[kFileHeaderBytes] = {};
  std::int64_t headerRegionLength_ = 0;
  engine::HeapBlock headerRegion_;
  int coreHeader_ = 0;  // 1: the 12-byte header
  std::uint32_t bitCount_ = 0;
  std::uint32_t compression_ = 0;
  int bottomUp_ = 0;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  engine::ImageBuffer* image_ = nullptr;
  engine::TextBuffer path_;
};

}  // namespace codecs
