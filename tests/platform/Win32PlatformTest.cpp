// Windows only: names the ANSI code pages cannot spell or spell with a 0x5C
// trail byte, long paths, and scratch files that outlive no process.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#undef CreateDirectory
#undef DeleteFile

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "engine/commands/ConversionCommands.h"
#include "engine/core/FileHelpers.h"
#include "engine/core/ScratchMapping.h"
#include "engine/core/TextBuffer.h"
#include "platform/Platform.h"
#include "tests/support/TestSupport.h"

namespace {

using testsupport::Join;

std::string CodePage(const std::string& utf8) {
  std::string text;
  EXPECT_TRUE(platform::Utf8ToCodePage(utf8.c_str(), text)) << utf8;
  return text;
}

// Starts a program with a UTF-16 command line; its exit status, or -1.
struct Child {
  PROCESS_INFORMATION info{};
  bool started = false;
  explicit Child(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    started = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &info) != 0;
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (!started) return;
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
  }
  int Wait() {
    if (!started || ::WaitForSingleObject(info.hProcess, 120000) != WAIT_OBJECT_0) return -1;
    DWORD status = 0;
    return ::GetExitCodeProcess(info.hProcess, &status) != 0 ? static_cast<int>(status) : -1;
  }
};

std::wstring ToolCommand(const std::wstring& arguments) {
  return L"\"" + testsupport::FsPath(testsupport::ConvertTool()).wstring() + L"\" " + arguments;
}
std::wstring Quoted(const std::string& utf8) { return L"\"" + testsupport::FsPath(utf8).wstring() + L"\""; }

struct Name {
  const char* what;
  const char* utf8;
};
// 淺 (0x9C 0x5C) and 嘰 (0x87 0x5C) end in the byte of '\' in GBK.
const Name kNames[] = {
    {"Chinese", "照片"},
    {"Korean", "사진"},
    {"emoji", "\xF0\x9F\x98\x80"},
    {"0x5C trail 淺", "淺"},
    {"0x5C trail 嘰", "嘰"},
};

TEST(Win32Names, AsSourceTargetAndFolderThroughTheEngineAndTheTool) {
  const std::string bmp = testsupport::Join(testsupport::PrivateDir(), "plain.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(bmp, testsupport::MakeBmp(6, 4, testsupport::PatternRgb(6, 4))));
  for (const Name& name : kNames) {
    SCOPED_TRACE(name.what);
    const std::string folder = Join(testsupport::PrivateDir(), name.utf8);  // UTF-8, for the checks
    const std::string source = Join(folder, std::string(name.utf8) + ".bmp");
    const std::string target = Join(folder, std::string(name.utf8) + ".png");
    ASSERT_TRUE(platform::CreateDirectory(CodePage(folder).c_str()));
    ASSERT_TRUE(std::filesystem::is_directory(testsupport::FsPath(folder)));
    // A trailing '\' is removed and added as a whole character, never the
    // second byte of 淺.
    EXPECT_EQ(engine::IsDirectory(CodePage(folder).c_str()), 1);
    EXPECT_EQ(engine::IsDirectory((CodePage(folder) + "\\").c_str()), 1);
    engine::TextBuffer withSeparator(CodePage(folder).c_str());
    withSeparator.AddTrailingSeparator();
    EXPECT_EQ(std::string(withSeparator.Text()), CodePage(folder) + "\\");

    ASSERT_TRUE(testsupport::WriteBytes(source, testsupport::ReadBytes(bmp)));
    ASSERT_EQ(engine::ConvertToPng(CodePage(source).c_str(), CodePage(target).c_str(), 24), engine::ResultOk);
    EXPECT_TRUE(testsupport::FileExistsOnDisk(target));
    const auto found = platform::FindEntries(CodePage(Join(folder, "*.png")).c_str());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, CodePage(std::string(name.utf8) + ".png"));

    // The tool takes the same names as UTF-16 arguments, one file and a batch.
    const std::string single = Join(folder, std::string(name.utf8) + "-tool.jpg");
    Child tool(ToolCommand(L"jpg " + Quoted(source) + L" " + Quoted(single)));
    EXPECT_EQ(tool.Wait(), 0);
    EXPECT_TRUE(testsupport::FileExistsOnDisk(single));
    const std::string into = Join(folder, name.utf8);
    ASSERT_TRUE(testsupport::MakeDirectory(into));
    Child batch(ToolCommand(L"bmp --into " + Quoted(into) + L" -j 2 " + Quoted(source) + L" " + Quoted(target)));
    EXPECT_EQ(batch.Wait(), 0);
    EXPECT_EQ(testsupport::ReadBytes(Join(into, std::string(name.utf8) + ".bmp.bmp")), testsupport::ReadBytes(bmp));
    EXPECT_TRUE(testsupport::FileExistsOnDisk(Join(into, std::string(name.utf8) + ".png.bmp")));
  }
  EXPECT_TRUE(testsupport::ScratchFiles().empty());
}

TEST(Win32Names, AnArgumentWithoutACodePageSpellingIsAMissingSourceOrAnUnwritableTarget) {
  const std::string bmp = testsupport::Join(testsupport::PrivateDir(), "lone.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(bmp, testsupport::MakeBmp(2, 2, testsupport::PatternRgb(2, 2))));
  const std::wstring lone = L"\"" + testsupport::FsPath(testsupport::PrivateDir()).wstring() + L"\\x\xD800.bmp\"";
  Child source(ToolCommand(L"bmp " + lone + L" " + Quoted(Join(testsupport::PrivateDir(), "out.bmp"))));
  EXPECT_EQ(source.Wait(), 1);
  Child target(ToolCommand(L"bmp " + Quoted(bmp) + L" " + lone));
  EXPECT_EQ(target.Wait(), 4);
  Child batch(ToolCommand(L"bmp --into " + lone + L" " + Quoted(bmp)));
  EXPECT_EQ(batch.Wait(), 4);
}

TEST(Win32Paths, LongerThanMaxPathWork) {
  std::string folder = testsupport::PrivateDir();
  while (folder.size() < 300) folder = Join(folder, "a-rather-long-folder-name-" + std::to_string(folder.size()));
  ASSERT_TRUE(platform::CreateDirectories(CodePage(folder).c_str()));
  ASSERT_GT(folder.size(), static_cast<std::size_t>(MAX_PATH));
  const std::string source = Join(folder, "source.bmp");
  const std::string target = Join(folder, "target.tif");
  std::FILE* file = platform::OpenFile(source.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  const testsupport::Bytes bytes = testsupport::MakeBmp(5, 3, testsupport::PatternRgb(5, 3));
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
  ASSERT_EQ(std::fclose(file), 0);
  EXPECT_EQ(engine::FileExists(source.c_str()), 1);
  EXPECT_EQ(engine::IsDirectory(folder.c_str()), 1);
  EXPECT_TRUE(engine::IsRegularFile(source.c_str()));
  ASSERT_EQ(engine::ConvertToTif(source.c_str(), target.c_str(), 0), engine::ResultOk);
  EXPECT_EQ(platform::FindEntries(Join(folder, "*.tif").c_str()).size(), 1u);
  {
    // A scratch file at a long path too (the system's temporary folder itself
    // is at most MAX_PATH long: GetTempPathW answers no more).
    engine::ScratchMapping mapping;
    EXPECT_EQ(mapping.Open(4096, "ORBCLASS", Join(folder, "ORBCLASS0.tmp").c_str()), 1);
    EXPECT_EQ(platform::FindEntries(Join(folder, "ORBCLASS*.tmp").c_str()).size(), 1u);
  }
  EXPECT_TRUE(platform::FindEntries(Join(folder, "ORBCLASS*.tmp").c_str()).empty());
  EXPECT_TRUE(platform::DeleteFile(target.c_str()));
  EXPECT_EQ(engine::FileExists(target.c_str()), 0);
}

// FILE_FLAG_DELETE_ON_CLOSE: the system removes the scratch file with the last
// handle, so a conversion killed half-way leaves nothing in the temporary folder.
TEST(Win32Scratch, AConversionKilledHalfWayLeavesNoScratchFile) {
  const std::string folder = testsupport::MakeTempSubdir("killed");
  const std::string source = Join(folder, "big.bmp");
  ASSERT_TRUE(testsupport::WriteBytes(source, testsupport::MakeBmp(3000, 2000, testsupport::PatternRgb(3000, 2000))));
  const std::string scratch = testsupport::MakeTempSubdir("killed-scratch");
  testsupport::TmpdirOverride override(scratch);  // the child inherits it
  Child child(ToolCommand(L"png " + Quoted(source) + L" " + Quoted(Join(folder, "big.png")) + L" --depth 24"));
  ASSERT_TRUE(child.started);
  bool sawScratch = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!sawScratch && std::chrono::steady_clock::now() < deadline &&
         ::WaitForSingleObject(child.info.hProcess, 0) == WAIT_TIMEOUT) {
    sawScratch = !testsupport::ScratchFiles(scratch).empty();
    if (!sawScratch) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(sawScratch) << "the conversion ended before its scratch file was seen";
  ASSERT_NE(::TerminateProcess(child.info.hProcess, 99), 0);
  EXPECT_EQ(child.Wait(), 99);
  std::vector<std::string> left;
  for (int attempt = 0; attempt < 200; ++attempt) {
    left = testsupport::ScratchFiles(scratch);
    if (left.empty()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(left.empty()) << left.front();
}

}  // namespace
