// The program's own icon, drawn here rather than stored as an image file.
#pragma once

#include <vector>

namespace app {

inline constexpr int kIconSize = 128;

// size x size pixels (the window's is kIconSize), 0xAARRGGBB with straight
// alpha, rows top first. Every size is drawn from the shapes themselves, not
// scaled from another size.
std::vector<unsigned> DrawIcon(int size = kIconSize);

}  // namespace app
