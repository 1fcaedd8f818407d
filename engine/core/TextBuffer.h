// The engine's text: a byte string in the program's code page, with its
// character count (a lead byte and its follower count as one character).
#pragma once

#include <cstdint>
#include <string>

namespace engine {

class TextBuffer {
 public:
  TextBuffer() = default;
  explicit TextBuffer(const char* text) { Assign(text); }

  void Clear() { text_.clear(); characters_ = 0; }
  // An empty or null text leaves the buffer empty and returns 0.
  int Assign(const char* text);
  int Assign(const TextBuffer& other) { return Assign(other.Text()); }
  // Empty text: 0, unchanged. Empty buffer: as Assign.
  int Append(const char* text);
  int AppendNumber(std::int32_t value);

  // First / last n characters into target; 0 when n exceeds the count.
  int Left(TextBuffer& target, std::uint32_t n) const;
  int Right(TextBuffer& target, std::uint32_t n) const;
  // Characters start .. start + n - 1, counted from 1.
  int Mid(TextBuffer& target, std::uint32_t start, std::uint32_t n) const;
  int Equals(const char* text, int ignoreCase) const;

  // The last character looked at is a whole one, so the second byte of a
  // two-byte character is never taken for a separator.
  int AddTrailingSeparator();
  int RemoveTrailingSeparator();

  [[nodiscard]] const char* Text() const { return text_.c_str(); }
  [[nodiscard]] bool IsEmpty() const { return text_.empty(); }
  [[nodiscard]] std::uint32_t CharacterCount() const { return characters_; }
  // Bytes including the terminating zero; 0 when empty.
  [[nodiscard]] std::int32_t ByteSize() const {
    return text_.empty() ? 0 : static_cast<std::int32_t>(text_.size() + 1);
  }

 private:
  // Byte offset of character index (0-based); text size when past the end.
  [[nodiscard]] std::size_t OffsetOfCharacter(std::uint32_t index) const;
  void Recount();

  std::string text_;
  std::uint32_t characters_ = 0;
};

}  // namespace engine
