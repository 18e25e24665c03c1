#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole test suite headless:
# widget tests on Qt's offscreen platform, OpenGL tests under Xvfb with Mesa.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
# CI sets ORVALIS_REQUIRE_SHARED_DATA=ON: there, a missing ../shared/data is an
# error instead of skipped tests.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORVALIS_REQUIRE_SHARED_DATA="${ORVALIS_REQUIRE_SHARED_DATA:-OFF}"
cmake --build build -j2
cd build
xvfb-run -a -s "-screen 0 1600x1000x24" ctest --output-on-failure -j2 "$@"
