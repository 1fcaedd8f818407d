#include "app/Startup.h"

#include "app/ControlNames.h"
#include "app/Handlers.h"
#include "app/MainWindow.h"

namespace app {

host::Text NoticeText() {
  return "·调用Travessil进行图像格式转换\r\n"
         "·支持拖拽图像进程序\r\n"
         "·转换图片调用多线程并且未压缩，文件有点大\r\n"
         "·【1107更新】支持批量转换";
}

void OnWindowCreated(host::Host& host) {
  host.SetVisualStyle(3);
  host.ShowMessage(NoticeText(), 0, "说明");
  // The whole window, either page, is the drop target of the first page's object.
  host.RegisterFileDrop(names::kDrop, host.GetWindowHandle(names::kStartWindow));
  host.MakeDirectory("tmp");  // usually exists already
  ResetCounters();
  host.SetWindowFocus(names::kStartWindow);
}

void OnExitClicked(host::Host& host) { host.DismissWindow(names::kStartWindow); }

std::optional<host::Text> StartFileFromArgument(const host::Text& argument, const host::Text& startFolder) {
  if (argument.empty() || argument[0] == '-') return std::nullopt;
  if (startFolder.empty()) return argument;
  return host::ResolveIn(startFolder, argument);
}

int RunProgram(host::Host& host, const std::optional<host::Text>& startFile) {
  CreateAppState();
  // The host runs it after the last worker has ended, so no worker sees
  // released state.
  host.RegisterExitRoutine("AppState", ReleaseAppState);
  BindHandlers(host);
  if (!host.CreateStartWindow(MainWindowDescription())) return 0;
  if (startFile) OnFilesDropped(host, *startFile);
  return host.RunMessageLoop();
}

}  // namespace app
