// Turning a decoded picture upright. Orientation values are those of the TIFF
// Orientation tag, which Exif uses too: where the stored row 0 and column 0
// belong when the picture is shown.
//   1 row 0 top,    column 0 left    as stored
//   2 row 0 top,    column 0 right   mirrored left to right
//   3 row 0 bottom, column 0 right   turned half round
//   4 row 0 bottom, column 0 left    mirrored top to bottom
//   5 row 0 left,   column 0 top     mirrored about the main diagonal
//   6 row 0 right,  column 0 top     turned a quarter clockwise
//   7 row 0 right,  column 0 bottom  mirrored about the other diagonal
//   8 row 0 left,   column 0 bottom  turned a quarter anticlockwise
#pragma once

#include "engine/core/ImageBuffer.h"

namespace engine {

// Turns image as orientation says; any value outside 2..8 leaves it as it is.
// 2 to 4 work in place. 5 to 8 swap width and height, so they copy the picture
// into a second scratch mapping of the same size and then take it over: for a
// moment the picture needs twice its storage. 0 when that copy cannot be made
// (the image is then as it was); 1 otherwise. Palettes are kept.
int ApplyOrientation(ImageBuffer& image, int orientation);

}  // namespace engine
