#include "codecs/library/PngCodec.h"

#include <csetjmp>
#include <cstdio>
#include <new>

#include "engine/core/AlphaOverWhite.h"
#include "engine/core/SizeMath.h"

// Every operation that enters the library arms recovery_ with setjmp first;
// the library's error hook jumps there. What is used after a jump is a member.

namespace codecs {
namespace {

// The gamma the codec assumes for files that say nothing, and for sRGB.
constexpr double kDefaultFileGamma = 0.45455;
constexpr double kScreenGamma = 2.2;
// Chunks of any length that carry only metadata, as the library lists them:
// four letters and a zero each.
constexpr png_byte kSkippedChunks[] = {
    't', 'E', 'X', 't', 0,  //
    'z', 'T', 'X', 't', 0,  //
    'i', 'T', 'X', 't', 0,  //
    's', 'P', 'L', 'T', 0,  //
    'e', 'X', 'I', 'f', 0,  //
    'p', 'C', 'A', 'L', 0,  //
    's', 'C', 'A', 'L', 0,  //
};

// The library's default limits (a million pixels each way) are a policy, not
// the format's: the format allows 2^31 - 1, and the mapping-size checks bound
// what a picture may cost.
void SetFormatLimits(png_structp png) {
  constexpr png_uint_32 kFormatMaximum = 0x7FFFFFFF;
  png_set_user_limits(png, kFormatMaximum, kFormatMaximum);
}

}  // namespace

void PngCodec::Reset() {
  readState_ = 0;
  writeState_ = 0;
  width_ = 0;
  height_ = 0;
  bitDepth_ = 0;
  colourType_ = 0;
  interlace_ = 0;
  compression_ = 0;
  filter_ = 0;
  png_ = nullptr;
  info_ = nullptr;
  path_.Clear();
  depth_ = 0;
  readDepth_ = 0;
  layout_ = 0;
  paletteCount_ = 0;
  image_ = nullptr;
  encoded_ = nullptr;
}

int PngCodec::Close() {
  if (readState_ == 1) {
    png_destroy_read_struct(&png_, info_ != nullptr ? &info_ : nullptr, nullptr);
  } else if (writeState_ == 1 && png_ != nullptr) {
    png_destroy_write_struct(&png_, info_ != nullptr ? &info_ : nullptr);
  }
  file_.Close();
  rows_.clear();
  rows_.shrink_to_fit();
  scratch_.Release();
  Reset();
  return 1;
}

int PngCodec::Fail() {
  Close();
  return 0;
}

bool PngCodec::PointRows(const engine::ImageBuffer& image) {
  try {
    rows_.resize(height_);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (png_uint_32 i = 0; i < height_; ++i) rows_[i] = image.GetRow(static_cast<std::int32_t>(i));
  return true;
}

int PngCodec::BeginRead(const char* path, engine::ImageBuffer* target) {
  Close();
  if (target == nullptr || !file_.Open(path, "rb") || !file_.Seek(0, SEEK_SET)) return Fail();
  path_.Assign(path);
  image_ = target;

  if (setjmp(recovery_.jump) != 0) return Fail();
  // The installed library's own version: libpng 1.6 refuses callers that name
  // an older release.
  png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &recovery_, &PngRaiseToRecovery, &PngIgnoreWarning);
  if (png_ == nullptr) return Fail();
  readState_ = 1;
  SetFormatLimits(png_);
  info_ = png_create_info_struct(png_);
  if (info_ == nullptr) return Fail();
  png_set_read_fn(png_, file_.Get(), &PngReadFromStream);
  // The library buffers a text or metadata chunk whole, at the length the file
  // claims (an oversized length is only a warning on reading), so a 100-byte
  // file could make it allocate 2 GiB. None of them touches the pixels: they
  // are skipped unread.
  png_set_keep_unknown_chunks(png_, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks,
                              static_cast<int>(sizeof kSkippedChunks / 5));
  png_read_info(png_, info_);
  png_get_IHDR(png_, info_, &width_, &height_, &bitDepth_, &colourType_, &interlace_, &compression_, &filter_);
  if (bitDepth_ > 8) return Fail();
  png_set_packing(png_);

  const bool transparency = png_get_valid(png_, info_, PNG_INFO_tRNS) != 0;
  const bool alphaChannel = (colourType_ & PNG_COLOR_MASK_ALPHA) != 0;
  if (colourType_ == PNG_COLOR_TYPE_PALETTE) {
    // Indices stay indices; a tRNS chunk lays the palette entries over white.
    png_colorp entries = nullptr;
    int count = 0;
    if (png_get_PLTE(png_, info_, &entries, &count) == 0) return Fail();
    depth_ = 8;
    readDepth_ = 8;
    layout_ = kLayoutPalette;
    paletteCount_ = count;
  } else if ((colourType_ & PNG_COLOR_MASK_COLOR) != 0) {
    // RGBA is laid over white in place and stays 32-bit. RGB with a tRNS
    // colour key comes from the library as RGBA (the key compared before any
    // gamma) and is laid over white into the 24-bit picture.
    if (!alphaChannel && transparency) png_set_tRNS_to_alpha(png_);
    depth_ = alphaChannel ? 32 : 24;
    readDepth_ = alphaChannel || transparency ? 32 : 24;
    layout_ = alphaChannel ? kLayoutRgba : kLayoutRgb;
    paletteCount_ = 0;
  } else {
    // Grey levels, one a byte; low depths scaled up. Grey with alpha, or with
    // a tRNS grey level, comes from the library as grey + alpha, two bytes a
    // pixel, and is laid over white into the 8-bit picture.
    if (bitDepth_ < 8) png_set_expand_gray_1_2_4_to_8(png_);
    if (!alphaChannel && transparency) png_set_tRNS_to_alpha(png_);
    depth_ = 8;
    readDepth_ = alphaChannel || transparency ? 16 : 8;
    layout_ = kLayoutGrey;
    paletteCount_ = 0;
  }
  std::uint64_t pixelBytes = 0;
  if (width_ > 0x7FFFFFFF || height_ > 0x7FFFFFFF ||
      !engine::MappableProduct(pixelBytes, {width_, height_, (depth_ > readDepth_ ? depth_ : readDepth_) / 8})) {
    return Fail();
  }
  return 1;
}

void PngCodec::LayOverWhite(engine::ImageBuffer& image) const {
  const auto width = static_cast<std::size_t>(width_);
  if (layout_ == kLayoutPalette) {
    png_bytep alphas = nullptr;
    int count = 0;
    if (png_get_tRNS(png_, info_, &alphas, &count, nullptr) == 0 || alphas == nullptr) return;
    engine::PaletteEntry* palette = image.GetPalette();
    for (int i = 0; i < count && i < paletteCount_; ++i) {
      palette[i].red = engine::OverWhite(palette[i].red, alphas[i]);
      palette[i].green = engine::OverWhite(palette[i].green, alphas[i]);
      palette[i].blue = engine::OverWhite(palette[i].blue, alphas[i]);
    }
    return;
  }
  if (readDepth_ == depth_ && depth_ != 32) return;
  // Rows of alpha first (the library swapped it there): A, G from the scratch
  // picture, or A, R, G, B from it or in place.
  const engine::ImageBuffer& read = readDepth_ == depth_ ? image : scratch_;
  for (png_uint_32 y = 0; y < height_; ++y) {
    const std::uint8_t* in = read.GetRow(static_cast<std::int32_t>(y));
    std::uint8_t* out = image.GetRow(static_cast<std::int32_t>(y));
    if (readDepth_ == 16) {
      for (std::size_t x = 0; x < width; ++x, in += 2) out[x] = engine::OverWhite(in[1], in[0]);
    } else if (depth_ == 24) {
      for (std::size_t x = 0; x < width; ++x, in += 4, out += 3) {
        out[0] = engine::OverWhite(in[1], in[0]);
        out[1] = engine::OverWhite(in[2], in[0]);
        out[2] = engine::OverWhite(in[3], in[0]);
      }
    } else {
      // In place; the leading byte then says opaque, as every other 32-bit
      // picture of the engine does.
      for (std::size_t x = 0; x < width; ++x, out += 4) {
        const std::uint8_t alpha = out[0];
        out[0] = 255;
        out[1] = engine::OverWhite(out[1], alpha);
        out[2] = engine::OverWhite(out[2], alpha);
        out[3] = engine::OverWhite(out[3], alpha);
      }
    }
  }
}

int PngCodec::ReadImage() {
  if (readState_ != 1 || image_ == nullptr) return Fail();
  if (setjmp(recovery_.jump) != 0) return Fail();

  const auto width = static_cast<std::int32_t>(width_);
  const auto height = static_cast<std::int32_t>(height_);
  engine::ImageBuffer& image = *image_;
  const bool reusable = image.GetBitsPerPixel() == depth_ && image.GetPaletteCount() == paletteCount_ &&
                        image.GetWidth() == width && image.GetHeight() == height;
  if (!reusable && image.Create(width, height, depth_, paletteCount_) == 0) return Fail();

  if (layout_ == kLayoutPalette) {
    // As the file has it, before any gamma set-up.
    png_colorp entries = nullptr;
    int count = 0;
    png_get_PLTE(png_, info_, &entries, &count);
    if (count > 256 || count != paletteCount_) return Fail();
    engine::PaletteEntry* palette = image.GetPalette();
    for (int i = 0; i < count; ++i) {
      palette[i].red = entries[i].red;
      palette[i].green = entries[i].green;
      palette[i].blue = entries[i].blue;
    }
  }
  // The library fills a picture of the depth it delivers; where that holds
  // alpha the picture itself cannot, a scratch picture takes the rows.
  engine::ImageBuffer* rows = &image;
  if (readDepth_ != depth_) {
    if (scratch_.Create(width, height, readDepth_, 0) == 0) return Fail();
    rows = &scratch_;
  }
  if (!PointRows(*rows)) return Fail();

  double fileGamma = kDefaultFileGamma;
  int intent = 0;
  if (png_get_sRGB(png_, info_, &intent) == 0) png_get_gAMA(png_, info_, &fileGamma);
  png_set_gamma(png_, kScreenGamma, fileGamma);
  png_set_swap_alpha(png_);
  const int passes = png_set_interlace_handling(png_);
  png_read_update_info(png_, info_);
  if (png_get_rowbytes(png_, info_) != rows->GetRowBytes()) return Fail();

  for (int pass = 0; pass < passes; ++pass) png_read_rows(png_, rows_.data(), nullptr, height_);
  png_read_end(png_, info_);
  LayOverWhite(image);
  Close();
  return 1;
}

int PngCodec::BeginWrite(const char* path, engine::ImageBuffer* source, std::uint32_t depth,
                         std::int32_t paletteCount) {
  Close();
  if (depth == 8 && paletteCount >= 1 && paletteCount <= 256) {
    layout_ = kLayoutPalette;
  } else if (depth == 24) {
    layout_ = kLayoutRgb;
  } else if (depth == 32) {
    layout_ = kLayoutRgba;
  } else {
    return Fail();
  }
  // Refused before a file exists, so the file already at the target stays.
  if (source == nullptr || source->GetWidth() < 1 || source->GetHeight() < 1 || !file_.OpenReplacement(path)) {
    return Fail();
  }
  paletteCount_ = depth == 8 ? paletteCount : 0;
  depth_ = depth;
  writeState_ = 1;
  path_.Assign(path);
  height_ = static_cast<png_uint_32>(source->GetHeight());
  width_ = static_cast<png_uint_32>(source->GetWidth());
  image_ = source;
  return 1;
}

int PngCodec::WriteImage() {
  scratch_.Release();
  if (writeState_ != 1 || image_ == nullptr) return Fail();
  if (setjmp(recovery_.jump) != 0) return Fail();
  png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, &recovery_, &PngRaiseToRecovery, &PngIgnoreWarning);
  if (png_ == nullptr) return Fail();
  SetFormatLimits(png_);
  info_ = png_create_info_struct(png_);
  if (info_ == nullptr) return Fail();
  png_set_write_fn(png_, file_.Get(), &PngWriteToStream, &PngFlushStream);

  encoded_ = image_;
  if (image_->GetBitsPerPixel() != depth_ || image_->GetPaletteCount() != paletteCount_) {
    if (image_->ConvertTo(scratch_, depth_, paletteCount_) == 0) return Fail();
    encoded_ = &scratch_;
  }

  int colourType = PNG_COLOR_TYPE_RGB;
  int entries = 0;
  if (depth_ == 8) {
    colourType = PNG_COLOR_TYPE_PALETTE;
    // A palette image that was already in form keeps its own count; entries a
    // quantised palette does not hold are written black.
    entries = encoded_->GetPaletteCount();
    if (entries < 1 || entries > 256) return Fail();
    const engine::PaletteEntry* palette = encoded_->GetPalette();
    const std::uint32_t held = encoded_->GetPaletteEntryCount();
    for (int i = 0; i < entries; ++i) {
      const bool present = palette != nullptr && static_cast<std::uint32_t>(i) < held;
      palette_[i] = present ? png_color{palette[i].red, palette[i].green, palette[i].blue} : png_color{0, 0, 0};
    }
  } else if (depth_ == 32) {
    colourType = PNG_COLOR_TYPE_RGB_ALPHA;
  }

  png_set_IHDR(png_, info_, width_, height_, 8, colourType, PNG_INTERLACE_ADAM7, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  // libpng 1.6 rejects an empty PLTE, and only palette images carry one.
  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png_, info_, palette_.data(), entries);
  png_write_info(png_, info_);
  // Our 32-bit pixels lead with alpha; the library reorders them on the way
  // out, so the caller's image is left as it was.
  if (depth_ == 32) png_set_swap_alpha(png_);
  const int passes = png_set_interlace_handling(png_);
  if (!PointRows(*encoded_)) return Fail();
  for (int pass = 0; pass < passes; ++pass) png_write_rows(png_, rows_.data(), height_);
  png_write_end(png_, info_);
  scratch_.Release();
  if (!file_.Commit()) return Fail();
  Close();
  return 1;
}

}  // namespace codecs
