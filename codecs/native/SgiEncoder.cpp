#include "codecs/native/SgiEncoder.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/core/ByteReader.h"
#include "engine/core/FileHelpers.h"

namespace codecs {
namespace {

constexpr char kImageName[] = "Plenwick SGI Exports";
constexpr std::int32_t kMaxSide = 0xFFFF;  // the 16-bit x and y size fields

}  // namespace

void SgiEncoder::Reset() {
  openedForWriting_ = 0;
  std::memset(header_, 0, sizeof header_);
  bitsPerPixel_ = 0;
  width_ = 0;
  height_ = 0;
  image_ = nullptr;
}

int SgiEncoder::Close() {
  file_.Close();
  Reset();
  return 1;
}

int SgiEncoder::BeginWrite(const char* path, engine::ImageBuffer* source, std::uint32_t, int) {
  Close();
  // A picture the size fields cannot hold is refused before a file exists.
  if (source == nullptr || source->GetWidth() < 1 || source->GetHeight() < 1 || source->GetWidth() > kMaxSide ||
      source->GetHeight() > kMaxSide || !file_.OpenReplacement(path)) {
    Close();
    return 0;
  }
  path_.Assign(path);
  image_ = source;
  bitsPerPixel_ = 24;
  openedForWriting_ = 1;
  return 1;
}

bool SgiEncoder::WriteAll() {
  if (openedForWriting_ != 1) return false;
  engine::ImageBuffer converted;
  const bool asIs = image_->GetBitsPerPixel() == 24;
  if (!asIs && image_->ConvertTo(converted, 24, 0) != 1) return false;
  const engine::ImageBuffer& pixels = asIs ? *image_ : converted;
  width_ = pixels.GetWidth();
  height_ = pixels.GetHeight();
  // A larger picture would be written with a wrong size in the header.
  if (width_ < 1 || height_ < 1 || width_ > kMaxSide || height_ > kMaxSide) return false;

  std::uint8_t* h = header_;
  std::memset(h, 0, sizeof header_);
  engine::PutU16be(h + 0, 474);                                  // magic
  h[2] = 0;                                                      // storage: uncompressed
  h[3] = 1;                                                      // bytes per channel value
  engine::PutU16be(h + 4, 3);                                    // dimension
  engine::PutU16be(h + 6, static_cast<std::uint32_t>(width_));   // x size
  engine::PutU16be(h + 8, static_cast<std::uint32_t>(height_));  // y size
  engine::PutU16be(h + 10, 3);                                   // z size: channels
  engine::PutU32be(h + 12, 0);                                   // minimum pixel value
  engine::PutU32be(h + 16, 255);                                 // maximum pixel value
  // 20..23 reserved stay zero
  std::memcpy(h + 24, kImageName, sizeof kImageName);            // image name, zero-filled to 104
  engine::PutU32be(h + 104, 0);                                  // colour map: normal
  // 108..511 reserved stay zero
  if (!file_.Seek(0, SEEK_SET) || !file_.WriteExact(header_, sizeof header_)) return false;

  std::vector<std::uint8_t> row(static_cast<std::size_t>(width_));
  for (std::size_t channel = 0; channel < 3; ++channel) {
    for (std::int32_t i = 0; i < height_; ++i) {
      const std::uint8_t* in = pixels.GetRow(height_ - 1 - i) + channel;
      for (std::int32_t x = 0; x < width_; ++x, in += 3) row[static_cast<std::size_t>(x)] = *in;
      if (!file_.WriteExact(row.data(), row.size())) return false;
    }
  }
  return true;
}

int SgiEncoder::WriteImage() {
  if (openedForWriting_ != 1) return 0;
  const bool ok = WriteAll() && file_.Commit();
  Close();
  return ok ? 1 : 0;
}

}  // namespace codecs
