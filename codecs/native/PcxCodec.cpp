#include "codecs/native/PcxCodec.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/core/ByteReader.h"
#include "engine/core/FileHelpers.h"
#include "engine/core/ScratchMapping.h"
#include "engine/core/SizeMath.h"

namespace codecs {
namespace {

// The largest width whose even bytes-per-line still fits the 16-bit field.
constexpr std::int32_t kMaxWrittenWidth = 65534;
// y maximum = height - 1 must fit 16 bits.
constexpr std::int32_t kMaxWrittenHeight = 65536;

}  // namespace

void PcxCodec::Reset() {
  openedForReading_ = 0;
  openedForWriting_ = 0;
  std::memset(header_, 0, sizeof header_);
  bitsPerPixel_ = 0;
  width_ = 0;
  height_ = 0;
  image_ = nullptr;
}

int PcxCodec::Close() {
  file_.Close();
  Reset();
  return 1;
}

bool PcxCodec::ReadHeader(const char* path) {
  if (!file_.Open(path, "rb")) return false;
  if (!file_.Seek(0, SEEK_SET) || !file_.ReadExact(header_, sizeof header_)) return false;
  const engine::ByteReader header(header_, sizeof header_);
  if (header.U8(0) != 0x0A) return false;
  const std::int32_t xSpan = static_cast<std::int32_t>(header.U16le(8)) - header.U16le(4);
  const std::int32_t ySpan = static_cast<std::int32_t>(header.U16le(10)) - header.U16le(6);
  if (xSpan == 0 || ySpan == 0) return false;
  width_ = xSpan + 1;
  height_ = ySpan + 1;
  bitsPerPixel_ = static_cast<std::uint32_t>(header.U8(65)) * header.U8(3);
  return bitsPerPixel_ == 8 || bitsPerPixel_ == 24;
}

int PcxCodec::BeginRead(const char* path, engine::ImageBuffer* target) {
  Close();
  if (target == nullptr || !ReadHeader(path)) {
    Close();
    return 0;
  }
  path_.Assign(path);
  image_ = target;
  openedForReading_ = 1;
  return 1;
}

const std::uint8_t* PcxCodec::DecodeRunLine(std::uint8_t* line, const std::uint8_t* data,
                                            const std::uint8_t* dataEnd, std::uint32_t lineLength) {
  std::uint32_t n = 0;
  while (n < lineLength && data < dataEnd) {
    const std::uint8_t b = *data++;
    if (b < 0xC0) {
      line[n++] = b;
      continue;
    }
    if (data >= dataEnd) break;  // a count with no byte to repeat
    const std::uint8_t value = *data++;
    const std::uint32_t count = std::min<std::uint32_t>(b & 0x3Fu, lineLength - n);
    std::memset(line + n, value, count);
    n += count;
  }
  return data;
}

bool PcxCodec::DecodeRows() {
  const engine::ByteReader header(header_, sizeof header_);
  const std::int64_t bytesPerLine = header.U16le(66);
  const std::int64_t lineLength = bytesPerLine * header.U8(65);
  const std::int64_t fileSize = file_.Size();
  const std::int64_t compressed = fileSize - (bitsPerPixel_ == 24 ? kHeaderBytes : kHeaderBytes + kPaletteBytes);
  if (compressed < 1 || static_cast<std::uint64_t>(compressed) > engine::kMaxMappingBytes) return false;

  engine::ScratchMapping work;
  if (work.Open(static_cast<std::uint32_t>(compressed), "ORBCLASS") == 0) return false;
  engine::ImageBuffer& image = *image_;
  if (image.Create(width_, height_, bitsPerPixel_, bitsPerPixel_ == 8 ? 256 : 0) == 0) return false;

  if (bitsPerPixel_ == 8) {
    std::uint8_t palette[kPaletteBytes];
    if (!file_.Seek(fileSize - kPaletteBytes, SEEK_SET) || !file_.ReadExact(palette, sizeof palette)) return false;
    engine::PaletteEntry* entries = image.GetPalette();
    for (std::uint32_t k = 0; k < 256; ++k) {
      entries[k].red = palette[3 * k];
      entries[k].green = palette[3 * k + 1];
      entries[k].blue = palette[3 * k + 2];
    }
  }
  if (!file_.Seek(kHeaderBytes, SEEK_SET) || !file_.ReadExact(work.View(), work.Size())) return false;
  work.FlushView(nullptr, 0);

  // Room for every offset the pixel copy uses, whatever bytes-per-line says, so
  // a short line or the one-plane 24-bit layout reads decoded bytes or zeros.
  const std::int64_t width = width_;
  const std::int64_t lineBytes = std::max({lineLength, 2 * bytesPerLine + width, 6 * width});
  std::vector<std::uint8_t> line(static_cast<std::size_t>(lineBytes), 0);
  const auto decodeLength = static_cast<std::uint32_t>(lineLength);
  const std::size_t plane = static_cast<std::size_t>(bytesPerLine);
  const std::uint8_t* data = work.View();
  const std::uint8_t* dataEnd = data + work.Size();
  for (std::int32_t y = 0; y < height_; ++y) {
    // Rows past the end of the data stay as created, all zero: a tiny file
    // declaring a huge picture must not make us write gigabytes of black.
    if (data >= dataEnd) break;
    // Cleared each line: a line the data does not reach comes out black.
    std::fill(line.begin(), line.end(), std::uint8_t{0});
    const std::uint8_t* next = DecodeRunLine(line.data(), data, dataEnd, decodeLength);
    // No byte taken (a bytes-per-line of 0): this and every later line would
    // decode to nothing, so they stay zero as created.
    if (next == data) break;
    data = next;
    std::uint8_t* out = image.GetRow(y);
    if (bitsPerPixel_ == 8) {
      std::memcpy(out, line.data(), static_cast<std::size_t>(width_));
      continue;
    }
    const std::uint8_t* red = line.data();
    const std::uint8_t* green = red + plane;
    const std::uint8_t* blue = green + plane;
    for (std::int32_t x = 0; x < width_; ++x, out += 3) {
      out[0] = red[x];
      out[1] = green[x];
      out[2] = blue[x];
    }
  }
  image.Flush();
  return true;
}

int PcxCodec::ReadImage() {
  const bool ok = openedForReading_ == 1 && DecodeRows();
  Close();
  return ok ? 1 : 0;
}

int PcxCodec::BeginWrite(const char* path, engine::ImageBuffer* source, std::uint32_t bitDepth) {
  Close();
  // The size fields are 16 bits: a larger picture is refused before a file
  // exists, so the file already at the target stays.
  if (source == nullptr || source->GetWidth() < 1 || source->GetHeight() < 1 || bitDepth != 24 ||
      source->GetBitsPerPixel() != 24 || source->GetWidth() > kMaxWrittenWidth ||
      source->GetHeight() > kMaxWrittenHeight || !file_.OpenReplacement(path)) {
    Close();
    return 0;
  }
  path_.Assign(path);
  image_ = source;
  bitsPerPixel_ = 24;
  width_ = source->GetWidth();
  height_ = source->GetHeight();
  openedForWriting_ = 1;
  return 1;
}

std::uint32_t PcxCodec::EncodeRunLine(std::uint8_t* out, const std::uint8_t* line, std::uint32_t lineLength) {
  // Photos are mostly single bytes: those take the short path, written without
  // a branch (out holds two bytes per input byte, so the spare write fits).
  std::uint32_t produced = 0;
  std::uint32_t pos = 0;
  while (pos < lineLength) {
    const std::uint8_t v = line[pos];
    if (pos + 1 < lineLength && line[pos + 1] == v) {
      std::uint32_t count = 2;
      while (count < 63 && pos + count < lineLength && line[pos + count] == v) ++count;
      out[produced++] = static_cast<std::uint8_t>(0xC0 + count);
      out[produced++] = v;
      pos += count;
      continue;
    }
    const bool escaped = v >= 0xC0;
    out[produced] = escaped ? std::uint8_t{0xC1} : v;
    out[produced + 1] = v;
    produced += escaped ? 2 : 1;
    ++pos;
  }
  return produced;
}

bool PcxCodec::WriteRows() {
  // The size fields are 16 bits: a larger picture would get a wrong header.
  if (width_ > kMaxWrittenWidth || height_ > kMaxWrittenHeight) return false;
  const std::uint32_t bytesPerLine = (static_cast<std::uint32_t>(width_) + 1) & ~1u;

  std::uint8_t* h = header_;
  std::memset(h, 0, sizeof header_);
  h[0] = 0x0A;                                                     // manufacturer
  h[1] = 5;                                                        // version
  h[2] = 1;                                                        // encoding: run-length
  h[3] = 8;                                                        // bits per plane
  engine::PutU16le(h + 4, 0);                                      // x minimum
  engine::PutU16le(h + 6, 0);                                      // y minimum
  engine::PutU16le(h + 8, static_cast<std::uint32_t>(width_ - 1));  // x maximum
  engine::PutU16le(h + 10, static_cast<std::uint32_t>(height_ - 1));  // y maximum
  engine::PutU16le(h + 12, 300);                                   // horizontal resolution
  engine::PutU16le(h + 14, 300);                                   // vertical resolution
  // 16..63 EGA palette and 64 reserved stay zero
  h[65] = 3;                                                       // planes
  engine::PutU16le(h + 66, bytesPerLine);                          // bytes per line
  engine::PutU16le(h + 68, 0);                                     // palette information
  engine::PutU16le(h + 70, 800);                                   // horizontal screen size
  engine::PutU16le(h + 72, 600);                                   // vertical screen size
  // 74..127 filler stays zero

  // The pad byte of an odd width is never written into, so it stays 0.
  const std::size_t lineLength = 3 * static_cast<std::size_t>(bytesPerLine);
  std::vector<std::uint8_t> line(lineLength, 0);
  std::vector<std::uint8_t> code(2 * lineLength);
  if (!file_.Seek(0, SEEK_SET) || !file_.WriteExact(header_, sizeof header_)) return false;

  std::uint8_t* red = line.data();
  std::uint8_t* green = red + bytesPerLine;
  std::uint8_t* blue = green + bytesPerLine;
  for (std::int32_t y = 0; y < height_; ++y) {
    const std::uint8_t* in = image_->GetRow(y);
    for (std::int32_t x = 0; x < width_; ++x, in += 3) {
      red[x] = in[0];
      green[x] = in[1];
      blue[x] = in[2];
    }
    const std::uint32_t produced = EncodeRunLine(code.data(), line.data(), static_cast<std::uint32_t>(lineLength));
    if (!file_.WriteExact(code.data(), produced)) return false;
  }
  return true;
}

int PcxCodec::WriteImage() {
  if (openedForWriting_ != 1) return 0;
  const bool ok = WriteRows() && file_.Commit();
  Close();
  return ok ? 1 : 0;
}

}  // namespace codecs
