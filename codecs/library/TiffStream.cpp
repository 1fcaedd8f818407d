#include "codecs/library/TiffStream.h"

#include <cstdarg>
#include <mutex>

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

std::FILE* FileOf(thandle_t handle) { return static_cast<TiffStream*>(handle)->file.Get(); }

tmsize_t ReadProc(thandle_t handle, void* data, tmsize_t size) {
  auto* stream = static_cast<TiffStream*>(handle);
  const std::size_t read = std::fread(data, 1, static_cast<std::size_t>(size), stream->file.Get());
  if (stream->position >= 0) stream->position += static_cast<std::int64_t>(read);
  return static_cast<tmsize_t>(read);
}

tmsize_t WriteProc(thandle_t handle, void* data, tmsize_t size) {
  auto* stream = static_cast<TiffStream*>(handle);
  const std::size_t written = std::fwrite(data, 1, static_cast<std::size_t>(size), stream->file.Get());
  if (written != static_cast<std::size_t>(size)) stream->file.MarkFailed();
  if (stream->position >= 0) stream->position += static_cast<std::int64_t>(written);
  if (stream->end >= 0) stream->end = stream->position > stream->end ? stream->position : stream->end;
  return static_cast<tmsize_t>(written);
}

toff_t SeekProc(thandle_t handle, toff_t offset, int origin) {
  if (offset == static_cast<toff_t>(-1)) return static_cast<toff_t>(-1);
  auto* stream = static_cast<TiffStream*>(handle);
  // The library seeks before every strip, mostly to where the stream already
  // is; a real seek would flush the buffer (and read it back) each time.
  const std::int64_t base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? stream->position : stream->end;
  if (stream->position >= 0 && base >= 0 && offset <= static_cast<toff_t>(INT64_MAX - base) &&
      base + static_cast<std::int64_t>(offset) == stream->position) {
    return static_cast<toff_t>(stream->position);
  }
  if (offset > static_cast<toff_t>(INT64_MAX) ||
      !platform::SeekFile(stream->file.Get(), static_cast<std::int64_t>(offset), origin)) {
    stream->position = -1;
    return static_cast<toff_t>(-1);
  }
  const std::int64_t here = platform::TellFile(stream->file.Get());
  stream->position = here;
  return static_cast<toff_t>(here);
}

int CloseProc(thandle_t handle) {
  auto* stream = static_cast<TiffStream*>(handle);
  if (!stream->writing) stream->file.Close();
  return 0;
}

toff_t SizeProc(thandle_t handle) {
  std::FILE* file = FileOf(handle);
  const std::int64_t here = platform::TellFile(file);
  if (here < 0 || !platform::SeekFile(file, 0, SEEK_END)) return 0;
  const std::int64_t end = platform::TellFile(file);
  if (!platform::SeekFile(file, here, SEEK_SET) || end < 0) return 0;
  return static_cast<toff_t>(end);
}

int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

}  // namespace

TIFF* OpenTiffStream(const char* path, const char* libraryMode, TiffStream& stream) {
  InstallQuietHandlers();
  stream.writing = libraryMode[0] == 'w';
  stream.position = 0;
  stream.end = stream.writing ? 0 : -1;  // a replacement starts empty
  const bool opened = stream.writing ? stream.file.OpenReplacement(path, true) : stream.file.Open(path, "rb");
  if (!opened) {
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
  if (tiff == nullptr) stream.file.Close();
  return tiff;
}

}  // namespace codecs
