// The libjpeg error manager of JpegCodec: the library's own manager followed
// by the jump buffer of the operation in progress. Both live in the codec
// object, so a fatal error can jump back without any destructor being skipped.
#pragma once

#include <csetjmp>
#include <cstdio>  // before jpeglib.h, which needs FILE

#include <jpeglib.h>

namespace codecs {

struct JpegErrorManager {
  jpeg_error_mgr manager;  // first member: the library hands this pointer back
  std::jmp_buf recovery;
};

// Fills the standard manager and replaces its fatal-error and message hooks:
// a fatal error formats its text, discards it and jumps to recovery; warnings
// and trace messages go nowhere (no library text may reach a console).
jpeg_error_mgr* ArmJpegErrorManager(JpegErrorManager& errors);

}  // namespace codecs
