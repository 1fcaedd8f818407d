#include "codecs/native/PicEncoder.h"

#include <bit>
#include <cstdio>
#include <cstring>

#include "engine/core/ByteReader.h"

namespace codecs {
namespace {

constexpr std::int32_t kMaxSide = 0xFFFF;  // the 16-bit width and height fields

}  // namespace

void PicEncoder::Reset() {
  openedForWriting_ = 0;
  std::memset(header_, 0, sizeof header_);
  std::memset(packet_, 0, sizeof packet_);
  bitsPerPixel_ = 0;
  width_ = 0;
  height_ = 0;
  image_ = nullptr;
}

int PicEncoder::Close() {
  file_.Close();
  Reset();
  return 1;
}

int PicEncoder::BeginWrite(const char* path, engine::ImageBuffer* source, std::uint32_t bitDepth) {
  Close();
  // A picture the size fields cannot hold is refused before a file exists.
  if (bitDepth != 24 || source == nullptr || source->GetWidth() < 1 || source->GetHeight() < 1 ||
      source->GetWidth() > kMaxSide || source->GetHeight() > kMaxSide || !file_.OpenReplacement(path)) {
    Close();
    return 0;
  }
  path_.Assign(path);
  image_ = source;
  height_ = source->GetHeight();
  width_ = source->GetWidth();
  bitsPerPixel_ = 24;
  openedForWriting_ = 1;
  return 1;
}

bool PicEncoder::WriteAll() {
  if (openedForWriting_ != 1) return false;
  std::uint8_t* h = header_;
  std::memset(h, 0, sizeof header_);
  const float ratio = static_cast<float>(width_) / static_cast<float>(height_);
  engine::PutU32be(h + 0, 0x5380F634);                                 // magic
  engine::PutU32be(h + 4, 0);                                          // version
  std::memcpy(h + 8, "Create by", 9);                                  // comment ...
  std::memcpy(h + 17, "Tessalyndra", 11);                              // ... zero-filled to 88
  std::memcpy(h + 88, "PICT", 4);                                      // identifier
  engine::PutU16be(h + 92, static_cast<std::uint32_t>(width_));        // width
  engine::PutU16be(h + 94, static_cast<std::uint32_t>(height_));       // height
  engine::PutU32be(h + 96, std::bit_cast<std::uint32_t>(ratio));       // ratio
  engine::PutU16be(h + 100, 3);                                        // fields: full frame
  engine::PutU16be(h + 102, 0);                                        // pad
  packet_[0] = 0;                                                      // chained: last packet
  packet_[1] = 8;                                                      // bits per channel
  packet_[2] = 0;                                                      // compression: none
  packet_[3] = 0xE0;                                                   // channels: red, green, blue
  if (!file_.Seek(0, SEEK_SET) || !file_.WriteExact(header_, sizeof header_) ||
      !file_.WriteExact(packet_, sizeof packet_)) {
    return false;
  }

  engine::ImageBuffer converted;
  const bool asIs = image_->GetBitsPerPixel() == 24;
  if (!asIs && image_->ConvertTo(converted, 24, 0) != 1) return false;
  const engine::ImageBuffer& pixels = asIs ? *image_ : converted;
  for (std::int32_t y = 0; y < height_; ++y) {
    if (!file_.WriteExact(pixels.GetRow(y), pixels.GetRowBytes())) return false;
  }
  return true;
}

int PicEncoder::WriteImage() {
  bool ok = WriteAll();
  ok = ok && file_.Commit();
  Close();
  return ok ? 1 : 0;
}

}  // namespace codecs
