// The program's own icon, drawn here rather than stored as an image file.
#pragma once

#include <vector>

namespace app {

inline constexpr int kIconSize = 128;

// 128 x 128 pixels, 0xAARRGGBB, rows top first.
std::vector<unsigned> DrawIcon();

}  // namespace app
