#!/bin/sh
# Two threads saving at once (tests/inifile/save_threads.cpp) in a
# ThreadSanitizer build of the library alone: any data race between the
# saves, or a save that fails, fails this check.
#
# Environment: THREADS_BUILD_DIR (default <repo>/build/threads), CXX.
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${THREADS_BUILD_DIR:-$repo/build/threads}
mkdir -p "$build"

sources=
for source in "$repo"/inifile/*.cpp; do
    case "$source" in *_win32.cpp) ;; *) sources="$sources $source" ;; esac
done
# shellcheck disable=SC2086 # one word per source
"${CXX:-g++}" -std=c++20 -O1 -g -fsanitize=thread -pthread -I"$repo/inifile" \
    $sources "$repo/tests/inifile/save_threads.cpp" -o "$build/save_threads"
TSAN_OPTIONS="halt_on_error=1 exitcode=66" "$build/save_threads"
echo "save_threads: two threads saved at once, no data race"
