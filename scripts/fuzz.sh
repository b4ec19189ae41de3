#!/bin/sh
# Builds the libFuzzer target of the configuration library with the fuzz
# preset and runs it for a bounded time on a copy of the seed corpus.
# Exits nonzero on any crash, leak, timeout or failed round trip.
#
# Environment: FUZZ_BUILD_DIR (default <repo>/build/fuzz),
#              FUZZ_SECONDS (default 60).
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$repo/build/fuzz}
seconds=${FUZZ_SECONDS:-60}

cmake --preset fuzz -S "$repo" -B "$build" >/dev/null
cmake --build "$build" --target load_save_fuzzer -j2

# Everything the run writes stays in the build directory: the corpus the
# fuzzer grows, crash artifacts and the scratch files of each input.
run=$build/fuzz-run
rm -rf "$run"
mkdir -p "$run/corpus" "$run/artifacts" "$run/tmp"
cp "$repo"/fuzz/corpus/* "$repo"/tests/inifile/real_files/* "$run/corpus/"

# Inputs are at most 8 KB, so one allocation above 256 MB is a fault; the
# resident limit leaves room for the sanitizer's quarantine.
# The library ends the process with "Out of memory" when malloc fails;
# libFuzzer's own limits report such an input before that happens.
status=0
TMPDIR=$run/tmp \
ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
"$build/fuzz/load_save_fuzzer" \
    -max_total_time="$seconds" \
    -max_len=8192 \
    -timeout=10 \
    -rss_limit_mb=2048 \
    -malloc_limit_mb=256 \
    -print_final_stats=1 \
    -artifact_prefix="$run/artifacts/" \
    "$run/corpus" >"$run/log" 2>&1 || status=$?

tail -n 25 "$run/log"
if [ "$status" -ne 0 ]; then
    echo "fuzz: FAILED (status $status); log and reproducer in $run" >&2
    exit 1
fi
echo "fuzz: passed, $(ls "$run/corpus" | wc -l) inputs in the corpus"
