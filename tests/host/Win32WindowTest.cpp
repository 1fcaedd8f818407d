// The window on the Win32 host under Wine: the controls of the description at
// the monitor's scale, start-up, the tab warning, drops, dialogs, worker
// threads and exit. The program directory is set through the host's test
// hook to a private folder; message boxes are the system's own, read and
// answered by the host's hook; dialogs are answered by their hooks.
#include <gtest/gtest.h>

#include "tests/host/Win32WindowTestSupport.h"

#include <atomic>
#include <future>
#include <mutex>
#include <thread>

#include "app/ControlNames.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "tests/support/TestSupport.h"

namespace {

namespace names = app::names;
using host::ControlKind;
using host::Event;
using host::Property;
using host::Text;
using host::Win32Host;
using win32test::CodePage;
using win32test::ServeUntil;

const char kWarning[] =
    "1.在批量处理程序中中，暂不支持拖放文件夹，请勿使用拖放操作！\r\n2.目前仅支持jpg/png/bmp相互转化";

RECT Relative(HWND window, HWND reference) {
  RECT r{};
  GetWindowRect(window, &r);
  MapWindowPoints(nullptr, reference, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::MakeTempSubdir("window");
    programDir_ = testsupport::Join(dir_, "program");
    elsewhere_ = testsupport::Join(dir_, "elsewhere");
    ASSERT_TRUE(testsupport::MakeDirectory(programDir_));
    ASSERT_TRUE(testsupport::MakeDirectory(elsewhere_));
    originalCwd_ = platform::GetCurrentDirectory();
    // Started from another working directory, as through a shortcut.
    ASSERT_TRUE(platform::SetCurrentDirectory(CodePage(elsewhere_).c_str()));
  }
  void TearDown() override {
    if (host_) {
      host_->DismissWindow(names::kStartWindow);
      EXPECT_EQ(host_->RunMessageLoop(), 0);
      host_.reset();
    }
    platform::SetCurrentDirectory(originalCwd_.c_str());
  }

  void MakeHost(const Text& installed = Text()) {
    host_ = std::make_unique<Win32Host>(
        Win32Host::Options{CodePage(testsupport::Join(programDir_, "pictomill.exe")), installed});
    host_->SetMessageHook([this](const Win32Host::MessageInfo& info) -> std::optional<int> {
      std::function<std::optional<int>(const Win32Host::MessageInfo&)> answer;
      {
        std::lock_guard lock(mutex_);
        messages_.push_back(info);
        answer = onMessage_;
      }
      if (answer) return answer(info);
      return host::kButtonOk;
    });
  }
  void Open() {
    MakeHost();
    app::BindHandlers(*host_);
    ASSERT_TRUE(host_->CreateStartWindow(app::MainWindowDescription()));
  }
  std::vector<Win32Host::MessageInfo> Messages() {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  void OnMessage(std::function<std::optional<int>(const Win32Host::MessageInfo&)> answer) {
    std::lock_guard lock(mutex_);
    onMessage_ = std::move(answer);
  }
  HWND W(const Text& name) { return host_->ControlWindow(name); }
  int Scale(int value) { return MulDiv(value, host_->WindowDpi(), 96); }
  bool Serve(const std::function<bool()>& condition) { return ServeUntil(*host_, condition); }

  std::string dir_, programDir_, elsewhere_;
  Text originalCwd_;
  std::unique_ptr<Win32Host> host_;
  std::mutex mutex_;
  std::vector<Win32Host::MessageInfo> messages_;
  std::function<std::optional<int>(const Win32Host::MessageInfo&)> onMessage_;
};

TEST_F(Window, EveryControlHasItsCaptionGeometryAndVisibilityAtTheMonitorsScale) {
  Open();
  const int dpi = host_->WindowDpi();
  // The 150 % run sets its expectation, so that it cannot pass at 96 dpi.
  const std::string expected = testsupport::GetEnvironmentUtf8("PICTOMILL_EXPECTED_DPI");
  EXPECT_EQ(dpi, expected.empty() ? 96 : std::stoi(expected));
  std::printf("window laid out at %d dpi\n", dpi);
  const HWND window = W(names::kStartWindow);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetDpiForWindow(window), static_cast<UINT>(dpi));
  EXPECT_EQ(host_->GetText(names::kStartWindow), "Pictomill By：Quillbrook");
  EXPECT_EQ(Win32Host::FromWide(win32test::WindowTextOf(window)), "Pictomill By：Quillbrook");
  EXPECT_NE(SendMessageW(window, WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_NE(SendMessageW(window, WM_GETICON, ICON_SMALL, 0), 0);
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, Scale(534));
  EXPECT_EQ(client.bottom, Scale(248));
  const HWND tab = W(names::kTab);
  ASSERT_NE(tab, nullptr);
  const RECT tabRect = Relative(tab, window);
  EXPECT_EQ(tabRect.left, Scale(-1));
  EXPECT_EQ(tabRect.top, 0);
  EXPECT_EQ(tabRect.right - tabRect.left, Scale(536));
  EXPECT_EQ(tabRect.bottom - tabRect.top, Scale(248));
  EXPECT_EQ(host_->GetTabPageName(names::kTab, 1), "单个转换");
  EXPECT_EQ(host_->GetTabPageName(names::kTab, 2), "批量转换");
  EXPECT_EQ(host_->GetTabPageName(names::kTab, 3), "");
  EXPECT_EQ(host_->GetTabPageName(names::kTab, 0), "");
  // The tab strip ends above the batch page's group box.
  RECT item{};
  SendMessageW(tab, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
  EXPECT_LE(item.bottom, Scale(19));

  // Rounding to whole pixels may move a scaled edge by one.
  const int slack = dpi == 96 ? 0 : 1;
  for (int page = 1; page <= 2; ++page) {
    host_->SetIntProperty(names::kTab, Property::CurrentPage, page - 1);
    for (const auto& d : app::MainWindowDescription().controls) {
      if (d.kind == ControlKind::TabControl) continue;
      SCOPED_TRACE(d.name);
      const HWND control = W(d.name);
      const bool object = d.kind == ControlKind::DropObject || d.kind == ControlKind::OpenFileDialog ||
                          d.kind == ControlKind::SaveFileDialog;
      if (object) {
        EXPECT_EQ(control, nullptr) << "an invisible object has no window";
        continue;
      }
      ASSERT_NE(control, nullptr);
      EXPECT_EQ(GetParent(control), window);
      // In the tab control's coordinates (tab strip included), or the group box's for its rows.
      const RECT r = Relative(control, d.parent == names::kTab ? tab : W(d.parent));
      EXPECT_NEAR(r.left, Scale(d.x), slack);
      EXPECT_NEAR(r.top, Scale(d.y), slack);
      EXPECT_NEAR(r.right - r.left, Scale(d.width), slack);
      EXPECT_NEAR(r.bottom - r.top, Scale(d.height), slack);
      if (d.kind != ControlKind::GroupBox && d.kind != ControlKind::ProgressBar) {
        EXPECT_EQ(host_->GetText(d.name), d.caption);
      }
      EXPECT_EQ(IsWindowVisible(control) != FALSE, d.visible && d.page == page) << "page " << page;
      EXPECT_EQ(host_->IsDisabled(d.name), !d.enabled);
    }
  }
  EXPECT_EQ(host_->GetText(names::kStop), "停止");
  EXPECT_FALSE(IsWindowEnabled(W(names::kStop)));
}

TEST_F(Window, ANewDpiRescalesTheWindowItsControlsAndFonts) {
  Open();
  const int before = host_->WindowDpi();
  const UINT next = static_cast<UINT>(before) * 3 / 2;
  // What the system sends when the window moves to a monitor of another scale.
  RECT suggested{};
  GetWindowRect(W(names::kStartWindow), &suggested);
  SendMessageW(W(names::kStartWindow), WM_DPICHANGED, MAKEWPARAM(next, next), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(host_->WindowDpi(), static_cast<int>(next));
  RECT client{};
  GetClientRect(W(names::kStartWindow), &client);
  EXPECT_EQ(client.right, MulDiv(534, static_cast<int>(next), 96));
  // The frame is sized for the new scale, which only a monitor of that scale
  // draws as such: the client area may come out taller by the caption's growth.
  EXPECT_GE(client.bottom, MulDiv(248, static_cast<int>(next), 96));
  const RECT tab = Relative(W(names::kTab), W(names::kStartWindow));
  EXPECT_EQ(tab.bottom - tab.top, MulDiv(248, static_cast<int>(next), 96));
  const RECT exit = Relative(W(names::kExit), W(names::kTab));
  EXPECT_NEAR(exit.left, MulDiv(286, static_cast<int>(next), 96), 1);
  EXPECT_NEAR(exit.bottom - exit.top, MulDiv(32, static_cast<int>(next), 96), 1);
  LOGFONTW font{};
  ASSERT_NE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(W(names::kPathBox), WM_GETFONT, 0, 0)), sizeof font, &font), 0);
  EXPECT_EQ(font.lfHeight, -MulDiv(12, static_cast<int>(next), 96));
}

TEST_F(Window, HiddenBoxesNeverShow) {
  Open();
  const Text hidden[] = {names::kSaveLabel, names::kSaveBox, names::kNameBox};
  for (int round = 0; round < 3; ++round) {
    host_->SetText(names::kSaveBox, "C:\\somewhere\\x.bmp");
    host_->SetText(names::kNameBox, "x.bmp");
    host_->SetIntProperty(names::kTab, Property::CurrentPage, round % 2);
    host_->ProcessEvents();
    for (const Text& name : hidden) {
      SCOPED_TRACE(name);
      ASSERT_NE(W(name), nullptr);
      EXPECT_FALSE(IsWindowVisible(W(name)));
      EXPECT_EQ(GetWindowLongPtrW(W(name), GWL_STYLE) & WS_VISIBLE, 0);
    }
  }
  EXPECT_EQ(host_->GetText(names::kSaveBox), "C:\\somewhere\\x.bmp") << "hidden boxes still hold state";
}

TEST_F(Window, TabWarningOnEverySwitchToTheBatchPage) {
  Open();
  const std::size_t afterNotice = Messages().size();
  for (int round = 1; round <= 3; ++round) {
    win32test::ClickTab(*host_, names::kTab, 1);
    EXPECT_EQ(host_->GetIntProperty(names::kTab, Property::CurrentPage), 1);
    EXPECT_TRUE(IsWindowVisible(W(names::kBatchJpg)));
    EXPECT_FALSE(IsWindowVisible(W(names::kConvertJpg)));
    win32test::ClickTab(*host_, names::kTab, 0);
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), afterNotice + static_cast<std::size_t>(round)) << "nothing when going back";
    EXPECT_EQ(messages.back().text, kWarning) << "read from the box itself";
    EXPECT_EQ(messages.back().caption, "警告");
    EXPECT_EQ(messages.back().flags, 0);
    EXPECT_EQ(messages.back().buttons, std::vector<int>{host::kButtonOk});
    EXPECT_TRUE(messages.back().blocksWindow);
    EXPECT_FALSE(messages.back().fromWorker);
  }
  EXPECT_TRUE(IsWindowEnabled(W(names::kStartWindow))) << "usable again after the box";
}

TEST_F(Window, NoticeComesBeforeTheWindowIsUsable) {
  MakeHost();
  app::BindHandlers(*host_);
  bool sawNotice = false;
  OnMessage([&](const Win32Host::MessageInfo& info) -> std::optional<int> {
    if (info.caption != "说明") return host::kButtonOk;
    sawNotice = true;
    EXPECT_EQ(info.text, app::NoticeText());
    EXPECT_TRUE(info.blocksWindow) << "the window cannot be used while the notice is up";
    EXPECT_FALSE(info.fromWorker);
    EXPECT_EQ(info.buttons, std::vector<int>{host::kButtonOk});
    EXPECT_EQ(info.buttonTexts.size(), 1u);
    EXPECT_TRUE(IsWindowVisible(W(names::kStartWindow)));
    // The rest of start-up waits for it.
    EXPECT_FALSE(testsupport::FileExistsOnDisk(testsupport::Join(programDir_, "tmp")));
    return host::kButtonOk;
  });
  ASSERT_TRUE(host_->CreateStartWindow(app::MainWindowDescription()));
  EXPECT_TRUE(sawNotice);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_TRUE(IsWindowEnabled(W(names::kStartWindow)));
  EXPECT_FALSE(host_->RegisterFileDrop(names::kDrop, host_->GetWindowHandle(names::kStartWindow)))
      << "registered by the created handler already";
}

TEST_F(Window, TmpIsMadeUnderTheProgramDirectoryFromAnotherWorkingDirectory) {
  Open();
  EXPECT_EQ(host_->GetProgramDirectory(), CodePage(programDir_));
  EXPECT_TRUE(testsupport::FileExistsOnDisk(testsupport::Join(programDir_, "tmp")));
  EXPECT_FALSE(testsupport::FileExistsOnDisk(testsupport::Join(elsewhere_, "tmp")));
  EXPECT_EQ(platform::GetCurrentDirectory(), CodePage(programDir_));
}

TEST_F(Window, AnUnwritableOrInstalledProgramDirectoryFallsBackToLocalAppData) {
  const std::string saved = testsupport::GetEnvironmentUtf8("LOCALAPPDATA");
  const std::string data = testsupport::Join(dir_, reinterpret_cast<const char*>(u8"本地"));
  testsupport::SetEnvironment("LOCALAPPDATA", data);
  // A folder under a regular file can hold nothing.
  ASSERT_TRUE(testsupport::WriteBytes(testsupport::Join(dir_, "file"), {1}));
  host_ = std::make_unique<Win32Host>(Win32Host::Options{CodePage(dir_ + "\\file\\bin\\pictomill.exe"), {}});
  EXPECT_EQ(host_->GetProgramDirectory(), CodePage(data + "\\Pictomill"));
  EXPECT_TRUE(host_->MakeDirectory("tmp"));
  EXPECT_TRUE(testsupport::FileExistsOnDisk(data + "\\Pictomill\\tmp"));
  EXPECT_EQ(platform::GetCurrentDirectory(), CodePage(data + "\\Pictomill"));
  host_.reset();
  // The folder the installer chose, even where it could be written.
  host_ = std::make_unique<Win32Host>(
      Win32Host::Options{CodePage(testsupport::Join(programDir_, "pictomill.exe")), CodePage(programDir_)});
  EXPECT_EQ(host_->GetProgramDirectory(), CodePage(data + "\\Pictomill"));
  host_.reset();
  testsupport::SetEnvironment("LOCALAPPDATA", saved);
}

TEST_F(Window, ExitButtonEndsTheProgramWithZero) {
  MakeHost();
  bool routineRan = false;
  host_->RegisterExitRoutine("probe", [&] { routineRan = true; });
  OnMessage([&](const Win32Host::MessageInfo& info) -> std::optional<int> {
    if (info.caption == "说明") PostMessageW(W(names::kExit), BM_CLICK, 0, 0);
    return host::kButtonOk;
  });
  EXPECT_EQ(app::RunProgram(*host_), 0);
  EXPECT_TRUE(routineRan);
  EXPECT_TRUE(host_->IsExiting());
  EXPECT_EQ(W(names::kStartWindow), nullptr) << "the window is gone";
  host_.reset();
}

TEST_F(Window, ClosingTheWindowByItsFrameIsAnExit) {
  Open();
  SendMessageW(W(names::kStartWindow), WM_CLOSE, 0, 0);
  EXPECT_TRUE(host_->IsExiting());
  EXPECT_TRUE(IsWindow(W(names::kStartWindow))) << "it goes once the loop has it";
  EXPECT_EQ(host_->RunMessageLoop(), 0);
  host_.reset();
}

TEST_F(Window, ExitAnswersWaitingWorkerBoxesAndLetsRunningWorkersFinish) {
  Open();
  OnMessage([](const Win32Host::MessageInfo& info) -> std::optional<int> {
    if (info.fromWorker) {
      EXPECT_FALSE(info.blocksWindow) << "a worker's box leaves the window usable";
      return std::nullopt;  // nobody answers: the exit must
    }
    return host::kButtonOk;
  });
  std::atomic<int> boxResult{-1};
  std::atomic<int> questionResult{-1};
  std::atomic<bool> writerDone{false};
  std::atomic<bool> workersDoneBeforeRoutine{false};
  host_->RegisterExitRoutine("probe", [&] { workersDoneBeforeRoutine = boxResult.load() == 0 && writerDone.load(); });
  ASSERT_TRUE(host_->StartThread([&] { boxResult = host_->ShowMessage("等待", 0, "提示"); }));
  ASSERT_TRUE(host_->StartThread([&] {
    questionResult = host_->ShowMessage("覆盖吗？", host::kButtonsYesNoCancel | host::kDefaultSecond, "提示");
  }));
  ASSERT_TRUE(host_->StartThread([&] {
    while (!host_->IsExiting()) host_->SetText(names::kStatusLine, "busy");
    for (int i = 0; i < 1000; ++i) {
      host_->SetText(names::kPathBox, "x");
      EXPECT_EQ(host_->GetText(names::kPathBox), "");
    }
    writerDone = true;
  }));
  ASSERT_TRUE(Serve([&] {
    int open = 0;
    for (const auto& m : Messages()) open += m.fromWorker ? 1 : 0;
    return open == 2;
  }));
  for (const auto& m : Messages()) {
    if (m.text != "覆盖吗？") continue;
    EXPECT_EQ(m.buttons, (std::vector<int>{host::kAnswerYes, host::kAnswerNo, host::kAnswerCancel}));
    EXPECT_EQ(m.defaultAnswer, host::kAnswerNo);
  }
  EXPECT_TRUE(IsWindowEnabled(W(names::kStartWindow)));
  win32test::Click(*host_, names::kExit);
  EXPECT_FALSE(host_->StartThread([] {})) << "no new work after exit began";
  EXPECT_EQ(host_->RunMessageLoop(), 0);
  EXPECT_EQ(boxResult.load(), 0);
  EXPECT_EQ(questionResult.load(), host::kAnswerCancel) << "a question is never answered yes by the exit";
  EXPECT_TRUE(writerDone.load());
  EXPECT_TRUE(workersDoneBeforeRoutine.load());
  host_.reset();
}

TEST_F(Window, WorkerControlOperationsReturnAtOnceAfterExitBegan) {
  Open();
  host_->DismissWindow(names::kStartWindow);
  std::promise<Text> read;
  auto future = read.get_future();
  ASSERT_FALSE(host_->StartThread([] {}));
  std::thread worker([&] {
    host_->SetText(names::kPathBox, "late");
    EXPECT_EQ(host_->ShowMessage("late"), 0);
    read.set_value(host_->GetText(names::kPathBox));
  });
  // The window's thread serves nothing now; the worker must not wait for it.
  EXPECT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  worker.join();
  EXPECT_EQ(future.get(), "");
}

TEST_F(Window, AWorkerIsServedWhileTheWindowsThreadWaitsInItsOwnBox) {
  Open();
  std::atomic<bool> written{false};
  OnMessage([&](const Win32Host::MessageInfo& info) -> std::optional<int> {
    if (info.text != "稍等") return host::kButtonOk;
    // The worker writes while this box is up, then closes it like a user.
    const HWND box = info.box;
    EXPECT_TRUE(host_->StartThread([&, box] {
      host_->SetText(names::kSourceFolderBox, "D:\\图片");
      written = host_->GetText(names::kSourceFolderBox) == "D:\\图片";
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }));
    return std::nullopt;
  });
  EXPECT_EQ(host_->ShowMessage("稍等", 0, "提示"), 0);
  EXPECT_TRUE(written.load());
  ASSERT_TRUE(Serve([&] { return host_->RunningWorkers() == 0; }));
}

TEST_F(Window, DropsReachTheRegisteredObjectOnceAfterTheyReturn) {
  Open();
  std::vector<Text> received;
  host_->Bind(names::kDrop, Event::FilesDropped, [&](const Text& paths) { received.push_back(paths); });
  const Text a = CodePage(programDir_) + "\\a.jpg";
  ASSERT_TRUE(host_->DeliverDroppedFiles({a}));
  EXPECT_TRUE(received.empty()) << "raised from the loop, not inside the drop";
  ASSERT_TRUE(Serve([&] { return received.size() == 1; }));
  EXPECT_EQ(received[0], a) << "one file: its path alone";
  ASSERT_TRUE(host_->DeliverDroppedFiles({a, "C:\\图片\\b.png", "C:\\c.bmp"}));
  ASSERT_TRUE(Serve([&] { return received.size() == 2; }));
  EXPECT_EQ(received[1], a + "\r\nC:\\图片\\b.png\r\nC:\\c.bmp\r\n");
  // Each object once; the batch page's never; only the program's own windows.
  EXPECT_FALSE(host_->RegisterFileDrop(names::kDrop, host_->GetWindowHandle(names::kStartWindow)));
  EXPECT_FALSE(host_->RegisterFileDrop(names::kBatchDrop, reinterpret_cast<host::NativeHandle>(GetDesktopWindow())));
  EXPECT_FALSE(host_->RegisterFileDrop(names::kPathBox, host_->GetWindowHandle(names::kStartWindow)));
  EXPECT_EQ(host_->GetWindowHandle(names::kStartWindow), reinterpret_cast<host::NativeHandle>(W(names::kStartWindow)));
}

TEST_F(Window, ProgressBarTakesMaximumAndPosition) {
  Open();
  const HWND bar = W(names::kProgress);
  host_->SetIntProperty(names::kProgress, Property::Maximum, 0);
  host_->SetIntProperty(names::kProgress, Property::Position, 0);
  EXPECT_EQ(host_->GetIntProperty(names::kProgress, Property::Maximum), 0);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0) << "an empty bar";
  host_->SetIntProperty(names::kProgress, Property::Maximum, 10);
  host_->SetIntProperty(names::kProgress, Property::Position, 3);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 10);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 3);
  EXPECT_EQ(host_->GetIntProperty(names::kProgress, Property::Position), 3);
  host_->SetIntProperty(names::kProgress, Property::Position, 12);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 10) << "never past the end";
}

TEST_F(Window, FileDialogsGetTheirFilterAndFileNameAndCancelChangesNothing) {
  Open();
  std::vector<Win32Host::FileDialogInfo> shown;
  std::optional<Text> answer;
  host_->SetFileDialogHook([&](const Win32Host::FileDialogInfo& info) {
    shown.push_back(info);
    return answer;
  });
  const Text filter = "BMP图片文件（*.bmp）|*.bmp|所有文件（*.*）|*.*";
  host_->SetTextProperty(names::kOpenDialog, Property::Filter, filter);
  answer = CodePage(programDir_) + "\\照片.jpg";
  EXPECT_TRUE(host_->ShowFileDialog(names::kOpenDialog));
  EXPECT_EQ(host_->GetTextProperty(names::kOpenDialog, Property::FileName), *answer);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_FALSE(shown[0].save);
  EXPECT_EQ(shown[0].filter, filter);
  EXPECT_EQ(shown[0].fileName, "");
  answer.reset();
  EXPECT_FALSE(host_->ShowFileDialog(names::kOpenDialog));
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].fileName, CodePage(programDir_) + "\\照片.jpg") << "opens with the previous choice";
  EXPECT_EQ(host_->GetTextProperty(names::kOpenDialog, Property::FileName), CodePage(programDir_) + "\\照片.jpg");
  host_->SetTextProperty(names::kSaveDialog, Property::FileName, "改-cat-1*.pgm");
  answer = "D:\\out\\cat.pgm";
  EXPECT_TRUE(host_->ShowFileDialog(names::kSaveDialog));
  EXPECT_TRUE(shown.back().save);
  EXPECT_EQ(shown.back().fileName, "改-cat-1*.pgm");
  EXPECT_EQ(host_->GetTextProperty(names::kSaveDialog, Property::FileName), "D:\\out\\cat.pgm");
  EXPECT_FALSE(host_->ShowFileDialog(names::kPathBox)) << "not a dialog object";
  EXPECT_EQ(platform::GetCurrentDirectory(), CodePage(programDir_));
}

TEST_F(Window, BrowseForFolderCancelledGivesEmptyTextAndLeavesTheWindowEnabled) {
  Open();
  Text answer = CodePage(programDir_);
  std::vector<Text> titles;
  host_->SetFolderHook([&](const Text& title) {
    titles.push_back(title);
    return answer;
  });
  EXPECT_EQ(host_->BrowseForFolder("选择目标目录"), CodePage(programDir_));
  answer.clear();
  EXPECT_EQ(host_->BrowseForFolder("选择目标目录"), "");
  EXPECT_EQ(titles, (std::vector<Text>{"选择目标目录", "选择目标目录"}));
  EXPECT_TRUE(IsWindowEnabled(W(names::kStartWindow)));
  EXPECT_TRUE(IsWindowEnabled(W(names::kBrowseSource)));
}

TEST_F(Window, MessageBoxesDefaultCaptionAndButtonCodes) {
  Open();
  EXPECT_EQ(host_->ShowMessage("图片处理完毕!"), 0);
  EXPECT_EQ(Messages().back().caption, "信息：");
  EXPECT_EQ(Messages().back().text, "图片处理完毕!");
  EXPECT_EQ(Messages().back().buttons, std::vector<int>{host::kButtonOk});
  OnMessage([](const Win32Host::MessageInfo&) -> std::optional<int> { return host::kAnswerNo; });
  EXPECT_EQ(host_->ShowMessage("?", host::kButtonsYesNo, "提示"), 7) << "Yes/No box, No pressed";
  EXPECT_EQ(Messages().back().buttons, (std::vector<int>{host::kAnswerYes, host::kAnswerNo}));
  EXPECT_EQ(Messages().back().defaultAnswer, host::kAnswerYes);
  OnMessage([](const Win32Host::MessageInfo&) -> std::optional<int> { return host::kAnswerYes; });
  EXPECT_EQ(host_->ShowMessage("?", host::kButtonsYesNo | host::kDefaultSecond, "提示"), 6);
  EXPECT_EQ(Messages().back().defaultAnswer, host::kAnswerNo);
  EXPECT_EQ(host_->ShowMessage("?", 0, "提示"), 0) << "an OK box has only OK";
  OnMessage([](const Win32Host::MessageInfo&) -> std::optional<int> { return host::kAnswerCancel; });
  EXPECT_EQ(host_->ShowMessage("?", host::kButtonsRetryCancel, "提示"), host::kAnswerCancel);
}

TEST_F(Window, FontsAreAsDescribedAndDrawChinese) {
  Open();
  const auto fontOf = [&](const char* name) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(W(name), WM_GETFONT, 0, 0)), sizeof font, &font);
    return font;
  };
  EXPECT_EQ(fontOf(names::kPathBox).lfHeight, -Scale(12));
  EXPECT_EQ(fontOf(names::kPathLabel).lfHeight, -Scale(14));
  EXPECT_EQ(fontOf(names::kSaveLabel).lfHeight, -Scale(14));
  EXPECT_EQ(fontOf(names::kConvertJpg).lfHeight, -Scale(12));
  std::printf("faces: path box %s, default %s\n",
              win32test::Utf8(Win32Host::FromWide(fontOf(names::kPathBox).lfFaceName)).c_str(),
              win32test::Utf8(Win32Host::FromWide(fontOf(names::kConvertJpg).lfFaceName)).c_str());
  // Whatever face was chosen, it has the glyphs: no caption shows boxes.
  for (const char* name : {names::kPathBox, names::kPathLabel, names::kConvertJpg, names::kStatusLine}) {
    HDC dc = GetDC(W(name));
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(W(name), WM_GETFONT, 0, 0)));
    WORD glyphs[3] = {};
    EXPECT_EQ(GetGlyphIndicesW(dc, L"图转批", 3, glyphs, GGI_MARK_NONEXISTING_GLYPHS), 3u);
    for (const WORD glyph : glyphs) EXPECT_NE(glyph, 0xFFFF) << name;
    SelectObject(dc, old);
    ReleaseDC(W(name), dc);
  }
}

TEST_F(Window, VisualStyleSwitchesTheFlatLookOnAndOff) {
  Open();
  const auto frame = [&](const char* name) {
    RedrawWindow(W(name), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_FRAME);
    HDC dc = GetWindowDC(W(name));
    const COLORREF colour = GetPixel(dc, 0, Scale(10));
    ReleaseDC(W(name), dc);
    return colour;
  };
  EXPECT_EQ(GetWindowLongPtrW(W(names::kExit), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW) << "on since start-up";
  EXPECT_EQ(frame(names::kExit), RGB(198, 197, 215)) << "style 3's frame colour";
  EXPECT_EQ(frame(names::kPathBox), RGB(198, 197, 215));
  EXPECT_EQ(host_->SetVisualStyle(0), 1);
  EXPECT_EQ(GetWindowLongPtrW(W(names::kExit), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
  EXPECT_NE(frame(names::kPathBox), RGB(198, 197, 215));
  EXPECT_EQ(host_->SetVisualStyle(0), 0);
  EXPECT_EQ(host_->SetVisualStyle(1), 1);
  EXPECT_EQ(frame(names::kExit), RGB(123, 158, 189));
  EXPECT_EQ(host_->SetVisualStyle(3), 1);
  const RECT exit = Relative(W(names::kExit), W(names::kTab));
  EXPECT_NEAR(exit.left, Scale(286), host_->WindowDpi() == 96 ? 0 : 1) << "controls stay in place";
}

TEST_F(Window, AWorkersTextWriteRunsTheChangeHandlerOnTheWindowThreadFirst) {
  Open();
  const DWORD windowThread = GetCurrentThreadId();
  std::atomic<int> handled{0};
  std::atomic<bool> onWindowThread{false};
  host_->Bind(names::kPathBox, Event::TextChanged, [&](const Text&) {
    onWindowThread = GetCurrentThreadId() == windowThread;
    host_->SetText(names::kNameBox, host_->GetText(names::kPathBox));  // re-entrant use from the handler
    ++handled;
  });
  std::atomic<bool> orderOk{false};
  std::atomic<bool> done{false};
  ASSERT_TRUE(host_->StartThread([&] {
    host_->SetText(names::kPathBox, "");
    host_->SetText(names::kPathBox, "");  // the same text again is a write too
    host_->SetText(names::kPathBox, "C:\\p\\a.png");
    orderOk = handled.load() == 3 && host_->GetText(names::kNameBox) == "C:\\p\\a.png";
    done = true;
  }));
  ASSERT_TRUE(Serve([&] { return done.load(); }));
  EXPECT_TRUE(orderOk.load());
  EXPECT_TRUE(onWindowThread.load());
}

TEST_F(Window, TypingInAnEditBoxRaisesItsChangeOncePerEdit) {
  Open();
  int changes = 0;
  host_->Bind(names::kSourceFolderBox, Event::TextChanged, [&](const Text&) { ++changes; });
  for (const wchar_t c : std::wstring(L"D:\\图")) SendMessageW(W(names::kSourceFolderBox), WM_CHAR, c, 0);
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(host_->GetText(names::kSourceFolderBox), "D:\\图");
}

TEST_F(Window, ProcessEventsOnAWorkerDoesNotWaitForTheWindowThread) {
  Open();
  std::promise<void> processed;
  auto future = processed.get_future();
  ASSERT_TRUE(host_->StartThread([&] {
    host_->ProcessEvents();
    processed.set_value();
  }));
  EXPECT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  ASSERT_TRUE(Serve([&] { return host_->RunningWorkers() == 0; }));
}

TEST_F(Window, ManyWorkersWritingAndShowingMessagesDoNotDeadlock) {
  Open();
  constexpr int kWorkers = 12;
  constexpr int kRounds = 60;
  std::atomic<int> changes{0};
  host_->Bind(names::kSourceFolderBox, Event::TextChanged, [&](const Text&) {
    ++changes;
    (void)host_->GetText(names::kTargetFolderBox);
  });
  std::atomic<int> finished{0};
  std::atomic<int> wrongReads{0};
  std::atomic<int> wrongAnswers{0};
  for (int w = 0; w < kWorkers; ++w) {
    ASSERT_TRUE(host_->StartThread([&, w] {
      const Text mine = "worker-" + host::ToText(w);
      for (int i = 0; i < kRounds; ++i) {
        host_->SetText(names::kSourceFolderBox, mine);
        host_->SetText(names::kStatusLine, mine + "-" + host::ToText(i));
        host_->SetIntProperty(names::kProgress, Property::Maximum, kRounds);
        host_->SetIntProperty(names::kProgress, Property::Position, i);
        host_->SetDisabled(names::kBatchJpg, i % 2 == 0);
        if (const Text title = host_->GetText(names::kStartWindow); title != "Pictomill By：Quillbrook") {
          ++wrongReads;
          std::printf("read as the title: [%s]\n", win32test::Utf8(title).c_str());
        }
        if (i % 15 == 0 && host_->ShowMessage(mine, 0, "提示") != 0) ++wrongAnswers;
        host_->ProcessEvents();
      }
      ++finished;
    }));
  }
  int switches = 0;
  const bool allDone = ServeUntil(*host_, [&] {
    // The switch to the batch page shows the warning: a modal box of this thread.
    host_->SetIntProperty(names::kTab, Property::CurrentPage, (++switches) % 2);
    (void)host_->GetText(names::kStatusLine);
    return finished.load() == kWorkers;
  }, std::chrono::seconds(180));
  ASSERT_TRUE(allDone) << "workers stuck: " << kWorkers - finished.load();
  EXPECT_EQ(wrongReads.load(), 0);
  EXPECT_EQ(wrongAnswers.load(), 0) << "a box answered OK returned something else";
  EXPECT_EQ(changes.load(), kWorkers * kRounds) << "every write raised its change";
  int workerBoxes = 0;
  for (const auto& m : Messages()) workerBoxes += m.fromWorker ? 1 : 0;
  EXPECT_EQ(workerBoxes, kWorkers * 4);
  ASSERT_TRUE(Serve([&] { return host_->RunningWorkers() == 0; }));
}

}  // namespace
