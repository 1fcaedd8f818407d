// The whole program on Qt's offscreen platform: the real window, the real
// engine, a copy of the program in a private folder (its folder becomes the
// program directory, so nothing is written under the build tree). Outputs
// are read back by ImageMagick, an independent decoder.
#include <cstdlib>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QThread>
#include <QTimer>

#include <cmath>
#include <functional>
#include <map>
#include <memory>

#include "app/AppState.h"
#include "platform/Platform.h"
#include "app/BatchFlow.h"
#include "app/ControlNames.h"
#include "app/Handlers.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "engine/commands/ConversionCommands.h"
#include "host/QtHost.h"
#include "tests/app/FlowTestSupport.h"

namespace {

using flowtest::Exists;
using flowtest::OnDisk;
using flowtest::Read;
using testsupport::Bytes;
namespace names = app::names;

QApplication& Application() {
  static int argc = 1;
  static char name[] = "app_window_tests";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Never destroyed: Qt's own globals go first at exit, and a late
  // destructor would find them gone.
  static QApplication* application = new QApplication(argc, argv);
  return *application;
}

struct Picture {
  int width = 0;
  int height = 0;
  Bytes rgb;
};

bool Decode(const std::string& path, Picture& picture) {
  return testsupport::DecodeWithImageMagick(OnDisk(path), picture.width, picture.height, picture.rgb);
}

Bytes Grey(const Bytes& rgb) {
  Bytes grey(rgb.size());
  for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
    const auto level = static_cast<std::uint8_t>((306 * rgb[i] + 601 * rgb[i + 1] + 117 * rgb[i + 2]) / 1024);
    grey[i] = grey[i + 1] = grey[i + 2] = level;
  }
  return grey;
}

// Largest and mean absolute sample difference.
void Compare(const Bytes& a, const Bytes& b, int& largest, double& mean) {
  largest = 0;
  double sum = 0;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    const int d = std::abs(int(a[i]) - int(b[i]));
    largest = std::max(largest, d);
    sum += d;
  }
  mean = a.empty() ? 0 : sum / double(a.size());
}

// Peak signal-to-noise ratio in dB.
double Psnr(const Bytes& a, const Bytes& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    const double d = double(a[i]) - double(b[i]);
    sum += d * d;
  }
  const double mse = a.empty() ? 0 : sum / double(a.size());
  return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testsupport::ImageMagick().empty()) GTEST_SKIP() << "ImageMagick is not available";
    Application();
    install_ = testsupport::MakeTempSubdir("installed");
    files_ = testsupport::MakeTempSubdir("files");
    const std::string program = install_ + "/pictomill";
    ASSERT_EQ(testsupport::RunCommand("cp " + testsupport::Quote(PICTOMILL_WINDOW_PROGRAM) + " " +
                                      testsupport::Quote(program)),
              0);
    host_ = std::make_unique<host::QtHost>(host::QtHost::Options{program});
    host_->SetMessageHook([this](const host::QtHost::MessageInfo& info) -> std::optional<int> {
      messages_.push_back(info);
      if (onMessage_) return onMessage_(info);
      return host::kButtonOk;
    });
    host_->SetFileDialogHook([this](const host::QtHost::FileDialogInfo& info) {
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
    ASSERT_TRUE(WaitFor([this] { return !messages_.empty(); }));
    EXPECT_EQ(messages_[0].caption, "说明");
    messages_.clear();
    ASSERT_EQ(host_->GetProgramDirectory(), install_);
  }

  void TearDown() override {
    if (!host_) return;
    if (!exited_) Exit();
    host_.reset();
    EXPECT_TRUE(testsupport::ScratchFiles().empty());
  }

  void Exit() {
    Click(names::kExit);
    EXPECT_EQ(host_->RunMessageLoop(), 0);
    exited_ = true;
  }

  // Runs the window's events until the condition holds (or a minute passes).
  bool WaitFor(const std::function<bool()>& condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
      if (timer.elapsed() > 60000) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      QThread::msleep(2);
    }
    return true;
  }
  // Clicks like the user and waits for the click's workers and messages.
  void Click(const char* control) {
    auto* button = qobject_cast<QAbstractButton*>(host_->Widget(control));
    ASSERT_NE(button, nullptr) << control;
    button->click();
  }
  void ClickAndSettle(const char* control, std::size_t messages) {
    Click(control);
    ASSERT_TRUE(WaitFor([&] { return messages_.size() >= messages && host_->RunningWorkers() == 0; })) << control;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  void Choose(const std::string& path) {
    dialogAnswers_.push_back(path);
    ClickAndSettle(names::kBrowse, messages_.size());
    ASSERT_EQ(host_->GetText(names::kPathBox), path);
  }
  std::string CopyCorpus(const std::string& relative, const std::string& name) {
    const std::string path = files_ + "/" + name;
    const Bytes bytes = testsupport::ReadBytes(testsupport::CorpusDir() + "/" + relative);
    EXPECT_FALSE(bytes.empty()) << relative;
    EXPECT_TRUE(flowtest::Write(path, bytes));
    return path;
  }
  bool Enabled(const char* control) { return host_->Widget(control)->isEnabled(); }

  std::string install_;
  std::string files_;
  std::unique_ptr<host::QtHost> host_;
  std::vector<host::QtHost::MessageInfo> messages_;
  std::function<std::optional<int>(const host::QtHost::MessageInfo&)> onMessage_;
  std::vector<host::QtHost::FileDialogInfo> dialogs_;
  std::vector<host::Text> dialogAnswers_;
  std::vector<host::Text> folderAnswers_;
  bool exited_ = false;
};

struct Button {
  const char* control;
  const char* folder;
  const char* prefix;
  const char* extension;
  const char* success;
  int (*command)(const char* source, const char* target);
};

const Button kButtons[] = {
    {names::kConvertJpg, "/tmp/jpg图片/", "转-", ".jpg", "JPG格式转换成功！",
     [](const char* s, const char* t) { return engine::ConvertToJpg(s, t, 0, 99, 1, 50); }},
    {names::kConvertBmp, "/tmp/bmp图片/", "改-", ".bmp", "BMP格式转换成功！",
     [](const char* s, const char* t) { return engine::ConvertToBmp(s, t); }},
    {names::kConvertTif, "/tmp/tif图片/", "改-", ".tif", "TIF格式转换成功！",
     [](const char* s, const char* t) { return engine::ConvertToTif(s, t, 0); }},
    {names::kConvertPng, "/tmp/png图片/", "改-", ".png", "PNG格式转换成功！",
     [](const char* s, const char* t) { return engine::ConvertToPng(s, t, 24); }},
    {names::kConvertPic, "/tmp/pic图片/", "改-", ".pic", "PIC格式转换成功！",
     [](const char* s, const char* t) { return engine::ConvertToPic(s, t); }},
    {names::kConvertPpm, "/tmp/ppm图片/", "改-", ".ppm", "PPM格式转换成功！",
     [](const char* s, const char* t) { return engine::ConvertToPpm(s, t, 1); }},
    {names::kConvertPgm, "/tmp/pgm图片/", "改-", ".pgm", "PGM格式转换成功！",
     [](const char* s, const char* t) { return engine::ConvertToPgm(s, t, 1); }},
    {names::kConvertPbm, "/tmp/pbm图片/", "改-", ".pbm", "PBM格式转换成功！",
     [](const char* s, const char* t) { return engine::ConvertToPgm(s, t, 1); }},
    {names::kConvertPcx, "/tmp/pcx图片/", "改-", ".pcx", "PCX格式转换成功！",
     [](const char* s, const char* t) { return engine::ConvertToPcx(s, t); }},
    {names::kConvertSgi, "/tmp/sgi图片/", "改-", ".sgi", "SGI格式转换成功！",
     [](const char* s, const char* t) { return engine::ConvertToSgi(s, t); }},
};

TEST_F(WindowTest, TenButtonsConvertAJpegAndAPngOfTheCorpus) {
  if (testsupport::CorpusDir().empty()) GTEST_SKIP() << "the corpus is not available";
  struct Source {
    const char* corpus;
    const char* name;       // its name in the path box
    const char* otherName;  // for the one button its own extension disables
    const char* disabled;
    bool lossy;             // decoders may round a JPEG differently
  };
  const Source sources[] = {
      {"jpeg/generated/testorig_q100_optimized.jpg", "照片.jpg", "照片-jpeg.png", names::kConvertJpg, true},
      {"png/kodak/kodim23.png", "kodim23.png", "kodim23-png.bmp", names::kConvertPng, false},
  };
  std::map<std::string, int> numbers;
  for (const Source& source : sources) {
    SCOPED_TRACE(source.corpus);
    const std::string path = CopyCorpus(source.corpus, source.name);
    const std::string other = CopyCorpus(source.corpus, source.otherName);
    Picture reference;
    ASSERT_TRUE(Decode(path, reference));
    for (const Button& button : kButtons) {
      SCOPED_TRACE(button.control);
      const bool ownFormat = std::string(button.control) == source.disabled;
      const std::string chosen = ownFormat ? other : path;
      Choose(chosen);
      EXPECT_TRUE(Enabled(button.control));
      if (!ownFormat) {
        EXPECT_FALSE(Enabled(source.disabled)) << "its own format is offered";
      }
      const std::size_t before = messages_.size();
      ClickAndSettle(button.control, before + 1);
      ASSERT_EQ(messages_.size(), before + 1);
      const int number = ++numbers[button.control];
      const std::string name = host::LeftText(ownFormat ? source.otherName : source.name,
                                              host::TextLength(ownFormat ? source.otherName : source.name) - 4);
      const std::string output = install_ + button.folder + button.prefix + name + "-" + std::to_string(number) +
                                 button.extension;
      EXPECT_EQ(host_->GetText(names::kSaveBox), output);
      EXPECT_EQ(messages_.back().caption, "提示");
      EXPECT_TRUE(messages_.back().fromWorker);
      const int direct = button.command(chosen.c_str(), (files_ + "/direct" + button.extension).c_str());
      ASSERT_EQ(direct, 1) << "the engine itself cannot write " << button.extension;
      EXPECT_EQ(messages_.back().text, button.success);
      ASSERT_TRUE(Exists(output)) << output;
      // The same command called directly writes the same bytes.
      EXPECT_EQ(Read(output), Read(files_ + "/direct" + button.extension)) << "arguments differ";
      const std::string extension = button.extension;
      if (extension == ".pic") {
        const Bytes bytes = Read(output);
        ASSERT_GE(bytes.size(), 4u);
        EXPECT_EQ(bytes[0], 0x53);
        EXPECT_EQ(bytes[1], 0x80);
        EXPECT_EQ(bytes[2], 0xF6);
        EXPECT_EQ(bytes[3], 0x34);
        continue;
      }
      const bool grey = extension == ".pgm" || extension == ".pbm";
      if (grey) {
        const Bytes head = Read(output);
        ASSERT_GE(head.size(), 2u);
        EXPECT_EQ(head[0], 'P');
        EXPECT_EQ(head[1], '5');
      }
      Picture decoded;
      ASSERT_TRUE(Decode(output, decoded)) << "ImageMagick cannot read " << output;
      EXPECT_EQ(decoded.width, reference.width);
      EXPECT_EQ(decoded.height, reference.height);
      ASSERT_EQ(decoded.rgb.size(), reference.rgb.size());
      int largest = 0;
      double mean = 0;
      Compare(decoded.rgb, grey ? Grey(reference.rgb) : reference.rgb, largest, mean);
      if (extension == ".jpg") {
        // Quality 99, but chroma subsampling and smoothing 50: close, not exact.
        EXPECT_LT(mean, 2.5);
        EXPECT_GT(Psnr(decoded.rgb, reference.rgb), 35.0);
      } else if (source.lossy) {
        EXPECT_LT(mean, 1.0);
        EXPECT_LE(largest, 8);
      } else {
        EXPECT_EQ(largest, 0) << "a lossless copy differs";
      }
    }
  }
}

TEST_F(WindowTest, SaveAsMakesAByteIdenticalCopy) {
  const std::string source = files_ + "/猫.png";
  ASSERT_TRUE(flowtest::Write(source, flowtest::SmallBmp(40, 30)));
  Choose(source);
  ClickAndSettle(names::kConvertBmp, 1);
  ASSERT_EQ(messages_.back().text, "BMP格式转换成功！");
  const std::string destination = files_ + "/副本.bmp";
  dialogAnswers_.push_back(destination);
  ClickAndSettle(names::kSave, 1);
  ASSERT_TRUE(WaitFor([&] { return Exists(destination); }));
  ASSERT_FALSE(dialogs_.empty());
  EXPECT_TRUE(dialogs_.back().save);
  EXPECT_EQ(dialogs_.back().dialog, names::kSaveDialog);
  EXPECT_EQ(dialogs_.back().fileName, "改-猫-1*.bmp");
  EXPECT_EQ(Read(destination), Read(install_ + "/tmp/bmp图片/改-猫-1.bmp"));
  EXPECT_EQ(messages_.size(), 1u) << "no message after a copy";
}

TEST_F(WindowTest, ParallelBatchEndsAsAOneByOneRunWould) {
  app::SetBatchWorkersForTesting(4);
  if (testsupport::CorpusDir().empty()) GTEST_SKIP() << "the corpus is not available";
  const std::string folder = testsupport::MakeTempSubdir("parallel");
  const flowtest::Bytes photo =
      testsupport::ReadBytes(testsupport::CorpusDir() + "/jpeg/generated/testorig_q100_optimized.jpg");
  for (int i = 0; i < 12; ++i) ASSERT_TRUE(flowtest::Write(folder + "/f" + std::to_string(10 + i) + ".jpg", photo));
  ASSERT_TRUE(flowtest::Write(folder + "/f99.jpg", {'b', 'a', 'd'}));  // the list's last entry fails
  const std::string target = testsupport::MakeTempSubdir("parallel-out");
  host_->SetText(names::kSourceFolderBox, folder);
  host_->SetText(names::kTargetFolderBox, target);
  const int jpgBefore = app::State().Count(app::SingleTarget::Jpg);

  ClickAndSettle(names::kBatchPng, 1);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "图片处理完毕!\r\n以下文件转换失败：\r\nf99.jpg：无法识别或解码");
  auto* bar = qobject_cast<QProgressBar*>(host_->Widget(names::kProgress));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->maximum(), 13);
  EXPECT_EQ(bar->value(), 13);
  EXPECT_EQ(host_->GetText(names::kStatusLine), "【正在处理第13个图片】【成功12个】【失败1个】【共有13个图片】");
  EXPECT_EQ(host_->GetText(names::kSaveBox), target + "/f99.jpg.png");
  EXPECT_EQ(app::State().Count(app::SingleTarget::Jpg), jpgBefore + 13);
  EXPECT_TRUE(Enabled(names::kBatchPng));
  const flowtest::Bytes first = flowtest::Read(target + "/f10.jpg.png");
  ASSERT_FALSE(first.empty());
  for (int i = 0; i < 12; ++i) EXPECT_EQ(flowtest::Read(target + "/f" + std::to_string(10 + i) + ".jpg.png"), first);
  app::SetBatchWorkersForTesting(0);
}

// Load: a long batch while the single-file buttons are pressed again and
// again. 200 files with PICTOMILL_FULL_LOAD=1, fewer by default.
int LoadFiles() { return std::getenv("PICTOMILL_FULL_LOAD") != nullptr ? 200 : 40; }

std::size_t CountMessages(const std::vector<host::QtHost::MessageInfo>& messages, const std::string& text) {
  return static_cast<std::size_t>(
      std::count_if(messages.begin(), messages.end(), [&](const auto& m) { return m.text == text; }));
}

std::size_t CountFiles(const std::string& pattern) { return platform::FindEntries(pattern.c_str()).size(); }

TEST_F(WindowTest, LongBatchWhileSingleButtonsArePressedKeepsCountersConsistent) {
  const int files = LoadFiles();
  const std::string folder = testsupport::MakeTempSubdir("load");
  for (int i = 0; i < files; ++i) {
    ASSERT_TRUE(flowtest::Write(folder + "/n" + std::to_string(1000 + i) + ".bmp", flowtest::SmallBmp(64, 48, 7)));
  }
  const std::string target = testsupport::MakeTempSubdir("load-out");
  host_->SetText(names::kSourceFolderBox, folder);
  host_->SetText(names::kTargetFolderBox, target);
  const std::string single = files_ + "/cat.bmp";
  ASSERT_TRUE(flowtest::Write(single, flowtest::SmallBmp(32, 24, 9)));
  host_->SetText(names::kPathBox, single);

  Click(names::kBatchPng);
  int jpgPresses = 0;
  int pcxPresses = 0;
  while (host_->RunningWorkers() > 0 && jpgPresses < 25) {
    Click(names::kConvertJpg);
    ++jpgPresses;
    Click(names::kConvertPcx);
    ++pcxPresses;
    WaitFor([] { return true; });
    QThread::msleep(5);
  }
  ASSERT_TRUE(WaitFor([&] {
    return host_->RunningWorkers() == 0 && CountMessages(messages_, "图片处理完毕!") == 1 &&
           CountMessages(messages_, "JPG格式转换成功！") == static_cast<std::size_t>(jpgPresses) &&
           CountMessages(messages_, "PCX格式转换成功！") == static_cast<std::size_t>(pcxPresses);
  }));
  EXPECT_GE(jpgPresses, 1);
  std::printf("%d batch files, %d JPG and %d PCX presses during the batch\n", files, jpgPresses, pcxPresses);
  const std::string total = std::to_string(files);
  EXPECT_EQ(host_->GetText(names::kStatusLine),
            "【正在处理第" + total + "个图片】【成功" + total + "个】【失败0个】【共有" + total + "个图片】");
  EXPECT_EQ(qobject_cast<QProgressBar*>(host_->Widget(names::kProgress))->value(), files);
  // Every batch file and every JPG press took one number; no two took the same.
  EXPECT_EQ(app::State().Count(app::SingleTarget::Jpg), files + jpgPresses);
  EXPECT_EQ(app::State().Count(app::SingleTarget::Pcx), pcxPresses);
  EXPECT_EQ(CountFiles(target + "/*.bmp.png"), static_cast<std::size_t>(files));
  EXPECT_EQ(CountFiles(install_ + "/tmp/jpg图片/转-cat-*.jpg"), static_cast<std::size_t>(jpgPresses));
  EXPECT_EQ(CountFiles(install_ + "/tmp/pcx图片/改-cat-*.pcx"), static_cast<std::size_t>(pcxPresses));
  EXPECT_TRUE(Enabled(names::kBatchPng));
}

TEST_F(WindowTest, ExitInTheMiddleOfALongBatchEndsCleanly) {
  const int files = LoadFiles();
  const std::string folder = testsupport::MakeTempSubdir("exit-load");
  for (int i = 0; i < files; ++i) {
    ASSERT_TRUE(flowtest::Write(folder + "/n" + std::to_string(1000 + i) + ".bmp", flowtest::SmallBmp(64, 48, 7)));
  }
  const std::string target = testsupport::MakeTempSubdir("exit-load-out");
  host_->SetText(names::kSourceFolderBox, folder);
  host_->SetText(names::kTargetFolderBox, target);
  Click(names::kBatchJpg);
  ASSERT_TRUE(WaitFor([&] { return CountFiles(target + "/*.jpg") >= 3 || host_->RunningWorkers() == 0; }));
  Exit();  // returns 0 once the running file has finished
  EXPECT_EQ(CountMessages(messages_, "图片处理完毕!"), 0u);
  EXPECT_LT(CountFiles(target + "/*.jpg"), static_cast<std::size_t>(files) + 1);
}

TEST_F(WindowTest, BatchOfAMixedFolder) {
  // The page after every file, as a one-by-one run shows it.
  app::SetBatchWorkersForTesting(1);
  if (testsupport::CorpusDir().empty()) GTEST_SKIP() << "the corpus is not available";
  const std::string folder = testsupport::MakeTempSubdir("mixed");
  const auto copy = [&](const std::string& relative, const std::string& name) {
    ASSERT_TRUE(flowtest::Write(folder + "/" + name, testsupport::ReadBytes(testsupport::CorpusDir() + "/" + relative)));
  };
  copy("jpeg/generated/testorig_q100_optimized.jpg", "a.jpg");
  copy("png/pillow/7x13.png", "b.png");
  ASSERT_TRUE(flowtest::Write(folder + "/c.bmp", flowtest::SmallBmp()));
  ASSERT_TRUE(flowtest::Write(folder + "/d.png", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'}));
  ASSERT_TRUE(flowtest::Write(folder + "/notes.txt", {'x'}));
  ASSERT_EQ(testsupport::RunCommand("mkdir " + testsupport::Quote(folder + "/sub.jpg")), 0);

  folderAnswers_.push_back(folder);
  ClickAndSettle(names::kBrowseSource, 0);
  EXPECT_EQ(host_->GetText(names::kSourceFolderBox), folder);

  std::vector<std::string> statuses;
  host_->Bind(names::kSaveBox, host::Event::TextChanged, [&](const host::Text&) {
    statuses.push_back(host_->GetText(names::kStatusLine));
    EXPECT_FALSE(Enabled(names::kBatchBmp)) << "disabled during its run";
  });
  // Empty target box: the default folder under the program directory.
  ClickAndSettle(names::kBatchBmp, 2);
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[0].text, "设置默认文件夹为程序目录\\tmp\\批量bmp");
  EXPECT_EQ(messages_[0].caption, "提示");
  EXPECT_EQ(messages_[1].text, "图片处理完毕!\r\n以下文件转换失败：\r\nd.png：无法识别或解码");
  EXPECT_EQ(messages_[1].caption, "信息：");
  const std::string target = install_ + "/tmp/批量bmp";
  EXPECT_EQ(host_->GetText(names::kTargetFolderBox), target);

  auto* bar = qobject_cast<QProgressBar*>(host_->Widget(names::kProgress));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->maximum(), 3);
  EXPECT_EQ(bar->value(), 3);
  EXPECT_EQ(host_->GetText(names::kStatusLine), "【正在处理第3个图片】【成功2个】【失败1个】【共有3个图片】");
  const std::vector<std::string> seen = {"【正在处理第0个图片】【成功0个】【失败0个】【共有0个图片】",
                                         "【正在处理第1个图片】【成功1个】【失败0个】【共有3个图片】",
                                         "【正在处理第2个图片】【成功2个】【失败0个】【共有3个图片】"};
  EXPECT_EQ(statuses, seen);
  EXPECT_TRUE(Enabled(names::kBatchBmp));
  EXPECT_EQ(host_->GetText(names::kSaveBox), target + "/d.png.bmp");

  for (const char* name : {"a.jpg", "b.png"}) {
    Picture source;
    Picture output;
    ASSERT_TRUE(Decode(folder + "/" + name, source));
    ASSERT_TRUE(Decode(target + "/" + name + ".bmp", output)) << name;
    EXPECT_EQ(output.width, source.width);
    int largest = 0;
    double mean = 0;
    Compare(output.rgb, source.rgb, largest, mean);
    EXPECT_LE(largest, 8) << name;
  }
  EXPECT_FALSE(Exists(target + "/c.bmp.bmp"));
  EXPECT_FALSE(Exists(target + "/d.png.bmp"));
  EXPECT_FALSE(Exists(target + "/sub.jpg.bmp"));
}

TEST_F(WindowTest, TheQuestionAboutExistingTargetsAndStopInTheRealWindow) {
  constexpr int kFiles = 30;
  const std::string folder = testsupport::MakeTempSubdir("stop");
  for (int i = 0; i < kFiles; ++i) {
    ASSERT_TRUE(flowtest::Write(folder + "/n" + std::to_string(1000 + i) + ".bmp", flowtest::SmallBmp(64, 48, 5)));
  }
  const std::string target = testsupport::MakeTempSubdir("stop-out");
  const Bytes old = {'o', 'l', 'd'};
  ASSERT_TRUE(flowtest::Write(target + "/n1000.bmp.png", old));
  host_->SetText(names::kSourceFolderBox, folder);
  host_->SetText(names::kTargetFolderBox, target);
  EXPECT_FALSE(Enabled(names::kStop));
  // The question is answered with Enter, as a user takes its default.
  onMessage_ = [](const host::QtHost::MessageInfo& info) -> std::optional<int> {
    if (info.buttons.size() == 1) return host::kButtonOk;
    QTimer::singleShot(0, [] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMessageBox*>(widget) == nullptr || !widget->isVisible()) continue;
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &enter);
      }
    });
    return std::nullopt;
  };
  // Stop is pressed in the window once two files have finished.
  int finished = 0;
  bool stopUsable = false;
  host_->Bind(names::kSaveBox, host::Event::TextChanged, [&](const host::Text&) {
    if (++finished != 2) return;
    stopUsable = Enabled(names::kStop);
    Click(names::kStop);
  });
  app::SetBatchWorkersForTesting(4);
  ClickAndSettle(names::kBatchPng, 2);
  app::SetBatchWorkersForTesting(0);
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[0].text, "目标目录中已有1个同名文件。\r\n是：全部覆盖　否：跳过这些文件　取消：不转换");
  EXPECT_EQ(messages_[0].buttonTexts, (std::vector<host::Text>{"是", "否", "取消"}));
  EXPECT_EQ(messages_[0].escapeAnswer, host::kAnswerCancel);
  EXPECT_TRUE(stopUsable);
  EXPECT_EQ(Read(target + "/n1000.bmp.png"), old) << "skipped";
  const int done = static_cast<int>(CountFiles(target + "/*.bmp.png")) - 1;
  EXPECT_GE(done, 2);
  EXPECT_LE(done, 5) << "the files in progress finish, no new one starts";
  const std::string total = std::to_string(kFiles - 1);
  EXPECT_EQ(messages_[1].text, "已停止：成功" + std::to_string(done) + "个，失败0个，未处理" +
                                   std::to_string(kFiles - 1 - done) + "个。\r\n已跳过1个同名文件。");
  auto* bar = qobject_cast<QProgressBar*>(host_->Widget(names::kProgress));
  EXPECT_EQ(bar->value(), done);
  EXPECT_EQ(host_->GetText(names::kStatusLine), "【正在处理第" + std::to_string(done) + "个图片】【成功" +
                                                    std::to_string(done) + "个】【失败0个】【共有" + total + "个图片】");
  EXPECT_FALSE(Enabled(names::kStop));
  EXPECT_TRUE(Enabled(names::kBatchPng));
}

TEST_F(WindowTest, ExitWhileWorkRunsWaitsAndLeavesNoScratchFile) {
  if (testsupport::CorpusDir().empty()) GTEST_SKIP() << "the corpus is not available";
  const std::string folder = testsupport::MakeTempSubdir("many");
  const Bytes photo = testsupport::ReadBytes(testsupport::CorpusDir() + "/png/kodak/kodim23.png");
  for (int i = 0; i < 8; ++i) ASSERT_TRUE(flowtest::Write(folder + "/" + std::to_string(i) + ".png", photo));
  host_->SetText(names::kSourceFolderBox, folder);
  host_->SetText(names::kTargetFolderBox, folder);
  Choose(folder + "/0.png");
  int files = 0;
  host_->Bind(names::kSaveBox, host::Event::TextChanged, [&](const host::Text&) { ++files; });
  Click(names::kBatchBmp);
  Click(names::kConvertPcx);  // a conversion at the same time
  ASSERT_TRUE(WaitFor([&] { return files >= 1; }));
  Exit();  // returns only after the workers have ended
  EXPECT_LT(files, 8) << "the batch stops after the file it was on";
  EXPECT_TRUE(testsupport::ScratchFiles().empty());
  for (const auto& message : messages_) EXPECT_NE(message.text, "图片处理完毕!");
  EXPECT_TRUE(app::State().Batch().paths.empty()) << "released after the last worker";
}

// "Open with": the program as main() runs it with a file, the real message
// loop, a conversion of the file, the exit button.
TEST(OpenWith, TheFileArrivesAfterTheNoticeAsADropWouldAndConverts) {
  if (testsupport::ImageMagick().empty()) GTEST_SKIP() << "ImageMagick is not available";
  Application();
  const std::string install = testsupport::MakeTempSubdir("open-with");
  const std::string program = install + "/pictomill";
  ASSERT_EQ(testsupport::RunCommand("cp " + testsupport::Quote(PICTOMILL_WINDOW_PROGRAM) + " " +
                                    testsupport::Quote(program)),
            0);
  const std::string file = testsupport::MakeTempSubdir("open-with-files") + "/照片.bmp";
  ASSERT_TRUE(flowtest::Write(file, flowtest::SmallBmp(40, 30)));

  host::QtHost host(host::QtHost::Options{program});
  std::vector<host::QtHost::MessageInfo> messages;
  host::Text pathAtNotice;
  host.SetMessageHook([&](const host::QtHost::MessageInfo& info) -> std::optional<int> {
    messages.push_back(info);
    if (info.caption == "说明") pathAtNotice = host.GetText(names::kPathBox);
    return host::kButtonOk;
  });
  std::map<std::string, std::string> page;  // as the page stood before the click
  bool clicked = false;
  QElapsedTimer elapsed;
  elapsed.start();
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (elapsed.elapsed() > 60000) {  // never came: fail below rather than hang
      poll.stop();
      host.DismissWindow(names::kStartWindow);
      return;
    }
    // The timer also runs while the notice is open, before the file is in.
    if (host.RunningWorkers() != 0 || messages.empty() || host.GetText(names::kPathBox) == pathAtNotice) return;
    if (!clicked) {
      for (const char* box : {names::kPathBox, names::kSaveBox, names::kNameBox}) page[box] = host.GetText(box);
      for (const char* button : names::kConvertButtons) page[button] = host.Widget(button)->isEnabled() ? "on" : "off";
      clicked = true;
      qobject_cast<QAbstractButton*>(host.Widget(names::kConvertPng))->click();
    } else if (messages.size() >= 2) {
      poll.stop();
      qobject_cast<QAbstractButton*>(host.Widget(names::kExit))->click();
    }
  });
  poll.start(10);
  EXPECT_EQ(app::RunProgram(host, file), 0);
  poll.stop();

  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].caption, "说明");
  EXPECT_EQ(pathAtNotice, "支持拖拽图像进程序") << "the notice comes first";
  EXPECT_EQ(page[names::kPathBox], file);
  EXPECT_EQ(page[names::kSaveBox], file);
  EXPECT_EQ(page[names::kNameBox], "照片.bmp");
  for (const char* button : names::kConvertButtons) {
    EXPECT_EQ(page[button], button == std::string(names::kConvertBmp) ? "off" : "on") << button;
  }
  EXPECT_EQ(messages[1].text, "PNG格式转换成功！");
  const std::string output = install + "/tmp/png图片/改-照片-1.png";
  Picture source;
  Picture converted;
  ASSERT_TRUE(Decode(file, source));
  ASSERT_TRUE(Decode(output, converted)) << output;
  EXPECT_EQ(converted.width, 40);
  EXPECT_EQ(converted.rgb, source.rgb);
  EXPECT_TRUE(testsupport::ScratchFiles().empty());
}

}  // namespace
