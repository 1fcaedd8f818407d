// The C-stream layer TiffCodec opens its files through, and libtiff's quiet
// message handlers. The stream record lives in the codec object; the library
// closes the stream through its close procedure, whose result is kept there
// because TIFFClose itself reports nothing.
#pragma once

#include <cstdint>
#include <cstdio>

#include <tiffio.h>

#include "engine/core/FileStream.h"

namespace codecs {

// A file being written is a replacement beside its target: the library's close
// procedure leaves it open, and the codec commits it, or drops it, afterwards.
struct TiffStream {
  engine::FileStream file;
  bool writing = false;
  // Where the stream is, and the file's size while writing (it starts empty);
  // -1 where not known. Kept here because ftello is a system call each time.
  std::int64_t position = -1;
  std::int64_t end = -1;
};

// Opens path as the library mode asks ("w..." -> a replacement read back as it
// is written, else "rb") and hands it to TIFFClientOpen; null when the stream
// or the library refuses (the stream is closed again then). Installs the quiet
// handlers the first time.
TIFF* OpenTiffStream(const char* path, const char* libraryMode, TiffStream& stream);

}  // namespace codecs
