#include "tests/hardening/HardeningSupport.h"

#include <dirent.h>
#include <unistd.h>

#include <fstream>

namespace hardening {
namespace {

bool IsScratchName(const std::string& text) {
  const std::size_t slash = text.rfind('/');
  const std::string name = slash == std::string::npos ? text : text.substr(slash + 1);
  // A deleted file still mapped shows as "... (deleted)".
  return name.rfind("ORBCLASS", 0) == 0 && name.find(".tmp") != std::string::npos;
}

}  // namespace

int ScratchDescriptors() {
  int count = 0;
  DIR* dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    char target[4096];
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0) continue;
    if (IsScratchName(std::string(target, static_cast<std::size_t>(length)))) ++count;
  }
  ::closedir(dir);
  return count;
}

int ScratchMappings() {
  std::ifstream maps("/proc/self/maps");
  if (!maps) return -1;
  int count = 0;
  std::string line;
  while (std::getline(maps, line)) {
    const std::size_t path = line.find('/');
    if (path != std::string::npos && IsScratchName(line.substr(path))) ++count;
  }
  return count;
}

}  // namespace hardening
