// PCD: the 768 x 512 base picture of a Photo CD image pac, read only.
//
// Format card
//   Defined by: the Photo CD image pac layout (2048-byte sectors).
//   Byte order: single-byte samples, so none arises.
//   Used parts of the file:
//     2048     7 bytes   "PCD_IPI": the image pac signature
//     196608   589824    base picture: 256 groups, one per pair of rows, top
//                        pair first; each group holds 768 luminance samples of
//                        the upper row, 768 of the lower row, then 384 C1 and
//                        384 C2 chroma samples shared by both rows, one chroma
//                        pair per two pixels
//   Accepted: files of at least 1 MiB that carry the signature; everything
//   else of the pac (other resolutions, the overview) is ignored. Without the
//   signature any large file would decode as meaningless colours.
#pragma once

#include <cstdint>

#include "engine/core/FileStream.h"
#include "engine/core/ImageBuffer.h"
#include "engine/core/TextBuffer.h"

namespace codecs {

class PhotoCdReader {
 public:
  PhotoCdReader() { Reset(); }
  PhotoCdReader(const PhotoCdReader&) = delete;
  PhotoCdReader& operator=(const PhotoCdReader&) = delete;
  ~PhotoCdReader() { Close(); }

  // mode 2: the 768 x 512 base picture (the only one offered).
  int BeginRead(const char* path, engine::ImageBuffer* target, int mode);
  int ReadImage();
  int Close();

  // One pixel from luminance and chroma samples: red, green, blue in out.
  static void ToRgb(std::uint8_t luminance, std::uint8_t chroma1, std::uint8_t chroma2, std::uint8_t out[3]);

  static constexpr std::int64_t kMinimumFileBytes = 1048576;
  static constexpr std::int64_t kSignatureOffset = 2048;
  static constexpr std::int64_t kBaseOffset = 196608;
  static constexpr std::int32_t kBaseWidth = 768;
  static constexpr std::int32_t kBaseHeight = 512;

 private:
  void Reset();
  [[nodiscard]] bool Open(const char* path, int mode);
  [[nodiscard]] bool DecodeRows();

  engine::FileStream file_;
  int openedForReading_ = 0;
  std::uint32_t bitsPerPixel_ = 0;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  std::int64_t pictureOffset_ = 0;
  engine::ImageBuffer* image_ = nullptr;
  engine::TextBuffer path_;
};

}  // namespace codecs
