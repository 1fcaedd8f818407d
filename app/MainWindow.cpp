#include "app/MainWindow.h"

#include "app/ControlNames.h"
#include "app/Handlers.h"
#include "app/Icon.h"
#include "app/Startup.h"

namespace app {
namespace {

using host::ControlDescription;
using host::ControlKind;
using host::FontDescription;
namespace n = names;

constexpr ControlKind kTab = ControlKind::TabControl;
constexpr ControlKind kButton = ControlKind::Button;
constexpr ControlKind kLabel = ControlKind::Label;
constexpr ControlKind kClearLabel = ControlKind::TransparentLabel;
constexpr ControlKind kEdit = ControlKind::EditBox;
constexpr ControlKind kGroup = ControlKind::GroupBox;
constexpr ControlKind kProgress = ControlKind::ProgressBar;
constexpr ControlKind kOpen = ControlKind::OpenFileDialog;
constexpr ControlKind kSaveAs = ControlKind::SaveFileDialog;
constexpr ControlKind kDrop = ControlKind::DropObject;

const FontDescription kDefaultFont{};
const FontDescription kPathBoxFont{"小米兰亭", 12, 400};
const FontDescription kLabelFont{"", 14, 400};

host::WindowDescription Describe() {
  host::WindowDescription window;
  window.name = n::kStartWindow;
  window.title = "Pictomill By：Quillbrook";
  window.x = 50;
  window.y = 50;
  window.outerWidth = 540;
  window.outerHeight = 276;
  window.iconSize = kIconSize;
  window.icon = DrawIcon();
  // Page controls are placed in the tab control's coordinates (tab strip
  // included); the batch folder rows in their group box's.
  //                name                  kind         parent         page  x    y    w    h    caption / initial text                                            visible font [enabled]
  window.controls = {
      ControlDescription{n::kTab,              kTab,        "",            0,  -1,   0, 536, 248, "单个转换|批量转换",                                   true,  kDefaultFont},
      // Page 1 "单个转换".
      ControlDescription{n::kDrop,             kDrop,       n::kTab,       1,   8,  28,  26,  26, "",                                                    false, kDefaultFont},
      ControlDescription{n::kOpenDialog,       kOpen,       n::kTab,       1,   8,  60,  26,  26, "",                                                    false, kDefaultFont},
      ControlDescription{n::kSaveDialog,       kSaveAs,     n::kTab,       1,   8,  92,  26,  26, "",                                                    false, kDefaultFont},
      ControlDescription{n::kPathLabel,        kLabel,      n::kTab,       1,  39,  44,  64,  32, "图片路径：",                                          true,  kLabelFont},
      ControlDescription{n::kPathBox,          kEdit,       n::kTab,       1, 110,  44, 328,  32, "支持拖拽图像进程序",                                  true,  kPathBoxFont},
      ControlDescription{n::kBrowse,           kButton,     n::kTab,       1, 448,  44,  64,  32, "浏览",                                                true,  kDefaultFont},
      ControlDescription{n::kConvertJpg,       kButton,     n::kTab,       1,  64, 102,  72,  32, "转换JPG",                                             true,  kDefaultFont},
      ControlDescription{n::kConvertBmp,       kButton,     n::kTab,       1, 152, 102,  72,  32, "转换BMP",                                             true,  kDefaultFont},
      ControlDescription{n::kConvertTif,       kButton,     n::kTab,       1, 240, 102,  72,  32, "转换TIF",                                             true,  kDefaultFont},
      ControlDescription{n::kConvertPng,       kButton,     n::kTab,       1, 331, 102,  72,  32, "转换PNG",                                             true,  kDefaultFont},
      ControlDescription{n::kConvertPic,       kButton,     n::kTab,       1, 424, 102,  72,  32, "转换PIC",                                             true,  kDefaultFont},
      ControlDescription{n::kConvertPpm,       kButton,     n::kTab,       1,  64, 158,  72,  32, "转换PPM",                                             true,  kDefaultFont},
      ControlDescription{n::kConvertPgm,       kButton,     n::kTab,       1, 152, 158,  72,  32, "转换PGM",                                             true,  kDefaultFont},
      ControlDescription{n::kConvertPbm,       kButton,     n::kTab,       1, 240, 158,  72,  32, "转换PBM",                                             true,  kDefaultFont},
      ControlDescription{n::kConvertPcx,       kButton,     n::kTab,       1, 331, 158,  72,  32, "转换PCX",                                             true,  kDefaultFont},
      ControlDescription{n::kConvertSgi,       kButton,     n::kTab,       1, 424, 158,  72,  32, "转换SGI",                                             true,  kDefaultFont},
      ControlDescription{n::kSave,             kButton,     n::kTab,       1, 195, 204,  72,  32, "另存为",                                              true,  kDefaultFont},
      ControlDescription{n::kExit,             kButton,     n::kTab,       1, 286, 204,  72,  32, "退出",                                                true,  kDefaultFont},
      ControlDescription{n::kSaveLabel,        kLabel,      n::kTab,       1,  16,  95,  40,  32, "保存：",                                              false, kLabelFont},
      ControlDescription{n::kSaveBox,          kEdit,       n::kTab,       1,  13, 170,  43,  32, "",                                                    false, kDefaultFont},
      ControlDescription{n::kNameBox,          kEdit,       n::kTab,       1,  13, 208,  43,  32, "",                                                    false, kDefaultFont},
      // Page 2 "批量转换".
      ControlDescription{n::kBatchGroup,       kGroup,      n::kTab,       2,   3,  18, 528, 115, "",                                                    true,  kDefaultFont},
      ControlDescription{n::kSourceLabel,      kClearLabel, n::kBatchGroup, 2, 21,  32,  67,  16, "源图片目录：",                                        true,  kDefaultFont},
      ControlDescription{n::kSourceFolderBox,  kEdit,       n::kBatchGroup, 2, 94,  26, 344,  25, "",                                                    true,  kDefaultFont},
      ControlDescription{n::kBrowseSource,     kButton,     n::kBatchGroup, 2, 454, 25,  55,  25, "浏览",                                                true,  kDefaultFont},
      ControlDescription{n::kTargetLabel,      kClearLabel, n::kBatchGroup, 2, 21,  64,  67,  16, "修改后目录：",                                        true,  kDefaultFont},
      ControlDescription{n::kTargetFolderBox,  kEdit,       n::kBatchGroup, 2, 94,  64, 344,  25, "",                                                    true,  kDefaultFont},
      ControlDescription{n::kBrowseTarget,     kButton,     n::kBatchGroup, 2, 454, 65,  56,  25, "浏览",                                                true,  kDefaultFont},
      ControlDescription{n::kProgressLabel,    kClearLabel, n::kTab,       2,  55, 144,  40,  16, "进度：",                                              true,  kDefaultFont},
      ControlDescription{n::kProgress,         kProgress,   n::kTab,       2, 110, 144, 336,  16, "",                                                    true,  kDefaultFont},
      ControlDescription{n::kStatusLine,       kClearLabel, n::kTab,       2,  40, 169, 454,  16, "【正在处理第0个图片】【成功0个】【失败0个】【共有0个图片】", true, kDefaultFont},
      ControlDescription{n::kBatchJpg,         kButton,     n::kTab,       2, 139, 201,  72,  32, "转换JPG",                                             true,  kDefaultFont},
      ControlDescription{n::kBatchBmp,         kButton,     n::kTab,       2, 229, 201,  72,  32, "转换BMP",                                             true,  kDefaultFont},
      ControlDescription{n::kBatchPng,         kButton,     n::kTab,       2, 318, 201,  72,  32, "转换PNG",                                             true,  kDefaultFont},
      ControlDescription{n::kStop,             kButton,     n::kTab,       2, 407, 201,  72,  32, "停止",                                                true,  kDefaultFont, false},
      ControlDescription{n::kBatchDrop,        kDrop,       n::kTab,       2,  96,  40, 345,  26, "",                                                    false, kDefaultFont},
  };
  return window;
}

const char kTabWarning[] =
    "1.在批量处理程序中中，暂不支持拖放文件夹，请勿使用拖放操作！\r\n"
    "2.目前仅支持jpg/png/bmp相互转化";

}  // namespace

const host::WindowDescription& MainWindowDescription() {
  static const host::WindowDescription description = Describe();
  return description;
}

void TabWarning(host::Host& host) {
  const int index = host.GetIntProperty(n::kTab, host::Property::CurrentPage);
  if (host.GetTabPageName(n::kTab, index + 1) == "批量转换") host.ShowMessage(kTabWarning, 0, "警告");
}

void BindHandlers(host::Host& host) {
  using host::Event;
  host.Bind(n::kStartWindow, Event::Created, [&host](const host::Text&) { OnWindowCreated(host); });
  host.Bind(n::kTab, Event::PageChanged, [&host](const host::Text&) { TabWarning(host); });
  host.Bind(n::kPathBox, Event::TextChanged, [&host](const host::Text&) { OnPathTextChanged(host); });
  host.Bind(n::kBrowse, Event::Click, [&host](const host::Text&) { OnBrowseClicked(host); });
  host.Bind(n::kDrop, Event::FilesDropped, [&host](const host::Text& paths) { OnFilesDropped(host, paths); });
  for (int row = 0; row < kSingleTargetCount; ++row) {
    const auto target = static_cast<SingleTarget>(row);
    host.Bind(n::kConvertButtons[row], Event::Click, [&host, target](const host::Text&) { OnConvertClicked(host, target); });
  }
  host.Bind(n::kSave, Event::Click, [&host](const host::Text&) { OnSaveClicked(host); });
  host.Bind(n::kExit, Event::Click, [&host](const host::Text&) { OnExitClicked(host); });
  host.Bind(n::kBrowseSource, Event::Click, [&host](const host::Text&) { OnBrowseBatchSource(host); });
  host.Bind(n::kBrowseTarget, Event::Click, [&host](const host::Text&) { OnBrowseBatchTarget(host); });
  for (int row = 0; row < kBatchTargetCount; ++row) {
    const auto target = static_cast<BatchTarget>(row);
    host.Bind(n::kBatchButtons[row], Event::Click, [&host, target](const host::Text&) { OnBatchClicked(host, target); });
  }
  host.Bind(n::kStop, Event::Click, [&host](const host::Text&) { OnStopClicked(host); });
}

}  // namespace app
