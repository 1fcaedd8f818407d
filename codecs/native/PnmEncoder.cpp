#include "codecs/native/PnmEncoder.h"

#include <cstring>
#include <vector>

namespace codecs {
namespace {

constexpr const char kComment[] = "\n#Created by Plenwick 1.0\n";

// Appends value (0..255) in decimal and its separator; returns the new end.
inline char* AppendSample(char* out, std::uint32_t value, char separator) {
  if (value >= 100) {
    *out++ = static_cast<char>('0' + value / 100);
    *out++ = static_cast<char>('0' + value / 10 % 10);
  } else if (value >= 10) {
    *out++ = static_cast<char>('0' + value / 10);
  }
  *out++ = static_cast<char>('0' + value % 10);
  *out++ = separator;
  return out;
}

}  // namespace

void PnmEncoder::Reset() {
  openedForWriting_ = 0;
  sampleDepth_ = 0;
  textMode_ = 0;
  width_ = 0;
  height_ = 0;
  image_ = nullptr;
}

int PnmEncoder::Close() {
  file_.Close();
  Reset();
  return 1;
}

int PnmEncoder::WriteNumber(std::FILE* stream, std::int32_t value, int lineBreak) {
  char text[32];
  const int length = std::snprintf(text, sizeof text, "%d%c", value, lineBreak == 1 ? '\n' : ' ');
  if (stream == nullptr || length <= 0) return -1;
  return std::fwrite(text, static_cast<std::size_t>(length), 1, stream) == 1 ? 0 : -1;
}

int PnmEncoder::BeginWrite(const char* path, engine::ImageBuffer* source, int mode, int binary) {
  Close();
  if ((mode != 1 && mode != 2) || source == nullptr || !file_.OpenReplacement(path)) {
    Close();
    return 0;
  }
  sampleDepth_ = mode == 1 ? 8 : 24;
  textMode_ = binary != 1 ? 1 : 0;
  path_.Assign(path);
  image_ = source;
  width_ = source->GetWidth();
  height_ = source->GetHeight();
  openedForWriting_ = 1;
  return 1;
}

bool PnmEncoder::WriteText(const engine::ImageBuffer& pixels) {
  // A row of text at a time: at most four characters per sample.
  const std::size_t samplesPerRow = static_cast<std::size_t>(width_) * (sampleDepth_ == 24 ? 3 : 1);
  std::vector<char> text(samplesPerRow * 4);
  const std::int32_t lineEvery = sampleDepth_ == 24 ? 5 : 32;  // pixels or samples
  std::int32_t counter = 0;  // runs on across rows
  for (std::int32_t y = 0; y < height_; ++y) {
    const std::uint8_t* in = pixels.GetRow(y);
    char* out = text.data();
    for (std::int32_t x = 0; x < width_; ++x) {
      ++counter;
      const char separator = counter == lineEvery ? '\n' : ' ';
      if (counter == lineEvery) counter = 0;
      if (sampleDepth_ == 24) {
        out = AppendSample(out, in[0], ' ');
        out = AppendSample(out, in[1], ' ');
        out = AppendSample(out, in[2], separator);
        in += 3;
      } else {
        out = AppendSample(out, *in++, separator);
      }
    }
    if (!file_.WriteExact(text.data(), static_cast<std::size_t>(out - text.data()))) return false;
  }
  return true;
}

bool PnmEncoder::WriteAll() {
  if (openedForWriting_ != 1) return false;
  const bool colour = sampleDepth_ == 24;
  const char* magic = colour ? (textMode_ == 1 ? "P3" : "P6") : (textMode_ == 1 ? "P2" : "P5");
  char header[96];
  const int headerLength = std::snprintf(header, sizeof header, "%s%s%d %d 255\n", magic,  // magic
                                         kComment,                                         // comment block
                                         width_, height_);                                 // size, maximum
  if (headerLength <= 0 || static_cast<std::size_t>(headerLength) >= sizeof header) return false;
  if (!file_.Seek(0, SEEK_SET) || !file_.WriteExact(header, static_cast<std::size_t>(headerLength))) return false;

  const engine::ImageBuffer& source = *image_;
  const std::uint32_t bits = source.GetBitsPerPixel();
  const std::int32_t count = source.GetPaletteCount();
  bool asIs = false;
  if (colour) {
    asIs = bits == 24 && (textMode_ == 1 || count == 0);
  } else {
    // Text mode keeps an 8-bit image with a single palette entry as its indices.
    asIs = bits == 8 && (count == 0 || (textMode_ == 1 && count == 1));
  }
  engine::ImageBuffer converted;
  if (!asIs && source.ConvertTo(converted, colour ? 24 : 8, 0) != 1) return false;
  const engine::ImageBuffer& pixels = asIs ? source : converted;
  if (pixels.GetWidth() != width_ || pixels.GetHeight() != height_) return false;

  if (textMode_ == 1) return WriteText(pixels);
  for (std::int32_t y = 0; y < height_; ++y) {
    if (!file_.WriteExact(pixels.GetRow(y), pixels.GetRowBytes())) return false;
  }
  return true;
}

int PnmEncoder::WriteImage() {
  bool ok = WriteAll();
  ok = ok && file_.Commit();
  Close();
  return ok ? 1 : 0;
}

}  // namespace codecs
