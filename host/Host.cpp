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

namespace {

#ifdef _WIN32
bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool SameDriveLetter(char a, char b) { return (a | 0x20) == (b | 0x20); }

// "C:" of "C:\x", "\\server\share" of "\\server\share\x"; empty when the
// folder has neither.
Text RootOf(const Text& folder) {
  if (folder.size() >= 2 && IsDriveLetter(folder[0]) && folder[1] == ':') return folder.substr(0, 2);
  if (folder.size() < 3 || !platform::IsPathSeparator(folder[0]) || !platform::IsPathSeparator(folder[1])) return Text();
  // Past the server and the share: the second separator after the two.
  int separators = 0;
  for (std::size_t i = 2; i < folder.size();) {
    if (platform::IsPathSeparator(folder[i]) && ++separators == 2) return folder.substr(0, i);
    i += platform::IsDBCSLeadByte(static_cast<unsigned char>(folder[i])) && i + 1 < folder.size() ? 2 : 1;
  }
  return separators == 1 ? folder : Text();
}
#endif

}  // namespace

Text JoinPath(const Text& folder, const Text& name) {
  if (!folder.empty() && platform::FindLastSeparator(folder) == folder.size() - 1) return folder + name;
  return folder + platform::kPathSeparator + name;
}

Text ResolveIn(const Text& folder, const Text& path) {
  if (path.empty() || platform::IsAbsolutePath(path.c_str())) return path;
#ifdef _WIN32
  if (platform::IsPathSeparator(path[0])) {
    const Text root = RootOf(folder);
    return root.empty() ? path : root + path;
  }
  if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
    if (folder.size() < 2 || folder[1] != ':' || !SameDriveLetter(folder[0], path[0])) return path;
    return path.size() == 2 ? folder : JoinPath(folder, path.substr(2));
  }
#endif
  return JoinPath(folder, path);
}

Text Host::ResolvePath(const Text& path) { return ResolveIn(GetProgramDirectory(), path); }

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
