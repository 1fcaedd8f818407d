// The application's event handlers and state hooks that the window wiring
// (app/MainWindow.cpp) and start-up (app/Startup.cpp) call. The single-file,
// save and batch flows implement them (app/SingleFileFlow.cpp, app/SaveFlow.cpp,
// app/BatchFlow.cpp, app/AppState.cpp).
//
// Every handler runs on the window's thread; a handler that starts a worker
// does so with host.StartThread and returns at once.
#pragma once

#include "host/Host.h"

namespace app {

// Rows of the single-file target table, in its order.
enum class SingleTarget { Jpg, Bmp, Tif, Png, Ppm, Pgm, Pbm, Pcx, Pic, Sgi };
inline constexpr int kSingleTargetCount = 10;
// Rows of the batch target table.
enum class BatchTarget { Jpg, Bmp, Png };
inline constexpr int kBatchTargetCount = 3;

// AppState lifecycle, called by start-up: create the two empty batch lists
// (before the window exists), zero the ten counters (window-created handler),
// release every text and list (exit routine, after every worker has ended).
void CreateAppState();
void ResetCounters();
void ReleaseAppState();

// 编辑框_路径 text changed: RefreshSourceName.
void OnPathTextChanged(host::Host& host);
// 按钮_浏览 click: the browse flow.
void OnBrowseClicked(host::Host& host);
// 拖放对象1_路径 files dropped: the drop flow (paths as the host delivers them).
void OnFilesDropped(host::Host& host, const host::Text& paths);
// One of the ten convert buttons: StartThread(ConvertSingleFile for the row).
void OnConvertClicked(host::Host& host, SingleTarget target);
// 按钮_保存 click: SaveConvertedFile.
void OnSaveClicked(host::Host& host);
// 按钮_多_选择源 / 按钮_多_选择后 click: folder browse into the source or target box.
void OnBrowseBatchSource(host::Host& host);
void OnBrowseBatchTarget(host::Host& host);
// 按钮_转换jpg1 / bmp1 / png1 click: StartThread(RunBatch for the row).
void OnBatchClicked(host::Host& host, BatchTarget target);
// 按钮_停止 click: the running batches finish the files they are on and stop.
void OnStopClicked(host::Host& host);

}  // namespace app
