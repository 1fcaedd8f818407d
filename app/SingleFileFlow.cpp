#include "app/SingleFileFlow.h"

#include <algorithm>
#include <string>

#include "app/AppState.h"
#include "app/ControlNames.h"
#include "app/Paths.h"
#include "engine/commands/ConversionCommands.h"
#include "platform/Platform.h"

namespace app {
namespace {

constexpr char kCaption[] = "提示";

// Folders and tails with the system's separator: "tmp\jpg图片" and
// "\tmp\jpg图片\转-" on Windows.
const TargetFormat kTargets[kSingleTargetCount] = {
    {SingleTarget::Jpg, names::kConvertJpg, PICTOMILL_TMP_FOLDER("jpg图片"),
     PICTOMILL_SEPARATOR PICTOMILL_TMP_FOLDER("jpg图片") PICTOMILL_SEPARATOR "转-", ".jpg", "JPG格式转换成功！"},
    {SingleTarget::Bmp, names::kConvertBmp, PICTOMILL_TMP_FOLDER("bmp图片"),
     PICTOMILL_SEPARATOR PICTOMILL_TMP_FOLDER("bmp图片") PICTOMILL_SEPARATOR "改-", ".bmp", "BMP格式转换成功！"},
    {SingleTarget::Tif, names::kConvertTif, PICTOMILL_TMP_FOLDER("tif图片"),
     PICTOMILL_SEPARATOR PICTOMILL_TMP_FOLDER("tif图片") PICTOMILL_SEPARATOR "改-", ".tif", "TIF格式转换成功！"},
    {SingleTarget::Png, names::kConvertPng, PICTOMILL_TMP_FOLDER("png图片"),
     PICTOMILL_SEPARATOR PICTOMILL_TMP_FOLDER("png图片") PICTOMILL_SEPARATOR "改-", ".png", "PNG格式转换成功！"},
    {SingleTarget::Ppm, names::kConvertPpm, PICTOMILL_TMP_FOLDER("ppm图片"),
     PICTOMILL_SEPARATOR PICTOMILL_TMP_FOLDER("ppm图片") PICTOMILL_SEPARATOR "改-", ".ppm", "PPM格式转换成功！"},
    {SingleTarget::Pgm, names::kConvertPgm, PICTOMILL_TMP_FOLDER("pgm图片"),
     PICTOMILL_SEPARATOR PICTOMILL_TMP_FOLDER("pgm图片") PICTOMILL_SEPARATOR "改-", ".pgm", "PGM格式转换成功！"},
    {SingleTarget::Pbm, names::kConvertPbm, PICTOMILL_TMP_FOLDER("pbm图片"),
     PICTOMILL_SEPARATOR PICTOMILL_TMP_FOLDER("pbm图片") PICTOMILL_SEPARATOR "改-", ".pbm", "PBM格式转换成功！"},
    {SingleTarget::Pcx, names::kConvertPcx, PICTOMILL_TMP_FOLDER("pcx图片"),
     PICTOMILL_SEPARATOR PICTOMILL_TMP_FOLDER("pcx图片") PICTOMILL_SEPARATOR "改-", ".pcx", "PCX格式转换成功！"},
    {SingleTarget::Pic, names::kConvertPic, PICTOMILL_TMP_FOLDER("pic图片"),
     PICTOMILL_SEPARATOR PICTOMILL_TMP_FOLDER("pic图片") PICTOMILL_SEPARATOR "改-", ".pic", "PIC格式转换成功！"},
    {SingleTarget::Sgi, names::kConvertSgi, PICTOMILL_TMP_FOLDER("sgi图片"),
     PICTOMILL_SEPARATOR PICTOMILL_TMP_FOLDER("sgi图片") PICTOMILL_SEPARATOR "改-", ".sgi", "SGI格式转换成功！"},
};

// The extension table of the buttons, in testing order; PGM lists its upper
// case first, which changes nothing but is how the table stands.
struct ExtensionRow {
  const char* first;
  const char* second;
  SingleTarget disables;
};
const ExtensionRow kExtensions[kSingleTargetCount] = {
    {"jpg", "JPG", SingleTarget::Jpg}, {"bmp", "BMP", SingleTarget::Bmp}, {"tif", "TIF", SingleTarget::Tif},
    {"png", "PNG", SingleTarget::Png}, {"ppm", "PPM", SingleTarget::Ppm}, {"PGM", "pgm", SingleTarget::Pgm},
    {"pbm", "PBM", SingleTarget::Pbm}, {"pcx", "PCX", SingleTarget::Pcx}, {"pic", "PIC", SingleTarget::Pic},
    {"sgi", "SGI", SingleTarget::Sgi},
};

int RunCommand(SingleTarget target, const char* source, const char* path) {
  switch (target) {
    case SingleTarget::Jpg: return engine::ConvertToJpg(source, path, 0, 99, 1, 50);
    case SingleTarget::Bmp: return engine::ConvertToBmp(source, path);
    case SingleTarget::Tif: return engine::ConvertToTif(source, path, 0);
    case SingleTarget::Png: return engine::ConvertToPng(source, path, 24);
    case SingleTarget::Ppm: return engine::ConvertToPpm(source, path, 1);
    case SingleTarget::Pgm: return engine::ConvertToPgm(source, path, 1);
    // No command writes the 1-bit form: the PBM button writes the grey map.
    case SingleTarget::Pbm: return engine::ConvertToPgm(source, path, 1);
    case SingleTarget::Pcx: return engine::ConvertToPcx(source, path);
    case SingleTarget::Pic: return engine::ConvertToPic(source, path);
    case SingleTarget::Sgi: return engine::ConvertToSgi(source, path);
  }
  return engine::ResultBadArguments;
}

// Anything at the path, a folder included, keeps its number from being used.
bool PathTaken(const host::Text& path) {
  bool isDirectory = false;
  bool isRegularFile = false;
  return platform::GetPathKind(path.c_str(), isDirectory, isRegularFile);
}

}  // namespace

const char kOpenDialogFilter[] =
    "JEPG图片文件（*.jpg）|*.jpg|BMP图片文件（*.bmp）|*.bmp|TIF图片文件（*.tif）|*.tif|PNG图片文件（*.png）|*.png|"
    "PPM图片文件（*.ppm）|*.ppm|PBM图片文件（*.pbm）|*.pbm|PGM图片文件（*.pgm）|*.pgm|PCX图片文件（*.pcx）|*.pcx|"
    "PIC图片文件（*.pic）|*.pic|SGI图片文件（*.sgi）|*.sgi|所有文件（*.*）|*.*";

const TargetFormat& TargetFormatOf(SingleTarget target) { return kTargets[static_cast<std::size_t>(target)]; }

host::Text ConversionFailureMessage(int result) {
  switch (result) {
    case engine::ResultFileMissing: return "转换失败：源文件不存在！";
    case engine::ResultUnreadable: return "转换失败：无法识别或解码源图片！";
    case engine::ResultWriteFailed: return "转换失败：无法写入目标文件！";
    case engine::ResultBadArguments: return "转换失败：参数错误！";
    default: return "转换失败！";
  }
}

host::Text ComputeBaseName(const host::Text& fileName) {
  return host::LeftText(fileName, host::TextLength(fileName) - 4);
}

void RefreshSourceName(host::Host& host) {
  const host::Text path = host.GetText(names::kPathBox);
  host::Text split = path;
#ifdef _WIN32
  // A typed '/' separates there as well; it is never the second byte of a
  // two-byte character, so it can be swapped byte for byte.
  std::replace(split.begin(), split.end(), '/', '\\');
#endif
  const std::vector<host::Text> pieces = host::SplitText(split, std::string(1, platform::kPathSeparator));
  host::Text name;
  if (!pieces.empty()) {
    name = pieces.back();
    host.SetText(names::kNameBox, name);
  } else {
    name = host.GetText(names::kNameBox);
  }
  // Computed here, in order, rather than on a thread per change: a drop sets
  // the text twice, and a late thread could leave the older name behind.
  State().SetBaseName(ComputeBaseName(name));
  UpdateFormatButtons(host, path);
}

void UpdateFormatButtons(host::Host& host, const host::Text& path) {
  const host::Text tail = host::RightText(path, 3);
  int disabled = -1;  // no row: all ten disabled
  for (const ExtensionRow& row : kExtensions) {
    if (tail == row.first || tail == row.second) {
      disabled = static_cast<int>(row.disables);
      break;
    }
  }
  for (int i = 0; i < kSingleTargetCount; ++i) {
    host.SetDisabled(names::kConvertButtons[i], disabled < 0 || disabled == i);
  }
}

void ConvertSingleFile(host::Host& host, SingleTarget target) {
  if (host.IsExiting()) return;
  const TargetFormat& row = TargetFormatOf(target);
  if (host.GetText(names::kPathBox) == kPathHint) {
    host.ShowMessage("请选取文件后，再进行转换！", 0, kCaption);
    return;
  }
  host.MakeDirectory(row.folder);
  // A number whose file is there already, from an earlier run of the
  // program, is passed over: a new output never replaces a file.
  const host::Text stem = host.GetProgramDirectory() + row.tail + State().BaseName() + "-";
  const int number =
      State().TakeFreeNumber(target, [&](int n) { return PathTaken(stem + host::ToText(n) + row.extension); });
  // Built once from this conversion's own number: the command writes it and
  // the save box names it.
  const host::Text output = stem + host::ToText(number) + row.extension;
  const host::Text source = host.GetText(names::kPathBox);
  if (host.IsExiting()) return;
  const int result = RunCommand(target, source.c_str(), output.c_str());
  host.SetText(names::kSaveBox, output);
  if (result == engine::ResultOk) {
    host.ShowMessage(row.successMessage, 0, kCaption);
  } else {
    host.ShowMessage(ConversionFailureMessage(result), 0, kCaption);
  }
}

void OnPathTextChanged(host::Host& host) { RefreshSourceName(host); }

void OnBrowseClicked(host::Host& host) {
  host.SetTextProperty(names::kOpenDialog, host::Property::Filter, kOpenDialogFilter);
  // A cancel is not told apart: the dialog keeps its previous file name.
  host.ShowFileDialog(names::kOpenDialog);
  host.SetText(names::kPathBox, host.GetTextProperty(names::kOpenDialog, host::Property::FileName));
  if (host.GetText(names::kPathBox).empty()) {
    for (const char* button : names::kConvertButtons) host.SetDisabled(button, false);
  }
}

void OnFilesDropped(host::Host& host, const host::Text& paths) {
  host.SetText(names::kPathBox, host::Text());
  host.SetText(names::kPathBox, paths);
  host.SetText(names::kSaveBox, host.GetText(names::kPathBox));
}

void OnConvertClicked(host::Host& host, SingleTarget target) {
  host.StartThread([&host, target] { ConvertSingleFile(host, target); });
}

}  // namespace app
