#include "engine/core/ScratchMapping.h"

#include <utility>

#include "engine/core/FileHelpers.h"

namespace engine {

bool ScratchMapping::CreateAt(const char* path, std::uint32_t size) {
  path_.Assign(path);
  view_ = static_cast<std::uint8_t*>(platform::MapFile(file_, size));
  if (view_ == nullptr) return false;
  size_ = size;
  return true;
}

int ScratchMapping::Open(std::uint32_t size, const char* prefix, const char* path) {
  Close(1);
  if (size == 0) return 0;
  if (prefix == nullptr || *prefix == '\0') return 0;

  if (path != nullptr && *path != '\0') {
    DeleteFileIfExists(path);
    if (platform::CreateScratchFile(path, size, file_) != platform::CreateResult::Created) return 0;
    if (!CreateAt(path, size)) {
      Close(1);
      return 0;
    }
    return 1;
  }

  TextBuffer folder;
  if (ResolveTempDirectory(folder, nullptr) == 0) return 0;
  for (std::int32_t n = 0; n <= 2047483647; ++n) {
    TextBuffer candidate(folder.Text());
    candidate.Append(prefix);
    candidate.AppendNumber(n);
    candidate.Append(".tmp");
    switch (platform::CreateScratchFile(candidate.Text(), size, file_)) {
      case platform::CreateResult::NameTaken:
        continue;
      case platform::CreateResult::Failed:
        return 0;
      case platform::CreateResult::Created:
        if (!CreateAt(candidate.Text(), size)) {
          Close(1);
          return 0;
        }
        return 1;
    }
  }
  return 0;
}

int ScratchMapping::Close(int deleteFile) {
  platform::UnmapFile(view_, size_);
  platform::CloseFileHandle(file_);
  if (deleteFile == 1 && !path_.IsEmpty()) platform::DeleteFile(path_.Text());
  view_ = nullptr;
  file_ = platform::kNoFile;
  size_ = 0;
  path_.Clear();
  return 1;
}

void ScratchMapping::Swap(ScratchMapping& other) noexcept {
  std::swap(file_, other.file_);
  std::swap(view_, other.view_);
  std::swap(path_, other.path_);
  std::swap(size_, other.size_);
}

void ScratchMapping::FlushView(void* address, std::size_t bytes) {
  if (view_ == nullptr) return;
  if (address == nullptr) address = view_;
  if (bytes == 0) bytes = size_;
  platform::FlushMappedRange(address, bytes);
}

}  // namespace engine
