// The host operations that need no window system: files, folders and search.
#include "host/Host.h"

#include <cstdio>

#include "platform/Platform.h"

namespace host {

std::vector<int> MessageButtons(int flags) {
  switch (flags & 0xF) {
    case kButtonsOkCancel: return {kButtonOk, kAnswerCancel};
    case kButtonsAbortRetryIgnore: return {kAnswerAbort, kAnswerRetry, kAnswerIgnore};
    case kButtonsYesNoCancel: return {kAnswerYes, kAnswerNo, kAnswerCancel};
    case kButtonsYesNo: return {kAnswerYes, kAnswerNo};
    case kButtonsRetryCancel: return {kAnswerRetry, kAnswerCancel};
    default: return {kButtonOk};
  }
}

int DefaultAnswer(int flags) {
  const std::vector<int> buttons = MessageButtons(flags);
  const auto index = static_cast<std::size_t>((flags >> 8) & 0xF);
  return index < buttons.size() ? buttons[index] : buttons.front();
}

int DismissAnswer(int flags) {
  const std::vector<int> buttons = MessageButtons(flags);
  for (const int wanted : {kAnswerCancel, kAnswerNo}) {
    for (const int button : buttons) {
      if (button == wanted) return button;
    }
  }
  return buttons.front();
}

Text Host::ResolvePath(const Text& path) {
  if (path.empty() || path[0] == platform::kPathSeparator) return path;
  return GetProgramDirectory() + platform::kPathSeparator + path;
}

bool Host::MakeDirectory(const Text& path) {
  if (path.empty()) return false;
  return platform::CreateDirectory(ResolvePath(path).c_str());
}

Bytes Host::ReadFileBytes(const Text& path) {
  Bytes bytes;
  if (path.empty()) return bytes;
  std::FILE* file = platform::OpenFile(ResolvePath(path).c_str(), "rb");
  if (file == nullptr) return bytes;
  // Read to the end rather than trusting a size taken first: a short read
  // still yields the bytes actually read.
  std::uint8_t chunk[65536];
  for (;;) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (got < sizeof chunk) break;
  }
  std::fclose(file);
  return bytes;
}

bool Host::WriteFileBytes(const Text& path, const std::vector<Bytes>& parts) {
  if (path.empty()) return false;
  const Text target = ResolvePath(path);
  bool isDirectory = false;
  bool isRegularFile = false;
  if (platform::GetPathKind(target.c_str(), isDirectory, isRegularFile) && isDirectory) return false;
  Text temporary;
  std::FILE* file = platform::CreateFileBeside(target.c_str(), temporary);
  if (file == nullptr) return false;
  bool ok = true;
  for (const Bytes& part : parts) {
    if (part.empty()) continue;
    if (std::fwrite(part.data(), 1, part.size(), file) != part.size()) {
      ok = false;
      break;
    }
  }
  if (std::fflush(file) != 0) ok = false;
  if (std::fclose(file) != 0) ok = false;
  if (ok) ok = platform::RenameFile(temporary.c_str(), target.c_str());
  if (!ok) platform::DeleteFile(temporary.c_str());
  return ok;
}

Text Host::FindFile(SearchSlot& slot, const std::optional<Text>& pattern) {
  if (pattern.has_value() && !pattern->empty()) {
    CloseFindFile(slot);
    for (platform::FoundEntry& entry : platform::FindEntries(ResolvePath(*pattern).c_str())) {
      if (!entry.isDirectory) slot.names_.push_back(std::move(entry.name));
    }
    slot.open_ = true;
  }
  if (!slot.open_) return Text();
  if (slot.next_ >= slot.names_.size()) {
    CloseFindFile(slot);
    return Text();
  }
  return slot.names_[slot.next_++];
}

void Host::CloseFindFile(SearchSlot& slot) {
  slot.names_.clear();
  slot.next_ = 0;
  slot.open_ = false;
}

}  // namespace host
