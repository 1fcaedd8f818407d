#include "app/SaveFlow.h"

#include <cstdint>
#include <cstdio>

#include "app/AppState.h"
#include "app/ControlNames.h"
#include "engine/core/FileHelpers.h"
#include "platform/Platform.h"

namespace app {
namespace {

constexpr char kCaption[] = "提示";

const SaveRow kSaveRows[kSingleTargetCount] = {
    {"jpg", "JPG", "*.jpg", "JEPG图片文件（*.jpg）|*.jpg", SingleTarget::Jpg},
    {"bmp", "BMP", "*.bmp", "BMP图片文件（*.bmp）|*.bmp", SingleTarget::Bmp},
    {"tif", "TIF", "*.tif", "TIF图片文件（*.tif）|*.tif", SingleTarget::Tif},
    {"png", "PNG", "*.png", "PNG图片文件（*.png）|*.png", SingleTarget::Png},
    {"ppm", "PPM", "*.ppm", "PPM图片文件（*.ppm）|*.ppm", SingleTarget::Ppm},
    {"PGM", "pgm", "*.pgm", "PGM图片文件（*.pgm）|*.pgm", SingleTarget::Pgm},
    {"pbm", "PBM", "*.pbm", "PBM图片文件（*.pbm）|*.pbm", SingleTarget::Pbm},
    {"pcx", "PCX", "*.pcx", "PCX图片文件（*.pcx）|*.pcx", SingleTarget::Pcx},
    {"pic", "PIC", "*.pic", "PIC图片文件（*.pic）|*.pic", SingleTarget::Pic},
    {"sgi", "SGI", "*.sgi", "SGI图片文件（*.sgi）|*.sgi", SingleTarget::Sgi},
};

// The whole converted file, or false when it cannot be opened, is empty, or
// reads shorter than its size: a copy of that would replace the user's file
// with a broken one.
bool ReadConvertedFile(host::Host& host, const host::Text& path, host::Bytes& bytes) {
  bytes.clear();
  if (path.empty()) return false;
  const host::Text resolved = host::ResolveIn(host.GetProgramDirectory(), path);
  if (!engine::IsRegularFile(resolved.c_str())) return false;
  std::FILE* file = platform::OpenFile(resolved.c_str(), "rb");
  if (file == nullptr) return false;
  const std::int64_t size = engine::GetOpenFileSize(file);
  bool ok = size > 0 && static_cast<std::uint64_t>(size) <= SIZE_MAX;
  if (ok) {
    bytes.resize(static_cast<std::size_t>(size));
    ok = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
  }
  std::fclose(file);
  if (!ok) bytes.clear();
  return ok;
}

}  // namespace

const SaveRow* FindSaveRow(const host::Text& savedPath) {
  const host::Text tail = host::RightText(savedPath, 3);
  for (const SaveRow& row : kSaveRows) {
    if (tail == row.first || tail == row.second) return &row;
  }
  return nullptr;
}

host::Text DefaultSaveName(const SaveRow& row) {
  return "改-" + State().BaseName() + "-" + host::ToText(State().Count(row.counter)) + row.pattern;
}

void SaveConvertedFile(host::Host& host) {
  const host::Text saved = host.GetText(names::kSaveBox);
  if (saved.empty()) {
    host.ShowMessage("请先选取文件，点击需要格式转化后再进行保存！", 0, kCaption);
    return;
  }
  if (saved == host.GetText(names::kPathBox)) {
    host.ShowMessage("您选取的文件未转化格式！请点击需要转化的格式！", 0, kCaption);
    return;
  }
  const SaveRow* row = FindSaveRow(saved);
  if (row == nullptr) return;
  host.SetTextProperty(names::kSaveDialog, host::Property::Filter, row->filter);
  host.SetTextProperty(names::kSaveDialog, host::Property::FileName, DefaultSaveName(*row));
  if (!host.ShowFileDialog(names::kSaveDialog)) return;
  // The destination is taken now: a second save started before this copy
  // runs must not redirect it.
  const host::Text destination = host.GetTextProperty(names::kSaveDialog, host::Property::FileName);
  host.StartThread([&host, destination] { CopyConvertedFile(host, destination); });
}

void CopyConvertedFile(host::Host& host, const host::Text& destination) {
  if (host.IsExiting()) return;
  const host::Text source = host.GetText(names::kSaveBox);
  host::Bytes bytes;
  if (!ReadConvertedFile(host, source, bytes)) {
    host.ShowMessage("保存失败：找不到已转换的文件！", 0, kCaption);
    return;
  }
  // Written beside the target and renamed over it only when complete; the
  // result is not reported, as after any attempted copy.
  host.WriteFileBytes(destination, bytes);
}

void OnSaveClicked(host::Host& host) { SaveConvertedFile(host); }

}  // namespace app
