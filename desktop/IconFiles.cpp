// pictomill-icon-files: writes the program's own icon drawing (app/Icon.h) as
// the files a desktop wants, at build time, so no icon image is kept in the
// source tree.
//   pictomill-icon-files hicolor DIR NAME  DIR/SIZExSIZE/apps/NAME.png for every size
//   pictomill-icon-files ico FILE          one Windows icon holding every size
// Every size is drawn at that size. An .ico entry is a 32-bit DIB with its
// transparency mask, except 256 pixels, which is stored as PNG (a DIB that
// large would be 256 KiB; every reader of 256-pixel entries takes PNG).
#include <png.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/Icon.h"

namespace {

constexpr int kSizes[] = {16, 24, 32, 48, 64, 128, 256};

using Bytes = std::vector<std::uint8_t>;

// 0xAARRGGBB -> R, G, B, A bytes.
Bytes Rgba(const std::vector<unsigned>& pixels) {
  Bytes bytes;
  bytes.reserve(pixels.size() * 4);
  for (const unsigned p : pixels) {
    bytes.push_back(static_cast<std::uint8_t>(p >> 16));
    bytes.push_back(static_cast<std::uint8_t>(p >> 8));
    bytes.push_back(static_cast<std::uint8_t>(p));
    bytes.push_back(static_cast<std::uint8_t>(p >> 24));
  }
  return bytes;
}

bool EncodePng(int size, Bytes& png) {
  const Bytes rgba = Rgba(app::DrawIcon(size));
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(size);
  image.height = static_cast<png_uint_32>(size);
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t length = 0;
  if (!png_image_write_to_memory(&image, nullptr, &length, 0, rgba.data(), 0, nullptr)) return false;
  png.resize(length);
  const bool written = png_image_write_to_memory(&image, png.data(), &length, 0, rgba.data(), 0, nullptr) != 0;
  png.resize(length);
  png_image_free(&image);
  return written;
}

void Put16(Bytes& out, unsigned value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void Put32(Bytes& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// BITMAPINFOHEADER (height doubled: colour rows, then the mask), the BGRA rows
// bottom first, then the 1-bit mask (1 = transparent), rows padded to 32 bits.
Bytes EncodeDib(int size) {
  const std::vector<unsigned> pixels = app::DrawIcon(size);
  const auto n = static_cast<std::uint32_t>(size);
  const std::uint32_t maskRow = (n + 31) / 32 * 4;
  Bytes dib;
  Put32(dib, 40);         // header size
  Put32(dib, n);          // width
  Put32(dib, 2 * n);      // height of colour and mask together
  Put16(dib, 1);          // planes
  Put16(dib, 32);         // bits per pixel
  Put32(dib, 0);          // no compression
  Put32(dib, n * n * 4 + maskRow * n);
  for (int i = 0; i < 4; ++i) Put32(dib, 0);  // resolution, colours used, important
  for (int y = size - 1; y >= 0; --y) {
    for (int x = 0; x < size; ++x) Put32(dib, pixels[static_cast<std::size_t>(y * size + x)]);  // B G R A in memory
  }
  for (int y = size - 1; y >= 0; --y) {
    Bytes row(maskRow, 0);
    for (int x = 0; x < size; ++x) {
      if ((pixels[static_cast<std::size_t>(y * size + x)] >> 24) == 0) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
    dib.insert(dib.end(), row.begin(), row.end());
  }
  return dib;
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

bool MakeFolder(const std::string& path) { return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST; }

bool WriteHicolor(const std::string& root, const std::string& name) {
  for (const int size : kSizes) {
    const std::string folder = root + "/" + std::to_string(size) + "x" + std::to_string(size);
    Bytes png;
    if (!MakeFolder(root) || !MakeFolder(folder) || !MakeFolder(folder + "/apps") || !EncodePng(size, png) ||
        !WriteFile(folder + "/apps/" + name + ".png", png)) {
      std::fprintf(stderr, "pictomill-icon-files: cannot write %s/apps/%s.png\n", folder.c_str(), name.c_str());
      return false;
    }
  }
  return true;
}

bool WriteIco(const std::string& path) {
  constexpr unsigned kCount = sizeof kSizes / sizeof kSizes[0];
  std::vector<Bytes> images;
  for (const int size : kSizes) {
    Bytes image;
    if (size == 256) {
      if (!EncodePng(size, image)) return false;
    } else {
      image = EncodeDib(size);
    }
    images.push_back(std::move(image));
  }
  Bytes ico;
  Put16(ico, 0);       // reserved
  Put16(ico, 1);       // an icon, not a cursor
  Put16(ico, kCount);
  std::uint32_t offset = 6 + 16 * kCount;
  for (unsigned i = 0; i < kCount; ++i) {
    ico.push_back(static_cast<std::uint8_t>(kSizes[i] & 0xFF));  // 0 means 256
    ico.push_back(static_cast<std::uint8_t>(kSizes[i] & 0xFF));
    ico.push_back(0);  // no palette
    ico.push_back(0);  // reserved
    Put16(ico, 1);     // planes
    Put16(ico, 32);    // bits per pixel
    Put32(ico, static_cast<std::uint32_t>(images[i].size()));
    Put32(ico, offset);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const Bytes& image : images) ico.insert(ico.end(), image.begin(), image.end());
  if (!WriteFile(path, ico)) {
    std::fprintf(stderr, "pictomill-icon-files: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "hicolor") == 0) return WriteHicolor(argv[2], argv[3]) ? 0 : 1;
  if (argc == 3 && std::strcmp(argv[1], "ico") == 0) return WriteIco(argv[2]) ? 0 : 1;
  std::fprintf(stderr, "usage: pictomill-icon-files hicolor DIR NAME | ico FILE\n");
  return 2;
}
