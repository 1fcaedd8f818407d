#include <algorithm>
#include <vector>

#include "codecs/native/PhotoCdReader.h"
#include "fuzz/FuzzSupport.h"

// Real image pacs are over 1 MiB, so the input is placed at the start of a
// zero-padded file of that size (the signature may come from the input).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> file(std::max<std::size_t>(size, 1048576), 0);
  std::copy(data, data + size, file.begin());
  engine::ImageBuffer image;
  codecs::PhotoCdReader reader;
  if (reader.BeginRead(fuzzsupport::WriteInput(file.data(), file.size()), &image, 2) == 1) reader.ReadImage();
  return 0;
}
