// The libpng hooks of PngCodec. The error pointer is the codec's own
// recovery record, so a library error jumps back into the operation in
// progress; the I/O pointer is the codec's C stream.
#pragma once

#include <csetjmp>
#include <cstddef>

#include <png.h>

namespace codecs {

struct PngRecovery {
  std::jmp_buf jump;
};

// Error: the message is dropped and control returns to PngRecovery::jump.
[[noreturn]] void PngRaiseToRecovery(png_structp png, png_const_charp message);
// Warnings never fail an operation and are never printed.
void PngIgnoreWarning(png_structp png, png_const_charp message);
// Whole requests as one item; a short transfer is a library error.
void PngReadFromStream(png_structp png, png_bytep data, std::size_t length);
void PngWriteToStream(png_structp png, png_bytep data, std::size_t length);
void PngFlushStream(png_structp png);

}  // namespace codecs
