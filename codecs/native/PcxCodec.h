// PCX: run-length encoded paintbrush pictures, 8-bit palette or 24-bit colour.
//
// Format card
//   Defined by: the ZSoft PCX technical reference (version 5 files).
//   Byte order: little-endian 16-bit numbers.
//   Header, 128 bytes at offset 0:
//     0  u8   manufacturer     0x0A (the only signature the format has)
//     1  u8   version          ignored; 5 when written
//     2  u8   encoding         ignored (always run-length decoded); 1 when written
//     3  u8   bits per plane   8 when written
//     4  u16  x minimum        0 when written
//     6  u16  y minimum        0 when written
//     8  u16  x maximum        width - 1
//    10  u16  y maximum        height - 1
//    12  u16  h resolution     ignored; 300 when written
//    14  u16  v resolution     ignored; 300 when written
//    16  48   EGA palette      ignored; zero when written
//    64  u8   reserved         0
//    65  u8   planes           3 when written
//    66  u16  bytes per line   per plane; the width rounded up to even when written
//    68  u16  palette info     ignored; 0 when written
//    70  u16  h screen size    ignored; 800 when written
//    72  u16  v screen size    ignored; 600 when written
//    74  54   filler           zero
//   Data from offset 128: each scan line, top row first, is the planes one after
//   another (planes * bytes per line bytes) run-length coded as one sequence: a
//   byte 0xC0..0xFF is a count (low six bits) for the byte after it, any other
//   byte stands for itself. An 8-bit file ends with 768 palette bytes (R, G, B).
//   Accepted: planes * bits per plane equal to 8 or 24, at least two pixels each
//   way; 1- and 4-bit pictures are refused so the loader moves on. A file whose
//   data stops early still loads, the missing pixels black.
#pragma once

#include <cstdint>

#include "engine/core/FileStream.h"
#include "engine/core/ImageBuffer.h"
#include "engine/core/TextBuffer.h"

namespace codecs {

class PcxCodec {
 public:
  PcxCodec() { Reset(); }
  PcxCodec(const PcxCodec&) = delete;
  PcxCodec& operator=(const PcxCodec&) = delete;
  ~PcxCodec() { Close(); }

  int BeginRead(const char* path, engine::ImageBuffer* target);
  int ReadImage();
  int BeginWrite(const char* path, engine::ImageBuffer* source, std::uint32_t bitDepth);
  int WriteImage();
  int Close();

  // Decodes lineLength bytes into line from data, never reading at or past
  // dataEnd; a run longer than the rest of the line is cut there. Returns the
  // position after the bytes consumed. Bytes the data did not reach keep
  // their value.
  static const std::uint8_t* DecodeRunLine(std::uint8_t* line, const std::uint8_t* data,
                                           const std::uint8_t* dataEnd, std::uint32_t lineLength);
  // Codes one scan line; out needs 2 * lineLength bytes. Returns the bytes made.
  static std::uint32_t EncodeRunLine(std::uint8_t* out, const std::uint8_t* line, std::uint32_t lineLength);

  static constexpr std::uint32_t kHeaderBytes = 128;
  static constexpr std::uint32_t kPaletteBytes = 768;

 private:
  void Reset();
  [[nodiscard]] bool ReadHeader(const char* path);
  [[nodiscard]] bool DecodeRows();
  [[nodiscard]] bool WriteRows();

  engine::FileStream file_;
  int openedForReading_ = 0;
  int openedForWriting_ = 0;
  std::uint8_t header_[kHeaderBytes] = {};
  std::uint32_t bitsPerPixel_ = 0;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  engine::ImageBuffer* image_ = nullptr;
  engine::TextBuffer path_;
};

}  // namespace codecs
