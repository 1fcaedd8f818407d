// PNM: Netpbm grey maps (PGM) and pixel maps (PPM), written only.
//
// Format card
//   Defined by: the Netpbm pgm(5) and ppm(5) manual pages.
//   Byte order: samples are single bytes (maximum 255), so none arises.
//   Header, one text block at offset 0:
//     magic        "P5" grey raw, "P6" colour raw, "P2" grey text, "P3" colour text
//     comment      "\n#Created by Plenwick 1.0\n"
//     size         width in decimal, one space, height in decimal
//     maximum      " 255\n"
//   Samples follow at once, rows top to bottom: raw rows are width (grey) or
//   width * 3 (R, G, B) bytes; text samples are decimal numbers each followed by
//   a space or, after every 5th pixel (P3) or 32nd sample (P2) of the file, a
//   line break.
//   Written: mode 1 grey, mode 2 colour; the one-bit PBM form is not offered.
#pragma once

#include <cstdint>
#include <cstdio>

#include "engine/core/FileStream.h"
#include "engine/core/ImageBuffer.h"
#include "engine/core/TextBuffer.h"

namespace codecs {

class PnmEncoder {
 public:
  PnmEncoder() { Reset(); }
  PnmEncoder(const PnmEncoder&) = delete;
  PnmEncoder& operator=(const PnmEncoder&) = delete;
  ~PnmEncoder() { Close(); }

  // mode 1: grey map, mode 2: pixel map; binary == 1 selects the raw forms.
  int BeginWrite(const char* path, engine::ImageBuffer* source, int mode, int binary);
  int WriteImage();
  int Close();

  // value in decimal and a line break (lineBreak == 1) or a space, in one
  // write: 0, or -1 when the write fails.
  static int WriteNumber(std::FILE* stream, std::int32_t value, int lineBreak);

 private:
  void Reset();
  [[nodiscard]] bool WriteAll();
  [[nodiscard]] bool WriteText(const engine::ImageBuffer& pixels);

  engine::FileStream file_;
  int openedForWriting_ = 0;
  std::uint32_t sampleDepth_ = 0;  // 8 grey, 24 colour
  int textMode_ = 0;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  engine::ImageBuffer* image_ = nullptr;
  engine::TextBuffer path_;
};

}  // namespace codecs
