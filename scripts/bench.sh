#!/usr/bin/env bash
# Builds Release in build/bench-release and prints one table of the diary's figures beside their
# references (start-up, RTF, date files, message downloads). Arguments go to the table tool:
#   --starts N (21)  --repetitions N (5)  --no-xvfb  --diary PATH
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/deps.sh" >&2
build="$top/build/bench-release"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQC_BENCH=ON >/dev/null
if ! grep -q 'build bench/benchtable:' "$build/build.ninja"; then
    echo "Google Benchmark was not found (libbenchmark-dev): no benchmarks to build" >&2
    exit 1
fi
cmake --build "$build" -j2 --target benchtable >&2
exec "$build/bench/benchtable" "$@"
