#include "codecs/library/TiffCodec.h"

#include <algorithm>
#include <cstring>

#include "engine/core/AlphaOverWhite.h"
#include "engine/core/Orientation.h"
#include "engine/core/SizeMath.h"

namespace codecs {
namespace {

// Classic TIFF addresses its file with 32-bit offsets. Checked before a file
// exists, with room for the directory and the strip tables (8 bytes for every
// strip of at least 8 KiB), so the library never fails half-way for it.
bool FitsClassicTiff(std::int64_t width, std::int64_t height, std::uint32_t depth) {
  std::uint64_t pixelBytes = 0;
  if (!engine::CheckedProduct(pixelBytes, {width, height, depth / 8})) return false;
  constexpr std::uint64_t kDirectoryRoom = 64 * 1024;
  return pixelBytes + pixelBytes / 1024 + kDirectoryRoom <= 0xFFFFFFFFull;
}

// The RGBA reader premultiplies the colours of a file whose alpha is
// unassociated, and dividing them back would lose precision. Told that the
// alpha is associated, it passes the stored colours through unchanged, so the
// picture reads as its PNG twin does. Only the directory in memory changes.
// True when it did so: the raster then holds stored colours, else colours
// premultiplied by their alpha (by the file or by the reader).
bool ReadStoredColours(TIFF* tiff) {
  std::uint16_t count = 0;
  std::uint16_t* kinds = nullptr;
  if (TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &count, &kinds) != 1 || count == 0 || kinds == nullptr ||
      kinds[0] != EXTRASAMPLE_UNASSALPHA) {
    return false;
  }
  std::array<std::uint16_t, 16> relabelled{};
  if (count > relabelled.size()) return false;
  std::copy(kinds, kinds + count, relabelled.begin());
  relabelled[0] = EXTRASAMPLE_ASSOCALPHA;
  return TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, count, relabelled.data()) == 1;
}

// The Orientation tag, 1 when absent or out of range.
int RecordedOrientation(TIFF* tiff) {
  std::uint16_t orientation = ORIENTATION_TOPLEFT;
  if (TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation) != 1) return 1;
  return orientation >= ORIENTATION_TOPLEFT && orientation <= ORIENTATION_LEFTBOT ? orientation : 1;
}

}  // namespace

void TiffCodec::Reset() {
  readFlag_ = 0;
  writeFlag_ = 0;
  path_.Clear();
  depth_ = 0;
  layout_ = 0;
  width_ = 0;
  height_ = 0;
  image_ = nullptr;
}

int TiffCodec::Close() {
  if (tiff_ != nullptr) {
    TIFFClose(tiff_);  // writes the directory of a file being written
    tiff_ = nullptr;
  }
  stream_.file.Close();  // a replacement not committed is removed
  raster_.Close(1);
  rowBuffer_.Free();
  tileBuffer_.Free();  // after TIFFClose, which may still point at it
  scratch_.Release();
  Reset();
  return 1;
}

int TiffCodec::Fail() {
  Close();
  return 0;
}

int TiffCodec::BeginRead(const char* path, engine::ImageBuffer* target) {
  Close();
  if (target == nullptr) return Fail();
  tiff_ = OpenTiffStream(path, "r", stream_);
  if (tiff_ == nullptr) return Fail();
  if (TIFFGetField(tiff_, TIFFTAG_IMAGEWIDTH, &width_) != 1 || TIFFGetField(tiff_, TIFFTAG_IMAGELENGTH, &height_) != 1 ||
      width_ == 0 || height_ == 0) {
    return Fail();
  }
  depth_ = 32;
  path_.Assign(path);
  layout_ = kLayoutRgb;
  readFlag_ = 1;
  image_ = target;
  return 1;
}

bool TiffCodec::DecodeRaster() {
  // The raster holds four bytes a pixel; neither it nor the image may
  // outgrow a mapping.
  std::uint64_t rasterBytes = 0;
  if (!engine::MappableProduct(rasterBytes, {width_, height_, 4})) return false;
  const auto width = static_cast<std::int32_t>(width_);
  const auto height = static_cast<std::int32_t>(height_);
  engine::ImageBuffer& image = *image_;
  const bool reusable = image.GetBitsPerPixel() == 24 && image.GetWidth() == width && image.GetHeight() == height;
  if (!reusable && image.Create(width, height, 24, 0) == 0) return false;
  if (raster_.Open(static_cast<std::uint32_t>(rasterBytes), "ORBCLASS") == 0) return false;

  auto* raster = reinterpret_cast<std::uint32_t*>(raster_.View());
  const bool storedColours = ReadStoredColours(tiff_);
  // Asked for the file's own orientation, the RGBA reader neither flips nor
  // turns: the raster holds the stored rows, the first row first, and one
  // transform afterwards serves all eight orientations (the reader itself
  // would only flip, never transpose).
  const int orientation = RecordedOrientation(tiff_);
  if (!PrepareUncompressedTiles()) return false;
  if (TIFFReadRGBAImageOriented(tiff_, width_, height_, raster, orientation, 0) == 0) return false;
  // Over white, alpha dropped.
  for (std::int32_t i = 0; i < height; ++i) {
    const std::uint32_t* in = raster + static_cast<std::size_t>(i) * width_;
    std::uint8_t* out = image.GetRow(i);
    for (std::uint32_t x = 0; x < width_; ++x, out += 3) {
      const std::uint32_t abgr = in[x];
      const std::uint32_t alpha = TIFFGetA(abgr);
      if (storedColours) {
        out[0] = engine::OverWhite(TIFFGetR(abgr), alpha);
        out[1] = engine::OverWhite(TIFFGetG(abgr), alpha);
        out[2] = engine::OverWhite(TIFFGetB(abgr), alpha);
      } else {
        out[0] = engine::PremultipliedOverWhite(TIFFGetR(abgr), alpha);
        out[1] = engine::PremultipliedOverWhite(TIFFGetG(abgr), alpha);
        out[2] = engine::PremultipliedOverWhite(TIFFGetB(abgr), alpha);
      }
    }
  }
  // The raster is not needed any more: its mapping goes before a turned copy
  // of the picture is made.
  raster_.Close(1);
  (void)engine::ApplyOrientation(image, orientation);
  return true;
}

bool TiffCodec::PrepareUncompressedTiles() {
  // libtiff checks that an uncompressed tile fills its read buffer exactly,
  // but when the file is not memory-mapped (ours never is) it rounds that
  // buffer up to a multiple of 1024 bytes, so every tile of another size
  // (small or narrow tiles, as at a picture's edges) is refused. A buffer of
  // exactly one tile, ours, passes the check.
  std::uint16_t compression = COMPRESSION_NONE;
  if (TIFFIsTiled(tiff_) == 0 || TIFFGetFieldDefaulted(tiff_, TIFFTAG_COMPRESSION, &compression) != 1 ||
      compression != COMPRESSION_NONE) {
    return true;
  }
  const tmsize_t tileBytes = TIFFTileSize(tiff_);
  if (tileBytes <= 0 || static_cast<std::uint64_t>(tileBytes) > engine::kMaxMappingBytes) return false;
  if (tileBuffer_.Allocate(static_cast<std::size_t>(tileBytes)) == 0) return false;
  return TIFFReadBufferSetup(tiff_, tileBuffer_.Data(), tileBytes) == 1;
}

int TiffCodec::ReadImage() {
  const bool ok = readFlag_ == 1 && image_ != nullptr && DecodeRaster();
  Close();
  return ok ? 1 : 0;
}

int TiffCodec::BeginWrite(const char* path, engine::ImageBuffer* source, std::uint32_t depth) {
  Close();
  if ((depth != 8 && depth != 24) || source == nullptr || source->GetWidth() < 1 || source->GetHeight() < 1 ||
      !FitsClassicTiff(source->GetWidth(), source->GetHeight(), depth)) {
    return Fail();
  }
  // Little-endian, and no "H": on this host libtiff's native bit fill order is
  // LSB-first, so "H" would reverse the bits of every sample in a file whose
  // FillOrder tag (absent, so 1) tells readers they are MSB-first.
  tiff_ = OpenTiffStream(path, "wl", stream_);
  if (tiff_ == nullptr) return Fail();
  depth_ = depth;
  writeFlag_ = 1;
  path_.Assign(path);
  image_ = source;
  layout_ = depth == 8 ? kLayoutGrey : kLayoutRgb;
  return 1;
}

bool TiffCodec::Encode() {
  const engine::ImageBuffer* encoded = image_;
  if (encoded->GetWidth() < 1 || encoded->GetHeight() < 1) return false;
  if (image_->GetBitsPerPixel() != depth_ || image_->GetPaletteCount() != 0) {
    if (image_->ConvertTo(scratch_, depth_, 0) == 0) return false;
    encoded = &scratch_;
  }
  const auto height = static_cast<std::uint32_t>(encoded->GetHeight());
  bool ok = TIFFSetField(tiff_, TIFFTAG_IMAGELENGTH, height) == 1 &&
            TIFFSetField(tiff_, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(encoded->GetWidth())) == 1 &&
            TIFFSetField(tiff_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) == 1;
  if (depth_ == 24) {
    ok = ok && TIFFSetField(tiff_, TIFFTAG_SAMPLESPERPIXEL, 3) == 1 && TIFFSetField(tiff_, TIFFTAG_BITSPERSAMPLE, 8) == 1;
  } else {
    std::uint16_t* red = colourMap_.data();
    std::uint16_t* green = red + 256;
    std::uint16_t* blue = green + 256;
    for (std::uint32_t i = 0; i < 256; ++i) red[i] = green[i] = blue[i] = static_cast<std::uint16_t>(i * 256);
    ok = ok && TIFFSetField(tiff_, TIFFTAG_SAMPLESPERPIXEL, 1) == 1 &&
         TIFFSetField(tiff_, TIFFTAG_BITSPERSAMPLE, 8) == 1 && TIFFSetField(tiff_, TIFFTAG_COLORMAP, red, green, blue) == 1;
  }
  ok = ok && TIFFSetField(tiff_, TIFFTAG_PHOTOMETRIC, depth_ == 24 ? PHOTOMETRIC_RGB : PHOTOMETRIC_PALETTE) == 1 &&
       TIFFSetField(tiff_, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) == 1 &&
       TIFFSetField(tiff_, TIFFTAG_COMPRESSION, COMPRESSION_NONE) == 1 &&
       TIFFSetField(tiff_, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff_, static_cast<std::uint32_t>(-1))) == 1;
  if (!ok) return false;

  const std::uint32_t rowBytes = encoded->GetRowBytes();
  const tmsize_t scanline = TIFFScanlineSize(tiff_);
  if (scanline <= 0) return false;
  const std::size_t bufferBytes = std::max<std::size_t>(rowBytes, static_cast<std::size_t>(scanline)) + 4;
  if (rowBuffer_.Allocate(bufferBytes) == 0) return false;
  std::memset(rowBuffer_.Data(), 0, bufferBytes);
  for (std::uint32_t i = 0; i < height; ++i) {
    std::memcpy(rowBuffer_.Data(), encoded->GetRow(static_cast<std::int32_t>(i)), rowBytes);
    if (TIFFWriteScanline(tiff_, rowBuffer_.Data(), i, 0) < 0) return false;
  }
  return true;
}

int TiffCodec::WriteImage() {
  if (writeFlag_ != 1 || tiff_ == nullptr || image_ == nullptr) return Fail();
  bool ok = Encode();
  // TIFFClose reports nothing: flush the directory first; the stream's own
  // flush and close, where a full disk shows, come with the commit.
  if (ok && TIFFFlush(tiff_) != 1) ok = false;
  TIFFClose(tiff_);
  tiff_ = nullptr;
  ok = ok && stream_.file.Commit();
  Close();
  return ok ? 1 : 0;
}

}  // namespace codecs
