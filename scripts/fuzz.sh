#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build/fuzz) and runs each for a bounded time on its
# seeds. A crash, a hang, a sanitizer report or a broken property stops that target and fails the
# run; the input that did it is kept in build/fuzz/artifacts/.
#
#   bash scripts/fuzz.sh                 every target, 45 s each
#   bash scripts/fuzz.sh 3600 rtf        one target for an hour
#   QC_FUZZ_SECONDS=60 bash scripts/fuzz.sh
#
# Inputs that reach new code are kept in build/fuzz/corpus/<target>/ (the seeds in
# fuzz/corpus/<target>/ are only read), so later runs go on from there.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-${QC_FUZZ_SECONDS:-45}}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(config datefile userinfo server rtf sealed rtftext recovery windowstate archive)

build="$top/build/fuzz"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQC_FUZZ=ON -DQC_BENCH=OFF \
      -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

mkdir -p "$build/artifacts" "$build/logs"
# Undefined behaviour stops the run (the targets are built not to recover); show where it was.
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Freed memory goes back to the system now and then, so that hours of small inputs do not look
# like the memory growth -rss_limit_mb is there to catch.
export ASAN_OPTIONS=quarantine_size_mb=64:allocator_release_to_os_interval_ms=1000
failed=()
for t in "${targets[@]}"; do
    mkdir -p "$build/corpus/$t"
    log="$build/logs/$t.log"
    start=$(date +%s)
    # -timeout: an input that takes longer than 10 s is a hang; -rss_limit_mb: memory is bounded.
    if "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" \
        "$build/corpus/$t" "$top/fuzz/corpus/$t" >"$log" 2>&1; then
        runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
        echo "fuzz_$t: $runs inputs in $(( $(date +%s) - start )) s, nothing found"
    else
        echo "fuzz_$t: FOUND A FAULT after $(( $(date +%s) - start )) s; log $log"
        grep -v '^#[0-9]' "$log" | tail -n 60
        failed+=("$t")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing failed: ${failed[*]} (inputs in $build/artifacts/)"
    exit 1
fi
