// The window on the Qt host, on Qt's offscreen platform: the controls of the
// description, start-up, the tab warning, drops, dialogs, worker threads and
// exit. The program directory is set through the host's test hook to a
// private folder; message boxes and dialogs are answered by the host's hooks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QAbstractButton>
#include <QDropEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFileDialog>
#include <QFontInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>

#include "app/ControlNames.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "host/QtHost.h"
#include "platform/Platform.h"
#include "tests/support/TestSupport.h"

namespace {

namespace names = app::names;
using host::ControlKind;
using host::Event;
using host::Property;
using host::QtHost;
using host::Text;
using Clock = std::chrono::steady_clock;

const char kWarning[] =
    "1.在批量处理程序中中，暂不支持拖放文件夹，请勿使用拖放操作！\r\n2.目前仅支持jpg/png/bmp相互转化";
const char kOpenFilter[] =
    "JEPG图片文件（*.jpg）|*.jpg|BMP图片文件（*.bmp）|*.bmp|TIF图片文件（*.tif）|*.tif|PNG图片文件（*.png）|*.png|"
    "PPM图片文件（*.ppm）|*.ppm|PBM图片文件（*.pbm）|*.pbm|PGM图片文件（*.pgm）|*.pgm|PCX图片文件（*.pcx）|*.pcx|"
    "PIC图片文件（*.pic）|*.pic|SGI图片文件（*.sgi）|*.sgi|所有文件（*.*）|*.*";

void EnsureApplication() {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char name[] = "window_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* application = new QApplication(argc, argv);
  (void)application;
}

Text CodePage(const std::string& utf8) {
  Text text;
  EXPECT_TRUE(platform::Utf8ToCodePage(utf8.c_str(), text));
  return text;
}

// Serves events until the condition holds or the time is up.
template <class Condition>
bool ServeUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  const auto deadline = Clock::now() + limit;
  while (!condition()) {
    if (Clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    originalCwd_ = cwd;
    dir_ = testsupport::MakeTempSubdir("window");
    programDir_ = testsupport::Join(dir_, "program");
    elsewhere_ = testsupport::Join(dir_, "elsewhere");
    ASSERT_EQ(::mkdir(programDir_.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(elsewhere_.c_str(), 0700), 0);
    // Started from another working directory, as through a shortcut.
    ASSERT_EQ(::chdir(elsewhere_.c_str()), 0);
  }

  void TearDown() override {
    if (host_) {
      host_->DismissWindow(names::kStartWindow);
      EXPECT_EQ(host_->RunMessageLoop(), 0);
      host_.reset();
    }
    ASSERT_EQ(::chdir(originalCwd_.c_str()), 0);
  }

  // Makes the host with the answering hook; the window is built by Open().
  void MakeHost() {
    host_ = std::make_unique<QtHost>(QtHost::Options{CodePage(testsupport::Join(programDir_, "pictomill"))});
    host_->SetMessageHook([this](const QtHost::MessageInfo& info) -> std::optional<int> {
      std::lock_guard lock(mutex_);
      messages_.push_back(info);
      if (onMessage_) return onMessage_(info);
      return host::kButtonOk;
    });
  }
  void Open() {
    MakeHost();
    app::BindHandlers(*host_);
    ASSERT_TRUE(host_->CreateStartWindow(app::MainWindowDescription()));
  }
  std::vector<QtHost::MessageInfo> Messages() {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  QWidget* W(const Text& name) { return host_->Widget(name); }
  QTabWidget* Tab() { return static_cast<QTabWidget*>(W(names::kTab)); }

  std::string originalCwd_, dir_, programDir_, elsewhere_;
  std::unique_ptr<QtHost> host_;
  std::mutex mutex_;
  std::vector<QtHost::MessageInfo> messages_;
  std::function<std::optional<int>(const QtHost::MessageInfo&)> onMessage_;
};

TEST_F(Window, EveryControlHasItsCaptionGeometryAndVisibility) {
  Open();
  QWidget* window = W(names::kStartWindow);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(host_->GetText(names::kStartWindow), "Pictomill By：Quillbrook");
  EXPECT_EQ(window->windowTitle(), QString::fromUtf16(u"Pictomill By：Quillbrook"));
  EXPECT_FALSE(window->windowIcon().isNull());
  EXPECT_EQ(window->windowIcon().pixmap(128, 128).size(), QSize(128, 128));
  QTabWidget* tab = Tab();
  ASSERT_NE(tab, nullptr);
  EXPECT_EQ(tab->geometry(), QRect(-1, 0, 536, 248));
  EXPECT_EQ(tab->tabText(0), QString::fromUtf16(u"单个转换"));
  EXPECT_EQ(tab->tabText(1), QString::fromUtf16(u"批量转换"));
  EXPECT_EQ(host_->GetTabPageName(names::kTab, 1), "单个转换");
  EXPECT_EQ(host_->GetTabPageName(names::kTab, 2), "批量转换");
  EXPECT_EQ(host_->GetTabPageName(names::kTab, 3), "");
  EXPECT_EQ(host_->GetTabPageName(names::kTab, 0), "");

  for (int page = 1; page <= 2; ++page) {
    Tab()->setCurrentIndex(page - 1);
    ASSERT_TRUE(ServeUntil([&] { return W(names::kTab)->isVisible(); }));
    for (const auto& d : app::MainWindowDescription().controls) {
      if (d.kind == ControlKind::TabControl) continue;
      SCOPED_TRACE(d.name);
      QWidget* widget = W(d.name);
      const bool object = d.kind == ControlKind::DropObject || d.kind == ControlKind::OpenFileDialog ||
                          d.kind == ControlKind::SaveFileDialog;
      if (object) {
        EXPECT_EQ(widget, nullptr) << "an invisible object has no widget";
        continue;
      }
      ASSERT_NE(widget, nullptr);
      EXPECT_EQ(widget->objectName(), QtHost::ToQt(d.name));
      // Positions compare in the tab control's coordinates (tab strip
      // included), or the group box's for its children.
      const QWidget* reference = d.parent == names::kTab ? static_cast<QWidget*>(tab) : W(d.parent);
      ASSERT_NE(reference, nullptr);
      EXPECT_EQ(QRect(widget->mapTo(reference, QPoint(0, 0)), widget->size()), QRect(d.x, d.y, d.width, d.height));
      if (d.kind != ControlKind::GroupBox && d.kind != ControlKind::ProgressBar) {
        EXPECT_EQ(host_->GetText(d.name), d.caption);
      }
      EXPECT_EQ(widget->isVisible(), d.visible && d.page == page) << "page " << page;
      EXPECT_EQ(host_->IsDisabled(d.name), !d.enabled);
    }
  }
  // The Stop button beside the batch buttons, usable only while a batch runs.
  QWidget* stop = W(names::kStop);
  ASSERT_NE(stop, nullptr);
  EXPECT_EQ(QRect(stop->mapTo(tab, QPoint(0, 0)), stop->size()), QRect(407, 201, 72, 32));
  EXPECT_EQ(static_cast<QPushButton*>(stop)->text(), QString::fromUtf16(u"停止"));
  EXPECT_FALSE(stop->isEnabled());
  EXPECT_EQ(stop->parentWidget(), host_->TabPage(2));
}

TEST_F(Window, HiddenBoxesNeverShow) {
  Open();
  const Text hidden[] = {names::kSaveLabel, names::kSaveBox, names::kNameBox};
  for (int round = 0; round < 3; ++round) {
    host_->SetText(names::kSaveBox, "/somewhere/x.bmp");
    host_->SetText(names::kNameBox, "x.bmp");
    host_->SetIntProperty(names::kTab, Property::CurrentPage, round % 2);
    QCoreApplication::processEvents();
    for (const Text& name : hidden) {
      SCOPED_TRACE(name);
      ASSERT_NE(W(name), nullptr);
      EXPECT_FALSE(W(name)->isVisible());
      EXPECT_TRUE(W(name)->isHidden());
    }
  }
  EXPECT_EQ(host_->GetText(names::kSaveBox), "/somewhere/x.bmp") << "hidden boxes still hold state";
}

TEST_F(Window, TabWarningOnEverySwitchToTheBatchPage) {
  Open();
  const std::size_t afterNotice = Messages().size();
  QTabBar* bar = Tab()->tabBar();
  for (int round = 1; round <= 3; ++round) {
    bar->setCurrentIndex(1);  // as a click on the page's tab does
    bar->setCurrentIndex(0);
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), afterNotice + static_cast<std::size_t>(round)) << "nothing when going back";
    EXPECT_EQ(messages.back().text, kWarning);
    EXPECT_EQ(messages.back().caption, "警告");
    EXPECT_EQ(messages.back().flags, 0);
    EXPECT_TRUE(messages.back().blocksWindow);
  }
}

TEST_F(Window, NoticeComesBeforeTheWindowIsUsable) {
  MakeHost();
  app::BindHandlers(*host_);
  bool sawNotice = false;
  onMessage_ = [&](const QtHost::MessageInfo& info) -> std::optional<int> {
    if (info.caption != "说明") return host::kButtonOk;
    sawNotice = true;
    EXPECT_EQ(info.text, app::NoticeText());
    EXPECT_TRUE(info.blocksWindow) << "the window cannot be used while the notice is up";
    EXPECT_FALSE(info.fromWorker);
    // The rest of start-up waits for it.
    EXPECT_FALSE(W(names::kStartWindow)->acceptDrops());
    EXPECT_FALSE(testsupport::FileExistsOnDisk(testsupport::Join(programDir_, "tmp")));
    EXPECT_TRUE(W(names::kStartWindow)->isVisible());
    return host::kButtonOk;
  };
  ASSERT_TRUE(host_->CreateStartWindow(app::MainWindowDescription()));
  EXPECT_TRUE(sawNotice);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_TRUE(W(names::kStartWindow)->acceptDrops());
  const QString style = W(names::kStartWindow)->styleSheet();
  EXPECT_TRUE(style.contains(QColor(198, 197, 215).name())) << "visual style 3's frame colour";
}

TEST_F(Window, TmpIsMadeUnderTheProgramDirectoryFromAnotherWorkingDirectory) {
  Open();
  EXPECT_EQ(host_->GetProgramDirectory(), CodePage(programDir_));
  EXPECT_TRUE(testsupport::FileExistsOnDisk(testsupport::Join(programDir_, "tmp")));
  EXPECT_FALSE(testsupport::FileExistsOnDisk(testsupport::Join(elsewhere_, "tmp")));
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(std::string(cwd), programDir_);
}

TEST_F(Window, AnUnwritableProgramDirectoryFallsBackToTheUserDataFolder) {
  // A folder under a regular file can hold nothing.
  ASSERT_TRUE(testsupport::WriteBytes(testsupport::Join(dir_, "file"), {1}));
  const std::string data = testsupport::Join(dir_, "xdg");
  const char* oldXdg = std::getenv("XDG_DATA_HOME");
  const std::string savedXdg = oldXdg != nullptr ? oldXdg : "";
  ::setenv("XDG_DATA_HOME", data.c_str(), 1);
  host_ = std::make_unique<QtHost>(QtHost::Options{CodePage(testsupport::Join(dir_, "file/bin/pictomill"))});
  if (oldXdg != nullptr) ::setenv("XDG_DATA_HOME", savedXdg.c_str(), 1); else ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(host_->GetProgramDirectory(), CodePage(data + "/pictomill"));
  EXPECT_TRUE(host_->MakeDirectory("tmp"));
  EXPECT_TRUE(testsupport::FileExistsOnDisk(data + "/pictomill/tmp"));
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(std::string(cwd), data + "/pictomill");
  host_.reset();
}

TEST_F(Window, AnInstalledCopyWritesToTheUserDataFolderEvenWhereItCouldWriteBesideItself) {
  // Root can write into the folder a package installed the program into.
  const std::string data = testsupport::Join(dir_, "xdg-installed");
  const char* oldXdg = std::getenv("XDG_DATA_HOME");
  const std::string savedXdg = oldXdg != nullptr ? oldXdg : "";
  ::setenv("XDG_DATA_HOME", data.c_str(), 1);
  host_ = std::make_unique<QtHost>(
      QtHost::Options{CodePage(testsupport::Join(programDir_, "pictomill")), CodePage(programDir_)});
  if (oldXdg != nullptr) ::setenv("XDG_DATA_HOME", savedXdg.c_str(), 1); else ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(host_->GetProgramDirectory(), CodePage(data + "/pictomill"));
  EXPECT_TRUE(host_->MakeDirectory("tmp"));
  EXPECT_FALSE(testsupport::FileExistsOnDisk(testsupport::Join(programDir_, "tmp")));
  EXPECT_EQ(QtHost::InstalledDirectory(), CodePage(PICTOMILL_INSTALLED_BINDIR));
  host_.reset();
}

TEST_F(Window, ExitButtonEndsTheProgramWithZero) {
  MakeHost();
  bool routineRan = false;
  host_->RegisterExitRoutine("probe", [&] { routineRan = true; });
  onMessage_ = [&](const QtHost::MessageInfo& info) -> std::optional<int> {
    if (info.caption == "说明") {
      QTimer::singleShot(0, [this] { static_cast<QPushButton*>(W(names::kExit))->click(); });
    }
    return host::kButtonOk;
  };
  EXPECT_EQ(app::RunProgram(*host_), 0);
  EXPECT_TRUE(routineRan);
  EXPECT_TRUE(host_->IsExiting());
  EXPECT_EQ(W(names::kStartWindow), nullptr) << "the window is gone";
  host_.reset();
}

TEST_F(Window, ClosingTheWindowByItsFrameIsAnExit) {
  Open();
  EXPECT_TRUE(W(names::kStartWindow)->close() == false) << "the close is turned into a dismissal";
  EXPECT_TRUE(host_->IsExiting());
  EXPECT_EQ(host_->RunMessageLoop(), 0);
  host_.reset();
}

TEST_F(Window, TheProgramMakesItsOwnFolderTheWorkingDirectory) {
  // A copy of the real program in a private folder, started from elsewhere.
  const std::string copy = testsupport::Join(programDir_, "pictomill");
  ASSERT_EQ(testsupport::RunCommand("cp " + testsupport::Quote(PICTOMILL_WINDOW_PROGRAM) + " " +
                                    testsupport::Quote(copy)),
            0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::execl(copy.c_str(), copy.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // It waits on its notice now; its working directory tells where it settled.
  std::string cwd;
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (Clock::now() < deadline) {
    char buffer[4096];
    const ssize_t length = ::readlink(("/proc/" + std::to_string(child) + "/cwd").c_str(), buffer, sizeof buffer - 1);
    if (length > 0) cwd.assign(buffer, static_cast<std::size_t>(length));
    if (cwd == programDir_) break;
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == child) FAIL() << "the program ended at start-up";
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(cwd, programDir_);
}

TEST_F(Window, ExitAnswersWaitingWorkerBoxesAndLetsRunningWorkersFinish) {
  Open();
  onMessage_ = [](const QtHost::MessageInfo& info) -> std::optional<int> {
    if (info.fromWorker) {
      EXPECT_FALSE(info.blocksWindow) << "a worker's box leaves the window usable";
      return std::nullopt;  // nobody answers: the exit must
    }
    return host::kButtonOk;
  };
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
    // Keeps writing until well after exit began; writes then return at once.
    while (!host_->IsExiting()) host_->SetText(names::kStatusLine, "busy");
    for (int i = 0; i < 1000; ++i) {
      host_->SetText(names::kPathBox, "x");
      EXPECT_EQ(host_->GetText(names::kPathBox), "");
    }
    writerDone = true;
  }));
  ASSERT_TRUE(ServeUntil([&] {
    int open = 0;
    for (const auto& m : Messages()) open += m.fromWorker ? 1 : 0;
    return open == 2;
  }));
  EXPECT_TRUE(W(names::kStartWindow)->isEnabled());
  static_cast<QPushButton*>(W(names::kExit))->click();
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
  // The window's thread serves nothing now; the worker must not wait for it.
  std::promise<Text> read;
  auto future = read.get_future();
  ASSERT_FALSE(host_->StartThread([] {}));
  std::thread worker([&] {
    host_->SetText(names::kPathBox, "late");
    EXPECT_EQ(host_->ShowMessage("late"), 0);
    read.set_value(host_->GetText(names::kPathBox));
  });
  EXPECT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  worker.join();
  EXPECT_EQ(future.get(), "");
}

TEST_F(Window, DropOfOneAndOfThreeFilesRaisesOneEvent) {
  Open();
  std::vector<Text> received;
  host_->Bind(names::kDrop, Event::FilesDropped, [&](const Text& paths) { received.push_back(paths); });
  QWidget* window = W(names::kStartWindow);
  ASSERT_TRUE(window->acceptDrops());
  const auto drop = [&](const QList<QUrl>& urls, Qt::DropActions actions) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(100, 100), actions, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    const bool accepted = enter.isAccepted() && enter.dropAction() == Qt::CopyAction;
    QDropEvent dropEvent(QPointF(100, 100), actions, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &dropEvent);
    QCoreApplication::processEvents();
    return accepted && dropEvent.isAccepted() && dropEvent.dropAction() == Qt::CopyAction;
  };
  const QString a = QString::fromStdString(programDir_ + "/a.jpg");
  const QString b = QString::fromUtf16(u"/图片/b.png");
  const QString c = QStringLiteral("/c.bmp");
  EXPECT_TRUE(drop({QUrl::fromLocalFile(a)}, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction));
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], CodePage(programDir_ + "/a.jpg")) << "one file: its path alone";
  EXPECT_TRUE(drop({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b), QUrl::fromLocalFile(c)}, Qt::CopyAction));
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[1], CodePage(programDir_ + "/a.jpg") + "\r\n/图片/b.png\r\n/c.bmp\r\n");
  // Never as a move (the source would delete the original), never remote.
  EXPECT_FALSE(drop({QUrl::fromLocalFile(a)}, Qt::MoveAction));
  EXPECT_FALSE(drop({QUrl(QStringLiteral("https://example.invalid/x.jpg"))}, Qt::CopyAction));
  EXPECT_EQ(received.size(), 2u);
  // Anywhere on the window, either page: over the path box, over a batch box.
  window = W(names::kPathBox);
  EXPECT_TRUE(drop({QUrl::fromLocalFile(c)}, Qt::CopyAction));
  host_->SetIntProperty(names::kTab, Property::CurrentPage, 1);
  window = W(names::kSourceFolderBox);
  EXPECT_TRUE(drop({QUrl::fromLocalFile(a), QUrl::fromLocalFile(c)}, Qt::CopyAction));
  ASSERT_EQ(received.size(), 4u);
  EXPECT_EQ(received[2], "/c.bmp");
  EXPECT_EQ(received[3], CodePage(programDir_) + "/a.jpg\r\n/c.bmp\r\n");
  EXPECT_EQ(host_->GetText(names::kSourceFolderBox), "") << "the box itself takes no drop";
  // A drop object is registered once only; the batch page's is never registered.
  EXPECT_FALSE(host_->RegisterFileDrop(names::kDrop, host_->GetWindowHandle(names::kStartWindow)));
}

TEST_F(Window, ProgressBarWithMaximumZeroIsEmpty) {
  Open();
  auto* bar = static_cast<QProgressBar*>(W(names::kProgress));
  host_->SetIntProperty(names::kProgress, Property::Maximum, 0);
  host_->SetIntProperty(names::kProgress, Property::Position, 0);
  EXPECT_EQ(host_->GetIntProperty(names::kProgress, Property::Maximum), 0);
  EXPECT_GT(bar->maximum(), bar->minimum()) << "no busy animation";
  EXPECT_EQ(bar->value(), bar->minimum());
  host_->SetIntProperty(names::kProgress, Property::Maximum, 10);
  host_->SetIntProperty(names::kProgress, Property::Position, 3);
  EXPECT_EQ(bar->maximum(), 10);
  EXPECT_EQ(bar->value(), 3);
  EXPECT_EQ(host_->GetIntProperty(names::kProgress, Property::Position), 3);
}

// Enter in the real save dialog: a name with '*' or '?' filters the list and
// the dialog stays open, a plain name is chosen. Qt's own texts are Chinese.
TEST_F(Window, SaveDialogTakesAWildcardNameAsAFilterAndSpeaksChinese) {
  Open();
  std::vector<QString> shownTexts;
  std::vector<bool> openAfterEnter;
  QStringList filtersAfterWildcard;
  auto pressEnter = [](QFileDialog* dialog, const QString& name) {
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    edit->setText(name);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(edit, &press);
  };
  host_->SetFileDialogDriver([&](QWidget* widget) {
    auto* dialog = qobject_cast<QFileDialog*>(widget);
    ASSERT_NE(dialog, nullptr);
    for (const QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) shownTexts.push_back(button->text());
    for (const QLabel* label : dialog->findChildren<QLabel*>()) shownTexts.push_back(label->text());
    pressEnter(dialog, QtHost::ToQt("改-cat-1*.bmp"));
    openAfterEnter.push_back(dialog->isVisible());
    filtersAfterWildcard = dialog->nameFilters();
    pressEnter(dialog, QStringLiteral("a?.bmp"));
    openAfterEnter.push_back(dialog->isVisible());
    pressEnter(dialog, QtHost::ToQt("改-cat-1.bmp"));
    openAfterEnter.push_back(dialog->isVisible());
  });
  host_->SetTextProperty(names::kSaveDialog, Property::Filter, "BMP图片文件（*.bmp）|*.bmp");
  host_->SetTextProperty(names::kSaveDialog, Property::FileName, "改-cat-1*.bmp");
  ASSERT_TRUE(host_->ShowFileDialog(names::kSaveDialog));
  EXPECT_EQ(openAfterEnter, (std::vector<bool>{true, true, false}));
  EXPECT_EQ(filtersAfterWildcard, QStringList{QtHost::ToQt("改-cat-1*.bmp")});
  EXPECT_EQ(host_->GetTextProperty(names::kSaveDialog, Property::FileName), CodePage(programDir_) + "/改-cat-1.bmp");
  EXPECT_FALSE(testsupport::FileExistsOnDisk(testsupport::Join(programDir_, "改-cat-1*.bmp")));

  // Every text Qt itself puts in the dialog and on a message box's button.
  const QString english[] = {QStringLiteral("Save"), QStringLiteral("&Save"), QStringLiteral("Cancel"),
                             QStringLiteral("Look in:"), QStringLiteral("File &name:"), QStringLiteral("Files of type:")};
  for (const QString& text : shownTexts) {
    for (const QString& word : english) EXPECT_NE(text, word) << "an English text in the dialog";
  }
  EXPECT_TRUE(std::find(shownTexts.begin(), shownTexts.end(), QtHost::ToQt("保存(&S)")) != shownTexts.end() ||
              std::find(shownTexts.begin(), shownTexts.end(), QtHost::ToQt("保存")) != shownTexts.end());
  QMessageBox box;
  box.setStandardButtons(QMessageBox::Ok);
  EXPECT_EQ(box.button(QMessageBox::Ok)->text(), QtHost::ToQt("确定"));
}

TEST_F(Window, FileDialogsShowQtFiltersKeepTheirFileNameAndCancelChangesNothing) {
  Open();
  std::vector<QtHost::FileDialogInfo> shown;
  std::optional<Text> answer;
  host_->SetFileDialogHook([&](const QtHost::FileDialogInfo& info) {
    shown.push_back(info);
    return answer;
  });
  host_->SetTextProperty(names::kOpenDialog, Property::Filter, kOpenFilter);
  answer = CodePage(programDir_) + "/照片.jpg";
  EXPECT_TRUE(host_->ShowFileDialog(names::kOpenDialog));
  EXPECT_EQ(host_->GetTextProperty(names::kOpenDialog, Property::FileName), *answer);
  EXPECT_EQ(host_->GetTextProperty(names::kOpenDialog, Property::Filter), kOpenFilter) << "the exact text is kept";
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_FALSE(shown[0].save);
  EXPECT_EQ(shown[0].fileName, "") << "empty at the first use";
  ASSERT_EQ(shown[0].qtFilters.size(), 11u);
  EXPECT_EQ(shown[0].qtFilters[0], "JEPG图片文件（*.jpg） (*.jpg)");
  EXPECT_EQ(shown[0].qtFilters[10], "所有文件（*.*） (*.*)");

  answer.reset();  // cancel
  EXPECT_FALSE(host_->ShowFileDialog(names::kOpenDialog));
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].fileName, CodePage(programDir_) + "/照片.jpg") << "opens with the previous choice";
  EXPECT_EQ(host_->GetTextProperty(names::kOpenDialog, Property::FileName), CodePage(programDir_) + "/照片.jpg");

  host_->SetTextProperty(names::kSaveDialog, Property::Filter, "PGM图片文件（*.pgm）|*.pgm");
  host_->SetTextProperty(names::kSaveDialog, Property::FileName, "改-cat-1*.pgm");
  answer = "/out/cat.pgm";
  EXPECT_TRUE(host_->ShowFileDialog(names::kSaveDialog));
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_TRUE(shown[2].save);
  EXPECT_EQ(shown[2].fileName, "改-cat-1*.pgm");
  EXPECT_EQ(shown[2].qtFilters, std::vector<Text>{"PGM图片文件（*.pgm） (*.pgm)"});
  for (const auto& info : shown) {
    EXPECT_EQ(info.promptsOverwrite, info.save) << "only a save asks before replacing";
    EXPECT_FALSE(info.requiresExisting);
  }
  EXPECT_EQ(host_->GetTextProperty(names::kSaveDialog, Property::FileName), "/out/cat.pgm");
  EXPECT_FALSE(host_->ShowFileDialog(names::kPathBox)) << "not a dialog object";
}

// Enter on a name that exists: Qt's own question, in Chinese; no keeps the
// dialog open, yes takes the name.
TEST_F(Window, ASaveDialogAsksBeforeReplacingAFileAndStaysOpenOnNo) {
  Open();
  const std::string existing = testsupport::Join(programDir_, "old.pgm");
  ASSERT_TRUE(testsupport::WriteBytes(existing, {'o', 'l', 'd'}));
  std::vector<QString> questions;
  bool stayedOpen = false;
  host_->SetFileDialogDriver([&](QWidget* widget) {
    auto* dialog = qobject_cast<QFileDialog*>(widget);
    ASSERT_NE(dialog, nullptr);
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    for (const QMessageBox::StandardButton reply : {QMessageBox::No, QMessageBox::Yes}) {
      QTimer::singleShot(0, dialog, [dialog, reply, &questions] {
        for (QMessageBox* box : dialog->findChildren<QMessageBox*>()) {
          if (!box->isVisible() || box->button(reply) == nullptr) continue;
          questions.push_back(box->text());
          box->button(reply)->click();
        }
      });
      edit->setText(QStringLiteral("old.pgm"));
      QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
      QCoreApplication::sendEvent(edit, &enter);
      if (reply == QMessageBox::No) stayedOpen = dialog->isVisible();
    }
  });
  EXPECT_TRUE(host_->ShowFileDialog(names::kSaveDialog));
  ASSERT_EQ(questions.size(), 2u);
  EXPECT_TRUE(questions[0].contains(QStringLiteral("old.pgm"))) << questions[0].toStdString();
  EXPECT_FALSE(questions[0].contains(QStringLiteral("replace"))) << "Qt's Chinese text";
  EXPECT_TRUE(stayedOpen) << "declining keeps the dialog open";
  EXPECT_EQ(host_->GetTextProperty(names::kSaveDialog, Property::FileName), CodePage(existing));
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
  EXPECT_TRUE(W(names::kStartWindow)->isEnabled());
  EXPECT_TRUE(W(names::kBrowseSource)->isEnabled());
}

TEST_F(Window, MessageBoxesDefaultCaptionAndButtonCodes) {
  Open();
  EXPECT_EQ(host_->ShowMessage("图片处理完毕!"), 0);
  EXPECT_EQ(Messages().back().caption, "信息：");
  EXPECT_EQ(Messages().back().buttons, std::vector<int>{host::kButtonOk});
  onMessage_ = [](const QtHost::MessageInfo&) -> std::optional<int> { return host::kAnswerNo; };
  EXPECT_EQ(host_->ShowMessage("?", host::kButtonsYesNo, "提示"), 7) << "Yes/No box, No pressed";
  onMessage_ = [](const QtHost::MessageInfo&) -> std::optional<int> { return host::kAnswerYes; };
  EXPECT_EQ(host_->ShowMessage("?", host::kButtonsYesNo, "提示"), 6);
  EXPECT_EQ(host_->ShowMessage("?", 0, "提示"), 0) << "an OK box has only OK";
}

TEST_F(Window, FontsAreAsDescribedWithAnInstalledChineseFace) {
  Open();
  const QFont path = W(names::kPathBox)->font();
  EXPECT_EQ(path.pixelSize(), 12);
  ASSERT_FALSE(path.families().isEmpty());
  EXPECT_EQ(path.families().first(), QString::fromUtf16(u"小米兰亭"));
  for (const Text& name : {Text(names::kPathLabel), Text(names::kSaveLabel)}) {
    EXPECT_EQ(W(name)->font().pixelSize(), 14) << name;
  }
  // Whatever face is used, it has Chinese glyphs: no caption shows boxes.
  for (const Text& name : {Text(names::kPathBox), Text(names::kPathLabel), Text(names::kConvertJpg),
                           Text(names::kStatusLine)}) {
    const QFontMetrics metrics(W(name)->font());
    EXPECT_TRUE(metrics.inFont(QChar(0x56FE))) << name << " cannot draw 图";
  }
  EXPECT_TRUE(QFontDatabase::hasFamily(QStringLiteral("WenQuanYi Micro Hei")) ||
              !QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty());
}

TEST_F(Window, VisualStyleSwitchesOnAndOff) {
  Open();
  EXPECT_EQ(host_->SetVisualStyle(0), 1);
  EXPECT_TRUE(W(names::kStartWindow)->styleSheet().isEmpty());
  EXPECT_EQ(host_->SetVisualStyle(0), 0);
  EXPECT_EQ(host_->SetVisualStyle(1), 1);
  EXPECT_TRUE(W(names::kStartWindow)->styleSheet().contains(QColor(123, 158, 189).name()));
  EXPECT_EQ(host_->SetVisualStyle(3), 1);
  // Controls stay in place whatever the style does to the tab strip.
  const QWidget* exit = W(names::kExit);
  QCoreApplication::processEvents();
  EXPECT_EQ(exit->mapTo(Tab(), QPoint(0, 0)), QPoint(286, 204));
}

TEST_F(Window, AWorkersTextWriteRunsTheChangeHandlerOnTheWindowThreadFirst) {
  Open();
  const std::thread::id windowThread = std::this_thread::get_id();
  std::atomic<int> handled{0};
  std::atomic<bool> onWindowThread{false};
  host_->Bind(names::kPathBox, Event::TextChanged, [&](const Text&) {
    onWindowThread = std::this_thread::get_id() == windowThread;
    host_->SetText(names::kNameBox, host_->GetText(names::kPathBox));  // re-entrant use from the handler
    ++handled;
  });
  std::atomic<bool> orderOk{false};
  std::atomic<bool> done{false};
  ASSERT_TRUE(host_->StartThread([&] {
    host_->SetText(names::kPathBox, "");
    host_->SetText(names::kPathBox, "/p/a.png");
    orderOk = handled.load() == 2 && host_->GetText(names::kNameBox) == "/p/a.png";
    done = true;
  }));
  ASSERT_TRUE(ServeUntil([&] { return done.load(); }));
  EXPECT_TRUE(orderOk.load());
  EXPECT_TRUE(onWindowThread.load());
}

TEST_F(Window, ProcessEventsOnAWorkerDoesNotWaitForTheWindowThread) {
  Open();
  std::promise<void> processed;
  auto future = processed.get_future();
  ASSERT_TRUE(host_->StartThread([&] {
    host_->ProcessEvents();
    processed.set_value();
  }));
  // The window's thread is busy here; a worker's ProcessEvents must not need it.
  EXPECT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  ASSERT_TRUE(ServeUntil([&] { return host_->RunningWorkers() == 0; }));
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
  for (int w = 0; w < kWorkers; ++w) {
    ASSERT_TRUE(host_->StartThread([&, w] {
      const Text mine = "worker-" + host::ToText(w);
      for (int i = 0; i < kRounds; ++i) {
        host_->SetText(names::kSourceFolderBox, mine);
        host_->SetText(names::kStatusLine, mine + "-" + host::ToText(i));
        host_->SetIntProperty(names::kProgress, Property::Maximum, kRounds);
        host_->SetIntProperty(names::kProgress, Property::Position, i);
        host_->SetDisabled(names::kBatchJpg, i % 2 == 0);
        if (host_->GetText(names::kStartWindow) != "Pictomill By：Quillbrook") ++wrongReads;
        if (i % 15 == 0 && host_->ShowMessage(mine, 0, "提示") != 0) ++wrongReads;
        host_->ProcessEvents();
      }
      ++finished;
    }));
  }
  // Meanwhile the window's thread handles events and asks for things itself.
  int switches = 0;
  const bool allDone = ServeUntil([&] {
    host_->SetIntProperty(names::kTab, Property::CurrentPage, (++switches) % 2);
    (void)host_->GetText(names::kStatusLine);
    return finished.load() == kWorkers;
  }, std::chrono::seconds(120));
  ASSERT_TRUE(allDone) << "workers stuck: " << kWorkers - finished.load();
  EXPECT_EQ(wrongReads.load(), 0);
  EXPECT_EQ(changes.load(), kWorkers * kRounds) << "every write raised its change";
  int workerBoxes = 0;
  for (const auto& m : Messages()) workerBoxes += m.fromWorker ? 1 : 0;
  EXPECT_EQ(workerBoxes, kWorkers * 4);
}

}  // namespace
