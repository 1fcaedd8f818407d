// The code-page codec against glibc's iconv, the converter the program used on
// Linux before it had its own: every one-, two- and four-byte sequence read,
// cut and invalid ones included, and every scalar value written, must come out
// as iconv has them. Linux only.
#include "platform/common/Gb18030.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace {

namespace gb = platform::gb18030;

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // The whole input from a fresh state; false when iconv refuses any of it.
  bool Convert(std::string_view in, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    buffer_.resize(in.size() * 4 + 16);
    char* input = const_cast<char*>(in.data());
    char* output = buffer_.data();
    std::size_t inLeft = in.size(), outLeft = buffer_.size();
    if (iconv(cd_, &input, &inLeft, &output, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) return false;
    out.assign(buffer_.data(), static_cast<std::size_t>(output - buffer_.data()));
    return true;
  }

 private:
  iconv_t cd_;
  std::string buffer_;
};

std::string AsBytes(std::u16string_view utf16) {
  std::string bytes;
  for (const char16_t unit : utf16) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

std::u16string FromBytes(std::string_view bytes) {
  std::u16string utf16;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    utf16.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8));
  return utf16;
}

std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (const char byte : bytes) {
    text.push_back(digits[static_cast<unsigned char>(byte) >> 4]);
    text.push_back(digits[static_cast<unsigned char>(byte) & 0xF]);
  }
  return text;
}

// Compares reading (to UTF-16 and to UTF-8) with iconv, counting agreements;
// reports the first few differences only, as one fault tends to come in thousands.
class ReadComparison {
 public:
  ReadComparison() : toUtf16_("UTF-16LE", "GB18030"), toUtf8_("UTF-8", "GB18030") {}
  bool ok() const { return toUtf16_.ok() && toUtf8_.ok(); }

  void Check(std::string_view bytes) {
    const bool expected16 = toUtf16_.Convert(bytes, expected16_);
    const bool expected8 = toUtf8_.Convert(bytes, expected8_);
    const bool got16 = gb::ToUtf16(bytes, utf16_);
    const bool got8 = gb::ToUtf8(bytes, utf8_);
    if (got16 != expected16 || (got16 && AsBytes(utf16_) != expected16_) || got8 != expected8 ||
        (got8 && utf8_ != expected8_)) {
      if (++differences_ <= 10)
        ADD_FAILURE() << Hex(bytes) << ": iconv " << (expected16 ? Hex(expected16_) : "refuses") << ", ours "
                      << (got16 ? Hex(AsBytes(utf16_)) : "refuses") << " (UTF-8: iconv "
                      << (expected8 ? Hex(expected8_) : "refuses") << ", ours " << (got8 ? Hex(utf8_) : "refuses")
                      << ")";
    } else {
      (expected16 ? accepted_ : refused_) += 1;
    }
  }
  long accepted() const { return accepted_; }
  long refused() const { return refused_; }
  long differences() const { return differences_; }

 private:
  Iconv toUtf16_, toUtf8_;
  std::string expected16_, expected8_, utf8_;
  std::u16string utf16_;
  long accepted_ = 0, refused_ = 0, differences_ = 0;
};

std::string Bytes(std::initializer_list<unsigned> values) {
  std::string bytes;
  for (const unsigned value : values) bytes.push_back(static_cast<char>(value));
  return bytes;
}

TEST(Gb18030Iconv, EveryOneAndTwoByteSequenceReadsAsIconvReadsIt) {
  ReadComparison compare;
  ASSERT_TRUE(compare.ok());
  for (unsigned first = 0; first < 256; ++first) {
    compare.Check(Bytes({first}));
    for (unsigned second = 0; second < 256; ++second) compare.Check(Bytes({first, second}));
  }
  EXPECT_EQ(compare.differences(), 0);
  // 128 single bytes, 128 x 128 ASCII pairs and the two-byte codes.
  EXPECT_EQ(compare.accepted(), 128 + 128 * 128 + 23940);
}

// All 1.6 million codes of lead, digit, lead, digit; every cut of one; every
// invalid third byte after each lead and digit, and every invalid fourth byte
// after the first and last third byte.
TEST(Gb18030Iconv, EveryFourByteSequenceReadsAsIconvReadsIt) {
  ReadComparison compare;
  ASSERT_TRUE(compare.ok());
  for (unsigned first = 0x81; first <= 0xFE; ++first) {
    for (unsigned second = 0x30; second <= 0x39; ++second) {
      compare.Check(Bytes({first, second}));
      for (unsigned third = 0; third < 256; ++third) {
        const bool lead = third >= 0x81 && third <= 0xFE;
        if (lead) compare.Check(Bytes({first, second, third}));
        for (unsigned fourth = 0; fourth < 256; ++fourth) {
          const bool digit = fourth >= 0x30 && fourth <= 0x39;
          if (lead ? digit || third == 0x81 || third == 0xFE : fourth == 0x30)
            compare.Check(Bytes({first, second, third, fourth}));
        }
      }
    }
  }
  EXPECT_EQ(compare.differences(), 0);
  // The BMP's codes less glibc's 18 gaps, and the supplementary planes.
  EXPECT_EQ(compare.accepted(), (39420 - 18) + 0x100000);
}

// Every scalar value, given in UTF-16 and in UTF-8 as iconv spells them.
TEST(Gb18030Iconv, EveryScalarValueIsWrittenAsIconvWritesIt) {
  Iconv toUtf16("UTF-16LE", "UTF-32LE"), toUtf8("UTF-8", "UTF-32LE"), toGb("GB18030", "UTF-32LE");
  ASSERT_TRUE(toUtf16.ok() && toUtf8.ok() && toGb.ok());
  std::string utf16, utf8, expected, got;
  long written = 0, differences = 0;
  for (std::uint32_t codePoint = 0; codePoint <= 0x10FFFF; ++codePoint) {
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) continue;
    const std::string utf32 = Bytes({codePoint & 0xFF, codePoint >> 8 & 0xFF, codePoint >> 16, 0});
    ASSERT_TRUE(toUtf16.Convert(utf32, utf16) && toUtf8.Convert(utf32, utf8)) << codePoint;
    const bool expectedOk = toGb.Convert(utf32, expected);
    const bool from16 = gb::FromUtf16(FromBytes(utf16), got);
    const bool same16 = from16 == expectedOk && (!from16 || got == expected);
    const bool from8 = gb::FromUtf8(utf8, got);
    const bool same8 = from8 == expectedOk && (!from8 || got == expected);
    if (!same16 || !same8) {
      if (++differences <= 10)
        ADD_FAILURE() << "U+" << std::hex << codePoint << ": iconv " << (expectedOk ? Hex(expected) : "refuses")
                      << ", ours from UTF-16 " << (same16 ? "agrees" : "differs") << ", from UTF-8 "
                      << (same8 ? "agrees" : "differs");
    } else if (expectedOk) {
      ++written;
    }
  }
  EXPECT_EQ(differences, 0);
  EXPECT_EQ(written, 0x110000 - 0x800 - 24);  // all but glibc's 24 private-use code points without a code
}

TEST(Gb18030Iconv, UnpairedSurrogatesAndInvalidUtf8AreRefusedByBoth) {
  Iconv fromUtf16("GB18030", "UTF-16LE"), fromUtf8("GB18030", "UTF-8");
  ASSERT_TRUE(fromUtf16.ok() && fromUtf8.ok());
  std::string out;
  for (char16_t unit = 0xD800; unit <= 0xDFFF; ++unit) {
    for (const std::u16string& utf16 : {std::u16string{unit}, std::u16string{unit, u'a'}, std::u16string{u'a', unit},
                                        std::u16string{unit, unit}}) {
      EXPECT_FALSE(fromUtf16.Convert(AsBytes(utf16), out));
      EXPECT_FALSE(gb::FromUtf16(utf16, out)) << std::hex << static_cast<unsigned>(unit);
    }
  }
  // Every byte that cannot start a character, every lead cut short, and the
  // overlong, surrogate and too-large spellings.
  std::vector<std::string> badUtf8;
  for (unsigned lead = 0x80; lead < 0x100; ++lead) {
    badUtf8.push_back(Bytes({lead}));
    badUtf8.push_back(Bytes({lead, 'a'}));
    if (lead >= 0xE0 && lead <= 0xEF) badUtf8.push_back(Bytes({lead, 0x9F, 'a'}));
    if (lead >= 0xF0 && lead <= 0xF4) badUtf8.push_back(Bytes({lead, 0x90, 0x80, 'a'}));
    if (lead < 0xC2 || lead > 0xF4) badUtf8.push_back(Bytes({lead, 0x80, 0x80, 0x80}));
  }
  for (unsigned second = 0x80; second < 0xA0; ++second) badUtf8.push_back(Bytes({0xE0, second, 0x80}));
  for (unsigned second = 0x80; second < 0x90; ++second) badUtf8.push_back(Bytes({0xF0, second, 0x80, 0x80}));
  for (unsigned second = 0x90; second < 0xC0; ++second) badUtf8.push_back(Bytes({0xF4, second, 0x80, 0x80}));
  for (unsigned second = 0xA0; second < 0xC0; ++second)
    for (unsigned third = 0x80; third < 0xC0; ++third) badUtf8.push_back(Bytes({0xED, second, third}));
  badUtf8.push_back(Bytes({0xC0, 0x80}));
  badUtf8.push_back(Bytes({0xC1, 0xBF}));
  badUtf8.push_back(Bytes({0xF8, 0x88, 0x80, 0x80, 0x80}));
  for (const std::string& utf8 : badUtf8) {
    EXPECT_FALSE(fromUtf8.Convert(utf8, out)) << Hex(utf8);
    EXPECT_FALSE(gb::FromUtf8(utf8, out)) << Hex(utf8);
  }
}

// Whole texts in one call, so that a fault in stepping from one character to
// the next shows even where every character alone converts.
TEST(Gb18030Iconv, LongTextsConvertAsIconvConvertsThem) {
  Iconv toUtf8("UTF-8", "GB18030"), fromUtf8("GB18030", "UTF-8");
  ASSERT_TRUE(toUtf8.ok() && fromUtf8.ok());
  std::string text, unused;
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      const std::string unit = Bytes({lead, trail});
      if (toUtf8.Convert(unit, unused)) text += unit + static_cast<char>(trail & 0x7F);
    }
  }
  for (std::uint32_t index = 0; index < 1237576; index += 97) {
    const std::string code = Bytes({0x81 + index / 12600, 0x30 + index / 1260 % 10, 0x81 + index / 10 % 126,
                                    0x30 + index % 10});
    if (toUtf8.Convert(code, unused)) text += code;
  }
  std::string expected, utf8, back;
  ASSERT_TRUE(toUtf8.Convert(text, expected));
  ASSERT_TRUE(gb::ToUtf8(text, utf8));
  EXPECT_TRUE(utf8 == expected) << utf8.size() << " bytes, iconv " << expected.size();
  ASSERT_TRUE(fromUtf8.Convert(utf8, expected));
  ASSERT_TRUE(gb::FromUtf8(utf8, back));
  EXPECT_TRUE(back == expected);
}

// The committed tables are what the generator makes from this system's iconv.
TEST(Gb18030Iconv, CommittedTablesMatchAFreshGeneration) {
  const std::string made = testsupport::Join(testsupport::MakeTempSubdir("gb18030"), "Gb18030Tables.inc");
  std::string output;
  ASSERT_EQ(testsupport::RunCommand(testsupport::Quote(PICTOMILL_GB18030_GENERATOR) + " " + testsupport::Quote(made) +
                                        " 2>&1",
                                    &output),
            0)
      << output;
  const testsupport::Bytes fresh = testsupport::ReadBytes(made);
  const testsupport::Bytes committed =
      testsupport::ReadBytes(testsupport::SourceDir() + "/platform/common/Gb18030Tables.inc");
  ASSERT_FALSE(fresh.empty());
  EXPECT_TRUE(fresh == committed) << "run tools/MakeGb18030Tables.cpp and commit platform/common/Gb18030Tables.inc";
}

}  // namespace
