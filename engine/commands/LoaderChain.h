// Recognises a source by its content, never by its name: the readers are asked
// in a fixed order and the first that takes the file decides.
#pragma once

#include "engine/commands/ConversionResult.h"
#include "engine/core/ImageBuffer.h"

namespace engine {

// 1 with the picture in image, -1 when nothing exists at the path, -3 when no
// reader takes the file or the one that took it fails to decode it. When
// readerName is given it receives the name of the reader that took the file
// (null when none did).
int LoadAnyImage(const char* sourcePath, ImageBuffer& image, const char** readerName = nullptr);

// True when the chain holds a reader of that name ("JPEG", "BMP", "TIFF", "PNG",
// "PCX", "PCD").
bool HasReader(const char* name);

}  // namespace engine
