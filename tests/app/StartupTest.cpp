// Start-up, the tab warning, the wiring and exit, on the scripted host.
#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "app/ControlNames.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "host/ScriptedHost.h"
#include "platform/Platform.h"
#include "tests/support/TestSupport.h"

namespace {

namespace names = app::names;
using host::Event;
using host::Text;

const char kWarning[] =
    "1.在批量处理程序中中，暂不支持拖放文件夹，请勿使用拖放操作！\r\n2.目前仅支持jpg/png/bmp相互转化";

class Startup : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::MakeTempSubdir("startup");
    ASSERT_TRUE(platform::Utf8ToCodePage(dir_.c_str(), programDir_));
    host_ = std::make_unique<host::ScriptedHost>(programDir_);
    app::BindHandlers(*host_);
  }
  std::string dir_;
  Text programDir_;
  std::unique_ptr<host::ScriptedHost> host_;
};

TEST_F(Startup, WindowCreatedHandlerSetsUpTheWindow) {
  ASSERT_TRUE(host_->CreateStartWindow(app::MainWindowDescription()));
  EXPECT_EQ(host_->VisualStyle(), 3);
  const auto messages = host_->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "说明");
  EXPECT_EQ(messages[0].flags, 0);
  EXPECT_EQ(messages[0].text,
            "·调用Travessil进行图像格式转换\r\n·支持拖拽图像进程序\r\n"
            "·转换图片调用多线程并且未压缩，文件有点大\r\n·【1107更新】支持批量转换");
  EXPECT_EQ(host_->DropRegistrations(), std::vector<Text>{names::kDrop}) << "only the first page's object";
  EXPECT_EQ(host_->DropWindowOf(names::kDrop), host_->GetWindowHandle(names::kStartWindow));
  EXPECT_TRUE(testsupport::FileExistsOnDisk(testsupport::Join(dir_, "tmp")));
  EXPECT_EQ(host_->FocusedWindow(), names::kStartWindow);
}

TEST_F(Startup, AnExistingTmpIsNoProblem) {
  ASSERT_TRUE(testsupport::MakeDirectory(testsupport::Join(dir_, "tmp")));
  ASSERT_TRUE(host_->CreateStartWindow(app::MainWindowDescription()));
  EXPECT_EQ(host_->FocusedWindow(), names::kStartWindow) << "start-up went on past the failed MakeDirectory";
}

TEST_F(Startup, TabWarningOnEverySwitchToTheBatchPage) {
  ASSERT_TRUE(host_->CreateStartWindow(app::MainWindowDescription()));
  for (int round = 1; round <= 3; ++round) {
    host_->SetIntProperty(names::kTab, host::Property::CurrentPage, 1);
    host_->SetIntProperty(names::kTab, host::Property::CurrentPage, 0);
    const auto messages = host_->Messages();
    ASSERT_EQ(messages.size(), static_cast<std::size_t>(1 + round)) << "nothing on the way back";
    EXPECT_EQ(messages.back().text, kWarning);
    EXPECT_EQ(messages.back().caption, "警告");
  }
}

TEST_F(Startup, EveryWiredControlExistsInTheDescription) {
  std::set<Text> described;
  for (const host::ControlDescription& control : app::MainWindowDescription().controls) {
    EXPECT_TRUE(described.insert(control.name).second) << "duplicate name " << control.name;
  }
  ASSERT_TRUE(host_->CreateStartWindow(app::MainWindowDescription()));
  const std::vector<std::pair<Text, Event>> wired = {
      {names::kTab, Event::PageChanged},      {names::kPathBox, Event::TextChanged},
      {names::kBrowse, Event::Click},         {names::kDrop, Event::FilesDropped},
      {names::kSave, Event::Click},           {names::kBrowseSource, Event::Click},
      {names::kBrowseTarget, Event::Click},   {names::kBatchJpg, Event::Click},
      {names::kBatchBmp, Event::Click},       {names::kBatchPng, Event::Click},
      {names::kStop, Event::Click},
  };
  for (const auto& [name, event] : wired) {
    EXPECT_TRUE(described.count(name)) << name;
    EXPECT_TRUE(host_->Fire(name, event, "")) << name << " has no handler";
  }
  for (const char* button : names::kConvertButtons) {
    EXPECT_TRUE(described.count(button)) << button;
    EXPECT_TRUE(host_->Fire(button, Event::Click)) << button;
  }
  EXPECT_FALSE(host_->Fire(names::kBatchDrop, Event::FilesDropped, "x")) << "the second drop object is not wired";
}

TEST_F(Startup, ExitWaitsForWorkersThenRunsTheExitRoutineAndReturnsZero) {
  std::atomic<bool> release{false};
  std::atomic<bool> workerDone{false};
  std::atomic<bool> routineSawWorkerDone{false};
  host_->RegisterExitRoutine("probe", [&] { routineSawWorkerDone = workerDone.load(); });
  host_->RegisterExitRoutine("probe", [] { ADD_FAILURE() << "registered twice"; });
  ASSERT_TRUE(host_->CreateStartWindow(app::MainWindowDescription()));
  std::atomic<bool> readAfterExitEmpty{false};
  ASSERT_TRUE(host_->StartThread([&] {
    while (!release.load()) std::this_thread::yield();
    host_->SetText(names::kStatusLine, "late");
    readAfterExitEmpty = host_->GetText(names::kPathBox).empty();
    workerDone = true;
  }));
  EXPECT_TRUE(host_->Fire(names::kExit, Event::Click));
  EXPECT_TRUE(host_->Dismissed());
  EXPECT_TRUE(host_->IsExiting());
  EXPECT_FALSE(host_->StartThread([] {})) << "no new work once exit has begun";
  release = true;
  EXPECT_EQ(host_->RunMessageLoop(), 0);
  EXPECT_TRUE(routineSawWorkerDone.load());
  EXPECT_TRUE(readAfterExitEmpty.load()) << "worker control reads return at once after exit began";
  EXPECT_NE(host_->GetText(names::kStatusLine), "late");
}

TEST_F(Startup, RunProgramReturnsZeroAfterExit) {
  // The scripted loop returns at once until the window is dismissed.
  host::ScriptedHost host(programDir_);
  EXPECT_EQ(app::RunProgram(host), 0);
  EXPECT_TRUE(host.HasControl(names::kPathBox));
  EXPECT_EQ(host.GetText(names::kPathBox), "支持拖拽图像进程序");
  EXPECT_EQ(host.GetText(names::kStatusLine), "【正在处理第0个图片】【成功0个】【失败0个】【共有0个图片】");
  host.Fire(names::kExit, Event::Click);
  EXPECT_EQ(host.RunMessageLoop(), 0);
}

// --- "Open with": pictomill FILE ---------------------------------------------

TEST(StartFile, TheFirstArgumentMadeAbsoluteAgainstTheStartFolder) {
#ifdef _WIN32
  const Text start = "C:\\Users\\u";
  EXPECT_EQ(app::StartFileFromArgument("D:\\pics\\猫.jpg", start), Text("D:\\pics\\猫.jpg"));
  EXPECT_EQ(app::StartFileFromArgument("d:/pics/a.png", start), Text("d:/pics/a.png"));
  EXPECT_EQ(app::StartFileFromArgument("\\\\nas\\photos\\a.png", start), Text("\\\\nas\\photos\\a.png"));
  EXPECT_EQ(app::StartFileFromArgument("猫.jpg", start), Text("C:\\Users\\u\\猫.jpg"));
  EXPECT_EQ(app::StartFileFromArgument("sub\\a b.png", "C:\\"), Text("C:\\sub\\a b.png"));
  EXPECT_EQ(app::StartFileFromArgument("..\\a.png", start), Text("C:\\Users\\u\\..\\a.png"));
  // A folder ending in a character whose second byte is '\' ends in no separator.
  EXPECT_EQ(app::StartFileFromArgument("a.png", "C:\\\x95\x5C"), Text("C:\\\x95\x5C\\a.png"));
  // Rooted on the current drive: the start folder's drive or share.
  EXPECT_EQ(app::StartFileFromArgument("\\pics\\a.png", "D:\\work"), Text("D:\\pics\\a.png"));
  EXPECT_EQ(app::StartFileFromArgument("\\pics\\a.png", "\\\\nas\\photos\\2024"), Text("\\\\nas\\photos\\pics\\a.png"));
  EXPECT_EQ(app::StartFileFromArgument("\\pics\\a.png", "\\\\nas\\photos"), Text("\\\\nas\\photos\\pics\\a.png"));
  // Relative to a drive: its folder when the start folder is on it.
  EXPECT_EQ(app::StartFileFromArgument("d:a.png", "D:\\work"), Text("D:\\work\\a.png"));
  EXPECT_EQ(app::StartFileFromArgument("E:a.png", "D:\\work"), Text("E:a.png"));
#else
  EXPECT_EQ(app::StartFileFromArgument("/pics/猫.jpg", "/home/u"), Text("/pics/猫.jpg"));
  EXPECT_EQ(app::StartFileFromArgument("猫.jpg", "/home/u"), Text("/home/u/猫.jpg"));
  EXPECT_EQ(app::StartFileFromArgument("sub/a b.png", "/"), Text("/sub/a b.png"));
  EXPECT_EQ(app::StartFileFromArgument("../a.png", "/home/u"), Text("/home/u/../a.png"));
  const Text start = "/home/u";
#endif
  EXPECT_EQ(app::StartFileFromArgument("a.png", ""), Text("a.png")) << "no start folder known: as given";
  EXPECT_EQ(app::StartFileFromArgument("", start), std::nullopt);
  EXPECT_EQ(app::StartFileFromArgument("-x", start), std::nullopt);
  EXPECT_EQ(app::StartFileFromArgument("--help", start), std::nullopt);
}

// What the single-file page shows: the boxes and every button's state.
std::vector<std::pair<Text, Text>> PageState(host::ScriptedHost& host) {
  std::vector<std::pair<Text, Text>> state;
  for (const char* box : {names::kPathBox, names::kSaveBox, names::kNameBox}) state.emplace_back(box, host.GetText(box));
  for (const char* button : names::kConvertButtons) {
    state.emplace_back(button, host.IsDisabled(button) ? "disabled" : "enabled");
  }
  return state;
}

TEST_F(Startup, AStartFileFillsThePageExactlyAsADropOfThatFile) {
  const Text file = programDir_ + platform::kPathSeparator + "相册" + platform::kPathSeparator + "猫.BMP";
  // The same program dropped on by hand.
  host::ScriptedHost dropped(programDir_);
  ASSERT_EQ(app::RunProgram(dropped), 0);
  ASSERT_TRUE(dropped.Fire(names::kDrop, Event::FilesDropped, file));
  ASSERT_TRUE(dropped.WaitForWorkers());

  host::ScriptedHost opened(programDir_);
  EXPECT_EQ(app::RunProgram(opened, file), 0);
  ASSERT_TRUE(opened.WaitForWorkers());
  const auto messages = opened.Messages();
  ASSERT_EQ(messages.size(), 1u) << "the notice and nothing else";
  EXPECT_EQ(messages[0].caption, "说明");
  EXPECT_EQ(opened.GetText(names::kPathBox), file);
  EXPECT_EQ(opened.GetText(names::kNameBox), "猫.BMP") << "the source name was taken";
  EXPECT_TRUE(opened.IsDisabled(names::kConvertBmp)) << "its own format";
  EXPECT_EQ(PageState(opened), PageState(dropped));

  host::ScriptedHost plain(programDir_);
  EXPECT_EQ(app::RunProgram(plain, std::nullopt), 0);
  EXPECT_EQ(plain.GetText(names::kPathBox), "支持拖拽图像进程序") << "no argument: as always";
  for (auto* host : {&dropped, &opened, &plain}) {
    host->Fire(names::kExit, Event::Click);
    EXPECT_EQ(host->RunMessageLoop(), 0);
  }
}

}  // namespace
