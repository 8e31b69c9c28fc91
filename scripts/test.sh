#!/usr/bin/env bash
# Builds everything and runs every test headless.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/deps.sh"
build="$top/build/test"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build"
cd "$build"
# Most tests draw offscreen; the few that need a real desktop start their own Xvfb.
ctest --output-on-failure -j2
