#include "codecs/native/PhotoCdReader.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/core/ScratchMapping.h"

namespace codecs {
namespace {

constexpr char kSignature[] = "PCD_IPI";
constexpr std::uint32_t kBlockBytes = 768;

std::uint8_t Clamp(double value) {
  if (value < 0) return 0;
  if (value > 255) return 255;
  return static_cast<std::uint8_t>(value);
}

}  // namespace

void PhotoCdReader::Reset() {
  openedForReading_ = 0;
  bitsPerPixel_ = 0;
  width_ = 0;
  height_ = 0;
  pictureOffset_ = 0;
  image_ = nullptr;
}

int PhotoCdReader::Close() {
  file_.Close();
  Reset();
  return 1;
}

bool PhotoCdReader::Open(const char* path, int mode) {
  if (mode != 2 || !file_.Open(path, "rb")) return false;
  if (file_.Size() < kMinimumFileBytes) return false;
  char signature[sizeof kSignature - 1];
  if (!file_.Seek(kSignatureOffset, SEEK_SET) || !file_.ReadExact(signature, sizeof signature)) return false;
  return std::memcmp(signature, kSignature, sizeof signature) == 0;
}

int PhotoCdReader::BeginRead(const char* path, engine::ImageBuffer* target, int mode) {
  Close();
  if (target == nullptr || !Open(path, mode)) {
    Close();
    return 0;
  }
  width_ = kBaseWidth;
  height_ = kBaseHeight;
  pictureOffset_ = kBaseOffset;
  bitsPerPixel_ = 24;
  path_.Assign(path);
  image_ = target;
  openedForReading_ = 1;
  return 1;
}

void PhotoCdReader::ToRgb(std::uint8_t luminance, std::uint8_t chroma1, std::uint8_t chroma2, std::uint8_t out[3]) {
  // Double precision, in exactly this order: the results are compared bit for bit.
  const double y = luminance;
  const double c1 = static_cast<int>(chroma1) - 156;
  const double c2 = static_cast<int>(chroma2) - 137;
  const double red = std::floor(c2 * 1.3230336 + c1 * 0.0000256 + y * 1.407488 + 0.5);
  const double green = std::floor(y * 1.407488 - (c2 * 0.67392 + c1 * 0.3954176) + 0.5);
  const double blue = std::floor(c2 * 0.0000256 + c1 * 2.0360448 + y * 1.407488 + 0.5);
  out[0] = Clamp(red);
  out[1] = Clamp(green);
  out[2] = Clamp(blue);
}

bool PhotoCdReader::DecodeRows() {
  engine::ImageBuffer& image = *image_;
  if (image.Create(width_, height_, 24, 0) == 0) return false;
  engine::ScratchMapping upper;
  engine::ScratchMapping lower;
  engine::ScratchMapping chroma;
  if (upper.Open(kBlockBytes, "ORBCLASS") == 0 || lower.Open(kBlockBytes, "ORBCLASS") == 0 ||
      chroma.Open(kBlockBytes, "ORBCLASS") == 0) {
    return false;
  }
  if (!file_.Seek(pictureOffset_, SEEK_SET)) return false;
  const std::int32_t half = width_ / 2;
  for (std::int32_t k = 0; k < height_; k += 2) {
    if (!file_.ReadExact(upper.View(), kBlockBytes) || !file_.ReadExact(lower.View(), kBlockBytes) ||
        !file_.ReadExact(chroma.View(), kBlockBytes)) {
      return false;
    }
    const std::uint8_t* c1 = chroma.View();
    const std::uint8_t* c2 = c1 + half;
    for (std::int32_t row = 0; row < 2; ++row) {
      const std::uint8_t* luminance = (row == 0 ? upper : lower).View();
      std::uint8_t* out = image.GetRow(k + row);
      for (std::int32_t x = 0; x < width_; ++x, out += 3) ToRgb(luminance[x], c1[x / 2], c2[x / 2], out);
    }
  }
  image.Flush();
  return true;
}

int PhotoCdReader::ReadImage() {
  const bool ok = openedForReading_ == 1 && DecodeRows();
  Close();
  return ok ? 1 : 0;
}

}  // namespace codecs
