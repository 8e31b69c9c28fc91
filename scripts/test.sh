#!/usr/bin/env bash
# Builds everything and runs every test headless; then the same tests once more built with
# AddressSanitizer and UndefinedBehaviorSanitizer, and each fuzz target for a short time.
# Any failure, sanitizer report or fuzzer finding fails the command.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/deps.sh"
# The store holds no window and no socket.
bash "$top/scripts/check-includes.sh"
build="$top/build/test"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build"
cd "$build"
# Most tests draw offscreen; the few that need a real desktop start their own Xvfb.
ctest --output-on-failure -j2
echo "normal build and tests: ${SECONDS} s"
SECONDS=0

# The sanitizer run: its own build tree. Reports of every process, the programs the tests start
# included, are written to files, so that none goes unseen.
asan="$top/build/asan"
cmake -S "$top" -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQC_SANITIZE=ON -DQC_BENCH=OFF >/dev/null
cmake --build "$asan"
reports="$asan/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
export ASAN_OPTIONS="log_path=$reports/asan:detect_leaks=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$top/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="log_path=$reports/ubsan:print_stacktrace=1:halt_on_error=1"
cd "$asan"
status=0
ctest --output-on-failure -j2 || status=1
if compgen -G "$reports/*" >/dev/null; then
    for f in "$reports"/*; do
        echo "==== sanitizer report $f"
        cat "$f"
    done
    status=1
fi
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
[ $status -eq 0 ] || { echo "the sanitizer run failed"; exit 1; }
echo "sanitizer build and tests: ${SECONDS} s, no reports"
SECONDS=0

# Each fuzz target for a short time on its seeds.
bash "$top/scripts/fuzz.sh" "${QC_FUZZ_SECONDS:-45}"
echo "fuzz build and runs: ${SECONDS} s"
