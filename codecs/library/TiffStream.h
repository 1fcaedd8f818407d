// The C-stream layer TiffCodec opens its files through, and libtiff's quiet
// message handlers. The stream record lives in the codec object; the library
// closes the stream through its close procedure, whose result is kept there
// because TIFFClose itself reports nothing.
#pragma once

#include <cstdint>
#include <cstdio>

#include <tiffio.h>

#include "engine/core/HeapBlock.h"

namespace codecs {

struct TiffStream {
  std::FILE* file = nullptr;
  int closeResult = 0;  // 0, or -1 when fclose failed or a buffered write had failed
  // The stream's buffer: uncompressed strips are a few KiB each, so without it
  // nearly every strip would be a system call of its own.
  engine::HeapBlock buffer;
  // Where the stream is, and the file's size while writing (it starts empty);
  // -1 where not known. Kept here because ftello is a system call each time.
  std::int64_t position = -1;
  std::int64_t end = -1;
};

// Opens path as the library mode asks ("w..." -> "w+b", else "rb") and hands it
// to TIFFClientOpen; null when the stream or the library refuses (the stream
// is closed again then). Installs the quiet handlers the first time.
TIFF* OpenTiffStream(const char* path, const char* libraryMode, TiffStream& stream);

}  // namespace codecs
