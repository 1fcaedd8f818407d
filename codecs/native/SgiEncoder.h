// SGI: uncompressed three-channel Silicon Graphics image files, written only.
//
// Format card
//   Defined by: the SGI image file format specification (Haeberli, version 1.0).
//   Byte order: big-endian throughout.
//   Header, 512 bytes at offset 0:
//     0    u16  magic          474 (0x01 0xDA)
//     2    u8   storage        0: uncompressed
//     3    u8   bytes per value 1
//     4    u16  dimension      3
//     6    u16  x size         width
//     8    u16  y size         height
//    10    u16  z size         3 channels
//    12    u32  minimum        0
//    16    u32  maximum        255
//    20    4    reserved       zero
//    24    80   image name     "Plenwick SGI Exports", zero-filled
//   104    u32  colour map     0: normal
//   108    404  reserved       zero
//   Data from offset 512: the red, green and blue planes one after another,
//   each height rows of width bytes, the bottom row first; no offset table.
//   Written: 8 bits per channel, any source depth converted to 24 bits; at most
//   65535 pixels each way, as the 16-bit size fields allow.
#pragma once

#include <cstdint>

#include "engine/core/FileStream.h"
#include "engine/core/ImageBuffer.h"
#include "engine/core/TextBuffer.h"

namespace codecs {

class SgiEncoder {
 public:
  SgiEncoder() { Reset(); }
  SgiEncoder(const SgiEncoder&) = delete;
  SgiEncoder& operator=(const SgiEncoder&) = delete;
  ~SgiEncoder() { Close(); }

  // bitDepth and option are not used; the commands pass 24 and 0.
  int BeginWrite(const char* path, engine::ImageBuffer* source, std::uint32_t bitDepth, int option);
  int WriteImage();
  int Close();

  static constexpr std::uint32_t kHeaderBytes = 512;

 private:
  void Reset();
  [[nodiscard]] bool WriteAll();

  engine::FileStream file_;
  int openedForWriting_ = 0;
  std::uint8_t header_[kHeaderBytes] = {};
  std::uint32_t bitsPerPixel_ = 0;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  engine::ImageBuffer* image_ = nullptr;
  engine::TextBuffer path_;
};

}  // namespace codecs
