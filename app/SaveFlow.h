// "另存为": a byte-for-byte copy of the latest converted file (the path the
// flows leave in 编辑框_保存) to a place picked in the save dialog.
#pragma once

#include "app/Handlers.h"
#include "host/Host.h"

namespace app {

struct SaveRow {
  const char* first;   // the two accepted last-three-byte texts
  const char* second;
  const char* pattern;  // "*.bmp"
  const char* filter;   // the dialog's whole filter
  SingleTarget counter;
};
// The row for the save box's last three bytes, or null.
const SaveRow* FindSaveRow(const host::Text& savedPath);
// "改-" + baseName + "-" + counter + pattern, asterisk included.
host::Text DefaultSaveName(const SaveRow& row);

// The click of 按钮_保存 (window's thread).
void SaveConvertedFile(host::Host& host);
// The worker: reads the save box now and copies that file to destination.
void CopyConvertedFile(host::Host& host, const host::Text& destination);

}  // namespace app
