// Not a test: the flows at work in the real window, for looking at. Converts
// a photo of the corpus with several buttons, then runs a batch of twenty
// files, and saves screenshots during and after it. Run it on a (virtual)
// screen: xvfb-run -a -s "-screen 0 800x600x24" build/tests/flow_screenshots CORPUS_DIR OUTPUT_DIR
#include <QAbstractButton>
#include <QApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/ControlNames.h"
#include "app/Handlers.h"
#include "app/MainWindow.h"
#include "host/QtHost.h"
#include "platform/Platform.h"

namespace {

namespace names = app::names;

void Settle(int rounds = 20) {
  for (int i = 0; i < rounds; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool Save(const QPixmap& pixmap, const std::string& path) {
  const bool ok = pixmap.save(QString::fromStdString(path), "PNG");
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.c_str());
  return ok;
}

bool Copy(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary);
  out << in.rdbuf();
  return static_cast<bool>(in) && static_cast<bool>(out);
}

std::string Absolute(const char* path) {
  char* resolved = ::realpath(path, nullptr);
  if (resolved == nullptr) return std::string();
  std::string result = resolved;
  std::free(resolved);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: flow_screenshots CORPUS_DIR OUTPUT_DIR\n");
    return 2;
  }
  const std::string corpus = Absolute(argv[1]);
  const std::string out = Absolute(argv[2]);
  if (corpus.empty() || out.empty()) return 2;
  QApplication application(argc, argv);
  char folder[] = "/tmp/pictomill-flow-shots-XXXXXX";
  if (::mkdtemp(folder) == nullptr) return 1;
  const std::string work = folder;
  // Code-page texts for the window, UTF-8 for the disk.
  const host::Text sourcesText = work + "/照片";
  const host::Text targetText = work + "/批量输出";
  std::string sources;
  std::string target;
  if (!platform::CodePageToUtf8(sourcesText.c_str(), sources) || !platform::CodePageToUtf8(targetText.c_str(), target)) {
    return 1;
  }
  if (::mkdir(sources.c_str(), 0700) != 0 || ::mkdir(target.c_str(), 0700) != 0) return 1;

  host::QtHost host(host::QtHost::Options{work + "/pictomill"});
  bool ok = true;
  std::string nextMessageShot;  // the screen is taken while this box is open
  std::string chosen;
  int messages = 0;
  host.SetMessageHook([&](const host::QtHost::MessageInfo& info) -> std::optional<int> {
    ++messages;
    std::printf("message [%s] %s\n", host::QtHost::ToQt(info.caption).toStdString().c_str(),
                host::QtHost::ToQt(info.text).toStdString().c_str());
    if (!nextMessageShot.empty()) {
      Settle(10);
      ok = Save(QGuiApplication::primaryScreen()->grabWindow(0), out + nextMessageShot) && ok;
      nextMessageShot.clear();
    }
    return host::kButtonOk;
  });
  host.SetFileDialogHook([&](const host::QtHost::FileDialogInfo&) -> std::optional<host::Text> { return chosen; });
  app::CreateAppState();
  host.RegisterExitRoutine("AppState", app::ReleaseAppState);
  app::BindHandlers(host);
  host.CreateStartWindow(app::MainWindowDescription());
  Settle();
  QWidget* window = host.Widget(names::kStartWindow);
  const auto click = [&](const char* control) {
    if (auto* button = qobject_cast<QAbstractButton*>(host.Widget(control))) button->click();
  };
  const auto settleWork = [&](int until) {
    while (messages < until || host.RunningWorkers() != 0) Settle(1);
    Settle(5);
  };

  // A photo through several buttons.
  const std::string photo = work + "/kodim23.png";  // outside the batch folder
  if (!Copy(corpus + "/png/kodak/kodim23.png", photo)) return 1;
  chosen = work + "/kodim23.png";
  click(names::kBrowse);
  Settle();
  ok = Save(window->grab(), out + "/flow-page1-chosen.png") && ok;
  int expected = messages;
  for (const char* button : {names::kConvertJpg, names::kConvertBmp, names::kConvertTif, names::kConvertPgm}) {
    if (button == names::kConvertPgm) nextMessageShot = "/flow-page1-converted.png";
    click(button);
    settleWork(++expected);
  }

  // Twenty files on the batch page, to BMP.
  const char* photos[] = {"kodim01", "kodim03", "kodim08", "kodim20", "kodim23"};
  for (int i = 0; i < 20; ++i) {
    const std::string name = std::string(photos[i % 5]) + "-" + std::to_string(i + 1) + ".png";
    if (!Copy(corpus + "/png/kodak/" + photos[i % 5] + ".png", sources + "/" + name)) return 1;
  }
  host.SetIntProperty(names::kTab, host::Property::CurrentPage, 1);
  Settle();
  expected = messages;
  settleWork(expected);  // the tab warning
  host.SetText(names::kSourceFolderBox, sourcesText);
  host.SetText(names::kTargetFolderBox, targetText);
  int files = 0;
  host.Bind(names::kSaveBox, host::Event::TextChanged, [&](const host::Text&) {
    if (++files == 11) {  // the status line names the tenth file now
      Settle(5);
      ok = Save(window->grab(), out + "/flow-batch-running.png") && ok;
    }
  });
  nextMessageShot = "/flow-batch-finished-message.png";
  click(names::kBatchBmp);
  ++expected;  // the end message
  settleWork(expected);
  ok = Save(window->grab(), out + "/flow-batch-after.png") && ok;

  host.DismissWindow(names::kStartWindow);
  host.RunMessageLoop();
  std::printf("batch files seen: %d\n", files);
  if (std::system(("rm -rf '" + work + "'").c_str()) != 0) ok = false;
  return ok ? 0 : 1;
}
