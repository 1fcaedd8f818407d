#include "engine/commands/LoaderChain.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  engine::ImageBuffer image;
  const int result = engine::LoadAnyImage(fuzzsupport::WriteInput(data, size), image);
  if (result != engine::ResultOk && result != engine::ResultUnreadable) std::abort();
  if (result == engine::ResultOk && image.GetPixelBytes() != image.GetRowBytes() * static_cast<std::uint32_t>(image.GetHeight())) {
    std::abort();
  }
  return 0;
}
