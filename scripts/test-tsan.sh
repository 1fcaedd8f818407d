#!/usr/bin/env bash
# The concurrency tests under ThreadSanitizer: the scratch-name race test, the
# engine load test (cut down unless PICTOMILL_FULL_LOAD=1) and the application's
# flows against the scripted host. Any report fails the run. Only these: the
# codec libraries are not instrumented and Qt is not built for it, so nothing
# that goes through the Qt host runs here.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPICTOMILL_WERROR=ON \
  -DPICTOMILL_TSAN=ON -DPICTOMILL_GUI=ON -DPICTOMILL_BENCH=OFF
ninja -C build-tsan engine_core_tests load_tests app_flow_tests
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
ctest --test-dir build-tsan --output-on-failure -j "$(nproc)" \
  -R '^(ScratchMapping\.ConcurrentImagesNeverShareAFile|Load\.EightThreadsMatchOneAtATimeAndLeaveNothing|BatchTest\..*|FlowTest\..*)$'
