// The Windows programs' resources as the system reads them: the icon group 1
// with every size (256 pixels as PNG), the manifest's settings and the version.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

// RT_ICON, RT_GROUP_ICON, RT_MANIFEST as numbers (the macros are narrow here).
constexpr WORD kIcon = 3;
constexpr WORD kGroupIcon = 14;
constexpr WORD kManifest = 24;

std::wstring Wide(const char* utf8) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length > 0 ? length - 1 : 0));
  return wide;
}

class Module {
 public:
  explicit Module(const std::wstring& path)
      : handle_(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  ~Module() {
    if (handle_ != nullptr) FreeLibrary(handle_);
  }
  HMODULE get() const { return handle_; }

  std::vector<unsigned char> Resource(WORD type, WORD id) const {
    HRSRC info = FindResourceW(handle_, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type));
    if (info == nullptr) return {};
    HGLOBAL loaded = LoadResource(handle_, info);
    const auto* bytes = static_cast<const unsigned char*>(LockResource(loaded));
    if (bytes == nullptr) return {};
    return std::vector<unsigned char>(bytes, bytes + SizeofResource(handle_, info));
  }

 private:
  HMODULE handle_;
};

#pragma pack(push, 2)
struct GroupEntry {
  BYTE width;
  BYTE height;
  BYTE colours;
  BYTE reserved;
  WORD planes;
  WORD bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

struct Program {
  const char* path;
  bool window;
  const char* description;
};

void CheckProgram(const Program& program) {
  SCOPED_TRACE(program.path);
  const std::wstring path = Wide(program.path);
  Module module(path);
  ASSERT_NE(module.get(), nullptr);

  // Icon group 1, every size drawn, each image present; 256 pixels as PNG.
  const std::vector<unsigned char> group = module.Resource(kGroupIcon, 1);
  ASSERT_GE(group.size(), 6u);
  WORD count = 0;
  std::memcpy(&count, group.data() + 4, 2);
  ASSERT_EQ(group.size(), 6u + count * sizeof(GroupEntry));
  std::set<int> sizes;
  for (WORD i = 0; i < count; ++i) {
    GroupEntry entry{};
    std::memcpy(&entry, group.data() + 6 + i * sizeof(GroupEntry), sizeof entry);
    const int size = entry.width == 0 ? 256 : entry.width;
    sizes.insert(size);
    EXPECT_EQ(entry.bitCount, 32);
    const std::vector<unsigned char> image = module.Resource(kIcon, entry.id);
    ASSERT_EQ(image.size(), entry.bytes) << size;
    const bool png = image.size() > 8 && std::memcmp(image.data(), "\x89PNG\r\n\x1a\n", 8) == 0;
    EXPECT_EQ(png, size == 256) << size;
  }
  EXPECT_EQ(sizes, (std::set<int>{16, 24, 32, 48, 64, 128, 256}));
  HICON icon = static_cast<HICON>(LoadImageW(module.get(), MAKEINTRESOURCEW(1), IMAGE_ICON, 48, 48, 0));
  EXPECT_NE(icon, nullptr);
  if (icon != nullptr) DestroyIcon(icon);

  const std::vector<unsigned char> bytes = module.Resource(kManifest, 1);
  const std::string manifest(bytes.begin(), bytes.end());
  EXPECT_NE(manifest.find("<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true<"),
            std::string::npos);
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(manifest.find("<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>"), std::string::npos);
  EXPECT_NE(manifest.find("version=\"" PICTOMILL_VERSION ".0\""), std::string::npos);
  EXPECT_EQ(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>") != std::string::npos, program.window);
  EXPECT_EQ(manifest.find(">true/pm</dpiAware>") != std::string::npos, program.window);
  EXPECT_EQ(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"") != std::string::npos,
            program.window);

  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<unsigned char> version(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, version.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(PICTOMILL_VERSION_MINOR, PICTOMILL_VERSION_MAJOR)));
  EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(0, PICTOMILL_VERSION_PATCH)));
  auto text = [&](const wchar_t* name) {
    wchar_t* value = nullptr;
    UINT chars = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
    if (!VerQueryValueW(version.data(), key.c_str(), reinterpret_cast<void**>(&value), &chars)) return std::wstring();
    return std::wstring(value);
  };
  EXPECT_TRUE(text(L"FileDescription") == Wide(program.description));
  EXPECT_TRUE(text(L"ProductVersion") == Wide(PICTOMILL_VERSION));
  EXPECT_TRUE(text(L"ProductName") == L"Pictomill");
}

TEST(WindowsResourcesTest, TheToolHasTheIconTheVersionAndALongPathManifest) {
  CheckProgram({PICTOMILL_CONVERT_TOOL, false, "Pictomill 图片格式转换工具"});
}

TEST(WindowsResourcesTest, TheWindowProgramHasTheIconTheVersionAndADpiAwareManifest) {
#ifdef PICTOMILL_WINDOW_PROGRAM
  CheckProgram({PICTOMILL_WINDOW_PROGRAM, true, "Pictomill 图片格式转换"});
#else
  GTEST_SKIP() << "this build has no window program";
#endif
}

}  // namespace
