// Not a test: takes screenshots of the window's two pages and of the notice
// and the tab warning over it, and of the save dialog, for looking at. Run it on a real (virtual)
// screen: xvfb-run -a -s "-screen 0 800x600x24" build/window_screenshots DIR
#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/ControlNames.h"
#include "app/MainWindow.h"
#include "host/QtHost.h"

namespace {

void Settle() {
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool Save(const QPixmap& pixmap, const std::string& path) {
  const bool ok = pixmap.save(QString::fromStdString(path), "PNG");
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: window_screenshots OUTPUT_DIR\n");
    return 2;
  }
  // Absolute: the host makes the program directory the working directory.
  char* resolved = ::realpath(argv[1], nullptr);
  if (resolved == nullptr) return 2;
  const std::string out = resolved;
  std::free(resolved);
  QApplication application(argc, argv);
  char folder[] = "/tmp/pictomill-shots-XXXXXX";
  if (::mkdtemp(folder) == nullptr) return 1;
  host::QtHost host(host::QtHost::Options{std::string(folder) + "/pictomill"});
  int shot = 0;
  bool ok = true;
  host.SetMessageHook([&](const host::QtHost::MessageInfo&) -> std::optional<int> {
    Settle();
    const char* name = shot++ == 0 ? "/page1-notice.png" : "/page2-warning.png";
    ok = Save(QGuiApplication::primaryScreen()->grabWindow(0), out + name) && ok;
    return host::kButtonOk;
  });
  app::BindHandlers(host);
  host.CreateStartWindow(app::MainWindowDescription());
  Settle();
  QWidget* window = host.Widget(app::names::kStartWindow);
  ok = Save(window->grab(), out + "/page1.png") && ok;
  ok = Save(window->windowIcon().pixmap(128, 128), out + "/icon.png") && ok;
  host.SetIntProperty(app::names::kTab, host::Property::CurrentPage, 1);
  Settle();
  ok = Save(window->grab(), out + "/page2.png") && ok;
  host.SetText(app::names::kSourceFolderBox, "/home/user/图片");
  host.SetIntProperty(app::names::kProgress, host::Property::Maximum, 10);
  host.SetIntProperty(app::names::kProgress, host::Property::Position, 3);
  host.SetText(app::names::kStatusLine, "【正在处理第3个图片】【成功2个】【失败1个】【共有10个图片】");
  host.SetDisabled(app::names::kBatchBmp, true);  // as during a BMP run
  host.SetDisabled(app::names::kStop, false);
  Settle();
  ok = Save(window->grab(), out + "/page2-running.png") && ok;
  // The save dialog as "另存为" opens it, in Qt's own Chinese texts.
  host.SetFileDialogDriver([&](QWidget* dialog) {
    Settle();
    ok = Save(QGuiApplication::primaryScreen()->grabWindow(0), out + "/save-dialog.png") && ok;
    QMetaObject::invokeMethod(dialog, "reject");
  });
  host.SetTextProperty(app::names::kSaveDialog, host::Property::Filter, "BMP图片文件（*.bmp）|*.bmp");
  host.SetTextProperty(app::names::kSaveDialog, host::Property::FileName, "改-cat-1*.bmp");
  host.ShowFileDialog(app::names::kSaveDialog);
  host.DismissWindow(app::names::kStartWindow);
  host.RunMessageLoop();
  if (std::system((std::string("rm -rf ") + folder).c_str()) != 0) ok = false;
  return ok ? 0 : 1;
}
