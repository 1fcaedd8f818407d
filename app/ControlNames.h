// The names of the start window and its controls, exactly as the window
// description gives them. app/ is compiled with the GB18030 execution
// character set, so these literals are code-page bytes like every other text.
#pragma once

namespace app::names {

inline constexpr const char kStartWindow[] = "启动窗口";
inline constexpr const char kTab[] = "选择夹1";

// Page 1 "单个转换".
inline constexpr const char kDrop[] = "拖放对象1_路径";
inline constexpr const char kOpenDialog[] = "通用对话框1_路径";
inline constexpr const char kSaveDialog[] = "通用对话框1_保存";
inline constexpr const char kPathLabel[] = "标签_路径";
inline constexpr const char kPathBox[] = "编辑框_路径";
inline constexpr const char kBrowse[] = "按钮_浏览";
inline constexpr const char kConvertJpg[] = "按钮_转换jpg";
inline constexpr const char kConvertBmp[] = "按钮_转换bmp";
inline constexpr const char kConvertTif[] = "按钮_转换tif";
inline constexpr const char kConvertPng[] = "按钮_转换png";
inline constexpr const char kConvertPic[] = "按钮_转换pic";
inline constexpr const char kConvertPpm[] = "按钮_转换ppm";
inline constexpr const char kConvertPgm[] = "按钮_转换pgm";
inline constexpr const char kConvertPbm[] = "按钮_转换pbm";
inline constexpr const char kConvertPcx[] = "按钮_转换pcx";
inline constexpr const char kConvertSgi[] = "按钮_转换sgi";
inline constexpr const char kSave[] = "按钮_保存";
inline constexpr const char kExit[] = "按钮_退出";
inline constexpr const char kSaveLabel[] = "标签_保存";      // hidden, never touched
inline constexpr const char kSaveBox[] = "编辑框_保存";      // hidden: latest output path
inline constexpr const char kNameBox[] = "编辑框_参数变量";  // hidden: source file name

// Page 2 "批量转换".
inline constexpr const char kBatchGroup[] = "分组框3";
inline constexpr const char kSourceLabel[] = "透明标签6";
inline constexpr const char kSourceFolderBox[] = "编辑框_多_源";
inline constexpr const char kBrowseSource[] = "按钮_多_选择源";
inline constexpr const char kTargetLabel[] = "透明标签5";
inline constexpr const char kTargetFolderBox[] = "编辑框_多_后";
inline constexpr const char kBrowseTarget[] = "按钮_多_选择后";
inline constexpr const char kProgressLabel[] = "透明标签8";
inline constexpr const char kProgress[] = "进度条1";
inline constexpr const char kStatusLine[] = "透明标签7";
inline constexpr const char kBatchJpg[] = "按钮_转换jpg1";
inline constexpr const char kBatchBmp[] = "按钮_转换bmp1";
inline constexpr const char kBatchPng[] = "按钮_转换png1";
inline constexpr const char kStop[] = "按钮_停止";  // usable only while a batch converts
inline constexpr const char kBatchDrop[] = "拖放对象1_路径1";  // never registered

// The ten single-file convert buttons in the order of the target table
// (jpg, bmp, tif, png, ppm, pgm, pbm, pcx, pic, sgi).
inline constexpr const char* kConvertButtons[10] = {
    kConvertJpg, kConvertBmp, kConvertTif, kConvertPng, kConvertPpm,
    kConvertPgm, kConvertPbm, kConvertPcx, kConvertPic, kConvertSgi,
};
// The three batch buttons (jpg, bmp, png).
inline constexpr const char* kBatchButtons[3] = {kBatchJpg, kBatchBmp, kBatchPng};

}  // namespace app::names
