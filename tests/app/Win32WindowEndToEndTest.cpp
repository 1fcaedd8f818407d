// The whole program on the Win32 host under Wine: the real window, the real
// engine, a private program directory. Every output is compared byte for byte
// with what pictomill-convert.exe writes from the same source with its
// defaults (the window program's); message boxes are the system's own,
// answered by the host's hook, dialogs by theirs.
#include <gtest/gtest.h>

#include "tests/host/Win32WindowTestSupport.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "app/AppState.h"
#include "app/BatchFlow.h"
#include "app/ControlNames.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "tests/support/TestSupport.h"

namespace {

namespace names = app::names;
using host::Win32Host;
using testsupport::Bytes;
using win32test::Backslashed;
using win32test::CodePage;
using win32test::Utf8;

std::string U8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

Bytes SmallBmp(int width, int height, std::uint32_t seed = 3) {
  return testsupport::MakeBmp(width, height, testsupport::PatternRgb(width, height, seed));
}

// The tool's output for the source, or empty when it fails.
Bytes ToolOutput(const std::string& format, const std::string& source, const std::string& folder) {
  const std::string target = testsupport::Join(folder, "tool-output." + format);
  std::remove(target.c_str());
  const int status = testsupport::RunCommand(testsupport::Quote(testsupport::ConvertTool()) + " " + format + " " +
                                             testsupport::Quote(source) + " " + testsupport::Quote(target));
  return status == 0 ? testsupport::ReadBytes(target) : Bytes();
}

std::size_t CountFiles(const std::string& utf8Pattern) {
  return platform::FindEntries(CodePage(utf8Pattern).c_str()).size();
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    install_ = testsupport::MakeTempSubdir("installed");
    files_ = testsupport::MakeTempSubdir("files");
    host_ = std::make_unique<Win32Host>(Win32Host::Options{CodePage(install_ + "\\pictomill.exe"), {}});
    host_->SetMessageHook([this](const Win32Host::MessageInfo& info) -> std::optional<int> {
      std::lock_guard lock(mutex_);
      messages_.push_back(info);
      return host::kButtonOk;
    });
    host_->SetFileDialogHook([this](const Win32Host::FileDialogInfo& info) {
      dialogs_.push_back(info);
      std::optional<host::Text> answer;
      if (!dialogAnswers_.empty()) {
        answer = dialogAnswers_.front();
        dialogAnswers_.erase(dialogAnswers_.begin());
      }
      return answer;
    });
    host_->SetFolderHook([this](const host::Text&) {
      host::Text answer;
      if (!folderAnswers_.empty()) {
        answer = folderAnswers_.front();
        folderAnswers_.erase(folderAnswers_.begin());
      }
      return answer;
    });
    app::CreateAppState();
    host_->RegisterExitRoutine("AppState", app::ReleaseAppState);
    app::BindHandlers(*host_);
    ASSERT_TRUE(host_->CreateStartWindow(app::MainWindowDescription()));
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].caption, "说明");
    Clear();
    ASSERT_EQ(host_->GetProgramDirectory(), CodePage(install_));
  }
  void TearDown() override {
    if (!host_) return;
    if (!exited_) Exit();
    host_.reset();
    EXPECT_TRUE(testsupport::ScratchFiles().empty());
  }

  void Exit() {
    win32test::Click(*host_, names::kExit);
    EXPECT_EQ(host_->RunMessageLoop(), 0);
    exited_ = true;
  }
  std::vector<Win32Host::MessageInfo> Messages() {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
  }
  bool Settled(std::size_t messages) {
    return win32test::ServeUntil(*host_, [&] { return Messages().size() >= messages && host_->RunningWorkers() == 0; });
  }
  void ClickAndSettle(const char* control, std::size_t messages) {
    win32test::Click(*host_, control);
    ASSERT_TRUE(Settled(messages)) << control;
  }
  void Choose(const std::string& path) {
    dialogAnswers_.push_back(CodePage(path));
    ClickAndSettle(names::kBrowse, Messages().size());
    ASSERT_EQ(host_->GetText(names::kPathBox), CodePage(path));
  }
  void ShowBatchPage() {
    host_->SetIntProperty(names::kTab, host::Property::CurrentPage, 1);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].caption, "警告");
    Clear();
  }
  std::string CopyCorpus(const std::string& relative, const std::string& name) {
    const std::string path = testsupport::Join(files_, name);
    const Bytes bytes = testsupport::ReadBytes(testsupport::CorpusDir() + "\\" + relative);
    EXPECT_FALSE(bytes.empty()) << relative;
    EXPECT_TRUE(testsupport::WriteBytes(path, bytes));
    return path;
  }
  bool Enabled(const char* control) { return IsWindowEnabled(host_->ControlWindow(control)) != FALSE; }
  std::string Box(const char* control) { return Backslashed(Utf8(host_->GetText(control))); }

  std::string install_, files_;
  std::unique_ptr<Win32Host> host_;
  std::mutex mutex_;
  std::vector<Win32Host::MessageInfo> messages_;
  std::vector<Win32Host::FileDialogInfo> dialogs_;
  std::vector<host::Text> dialogAnswers_;
  std::vector<host::Text> folderAnswers_;
  bool exited_ = false;
};

struct Button {
  const char* control;
  const char8_t* folder;
  const char8_t* prefix;
  const char* extension;
  const char* success;
  const char* toolFormat;
};

const Button kButtons[] = {
    {names::kConvertJpg, u8"jpg图片", u8"转-", "jpg", "JPG格式转换成功！", "jpg"},
    {names::kConvertBmp, u8"bmp图片", u8"改-", "bmp", "BMP格式转换成功！", "bmp"},
    {names::kConvertTif, u8"tif图片", u8"改-", "tif", "TIF格式转换成功！", "tif"},
    {names::kConvertPng, u8"png图片", u8"改-", "png", "PNG格式转换成功！", "png"},
    {names::kConvertPic, u8"pic图片", u8"改-", "pic", "PIC格式转换成功！", "pic"},
    {names::kConvertPpm, u8"ppm图片", u8"改-", "ppm", "PPM格式转换成功！", "ppm"},
    {names::kConvertPgm, u8"pgm图片", u8"改-", "pgm", "PGM格式转换成功！", "pgm"},
    // The PBM button writes a grey map under a .pbm name.
    {names::kConvertPbm, u8"pbm图片", u8"改-", "pbm", "PBM格式转换成功！", "pgm"},
    {names::kConvertPcx, u8"pcx图片", u8"改-", "pcx", "PCX格式转换成功！", "pcx"},
    {names::kConvertSgi, u8"sgi图片", u8"改-", "sgi", "SGI格式转换成功！", "sgi"},
};

TEST_F(EndToEnd, TenButtonsConvertAJpegAndAPngOfTheCorpusAsTheToolDoes) {
  if (testsupport::CorpusDir().empty()) GTEST_SKIP() << "the corpus is not available";
  struct Source {
    const char* corpus;
    std::string name;       // stem and extension in the path box
    std::string otherName;  // for the one button its own extension disables
    const char* disabled;
  };
  const Source sources[] = {
      {"jpeg\\generated\\testorig_q100_optimized.jpg", U8(u8"照片.jpg"), U8(u8"照片-jpeg.png"), names::kConvertJpg},
      {"png\\kodak\\kodim23.png", "kodim23.png", "kodim23-png.bmp", names::kConvertPng},
  };
  std::map<std::string, int> numbers;
  for (const Source& source : sources) {
    SCOPED_TRACE(source.corpus);
    const std::string path = CopyCorpus(source.corpus, source.name);
    const std::string other = CopyCorpus(source.corpus, source.otherName);
    for (const Button& button : kButtons) {
      SCOPED_TRACE(button.control);
      const bool ownFormat = std::string(button.control) == source.disabled;
      const std::string chosen = ownFormat ? other : path;
      Choose(chosen);
      EXPECT_TRUE(Enabled(button.control));
      if (!ownFormat) {
        EXPECT_FALSE(Enabled(source.disabled)) << "its own format is not offered";
      }
      const std::size_t before = Messages().size();
      ClickAndSettle(button.control, before + 1);
      const auto messages = Messages();
      ASSERT_EQ(messages.size(), before + 1);
      EXPECT_EQ(messages.back().text, button.success);
      EXPECT_EQ(messages.back().caption, "提示");
      EXPECT_TRUE(messages.back().fromWorker);
      EXPECT_FALSE(messages.back().blocksWindow);
      const std::string name = ownFormat ? source.otherName : source.name;
      const std::string stem = name.substr(0, name.size() - 4);
      const std::string output = install_ + "\\tmp\\" + U8(button.folder) + "\\" + U8(button.prefix) + stem + "-" +
                                 std::to_string(++numbers[button.control]) + "." + button.extension;
      EXPECT_EQ(Box(names::kSaveBox), output);
      const Bytes written = testsupport::ReadBytes(output);
      ASSERT_FALSE(written.empty()) << output;
      EXPECT_EQ(written, ToolOutput(button.toolFormat, chosen, files_)) << "not the tool's bytes";
    }
  }
}

TEST_F(EndToEnd, SaveAsMakesAByteIdenticalCopy) {
  const std::string source = testsupport::Join(files_, U8(u8"猫.png"));
  ASSERT_TRUE(testsupport::WriteBytes(source, SmallBmp(40, 30)));
  Choose(source);
  ClickAndSettle(names::kConvertBmp, 1);
  ASSERT_EQ(Messages().back().text, "BMP格式转换成功！");
  const std::string destination = testsupport::Join(files_, U8(u8"副本.bmp"));
  dialogAnswers_.push_back(CodePage(destination));
  win32test::Click(*host_, names::kSave);
  ASSERT_TRUE(win32test::ServeUntil(*host_, [&] {
    return host_->RunningWorkers() == 0 && testsupport::FileExistsOnDisk(destination);
  }));
  ASSERT_FALSE(dialogs_.empty());
  EXPECT_TRUE(dialogs_.back().save);
  EXPECT_EQ(dialogs_.back().dialog, names::kSaveDialog);
  EXPECT_EQ(dialogs_.back().fileName, "改-猫-1*.bmp");
  const Bytes copy = testsupport::ReadBytes(destination);
  EXPECT_EQ(copy, testsupport::ReadBytes(install_ + U8(u8"\\tmp\\bmp图片\\改-猫-1.bmp")));
  EXPECT_EQ(copy, ToolOutput("bmp", source, files_));
  EXPECT_EQ(Messages().size(), 1u) << "no message after a copy";
}

TEST_F(EndToEnd, BatchOfAMixedFolderWithProgressAndStatusLine) {
  app::SetBatchWorkersForTesting(1);  // the page after every file, as a one-by-one run shows it
  if (testsupport::CorpusDir().empty()) GTEST_SKIP() << "the corpus is not available";
  const std::string folder = testsupport::MakeTempSubdir("mixed");
  ASSERT_TRUE(testsupport::WriteBytes(folder + "\\a.jpg", testsupport::ReadBytes(testsupport::CorpusDir() +
                                                                                 "\\jpeg\\generated\\testorig_q100_optimized.jpg")));
  ASSERT_TRUE(testsupport::WriteBytes(folder + "\\b.png", testsupport::ReadBytes(testsupport::CorpusDir() + "\\png\\pillow\\7x13.png")));
  ASSERT_TRUE(testsupport::WriteBytes(folder + "\\c.bmp", SmallBmp(7, 5)));
  ASSERT_TRUE(testsupport::WriteBytes(folder + "\\d.png", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'}));
  ASSERT_TRUE(testsupport::WriteBytes(folder + "\\notes.txt", {'x'}));
  ASSERT_TRUE(testsupport::MakeDirectory(folder + "\\sub.jpg"));
  ShowBatchPage();
  folderAnswers_.push_back(CodePage(folder));
  ClickAndSettle(names::kBrowseSource, 0);
  EXPECT_EQ(host_->GetText(names::kSourceFolderBox), CodePage(folder));

  std::vector<host::Text> statuses;
  std::vector<bool> runningDisabled;
  host_->Bind(names::kSaveBox, host::Event::TextChanged, [&](const host::Text&) {
    statuses.push_back(host_->GetText(names::kStatusLine));
    runningDisabled.push_back(!Enabled(names::kBatchBmp));
  });
  // Empty target box: the default folder under the program directory.
  ClickAndSettle(names::kBatchBmp, 2);
  const auto messages = Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text, "设置默认文件夹为程序目录\\tmp\\批量bmp");
  EXPECT_EQ(messages[0].caption, "提示");
  EXPECT_EQ(messages[1].text, "图片处理完毕!\r\n以下文件转换失败：\r\nd.png：无法识别或解码");
  EXPECT_EQ(messages[1].caption, "信息：");
  const std::string target = install_ + U8(u8"\\tmp\\批量bmp");
  EXPECT_EQ(Box(names::kTargetFolderBox), target);
  const HWND bar = host_->ControlWindow(names::kProgress);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 3);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 3);
  EXPECT_EQ(host_->GetText(names::kStatusLine), "【正在处理第3个图片】【成功2个】【失败1个】【共有3个图片】");
  const std::vector<host::Text> seen = {"【正在处理第0个图片】【成功0个】【失败0个】【共有0个图片】",
                                        "【正在处理第1个图片】【成功1个】【失败0个】【共有3个图片】",
                                        "【正在处理第2个图片】【成功2个】【失败0个】【共有3个图片】"};
  EXPECT_EQ(statuses, seen);
  EXPECT_EQ(runningDisabled, std::vector<bool>(3, true)) << "disabled during its run";
  EXPECT_TRUE(Enabled(names::kBatchBmp));
  for (const char* name : {"a.jpg", "b.png"}) {
    const Bytes output = testsupport::ReadBytes(target + "\\" + name + ".bmp");
    ASSERT_FALSE(output.empty()) << name;
    EXPECT_EQ(output, ToolOutput("bmp", folder + "\\" + name, files_)) << name;
  }
  EXPECT_FALSE(testsupport::FileExistsOnDisk(target + "\\c.bmp.bmp"));
  EXPECT_FALSE(testsupport::FileExistsOnDisk(target + "\\d.png.bmp"));
  EXPECT_FALSE(testsupport::FileExistsOnDisk(target + "\\sub.jpg.bmp"));
  app::SetBatchWorkersForTesting(0);
}

TEST_F(EndToEnd, ExitInTheMiddleOfALongBatchEndsCleanly) {
  constexpr int kFiles = 120;
  const std::string folder = testsupport::MakeTempSubdir("exit-load");
  for (int i = 0; i < kFiles; ++i) {
    ASSERT_TRUE(testsupport::WriteBytes(folder + "\\n" + std::to_string(1000 + i) + ".bmp", SmallBmp(160, 120, 7)));
  }
  const std::string target = testsupport::MakeTempSubdir("exit-load-out");
  ShowBatchPage();
  host_->SetText(names::kSourceFolderBox, CodePage(folder));
  host_->SetText(names::kTargetFolderBox, CodePage(target));
  win32test::Click(*host_, names::kBatchJpg);
  ASSERT_TRUE(win32test::ServeUntil(*host_, [&] { return CountFiles(target + "\\*.jpg") >= 3 || host_->RunningWorkers() == 0; }));
  ASSERT_GT(host_->RunningWorkers(), 0) << "the batch ended before the exit";
  Exit();  // returns once the file in progress has finished
  EXPECT_EQ(host_->RunningWorkers(), 0);
  for (const auto& message : Messages()) EXPECT_NE(message.text, "图片处理完毕!");
  EXPECT_LT(CountFiles(target + "\\*.jpg"), static_cast<std::size_t>(kFiles)) << "the batch stops after its file";
  EXPECT_TRUE(app::State().Batch().paths.empty()) << "released after the last worker";
}

// --- pictomill.exe itself ------------------------------------------------------------

std::string WindowProgram() {
  std::string path = PICTOMILL_WINDOW_PROGRAM;
  if (!path.empty() && path[0] == '/') path = Backslashed("Z:" + path);  // the build machine's root under Wine
  return path;
}

struct ProcessInfo {
  PROCESS_INFORMATION process{};
  ~ProcessInfo() {
    if (process.hProcess != nullptr) CloseHandle(process.hProcess);
    if (process.hThread != nullptr) CloseHandle(process.hThread);
  }
};

// A top-level window of the process with the class (and the title, if given).
HWND FindProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* title) {
  struct Query {
    DWORD pid;
    const wchar_t* className;
    const wchar_t* title;
    HWND found;
  } query{pid, className, title, nullptr};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto* q = reinterpret_cast<Query*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t name[64] = {}, text[128] = {};
        GetClassNameW(window, name, 64);
        GetWindowTextW(window, text, 128);
        if (owner != q->pid || wcscmp(name, q->className) != 0 || !IsWindowVisible(window)) return TRUE;
        if (q->title != nullptr && wcscmp(text, q->title) != 0) return TRUE;
        q->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&query));
  return query.found;
}

// Waits on the process (not blind) until the condition holds, it ends, or a minute passes.
template <class Condition>
bool WaitOn(HANDLE process, Condition condition) {
  for (int i = 0; i < 6000; ++i) {
    if (condition()) return true;
    if (WaitForSingleObject(process, 10) == WAIT_OBJECT_0) return condition();
  }
  return false;
}

TEST(Program, IsAWindowProgramThatSettlesInItsFolderOpensItsArgumentAndExitsWithZero) {
  const Bytes image = testsupport::ReadBytes(WindowProgram());
  ASSERT_GT(image.size(), 0x200u) << WindowProgram();
  const std::size_t header = image[0x3C] | (image[0x3D] << 8) | (image[0x3E] << 16);
  ASSERT_LT(header + 24 + 70, image.size());
  EXPECT_EQ(image[header + 24 + 68], IMAGE_SUBSYSTEM_WINDOWS_GUI) << "no console window";

  const std::string folder = testsupport::MakeTempSubdir(U8(u8"程序"));
  const std::string elsewhere = testsupport::MakeTempSubdir("elsewhere");
  const std::string copy = folder + "\\pictomill.exe";
  ASSERT_TRUE(testsupport::WriteBytes(copy, image));
  const std::string picture = testsupport::Join(elsewhere, U8(u8"照片.bmp"));
  ASSERT_TRUE(testsupport::WriteBytes(picture, SmallBmp(40, 30)));

  // Started from elsewhere with a relative file name, as "Open with" may.
  std::wstring program = Win32Host::ToWide(CodePage(copy));
  std::wstring command = L"\"" + program + L"\" " + Win32Host::ToWide(CodePage(U8(u8"照片.bmp")));
  const std::wstring startFolder = Win32Host::ToWide(CodePage(elsewhere));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  ProcessInfo child;
  ASSERT_TRUE(CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             startFolder.c_str(), &startup, &child.process));
  const DWORD pid = child.process.dwProcessId;
  HWND notice = nullptr;
  ASSERT_TRUE(WaitOn(child.process.hProcess, [&] {
    notice = FindProcessWindow(pid, L"#32770", L"说明");
    return notice != nullptr;
  })) << "no notice";
  EXPECT_FALSE(testsupport::FileExistsOnDisk(folder + "\\tmp")) << "the notice comes first";
  PostMessageW(notice, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  HWND window = nullptr;
  ASSERT_TRUE(WaitOn(child.process.hProcess, [&] {
    window = FindProcessWindow(pid, L"PictomillStartWindow", nullptr);
    return window != nullptr && testsupport::FileExistsOnDisk(folder + "\\tmp");
  }));
  EXPECT_FALSE(testsupport::FileExistsOnDisk(elsewhere + "\\tmp"));
  // The argument arrived in the path box as a drop would put it.
  const std::wstring wanted = Win32Host::ToWide(CodePage(picture));
  bool opened = false;
  std::pair<const std::wstring*, bool*> search(&wanted, &opened);
  EXPECT_TRUE(WaitOn(child.process.hProcess, [&] {
    EnumChildWindows(
        window,
        [](HWND control, LPARAM data) -> BOOL {
          auto* state = reinterpret_cast<std::pair<const std::wstring*, bool*>*>(data);
          // Another process's control: its text only by the message itself.
          wchar_t text[MAX_PATH] = {};
          DWORD_PTR copied = 0;
          SendMessageTimeoutW(control, WM_GETTEXT, MAX_PATH, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 1000,
                              &copied);
          if (*state->first == text) *state->second = true;
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return opened;
  }));
  PostMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(child.process.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 1;
  ASSERT_TRUE(GetExitCodeProcess(child.process.hProcess, &code));
  EXPECT_EQ(code, 0u);
}

}  // namespace
