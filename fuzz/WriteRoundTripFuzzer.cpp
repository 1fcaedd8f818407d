// A small arbitrary picture at each depth through every writer and, where we
// have a reader, back again: the pixels must survive exactly (JPEG: it must
// decode at the right size).
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/commands/LoaderChain.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/WriterTable.h"

namespace {

// The picture's colours as the 24-bit writers store them.
std::vector<std::uint8_t> AsRgb(const engine::ImageBuffer& image) {
  engine::ImageBuffer rgb;
  if (image.ConvertTo(rgb, 24, 0) != 1) __builtin_trap();
  return {rgb.GetPixels(), rgb.GetPixels() + rgb.GetPixelBytes()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;  // three bytes of shape, then at least one of pixels
  const int width = data[0] % 24 + 1;
  const int height = data[1] % 24 + 1;
  static constexpr std::uint32_t kDepths[] = {8, 8, 16, 24, 32};
  const std::uint32_t depth = kDepths[data[2] % 5];
  const int paletteCount = data[2] % 5 == 1 ? 256 : 0;
  engine::ImageBuffer picture;
  if (picture.Create(width, height, depth, paletteCount) != 1) __builtin_trap();
  const std::size_t pixelBytes = picture.GetPixelBytes();
  for (std::size_t i = 0; i < pixelBytes; ++i) picture.GetPixels()[i] = data[3 + i % (size - 3)];
  for (int i = 0; i < paletteCount; ++i) {
    picture.GetPalette()[i] = {data[i % size], data[(i * 7) % size], data[(i * 13) % size], 0, 0};
  }
  const std::vector<std::uint8_t> expected = AsRgb(picture);
  const std::string target = fuzzsupport::InputPath() + ".out";

  for (const fuzzsupport::Writer& writer : fuzzsupport::kWriters) {
    if (writer.write(target.c_str(), picture) != 1) __builtin_trap();
    if (writer.readable == fuzzsupport::Readable::No) continue;
    engine::ImageBuffer back;
    if (engine::LoadAnyImage(target.c_str(), back) != engine::ResultOk) {
      // PCX cannot hold a picture one pixel wide or high.
      if (writer.readable == fuzzsupport::Readable::UnlessThin && (width == 1 || height == 1)) continue;
      __builtin_trap();
    }
    if (back.GetWidth() != width || back.GetHeight() != height) __builtin_trap();
    if (writer.readable != fuzzsupport::Readable::Lossy && AsRgb(back) != expected) __builtin_trap();
  }
  std::remove(target.c_str());
  return 0;
}
