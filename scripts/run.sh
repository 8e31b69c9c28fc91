#!/usr/bin/env bash
# Builds the diary and starts it from its own folder outside the build tree
# (${QINGCHUANG_HOME:-~/qingchuang}), so that rebuilding or cleaning never touches the diary.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/deps.sh"
cmake -S "$top" -B "$top/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQC_BENCH=OFF >/dev/null
cmake --build "$top/build/release" --target qingchuang qingchuang-rtf qingchuang-tool
home=${QINGCHUANG_HOME:-$HOME/qingchuang}
mkdir -p "$home"
# The terminal companion lies beside the program: $home/qingchuang-tool.
cp -f "$top/build/release/qingchuang" "$top/build/release/qingchuang-rtf" \
    "$top/build/release/qingchuang-tool" "$home/"
cd "$home"
exec ./qingchuang
