// Depth conversions and the popularity quantiser. Every conversion works a row
// at a time: the source row is turned into R, G, B triplets (the row itself
// for a 24-bit source), then each target form is written from those.
#include <cstring>
#include <utility>
#include <vector>

#include "engine/core/ImageBuffer.h"

namespace engine {
namespace {

std::uint8_t GreyLevel(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  return static_cast<std::uint8_t>((306 * red + 601 * green + 117 * blue) >> 10);
}

// Colours of the 256 byte values of an 8-bit image: its palette (black past the
// entries it really holds) or the grey ramp.
void BuildByteColours(const ImageBuffer& image, Rgb colours[256]) {
  const PaletteEntry* entries = image.GetPalette();
  const std::uint32_t held = image.GetPaletteCount() > 0 ? image.GetPaletteEntryCount() : 0;
  for (std::uint32_t v = 0; v < 256; ++v) {
    if (image.GetPaletteCount() == 0) {
      colours[v] = Rgb{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v)};
    } else if (v < held && entries != nullptr) {
      colours[v] = Rgb{entries[v].red, entries[v].green, entries[v].blue};
    } else {
      colours[v] = Rgb{0, 0, 0};
    }
  }
}

// R, G, B triplets of one source row; returns the triplets (the row itself for
// a 24-bit source, else the scratch buffer).
const std::uint8_t* RowAsRgb(const ImageBuffer& source, std::int32_t y, const Rgb colours[256],
                             std::uint8_t* scratch) {
  const std::uint8_t* in = source.GetRow(y);
  const std::int32_t width = source.GetWidth();
  std::uint8_t* out = scratch;
  switch (source.GetBitsPerPixel()) {
    case 24:
      return in;
    case 32:
      for (std::int32_t x = 0; x < width; ++x, in += 4, out += 3) {
        out[0] = in[1];
        out[1] = in[2];
        out[2] = in[3];
      }
      return scratch;
    case 16:
      for (std::int32_t x = 0; x < width; ++x, in += 2, out += 3) {
        const Rgb c = UnpackPixel16(static_cast<std::uint32_t>(in[0] | in[1] << 8));
        out[0] = c.red;
        out[1] = c.green;
        out[2] = c.blue;
      }
      return scratch;
    default:  // 8
      for (std::int32_t x = 0; x < width; ++x, ++in, out += 3) {
        const Rgb c = colours[*in];
        out[0] = c.red;
        out[1] = c.green;
        out[2] = c.blue;
      }
      return scratch;
  }
}

void WriteRow(std::uint32_t targetBits, const std::uint8_t* rgb, std::int32_t width, std::uint8_t* out) {
  switch (targetBits) {
    case 32:
      for (std::int32_t x = 0; x < width; ++x, rgb += 3, out += 4) {
        out[0] = 255;
        out[1] = rgb[0];
        out[2] = rgb[1];
        out[3] = rgb[2];
      }
      break;
    case 24:
      std::memcpy(out, rgb, static_cast<std::size_t>(width) * 3);
      break;
    case 16:
      for (std::int32_t x = 0; x < width; ++x, rgb += 3, out += 2) {
        const std::uint16_t word = PackPixel16(rgb[0], rgb[1], rgb[2]);
        out[0] = static_cast<std::uint8_t>(word);
        out[1] = static_cast<std::uint8_t>(word >> 8);
      }
      break;
    default:  // 8-bit grey
      for (std::int32_t x = 0; x < width; ++x, rgb += 3, ++out) *out = GreyLevel(rgb[0], rgb[1], rgb[2]);
      break;
  }
}

bool AlreadyInForm(const ImageBuffer& source, std::uint32_t bits, std::int32_t count) {
  const std::uint32_t sourceBits = source.GetBitsPerPixel();
  if (bits == 8 && count != 0) return sourceBits == 8 && source.GetPaletteCount() > 0;
  if (bits == 8) return sourceBits == 8 && source.GetPaletteCount() == 0;
  return sourceBits == bits;
}

struct ColourCount {
  std::uint32_t colour;
  std::uint32_t count;
};

// Quicksort by count on inclusive bounds, exactly this scheme: which of several
// equally frequent colours end up last depends on it. Indices are signed since
// j may step below lo. The left parts go on an explicit stack (they are
// disjoint ranges, so the order they are sorted in does not change the result).
void SortByCount(ColourCount* pairs, std::int64_t firstLo, std::int64_t firstHi) {
  std::vector<std::pair<std::int64_t, std::int64_t>> pending{{firstLo, firstHi}};
  while (!pending.empty()) {
    auto [lo, hi] = pending.back();
    pending.pop_back();
    for (;;) {
      const std::uint32_t pivot = pairs[(lo + hi) / 2].count;
      std::int64_t i = lo;
      std::int64_t j = hi;
      for (;;) {
        while (pairs[i].count < pivot && i < hi) ++i;
        while (pairs[j].count > pivot && j > lo) --j;
        if (i > j) break;
        std::swap(pairs[i], pairs[j]);
        ++i;
        --j;
        if (i > j) break;
      }
      if (lo < j) pending.emplace_back(lo, j);
      if (i >= hi) break;
      lo = i;
    }
  }
}

}  // namespace

int Palette::BuildFromPixels(const std::uint8_t* pixels, std::uint32_t bitsPerPixel, std::int32_t width,
                             std::int32_t height, std::int32_t wanted) {
  Clear();
  if (bitsPerPixel != 8 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) return 0;
  if (pixels == nullptr || width < 1 || height < 1) return 0;
  HeapBlock table;
  if (table.Allocate(sizeof(ColourCount) * 65536) == 0) return 0;
  auto* pairs = table.As<ColourCount>();
  for (std::uint32_t i = 0; i < 65536; ++i) pairs[i] = ColourCount{i, 0};

  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  const std::uint8_t* p = pixels;
  switch (bitsPerPixel) {
    case 8:
      for (std::size_t k = 0; k < count; ++k, ++p) ++pairs[PackPixel16(*p, *p, *p)].count;
      break;
    case 16:
      for (std::size_t k = 0; k < count; ++k, p += 2) ++pairs[p[0] | p[1] << 8].count;
      break;
    case 24:
      for (std::size_t k = 0; k < count; ++k, p += 3) ++pairs[PackPixel16(p[0], p[1], p[2])].count;
      break;
    default:
      for (std::size_t k = 0; k < count; ++k, p += 4) ++pairs[PackPixel16(p[1], p[2], p[3])].count;
      break;
  }

  std::uint32_t distinct = 0;
  for (std::uint32_t i = 0; i < 65536; ++i) distinct += pairs[i].count != 0 ? 1 : 0;
  SortByCount(pairs, 0, 65535);

  const std::uint32_t entries = wanted > 0 && static_cast<std::uint32_t>(wanted) < distinct
                                    ? static_cast<std::uint32_t>(wanted)
                                    : distinct;
  if (Allocate(entries) == 0) return 0;
  for (std::uint32_t k = 0; k < entries; ++k) {
    const Rgb c = UnpackPixel16(pairs[65535 - k].colour);
    Entries()[k] = PaletteEntry{c.red, c.green, c.blue, 255, 0};
  }
  return SortByKey();
}

int Palette::SortByKey() {
  if (count_ == 0) return 0;
  PaletteEntry* e = Entries();
  for (std::uint32_t k = 0; k < count_; ++k) {
    e[k].key = e[k].red + 256u * e[k].green + 65536u * e[k].blue;
  }
  for (std::uint32_t pass = 0; pass + 1 < count_; ++pass) {
    for (std::uint32_t k = 0; k + 1 < count_; ++k) {
      if (e[k].key > e[k + 1].key) std::swap(e[k], e[k + 1]);
    }
  }
  return 1;
}

bool Palette::FindIndex(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t& index) const {
  if (count_ == 0) return false;
  const PaletteEntry* e = Entries();
  const std::uint32_t d = red + 256u * green + 65536u * blue;
  // The window spans both neighbours of entry i, so a colour equal to the key
  // of entry i - 1 still yields i.
  for (std::uint32_t i = 1; i + 1 < count_; ++i) {
    if (e[i - 1].key <= d && d <= e[i + 1].key) {
      index = static_cast<std::uint8_t>(i);
      return true;
    }
  }
  index = static_cast<std::uint8_t>(d > e[0].key ? count_ - 1 : 0);
  return true;
}

bool Palette::FindIndexSorted(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                              std::uint8_t& index) const {
  if (count_ == 0) return false;
  const PaletteEntry* e = Entries();
  const std::uint32_t d = red + 256u * green + 65536u * blue;
  if (count_ >= 3) {
    // With ascending keys "key(i + 1) >= d" holds from some i on and
    // "key(i - 1) <= d" up to some i: the first window holding d, if any, is
    // the first i of the former.
    std::uint32_t lo = 1;
    std::uint32_t hi = count_ - 1;  // one past the last window
    while (lo < hi) {
      const std::uint32_t mid = lo + (hi - lo) / 2;
      if (e[mid + 1].key >= d) {
        hi = mid;
      } else {
        lo = mid + 1;
      }
    }
    if (lo + 1 < count_ && e[lo - 1].key <= d) {
      index = static_cast<std::uint8_t>(lo);
      return true;
    }
  }
  index = static_cast<std::uint8_t>(d > e[0].key ? count_ - 1 : 0);
  return true;
}

bool Palette::FindIndexPacked(std::uint16_t pixel, std::uint8_t& index) const {
  const Rgb c = UnpackPixel16(pixel);
  return FindIndex(c.red, c.green, c.blue, index);
}

int ImageBuffer::ConvertTo(ImageBuffer& target, std::uint32_t bitsPerPixel, std::int32_t paletteCount) const {
  if (&target == this) return 0;
  if (width_ < 1 || height_ < 1) return 0;
  if (bitsPerPixel == 8 && paletteCount < 0) return 0;
  if (AlreadyInForm(*this, bitsPerPixel, paletteCount)) return target.CopyFrom(*this);
  if (target.Create(width_, height_, bitsPerPixel, paletteCount) == 0) return 0;

  Rgb colours[256];
  BuildByteColours(*this, colours);
  std::vector<std::uint8_t> scratch(static_cast<std::size_t>(width_) * 3);

  if (bitsPerPixel == 8 && paletteCount != 0) {
    Palette& palette = target.palette_;
    palette.Clear();
    if (palette.BuildFromPixels(pixels_, bitsPerPixel_, width_, height_, paletteCount) == 0) return 0;
    // BuildFromPixels leaves the keys sorted, so bisection finds FindIndex's
    // entry; a run of one colour is looked up once.
    for (std::int32_t y = 0; y < height_; ++y) {
      const std::uint8_t* rgb = RowAsRgb(*this, y, colours, scratch.data());
      std::uint8_t* out = target.GetRow(y);
      std::uint8_t found = 0;
      (void)palette.FindIndexSorted(rgb[0], rgb[1], rgb[2], found);  // none: the bytes stay 0
      for (std::int32_t x = 0; x < width_; ++x, rgb += 3) {
        if (x > 0 && (rgb[0] != rgb[-3] || rgb[1] != rgb[-2] || rgb[2] != rgb[-1])) {
          (void)palette.FindIndexSorted(rgb[0], rgb[1], rgb[2], found);
        }
        out[x] = found;
      }
    }
    return 1;
  }

  for (std::int32_t y = 0; y < height_; ++y) {
    WriteRow(bitsPerPixel, RowAsRgb(*this, y, colours, scratch.data()), width_, target.GetRow(y));
  }
  target.Flush();
  return 1;
}

}  // namespace engine
