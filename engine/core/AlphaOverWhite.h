// A colour sample seen over a white background, for pictures written where
// alpha cannot go. Integer arithmetic, rounded to nearest.
#pragma once

#include <cstdint>

namespace engine {

// A stored (unassociated) sample c with alpha a.
constexpr std::uint8_t OverWhite(std::uint32_t c, std::uint32_t a) {
  return static_cast<std::uint8_t>((c * a + 255 * (255 - a) + 127) / 255);
}

// A premultiplied (associated) sample: c already holds c * a / 255, and white
// adds exactly 255 - a. A sample above its alpha (a damaged file) stays white.
constexpr std::uint8_t PremultipliedOverWhite(std::uint32_t c, std::uint32_t a) {
  const std::uint32_t sum = c + 255 - a;
  return static_cast<std::uint8_t>(sum > 255 ? 255 : sum);
}

}  // namespace engine
