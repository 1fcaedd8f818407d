#include "codecs/library/JpegCodec.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  engine::ImageBuffer image;
  codecs::JpegCodec codec;
  if (codec.BeginRead(fuzzsupport::WriteInput(data, size), &image) == 1) codec.ReadImage();
  return 0;
}
