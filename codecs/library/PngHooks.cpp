#include "codecs/library/PngHooks.h"

#include <cstdio>

namespace codecs {

void PngRaiseToRecovery(png_structp png, png_const_charp) {
  std::longjmp(static_cast<PngRecovery*>(png_get_error_ptr(png))->jump, 1);
}

void PngIgnoreWarning(png_structp, png_const_charp) {}

void PngReadFromStream(png_structp png, png_bytep data, std::size_t length) {
  if (length == 0) return;
  if (std::fread(data, length, 1, static_cast<std::FILE*>(png_get_io_ptr(png))) != 1) {
    png_error(png, "reading png image error");
  }
}

void PngWriteToStream(png_structp png, png_bytep data, std::size_t length) {
  if (length == 0) return;
  if (std::fwrite(data, length, 1, static_cast<std::FILE*>(png_get_io_ptr(png))) != 1) {
    png_error(png, "write png image error");
  }
}

void PngFlushStream(png_structp png) {
  if (std::fflush(static_cast<std::FILE*>(png_get_io_ptr(png))) != 0) png_error(png, "fulsh file error");
}

}  // namespace codecs
