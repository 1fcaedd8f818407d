#include "codecs/library/JpegErrorManager.h"

namespace codecs {
namespace {

[[noreturn]] void ExitToRecovery(j_common_ptr state) {
  // The text is formatted as the library expects and then dropped: no library
  // message is ever shown, logged or returned.
  char text[JMSG_LENGTH_MAX];
  (*state->err->format_message)(state, text);
  std::longjmp(reinterpret_cast<JpegErrorManager*>(state->err)->recovery, 1);
}

void Silence(j_common_ptr) {}

}  // namespace

jpeg_error_mgr* ArmJpegErrorManager(JpegErrorManager& errors) {
  jpeg_error_mgr* manager = jpeg_std_error(&errors.manager);
  manager->error_exit = &ExitToRecovery;
  manager->output_message = &Silence;
  return manager;
}

}  // namespace codecs
