#include "codecs/native/BmpCodec.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/core/ByteReader.h"
#include "engine/core/SizeMath.h"

namespace codecs {
namespace {

// The header fields BeginRead looks at end here: a shorter region is refused
// rather than read beyond.
constexpr std::int64_t kCoreFieldsEnd = 12;
constexpr std::int64_t kWindowsFieldsEnd = 20;

// Bytes of one stored row, or 0 when it does not fit a mapping.
std::uint64_t StoredRowBytes(std::int64_t width, std::int64_t bits) {
  std::uint64_t bitsPerRow = 0;
  if (!engine::CheckedProduct(bitsPerRow, {width, bits})) return 0;
  const std::uint64_t bytes = (bitsPerRow + 31) / 32 * 4;
  return bytes <= engine::kMaxMappingBytes ? bytes : 0;
}

// Bytes of the file written for a 24-bit picture, or 0 when its size field
// could not hold them.
std::uint64_t WrittenFileBytes(std::int64_t width, std::int64_t height) {
  const std::uint64_t rowBytes = StoredRowBytes(width, 24);
  std::uint64_t fileBytes = 0;
  if (rowBytes == 0 || !engine::CheckedProduct(fileBytes, {static_cast<std::int64_t>(rowBytes), height})) return 0;
  fileBytes += BmpCodec::kFileHeaderBytes + BmpCodec::kInfoHeaderBytes;
  return fileBytes <= 0xFFFFFFFFull ? fileBytes : 0;
}

}  // namespace

void BmpCodec::Reset() {
  openedForReading_ = 0;
  openedForWriting_ = 0;
  std::memset(fileHeader_, 0, sizeof fileHeader_);
  headerRegionLength_ = 0;
  headerRegion_.Free();
  coreHeader_ = 0;
  bitCount_ = 0;
  compression_ = 0;
  bottomUp_ = 0;
  width_ = 0;
  height_ = 0;
  image_ = nullptr;
}

int BmpCodec::Close() {
  file_.Close();
  Reset();
  return 1;
}

bool BmpCodec::ReadHeaders(const char* path) {
  if (!file_.Open(path, "rb")) return false;
  const std::int64_t fileSize = file_.Size();
  if (!file_.Seek(0, SEEK_SET) || !file_.ReadExact(fileHeader_, sizeof fileHeader_)) return false;
  const engine::ByteReader header(fileHeader_, sizeof fileHeader_);
  if (header.U8(0) != 'B' || (header.U8(1) != 'M' && header.U8(1) != 'A')) return false;

  headerRegionLength_ = static_cast<std::int64_t>(header.U32le(10)) - kFileHeaderBytes;
  if (headerRegionLength_ <= 0 || kFileHeaderBytes + headerRegionLength_ > fileSize) return false;
  const auto regionBytes = static_cast<std::size_t>(headerRegionLength_);
  if (headerRegion_.Allocate(regionBytes) == 0) return false;
  if (!file_.Seek(kFileHeaderBytes, SEEK_SET) || !file_.ReadExact(headerRegion_.Data(), regionBytes)) {
    return false;
  }

  const engine::ByteReader region(headerRegion_.Data(), regionBytes);
  if (!region.Has(0, 4)) return false;
  coreHeader_ = region.U32le(0) == 12 ? 1 : 0;
  if (headerRegionLength_ < (coreHeader_ == 1 ? kCoreFieldsEnd : kWindowsFieldsEnd)) return false;
  if (region.I32le(4) < 1 || region.U32le(8) == 0) return false;

  if (coreHeader_ == 0) {
    compression_ = region.U32le(16);
    if (compression_ > 3) return false;
    const std::int32_t heightField = region.I32le(8);
    if (heightField == INT_MIN) return false;  // has no positive counterpart
    width_ = region.I32le(4);
    height_ = heightField < 0 ? -heightField : heightField;
    bottomUp_ = heightField >= 0 ? 1 : 0;
    bitCount_ = compression_ == 1 ? 8 : compression_ == 2 ? 4 : region.U16le(14);
  } else {
    compression_ = 0;
    width_ = region.U16le(4);
    height_ = region.U16le(6);
    bottomUp_ = 1;
    bitCount_ = region.U16le(10);
  }
  return bitCount_ == 24;
}

int BmpCodec::BeginRead(const char* path, engine::ImageBuffer* target) {
  Close();
  if (target == nullptr || !ReadHeaders(path)) {
    Close();
    return 0;
  }
  path_.Assign(path);
  image_ = target;
  openedForReading_ = 1;
  return 1;
}

bool BmpCodec::CopyRows() {
  const std::uint64_t rowBytes = StoredRowBytes(width_, bitCount_);
  const engine::ByteReader header(fileHeader_, sizeof fileHeader_);
  const std::int64_t pixelOffset = header.U32le(10);
  std::uint64_t storedBytes = 0;
  if (rowBytes == 0 || !engine::CheckedProduct(storedBytes, {static_cast<std::int64_t>(rowBytes), height_})) {
    return false;
  }
  // A file too short for its rows fails now, before a large image is made.
  const std::int64_t fileSize = file_.Size();
  if (static_cast<std::uint64_t>(fileSize) < static_cast<std::uint64_t>(pixelOffset) + storedBytes) return false;

  engine::ImageBuffer& image = *image_;
  const bool reusable = image.GetBitsPerPixel() == 24 && image.GetWidth() == width_ &&
                        image.GetHeight() == height_ && image.GetPaletteCount() == 0;
  if (!reusable && image.Create(width_, height_, 24, 0) == 0) return false;

  std::vector<std::uint8_t> row(static_cast<std::size_t>(rowBytes));
  if (!file_.Seek(pixelOffset, SEEK_SET)) return false;
  for (std::int32_t i = 0; i < height_; ++i) {
    if (!file_.ReadExact(row.data(), row.size())) return false;
    std::uint8_t* out = image.GetRow(bottomUp_ == 1 ? height_ - 1 - i : i);
    const std::uint8_t* in = row.data();
    for (std::int32_t x = 0; x < width_; ++x, in += 3, out += 3) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
  }
  return true;
}

int BmpCodec::ReadImage() {
  const bool ok = openedForReading_ == 1 && CopyRows();
  Close();
  return ok ? 1 : 0;
}

int BmpCodec::BeginWrite(const char* path, engine::ImageBuffer* source, std::uint32_t bitDepth) {
  Close();
  // Refused before a file exists: what cannot be written must not cost the
  // file already at the target.
  if (source == nullptr || source->GetWidth() < 1 || source->GetHeight() < 1 || bitDepth != 24 ||
      source->GetBitsPerPixel() != 24 || WrittenFileBytes(source->GetWidth(), source->GetHeight()) == 0 ||
      !file_.OpenReplacement(path)) {
    Close();
    return 0;
  }
  path_.Assign(path);
  image_ = source;
  bitCount_ = 24;
  width_ = source->GetWidth();
  height_ = source->GetHeight();
  openedForWriting_ = 1;
  return 1;
}

bool BmpCodec::WriteRows() {
  const std::uint64_t rowBytes = StoredRowBytes(width_, 24);
  const std::uint64_t fileBytes = WrittenFileBytes(width_, height_);
  if (fileBytes == 0) return false;

  std::uint8_t headers[kFileHeaderBytes + kInfoHeaderBytes] = {};
  std::uint8_t* info = headers + kFileHeaderBytes;
  headers[0] = 'B';
  headers[1] = 'M';
  engine::PutU32le(headers + 2, static_cast<std::uint32_t>(fileBytes));  // file size
  engine::PutU32le(headers + 10, kFileHeaderBytes + kInfoHeaderBytes);  // pixel offset
  engine::PutU32le(info + 0, kInfoHeaderBytes);                          // header size
  engine::PutU32le(info + 4, static_cast<std::uint32_t>(width_));       // width
  engine::PutU32le(info + 8, static_cast<std::uint32_t>(height_));      // height: bottom-up
  engine::PutU16le(info + 12, 1);                                        // planes
  engine::PutU16le(info + 14, 24);                                       // bit count
  // compression, image size, resolutions and colour counts stay 0
  if (!file_.Seek(0, SEEK_SET) || !file_.WriteExact(headers, sizeof headers)) return false;

  std::vector<std::uint8_t> row(static_cast<std::size_t>(rowBytes), 0);  // padding stays zero
  for (std::int32_t i = 0; i < height_; ++i) {
    const std::uint8_t* in = image_->GetRow(height_ - 1 - i);
    std::uint8_t* out = row.data();
    for (std::int32_t x = 0; x < width_; ++x, in += 3, out += 3) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
    if (!file_.WriteExact(row.data(), row.size())) return false;
  }
  return true;
}

int BmpCodec::WriteImage() {
  bool ok = openedForWriting_ == 1 && WriteRows();
  ok = ok && file_.Commit();
  Close();
  return ok ? 1 : 0;
}

}  // namespace codecs
