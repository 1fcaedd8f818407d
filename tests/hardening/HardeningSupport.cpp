#include "tests/hardening/HardeningSupport.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <psapi.h>
#else
#include <dirent.h>
#include <unistd.h>
#endif

#include <fstream>

#include "tests/support/TestSupport.h"

namespace hardening {
namespace {

bool IsScratchName(const std::string& text) {
  const std::size_t slash = text.rfind('/');
  const std::string name = slash == std::string::npos ? text : text.substr(slash + 1);
  // A deleted file still mapped shows as "... (deleted)".
  return name.rfind("ORBCLASS", 0) == 0 && name.find(".tmp") != std::string::npos;
}

}  // namespace

#ifdef _WIN32
// A scratch file is deleted with its last handle, so the files present in the
// private temporary folder are the open ones.
int ScratchDescriptors() { return static_cast<int>(testsupport::ScratchFiles().size()); }

int ScratchMappings() {
  int count = 0;
  MEMORY_BASIC_INFORMATION region{};
  for (auto* at = static_cast<unsigned char*>(nullptr); ::VirtualQuery(at, &region, sizeof region) == sizeof region;
       at = static_cast<unsigned char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State != MEM_COMMIT || region.Type != MEM_MAPPED || region.BaseAddress != region.AllocationBase) {
      continue;
    }
    wchar_t name[1024];
    const DWORD length = ::GetMappedFileNameW(::GetCurrentProcess(), region.BaseAddress, name, 1024);
    if (length == 0) continue;
    std::string ascii;
    for (DWORD i = 0; i < length; ++i) ascii += name[i] < 0x80 ? static_cast<char>(name[i]) : '?';
    const std::size_t slash = ascii.rfind('\\');
    if (IsScratchName(slash == std::string::npos ? ascii : ascii.substr(slash + 1))) ++count;
  }
  return count;
}
#else
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

#endif

}  // namespace hardening
