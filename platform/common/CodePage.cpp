// What both systems share: the code page (GB18030 through the table-driven
// codec, the same bytes on Linux and Windows), how a cut character is
// treated, where a path separator is, and the Windows wildcard meaning.
#include <cstring>

#include "platform/Platform.h"
#include "platform/common/Gb18030.h"

namespace platform {
namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::size_t UnitLength(const char* p) {
  if (IsDBCSLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') return 2;
  return 1;
}

bool MatchFrom(const char* pattern, const char* name) {
  while (*pattern != '\0') {
    if (*pattern == '*') {
      while (*pattern == '*') ++pattern;
      if (*pattern == '\0') return true;
      for (const char* rest = name;; rest += UnitLength(rest)) {
        if (MatchFrom(pattern, rest)) return true;
        if (*rest == '\0') return false;
      }
    }
    if (*name == '\0') return false;
    if (*pattern == '?') {
      ++pattern;
      name += UnitLength(name);
      continue;
    }
    const std::size_t unit = UnitLength(pattern);
    if (unit == 2) {
      if (pattern[0] != name[0] || pattern[1] != name[1]) return false;
    } else if (FoldAscii(*pattern) != FoldAscii(*name)) {
      return false;
    }
    pattern += unit;
    name += unit;
  }
  return *name == '\0';
}

}  // namespace

bool IsDBCSLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

bool CodePageToUtf8(const char* text, std::string& utf8) {
  utf8.clear();
  if (text == nullptr) return true;
  return gb18030::ToUtf8(gb18030::DropCutCharacters(text), utf8);
}

bool Utf8ToCodePage(const char* utf8, std::string& text) {
  text.clear();
  if (utf8 == nullptr) return true;
  return gb18030::FromUtf8(utf8, text);
}

bool CodePageToUtf16(const char* text, std::u16string& utf16) {
  utf16.clear();
  if (text == nullptr) return true;
  return gb18030::ToUtf16(gb18030::DropCutCharacters(text), utf16);
}

bool Utf16ToCodePage(std::u16string_view utf16, std::string& text) {
  text.clear();
  return gb18030::FromUtf16(utf16, text);
}

std::size_t FindLastSeparator(std::string_view path) {
  std::size_t last = std::string::npos;
  for (std::size_t i = 0; i < path.size();) {
    if (IsPathSeparator(path[i])) last = i;
    const bool pair = IsDBCSLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size();
    i += pair ? 2 : 1;
  }
  return last;
}

bool MatchesWildcard(const char* pattern, const char* name) {
  if (std::strcmp(pattern, "*.*") == 0) return true;  // Windows: any name, dot or not
  return MatchFrom(pattern, name);
}

}  // namespace platform
