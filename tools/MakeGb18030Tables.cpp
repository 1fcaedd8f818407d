// Makes platform/common/Gb18030Tables.inc from glibc's iconv, so that the
// program's own GB18030 codec reads and writes every byte as the system does on
// Debian 12, on Linux and on Windows alike. Run by hand after a change here or
// in glibc, and commit the result (gb18030_tests fails while they differ):
//
//   g++ -std=c++20 -O2 -o /tmp/make-gb18030-tables tools/MakeGb18030Tables.cpp
//   /tmp/make-gb18030-tables platform/common/Gb18030Tables.inc
//
// The tables take glibc's side wherever the published GB18030 mappings
// disagree. Debian 12's glibc 2.36 has the 2022 mapping with these choices:
//  - A6D9-A6DF, A6EC, A6ED, A6F3 are U+FE10-U+FE19 (the vertical forms) in both
//    directions, and the four-byte codes 84318236-84318335 that once spelled
//    those characters read as nothing.
//  - FE59, FE61, FE66, FE67, FE6D, FE7E, FE90, FEA0 are U+9FB4-U+9FBB, and
//    82359037-82359134, their old four-byte codes, read as nothing.
//  - FE51, FE52, FE53, FE6C, FE76, FE91 are the supplementary ideographs
//    U+20087, U+20089, U+200CC, U+215D7, U+2298F, U+241FE; the linear
//    four-byte codes of those six still read as them, but are never written.
//  - The private-use code points the codes above once stood for
//    (U+E78D-U+E796, U+E816-U+E818, U+E81E, U+E826, U+E82B, U+E82C, U+E831,
//    U+E832, U+E83B, U+E843, U+E854, U+E855, U+E864) have no code at all.
//  - A3A0 stays U+E5E5, A8BC is U+1E3F, and the single bytes 0x80 and 0xFF
//    are invalid (no euro sign).
// The generated file lists what the running glibc does, so a review of its diff
// shows any change. The generator stops when iconv does something the table
// shapes cannot express.
#include <gnu/libc-version.h>
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kLeads = 126;              // 0x81-0xFE
constexpr int kTrails = 191;             // 0x40-0xFE (0x7F never valid)
constexpr std::uint32_t kBmpFourByteCodes = 39420;       // 81308130-8431A439
constexpr std::uint32_t kSupplementaryIndex = 189000;    // 90308130
constexpr std::uint16_t kAstralMark = 0xD800;

struct Run {
  std::uint32_t firstIndex, firstCodePoint, length;
};
struct Astral {
  std::uint32_t code, codePoint;
};

[[noreturn]] void Fail(const char* what, std::uint32_t value) {
  std::fprintf(stderr, "make-gb18030-tables: %s (0x%X)\n", what, static_cast<unsigned>(value));
  std::exit(1);
}

// One conversion from a fresh state; false when iconv refuses any of it.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) Fail("iconv_open", 0);
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool Convert(const void* in, std::size_t size, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char buffer[32];
    char* input = static_cast<char*>(const_cast<void*>(in));
    char* output = buffer;
    std::size_t inLeft = size, outLeft = sizeof buffer;
    const std::size_t rc = iconv(cd_, &input, &inLeft, &output, &outLeft);
    if (rc == static_cast<std::size_t>(-1) || inLeft != 0) return false;
    if (iconv(cd_, nullptr, nullptr, &output, &outLeft) == static_cast<std::size_t>(-1)) return false;
    out.assign(buffer, static_cast<std::size_t>(output - buffer));
    return true;
  }

 private:
  iconv_t cd_;
};

Converter& Decoder() {
  static Converter converter("UTF-32LE", "GB18030");
  return converter;
}
Converter& Encoder() {
  static Converter converter("GB18030", "UTF-32LE");
  return converter;
}

// The one code point the bytes read as, or false.
bool Decode(const std::string& bytes, std::uint32_t& codePoint) {
  std::string utf32;
  if (!Decoder().Convert(bytes.data(), bytes.size(), utf32) || utf32.size() != 4) return false;
  codePoint = 0;
  for (int i = 3; i >= 0; --i) codePoint = codePoint << 8 | static_cast<unsigned char>(utf32[i]);
  return true;
}

bool Encode(std::uint32_t codePoint, std::string& bytes) {
  unsigned char utf32[4];
  for (int i = 0; i < 4; ++i) utf32[i] = static_cast<unsigned char>(codePoint >> (8 * i));
  return Encoder().Convert(utf32, 4, bytes);
}

std::uint32_t Code(const std::string& bytes) {
  std::uint32_t code = 0;
  for (const char byte : bytes) code = code << 8 | static_cast<unsigned char>(byte);
  return code;
}

std::string FourByteCode(std::uint32_t index) {
  std::string bytes(4, '\0');
  bytes[3] = static_cast<char>(0x30 + index % 10);
  index /= 10;
  bytes[2] = static_cast<char>(0x81 + index % 126);
  index /= 126;
  bytes[1] = static_cast<char>(0x30 + index % 10);
  bytes[0] = static_cast<char>(0x81 + index / 10);
  return bytes;
}

std::uint32_t FourByteIndex(const std::string& bytes) {
  const auto b = [&](int i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])); };
  return ((b(0) - 0x81) * 10 + (b(1) - 0x30)) * 1260 + (b(2) - 0x81) * 10 + (b(3) - 0x30);
}

struct Tables {
  std::vector<std::uint16_t> twoByte = std::vector<std::uint16_t>(kLeads * kTrails, 0);
  std::vector<Astral> astral;
  std::vector<Run> runs, runsByCodePoint;
  std::vector<std::uint16_t> bmpToTwoByte = std::vector<std::uint16_t>(0x10000, 0);
  // For the header comment.
  std::vector<std::uint32_t> unreadFourByte, oneWayFourByte, unwritableBmp;
};

void ReadTwoByteCodes(Tables& t) {
  for (int lead = 0; lead < kLeads; ++lead) {
    for (int trail = 0; trail < kTrails; ++trail) {
      const std::string bytes{static_cast<char>(0x81 + lead), static_cast<char>(0x40 + trail)};
      std::uint32_t codePoint = 0;
      if (!Decode(bytes, codePoint)) continue;
      std::uint16_t& entry = t.twoByte[static_cast<std::size_t>(lead * kTrails + trail)];
      if (codePoint == 0 || (codePoint >= 0xD800 && codePoint < 0xE000)) Fail("two-byte code read as NUL or a surrogate", Code(bytes));
      if (codePoint < 0x10000) {
        entry = static_cast<std::uint16_t>(codePoint);
      } else {
        entry = static_cast<std::uint16_t>(kAstralMark + t.astral.size());
        t.astral.push_back({Code(bytes), codePoint});
        if (t.astral.size() > 0x800) Fail("too many two-byte codes outside the BMP", Code(bytes));
      }
    }
  }
}

void ReadFourByteBmpCodes(Tables& t) {
  for (std::uint32_t index = 0; index < kBmpFourByteCodes; ++index) {
    std::uint32_t codePoint = 0;
    if (!Decode(FourByteCode(index), codePoint)) {
      t.unreadFourByte.push_back(index);
      continue;
    }
    if (codePoint < 0x80 || codePoint >= 0x10000 || (codePoint >= 0xD800 && codePoint < 0xE000))
      Fail("four-byte BMP code read outside the BMP's non-ASCII scalars", index);
    if (!t.runs.empty()) {
      Run& last = t.runs.back();
      if (last.firstIndex + last.length == index && last.firstCodePoint + last.length == codePoint) {
        ++last.length;
        continue;
      }
    }
    t.runs.push_back({index, codePoint, 1});
  }
  // Writing searches the runs by code point, so no two may share one.
  t.runsByCodePoint = t.runs;
  std::sort(t.runsByCodePoint.begin(), t.runsByCodePoint.end(),
            [](const Run& a, const Run& b) { return a.firstCodePoint < b.firstCodePoint; });
  for (std::size_t i = 1; i < t.runsByCodePoint.size(); ++i) {
    const Run& previous = t.runsByCodePoint[i - 1];
    if (previous.firstCodePoint + previous.length > t.runsByCodePoint[i].firstCodePoint)
      Fail("two four-byte codes read as one code point", t.runsByCodePoint[i].firstCodePoint);
  }
}

void ReadBmpEncodings(Tables& t) {
  for (std::uint32_t codePoint = 0x80; codePoint < 0x10000; ++codePoint) {
    if (codePoint >= 0xD800 && codePoint < 0xE000) continue;
    std::string bytes;
    if (!Encode(codePoint, bytes)) {
      t.unwritableBmp.push_back(codePoint);
      continue;
    }
    if (bytes.size() == 2) t.bmpToTwoByte[codePoint] = static_cast<std::uint16_t>(Code(bytes));
    else if (bytes.size() != 4) Fail("BMP code point written as neither two nor four bytes", codePoint);
  }
}

// The codec's own reading of the tables, checked against iconv over every
// code point, so that the tables never say less (or more) than glibc does.
std::string ModelEncode(const Tables& t, std::uint32_t codePoint, bool& ok) {
  ok = true;
  if (codePoint < 0x80) return std::string(1, static_cast<char>(codePoint));
  if (codePoint < 0x10000) {
    if (const std::uint16_t code = t.bmpToTwoByte[codePoint]; code != 0)
      return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    for (const Run& run : t.runsByCodePoint)
      if (codePoint >= run.firstCodePoint && codePoint < run.firstCodePoint + run.length)
        return FourByteCode(run.firstIndex + codePoint - run.firstCodePoint);
    ok = false;
    return {};
  }
  for (const Astral& a : t.astral)
    if (a.codePoint == codePoint) return {static_cast<char>(a.code >> 8), static_cast<char>(a.code & 0xFF)};
  return FourByteCode(kSupplementaryIndex + codePoint - 0x10000);
}

void CheckEncodings(Tables& t) {
  for (std::uint32_t codePoint = 0; codePoint <= 0x10FFFF; ++codePoint) {
    if (codePoint >= 0xD800 && codePoint < 0xE000) continue;
    std::string expected;
    const bool expectedOk = Encode(codePoint, expected);
    bool ok = false;
    const std::string model = ModelEncode(t, codePoint, ok);
    if (ok != expectedOk || (ok && model != expected)) Fail("the tables write a code point unlike iconv", codePoint);
  }
  // Linear four-byte codes of characters that are written another way.
  for (const Astral& a : t.astral) {
    const std::string linear = FourByteCode(kSupplementaryIndex + a.codePoint - 0x10000);
    std::uint32_t codePoint = 0;
    if (Decode(linear, codePoint) && codePoint == a.codePoint) t.oneWayFourByte.push_back(FourByteIndex(linear));
  }
}

// Contiguous runs of numbers as "first-last" items.
template <typename Format>
std::string Spans(const std::vector<std::uint32_t>& values, Format format) {
  std::string text;
  for (std::size_t i = 0; i < values.size();) {
    std::size_t j = i;
    while (j + 1 < values.size() && values[j + 1] == values[j] + 1) ++j;
    if (!text.empty()) text += ", ";
    text += format(values[i]);
    if (j > i) text += "-" + format(values[j]);
    i = j + 1;
  }
  return text.empty() ? "none" : text;
}

std::string Hex(std::uint32_t value, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*X", digits, static_cast<unsigned>(value));
  return buffer;
}
std::string CodePointName(std::uint32_t value) { return "U+" + Hex(value, 4); }
std::string FourByteName(std::uint32_t index) { return Hex(Code(FourByteCode(index)), 8); }

// Wraps a comment text at 80 columns after "// ".
void Comment(std::FILE* out, const std::string& text) {
  std::string line = "//";
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (line.size() + 1 + word.size() > 80 && line != "//") {
      std::fprintf(out, "%s\n", line.c_str());
      line = "//   ";
    } else {
      line += " ";
    }
    line += word;
    start = end + 1;
  }
  std::fprintf(out, "%s\n", line.c_str());
}

void WriteValues(std::FILE* out, const std::uint16_t* values, std::size_t count) {
  for (std::size_t i = 0; i < count; i += 16) {
    std::fprintf(out, "   ");
    for (std::size_t j = i; j < i + 16 && j < count; ++j) {
      if (values[j] == 0) std::fprintf(out, " 0,");
      else std::fprintf(out, " 0x%04X,", values[j]);
    }
    std::fprintf(out, "\n");
  }
}

void Write(std::FILE* out, const Tables& t) {
  std::fprintf(out,
               "// Generated by tools/MakeGb18030Tables.cpp from the GB18030 converter of glibc %s's\n"
               "// iconv; do not edit (run the generator again). Included by Gb18030.cpp.\n"
               "//\n",
               gnu_get_libc_version());
  std::string astral;
  for (const Astral& a : t.astral) astral += (astral.empty() ? "" : ", ") + Hex(a.code, 4) + " " + CodePointName(a.codePoint);
  Comment(out, "Two-byte codes of characters outside the BMP: " + (astral.empty() ? "none" : astral) + ".");
  Comment(out, "Four-byte codes of the BMP area that read as nothing: " + Spans(t.unreadFourByte, FourByteName) + ".");
  Comment(out, "Four-byte codes read as a character that is written with its two-byte code: " +
                   Spans(t.oneWayFourByte, FourByteName) + ".");
  Comment(out, "BMP code points without a code: " + Spans(t.unwritableBmp, CodePointName) + ".");
  std::fprintf(out, "\n");

  std::fprintf(out,
               "// kTwoByte[lead - 0x81][trail - 0x40]: the character as one UTF-16 unit; 0 for\n"
               "// none; kAstralMark + k for the supplementary character kTwoByteAstral[k].\n"
               "constexpr std::uint16_t kTwoByte[%d][%d] = {\n",
               kLeads, kTrails);
  for (int lead = 0; lead < kLeads; ++lead) {
    std::fprintf(out, "  {  // lead 0x%02X\n", 0x81 + lead);
    WriteValues(out, &t.twoByte[static_cast<std::size_t>(lead * kTrails)], kTrails);
    std::fprintf(out, "  },\n");
  }
  std::fprintf(out, "};\n\n");

  std::fprintf(out, "constexpr TwoByteAstral kTwoByteAstral[] = {\n");
  for (const Astral& a : t.astral) std::fprintf(out, "    {0x%04X, 0x%05X},\n", a.code, a.codePoint);
  std::fprintf(out, "};\n\n");

  std::fprintf(out,
               "// The four-byte codes of the BMP as runs over which code and code point rise\n"
               "// together: {first index, first code point, length}, the index counting codes\n"
               "// from 81308130. Gaps between runs read as nothing. Sorted by index, then the\n"
               "// same runs sorted by code point (the two orders differ).\n"
               "constexpr FourByteRun kFourByteRuns[] = {\n");
  for (const Run& run : t.runs)
    std::fprintf(out, "    {%u, 0x%04X, %u},  // %s\n", run.firstIndex, run.firstCodePoint, run.length,
                 FourByteName(run.firstIndex).c_str());
  std::fprintf(out, "};\n\nconstexpr FourByteRun kFourByteRunsByCodePoint[] = {\n");
  for (const Run& run : t.runsByCodePoint)
    std::fprintf(out, "    {%u, 0x%04X, %u},  // %s\n", run.firstIndex, run.firstCodePoint, run.length,
                 FourByteName(run.firstIndex).c_str());
  std::fprintf(out, "};\n\n");

  std::fprintf(out,
               "// kBmpToTwoByte[code point]: the two-byte code written for it; 0 when it is\n"
               "// written with four bytes or not at all.\n"
               "constexpr std::uint16_t kBmpToTwoByte[0x10000] = {\n");
  for (std::uint32_t page = 0; page < 0x100; ++page) {
    std::fprintf(out, "    // U+%02X00\n", page);
    WriteValues(out, &t.bmpToTwoByte[page * 0x100], 0x100);
  }
  std::fprintf(out, "};\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-gb18030-tables OUTPUT.inc\n");
    return 2;
  }
  Tables tables;
  ReadTwoByteCodes(tables);
  ReadFourByteBmpCodes(tables);
  ReadBmpEncodings(tables);
  CheckEncodings(tables);

  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "make-gb18030-tables: cannot write %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  Write(out, tables);
  if (std::fclose(out) != 0) {
    std::fprintf(stderr, "make-gb18030-tables: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
