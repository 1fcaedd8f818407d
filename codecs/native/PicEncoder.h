// PIC: uncompressed Softimage picture files, written only.
//
// Format card
//   Defined by: the Softimage PIC file format description.
//   Byte order: big-endian numbers.
//   Header, 104 bytes at offset 0:
//     0   u32   magic       0x53 0x80 0xF6 0x34
//     4   f32   version     0
//     8   80    comment     "Create by" "Tessalyndra", zero-filled
//    88   4     identifier  "PICT"
//    92   u16   width
//    94   u16   height
//    96   f32   ratio       width / height, IEEE single precision
//   100   u16   fields      3: both fields (a full frame)
//   102   u16   pad         0
//   Channel packet, 4 bytes at offset 104:
//   104   u8    chained     0: the last packet
//   105   u8    size        8 bits per channel
//   106   u8    type        0: uncompressed
//   107   u8    channels    0xE0: red 0x80, green 0x40, blue 0x20
//   Data from offset 108: rows top first, R, G, B per pixel, no padding.
//   Written: 24-bit colour (other depths converted); at most 65535 pixels each
//   way, as the 16-bit size fields allow.
#pragma once

#include <cstdint>

#include "engine/core/FileStream.h"
#include "engine/core/ImageBuffer.h"
#include "engine/core/TextBuffer.h"

namespace codecs {

class PicEncoder {
 public:
  PicEncoder() { Reset(); }
  PicEncoder(const PicEncoder&) = delete;
  PicEncoder& operator=(const PicEncoder&) = delete;
  ~PicEncoder() { Close(); }

  // bitDepth must be 24.
  int BeginWrite(const char* path, engine::ImageBuffer* source, std::uint32_t bitDepth);
  int WriteImage();
  int Close();

  static constexpr std::uint32_t kHeaderBytes = 104;
  static constexpr std::uint32_t kPacketBytes = 4;

 private:
  void Reset();
  [[nodiscard]] bool WriteAll();

  engine::FileStream file_;
  int openedForWriting_ = 0;
  std::uint8_t header_[kHeaderBytes] = {};
  std::uint8_t packet_[kPacketBytes] = {};
  std::uint32_t bitsPerPixel_ = 0;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  engine::ImageBuffer* image_ = nullptr;
  engine::TextBuffer path_;
};

}  // namespace codecs
