#!/usr/bin/env bash
# fuzz-long.sh - a long libFuzzer run of the window-procedure fuzz target.
#
# Configures a Clang build (build/fuzz, or $KVR_BUILD_DIR/fuzz) with the fuzz target, then runs it
# for the given number of seconds (default 600) on the committed corpus, keeping what it finds in
# build/fuzz/fuzz-corpus. A crash or broken invariant leaves its input as build/fuzz/crash-*
# (replay it with: build/fuzz/tests/fuzz/wndproc_fuzz_replay <file>) and makes the script fail.
#
# Usage: scripts/fuzz-long.sh [SECONDS] [extra libFuzzer options...]
#   KVR_FUZZ_JOBS=N   run N fuzzing processes side by side (default 1; the machine has 2 cores)
#   KVR_FUZZ_MERGE=1  afterwards merge the new finds into tests/fuzz/corpus (keeps it minimal)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
seconds="${1:-600}"
shift || true
build="${KVR_BUILD_DIR:-$root/build}/fuzz"
jobs="${KVR_FUZZ_JOBS:-1}"

for tool in clang++ cmake ninja; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "fuzz-long: $tool is needed (apt-get install clang cmake ninja-build)" >&2
        exit 1
    fi
done

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVR_WERROR=ON >"$build.configure.log" 2>&1 ||
    { cat "$build.configure.log" >&2; exit 1; }
cmake --build "$build" -j2 --target wndproc_fuzz wndproc_fuzz_replay

corpus="$build/fuzz-corpus"
mkdir -p "$corpus"
echo "fuzz-long: $seconds s, $jobs job(s), corpus $corpus + tests/fuzz/corpus"
parallel=()
if [ "$jobs" -gt 1 ]; then
    # Each job logs to build/fuzz/fuzz-N.log.
    parallel=(-jobs="$jobs" -workers="$jobs")
fi
status=0
(cd "$build" && "$build/tests/fuzz/wndproc_fuzz" -max_total_time="$seconds" -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$build/" "${parallel[@]}" "$@" \
    "$corpus" "$root/tests/fuzz/corpus") || status=$?

if [ "${KVR_FUZZ_MERGE:-0}" = 1 ] && [ $status -eq 0 ]; then
    "$build/tests/fuzz/wndproc_fuzz" -merge=1 "$root/tests/fuzz/corpus" "$corpus"
fi
if [ $status -ne 0 ]; then
    echo "fuzz-long: the fuzzer stopped with status $status; inputs that failed:" >&2
    ls "$build"/crash-* "$build"/leak-* "$build"/timeout-* 2>/dev/null >&2 || true
fi
exit $status
