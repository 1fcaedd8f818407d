// Page "单个转换": choosing the source (typing, browsing, dropping), keeping
// the ten convert buttons in step with its extension, and the ten
// conversions into the fixed folders under the program directory.
#pragma once

#include "app/Handlers.h"
#include "host/Host.h"

namespace app {

inline constexpr char kPathHint[] = "支持拖拽图像进程序";
extern const char kOpenDialogFilter[];

// One row of the single-file target table. Paths use the platform
// separator; `tail` follows the program directory.
struct TargetFormat {
  SingleTarget target;
  const char* button;
  const char* folder;          // relative to the program directory
  const char* tail;            // "\tmp\png图片\改-" on Windows
  const char* extension;       // ".png"
  const char* successMessage;  // "PNG格式转换成功！"
};
const TargetFormat& TargetFormatOf(SingleTarget target);

// The message under "提示" for a failed conversion, from its result code.
host::Text ConversionFailureMessage(int result);

// The file name without its last four bytes (empty for four bytes or fewer).
host::Text ComputeBaseName(const host::Text& fileName);
// The path box's last piece into 编辑框_参数变量, baseName from it, buttons.
void RefreshSourceName(host::Host& host);
// Disables the button whose extension the path ends in and enables the
// others; all ten disabled when no row matches (case-sensitive).
void UpdateFormatButtons(host::Host& host, const host::Text& path);

// The worker of one convert click.
void ConvertSingleFile(host::Host& host, SingleTarget target);

}  // namespace app
