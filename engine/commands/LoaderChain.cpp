#include "engine/commands/LoaderChain.h"

#include <cstring>

#include "codecs/library/JpegCodec.h"
#include "codecs/library/PngCodec.h"
#include "codecs/library/TiffCodec.h"
#include "codecs/native/BmpCodec.h"
#include "codecs/native/PcxCodec.h"
#include "codecs/native/PhotoCdReader.h"
#include "engine/core/FileHelpers.h"

namespace engine {
namespace {

enum class ReadOutcome { Refused, Decoded, Failed };

template <class Codec>
ReadOutcome Attempt(const char* path, ImageBuffer& image) {
  Codec codec;
  if (codec.BeginRead(path, &image) != 1) {
    codec.Close();
    return ReadOutcome::Refused;
  }
  return codec.ReadImage() == 1 ? ReadOutcome::Decoded : ReadOutcome::Failed;
}

// Readers whose BeginRead takes a mode after the image.
template <class Codec, int Mode>
ReadOutcome AttemptWithMode(const char* path, ImageBuffer& image) {
  Codec codec;
  if (codec.BeginRead(path, &image, Mode) != 1) {
    codec.Close();
    return ReadOutcome::Refused;
  }
  return codec.ReadImage() == 1 ? ReadOutcome::Decoded : ReadOutcome::Failed;
}

struct Reader {
  const char* name;
  ReadOutcome (*attempt)(const char* path, ImageBuffer& image);
};

// The order matters. Readers with a firm signature come first; TIFF lets the
// library probe the header; PCX has only a one-byte signature, so it comes
// late; the Photo CD reader looks at the size and a signature deep inside the
// file, so it comes last. The first reader that takes a file decides: a failed
// decode is not handed on.
constexpr Reader kReaders[] = {
    {"JPEG", &Attempt<codecs::JpegCodec>},
    {"BMP", &Attempt<codecs::BmpCodec>},
    {"TIFF", &Attempt<codecs::TiffCodec>},
    {"PNG", &Attempt<codecs::PngCodec>},
    {"PCX", &Attempt<codecs::PcxCodec>},
    {"PCD", &AttemptWithMode<codecs::PhotoCdReader, 2>},  // 2: the 768 x 512 base picture
};

}  // namespace

int LoadAnyImage(const char* sourcePath, ImageBuffer& image, const char** readerName) {
  if (readerName != nullptr) *readerName = nullptr;
  if (FileExists(sourcePath) == 0) return ResultFileMissing;
  // A FIFO or a device would block a reader, and a directory or a wildcard
  // match is no picture.
  if (!IsRegularFile(sourcePath)) return ResultUnreadable;
  for (const Reader& reader : kReaders) {
    const ReadOutcome outcome = reader.attempt(sourcePath, image);
    if (outcome == ReadOutcome::Refused) continue;
    if (readerName != nullptr) *readerName = reader.name;
    return outcome == ReadOutcome::Decoded ? ResultOk : ResultUnreadable;
  }
  return ResultUnreadable;
}

bool HasReader(const char* name) {
  for (const Reader& reader : kReaders) {
    if (std::strcmp(reader.name, name) == 0) return true;
  }
  return false;
}

}  // namespace engine
