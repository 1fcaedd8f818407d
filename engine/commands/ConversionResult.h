#pragma once

namespace engine {

// What every conversion command answers. -2, -5 and -6 are not used.
enum ConversionResult : int {
  ResultOk = 1,
  ResultFileMissing = -1,
  ResultUnreadable = -3,
  ResultWriteFailed = -4,
  ResultBadArguments = -7,
};

}  // namespace engine
