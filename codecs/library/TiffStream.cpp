#include "codecs/library/TiffStream.h"

#include <cstdarg>
#include <mutex>
#include <sys/types.h>

#include "engine/core/SizeMath.h"
#include "platform/Platform.h"

namespace codecs {
namespace {

void Silent(const char*, const char*, va_list) {}

// The handlers are process-wide: set them once, never from two threads.
void InstallQuietHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    TIFFSetErrorHandler(&Silent);
    TIFFSetWarningHandler(&Silent);
  });
}

std::FILE* FileOf(thandle_t handle) { return static_cast<TiffStream*>(handle)->file; }

tmsize_t ReadProc(thandle_t handle, void* data, tmsize_t size) {
  if (size <= 0) return 0;
  return static_cast<tmsize_t>(std::fread(data, 1, static_cast<std::size_t>(size), FileOf(handle)));
}

tmsize_t WriteProc(thandle_t handle, void* data, tmsize_t size) {
  if (size <= 0) return 0;
  return static_cast<tmsize_t>(std::fwrite(data, 1, static_cast<std::size_t>(size), FileOf(handle)));
}

toff_t SeekProc(thandle_t handle, toff_t offset, int origin) {
  if (offset == static_cast<toff_t>(-1)) return static_cast<toff_t>(-1);
  std::FILE* file = FileOf(handle);
  if (fseeko(file, static_cast<off_t>(offset), origin) != 0) return static_cast<toff_t>(-1);
  return static_cast<toff_t>(ftello(file));
}

int CloseProc(thandle_t handle) {
  auto* stream = static_cast<TiffStream*>(handle);
  if (stream->file == nullptr) return 0;
  stream->closeResult = std::fclose(stream->file) == 0 ? 0 : -1;
  stream->file = nullptr;
  return stream->closeResult;
}

toff_t SizeProc(thandle_t handle) {
  std::FILE* file = FileOf(handle);
  const off_t here = ftello(file);
  if (here < 0 || fseeko(file, 0, SEEK_END) != 0) return 0;
  const off_t end = ftello(file);
  if (fseeko(file, here, SEEK_SET) != 0 || end < 0) return 0;
  return static_cast<toff_t>(end);
}

int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

}  // namespace

TIFF* OpenTiffStream(const char* path, const char* libraryMode, TiffStream& stream) {
  InstallQuietHandlers();
  stream.closeResult = 0;
  stream.file = platform::OpenFile(path, libraryMode[0] == 'w' ? "w+b" : "rb");
  if (stream.file == nullptr) {
    TIFFErrorExt(nullptr, "TIFFOpen", "%s: Cannot open", path != nullptr ? path : "");
    return nullptr;
  }
  // A hostile header can make the library ask for hundreds of gigabytes in
  // one block; nothing we could use is larger than a mapping.
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options != nullptr) TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(engine::kMaxMappingBytes));
  TIFF* tiff = TIFFClientOpenExt(path, libraryMode, &stream, &ReadProc, &WriteProc, &SeekProc, &CloseProc,
                                 &SizeProc, &MapProc, &UnmapProc, options);
  TIFFOpenOptionsFree(options);
  // A refused open does not call the close procedure.
  if (tiff == nullptr) CloseProc(&stream);
  return tiff;
}

}  // namespace codecs
