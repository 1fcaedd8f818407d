#include "codecs/library/JpegCodec.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "engine/core/ByteReader.h"
#include "engine/core/ExifOrientation.h"
#include "engine/core/Orientation.h"
#include "engine/core/SizeMath.h"

// Every operation that enters the library arms the jump buffer in errors_ with
// setjmp first. Whatever is used after a jump is a member, and the frames a
// jump can leave hold only trivially destructible locals.

namespace codecs {

void JpegCodec::Reset() {
  decompressCreated_ = 0;
  compressCreated_ = 0;
  std::memset(&decompress_, 0, sizeof decompress_);
  std::memset(&compress_, 0, sizeof compress_);
  quality_ = 100;
  path_.Clear();
  depth_ = 0;
  colourMode_ = 0;
  width_ = 0;
  height_ = 0;
  image_ = nullptr;
  encoded_ = nullptr;
  orientation_ = 1;
}

int JpegCodec::Close() {
  file_.Close();
  if (decompressCreated_ == 1) {
    jpeg_destroy_decompress(&decompress_);
  } else if (compressCreated_ == 1) {
    jpeg_destroy_compress(&compress_);
  }
  scratch_.Release();
  Reset();
  return 1;
}

int JpegCodec::Fail() {
  Close();
  return 0;
}

int JpegCodec::BeginRead(const char* path, engine::ImageBuffer* target) {
  Close();
  if (target == nullptr || !file_.Open(path, "rb")) return Fail();
  std::uint8_t signature[2] = {};
  if (!file_.ReadExact(signature, sizeof signature)) return Fail();
  if (engine::ByteReader(signature, sizeof signature).U16be(0) != 0xFFD8) return Fail();
  if (!file_.Seek(0, SEEK_SET)) return Fail();
  path_.Assign(path);
  image_ = target;

  decompress_.err = ArmJpegErrorManager(errors_);
  if (setjmp(errors_.recovery) != 0) return Fail();
  decompressCreated_ = 1;
  jpeg_create_decompress(&decompress_);
  jpeg_stdio_src(&decompress_, file_.Get());
  // APP1 segments are kept whole (a segment cannot exceed 65533 bytes) for
  // the orientation an Exif block may record.
  jpeg_save_markers(&decompress_, JPEG_APP0 + 1, 0xFFFF);
  if (jpeg_read_header(&decompress_, TRUE) != JPEG_HEADER_OK) return Fail();
  orientation_ = RecordedOrientation();
  // Starting sizes the library's buffers (a whole-image coefficient store for
  // progressive files) from the frame header: refuse a picture that could not
  // be held anyway before a tiny hostile file makes it allocate gigabytes.
  std::uint64_t frameBytes = 0;
  if (!engine::MappableProduct(frameBytes, {decompress_.image_width, decompress_.image_height,
                                            decompress_.num_components})) {
    return Fail();
  }
  if (jpeg_start_decompress(&decompress_) != TRUE) return Fail();

  const int components = decompress_.out_color_components;
  if (decompress_.output_width < 1 || decompress_.output_height < 1) return Fail();
  if (components != 1 && components != 3) return Fail();
  std::uint64_t pixelBytes = 0;
  if (!engine::MappableProduct(pixelBytes, {decompress_.output_width, decompress_.output_height, components})) {
    return Fail();
  }
  width_ = decompress_.output_width;
  height_ = decompress_.output_height;
  colourMode_ = components == 3 ? kColourRgb : kColourGrey;
  return 1;
}

int JpegCodec::RecordedOrientation() const {
  // The first APP1 that is an Exif block decides; others (XMP) are skipped.
  for (jpeg_saved_marker_ptr marker = decompress_.marker_list; marker != nullptr; marker = marker->next) {
    if (marker->marker != JPEG_APP0 + 1 || marker->data_length < 6 || marker->data == nullptr ||
        std::memcmp(marker->data, "Exif\0\0", 6) != 0) {
      continue;
    }
    return engine::ExifOrientation(marker->data, marker->data_length);
  }
  return 1;
}

int JpegCodec::ReadImage() {
  if (decompressCreated_ != 1 || image_ == nullptr) return Fail();
  decompress_.err = ArmJpegErrorManager(errors_);
  if (setjmp(errors_.recovery) != 0) return Fail();

  if (colourMode_ == kColourRgb) {
    depth_ = 24;
  } else if (colourMode_ == kColourGrey) {
    depth_ = 8;
  } else {
    return Fail();
  }
  if (image_->Create(static_cast<std::int32_t>(width_), static_cast<std::int32_t>(height_), depth_, 0) == 0) {
    return Fail();
  }
  while (decompress_.output_scanline < decompress_.output_height) {
    JSAMPROW row = image_->GetRow(static_cast<std::int32_t>(decompress_.output_scanline));
    if (jpeg_read_scanlines(&decompress_, &row, 1) != 1) return Fail();
  }
  // No jpeg_finish_decompress: whatever follows the last row is not our
  // concern, and Close destroys the state.
  const int orientation = orientation_;
  engine::ImageBuffer& image = *image_;
  Close();
  // Upright as a photo viewer shows it. Should the turned copy not fit in the
  // temporary folder, the picture stays as stored rather than being lost.
  (void)engine::ApplyOrientation(image, orientation);
  return 1;
}

int JpegCodec::WriteImage(const char* path, engine::ImageBuffer* source, int quality, int colour, int optimize,
                          int smoothing) {
  Close();
  if (source == nullptr || quality < 1 || quality > 100 || smoothing < 0 || smoothing > 100) return Fail();
  // The library's own limit, refused before a file exists so that the file
  // already at the target stays.
  if (source->GetWidth() < 1 || source->GetHeight() < 1 || source->GetWidth() > JPEG_MAX_DIMENSION ||
      source->GetHeight() > JPEG_MAX_DIMENSION) {
    return Fail();
  }
  image_ = source;
  path_.Assign(path);
  quality_ = quality;
  width_ = static_cast<std::uint32_t>(source->GetWidth());
  height_ = static_cast<std::uint32_t>(source->GetHeight());
  colourMode_ = colour == 1 ? kColourRgb : kColourGrey;
  depth_ = colour == 1 ? 24 : 8;

  compress_.err = ArmJpegErrorManager(errors_);
  if (setjmp(errors_.recovery) != 0) return Fail();
  jpeg_create_compress(&compress_);
  compressCreated_ = 1;
  if (!file_.OpenReplacement(path_.Text())) return Fail();
  jpeg_stdio_dest(&compress_, file_.Get());

  compress_.image_width = width_;
  compress_.image_height = height_;
  compress_.input_components = colourMode_ == kColourRgb ? 3 : 1;
  compress_.in_color_space = colourMode_ == kColourRgb ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&compress_);
  compress_.optimize_coding = optimize != 0 ? TRUE : FALSE;
  compress_.smoothing_factor = smoothing;
  jpeg_set_quality(&compress_, quality_, TRUE);
  jpeg_start_compress(&compress_, TRUE);

  // Grey mode takes only grey levels: a palette image's bytes are indices, so
  // it is mapped through its palette first.
  const bool needsCopy = colourMode_ == kColourRgb
                             ? image_->GetBitsPerPixel() != 24
                             : image_->GetBitsPerPixel() != 8 || image_->GetPaletteCount() != 0;
  encoded_ = image_;
  if (needsCopy) {
    if (image_->ConvertTo(scratch_, depth_, 0) == 0) return Fail();
    encoded_ = &scratch_;
  }
  while (compress_.next_scanline < compress_.image_height) {
    JSAMPROW row = encoded_->GetRow(static_cast<std::int32_t>(compress_.next_scanline));
    if (jpeg_write_scanlines(&compress_, &row, 1) != 1) return Fail();
  }
  jpeg_finish_compress(&compress_);
  scratch_.Release();
  // fflush and fclose can still find the disk full.
  if (!file_.Commit()) return Fail();
  Close();
  return 1;
}

}  // namespace codecs
