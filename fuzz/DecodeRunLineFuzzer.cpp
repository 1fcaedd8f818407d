#include <vector>

#include "codecs/native/PcxCodec.h"

// The first two bytes choose the line length; the rest is compressed data.
// Decoding must stay inside both buffers and always move forward.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint32_t length = static_cast<std::uint32_t>(data[0] | data[1] << 8) % 4096 + 1;
  const std::vector<std::uint8_t> compressed(data + 2, data + size);
  std::vector<std::uint8_t> line(length, 0);
  const std::uint8_t* at = compressed.data();
  const std::uint8_t* end = compressed.data() + compressed.size();
  while (at < end) {
    const std::uint8_t* next = codecs::PcxCodec::DecodeRunLine(line.data(), at, end, length);
    if (next <= at || next > end) __builtin_trap();
    at = next;
  }
  return 0;
}
