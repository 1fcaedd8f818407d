#include "engine/core/TextBuffer.h"

#include <cstdio>
#include <cstring>

#include "platform/Platform.h"

namespace engine {
namespace {

// A lead byte at the very end stands alone: its follower would be the terminator.
std::size_t CharacterLength(const std::string& text, std::size_t at) {
  if (platform::IsDBCSLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size()) return 2;
  return 1;
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

void TextBuffer::Recount() {
  characters_ = 0;
  for (std::size_t at = 0; at < text_.size(); at += CharacterLength(text_, at)) ++characters_;
}

std::size_t TextBuffer::OffsetOfCharacter(std::uint32_t index) const {
  std::size_t at = 0;
  for (std::uint32_t i = 0; i < index && at < text_.size(); ++i) at += CharacterLength(text_, at);
  return at;
}

int TextBuffer::Assign(const char* text) {
  Clear();
  if (text == nullptr || *text == '\0') return 0;
  text_ = text;
  Recount();
  return 1;
}

int TextBuffer::Append(const char* text) {
  if (IsEmpty()) return Assign(text);
  if (text == nullptr || *text == '\0') return 0;
  text_ += text;
  Recount();
  return 1;
}

int TextBuffer::AppendNumber(std::int32_t value) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%d", static_cast<int>(value));
  return Append(digits);
}

int TextBuffer::Left(TextBuffer& target, std::uint32_t n) const {
  if (n > characters_) return 0;
  return target.Assign(text_.substr(0, OffsetOfCharacter(n)).c_str());
}

int TextBuffer::Right(TextBuffer& target, std::uint32_t n) const {
  if (n > characters_) return 0;
  return target.Assign(text_.substr(OffsetOfCharacter(characters_ - n)).c_str());
}

int TextBuffer::Mid(TextBuffer& target, std::uint32_t start, std::uint32_t n) const {
  if (start < 1) start = 1;
  const std::size_t from = OffsetOfCharacter(start - 1);
  const std::size_t to = OffsetOfCharacter(start - 1 + n);
  if (from >= text_.size()) {
    target.Clear();
    return 0;
  }
  return target.Assign(text_.substr(from, to - from).c_str());
}

int TextBuffer::Equals(const char* text, int ignoreCase) const {
  const char* other = text != nullptr ? text : "";
  if (ignoreCase != 1) return text_ == other ? 1 : 0;
  const std::size_t length = std::strlen(other);
  if (length != text_.size()) return 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (FoldAscii(text_[i]) != FoldAscii(other[i])) return 0;
  }
  return 1;
}

int TextBuffer::AddTrailingSeparator() {
  const std::size_t last = OffsetOfCharacter(characters_ == 0 ? 0 : characters_ - 1);
  const bool endsInSeparator =
      !text_.empty() && CharacterLength(text_, last) == 1 && platform::IsPathSeparator(text_[last]);
  if (!endsInSeparator) {
    text_.push_back(platform::kPathSeparator);
    Recount();
  }
  return 1;
}

int TextBuffer::RemoveTrailingSeparator() {
  if (IsEmpty()) return 0;
  const std::size_t last = OffsetOfCharacter(characters_ - 1);
  if (CharacterLength(text_, last) == 1 && platform::IsPathSeparator(text_[last])) {
    text_.pop_back();
    Recount();
  }
  return 1;
}

}  // namespace engine
