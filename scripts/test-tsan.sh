#!/usr/bin/env bash
# The engine's concurrency tests under ThreadSanitizer: the scratch-name race
# test and the load test (cut down unless PICTOMILL_FULL_LOAD=1). Any report
# fails the run. Only these: the codec libraries and Qt are not instrumented.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPICTOMILL_WERROR=ON \
  -DPICTOMILL_TSAN=ON -DPICTOMILL_GUI=OFF -DPICTOMILL_BENCH=OFF
ninja -C build-tsan engine_core_tests load_tests
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
ctest --test-dir build-tsan --output-on-failure \
  -R '^(ScratchMapping\.ConcurrentImagesNeverShareAFile|Load\.EightThreadsMatchOneAtATimeAndLeaveNothing)$'
