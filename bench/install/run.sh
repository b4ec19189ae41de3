#!/bin/sh
# Whole-installation benchmark: a silent run of the tool on a tree whose seven
# executables are 2 MB each, against the floor of the same work made as
# durable: one cp process copying the same nine files into the same folder,
# then sync. The tool forces every file it puts in place to the disk before
# its rename; the target is at most 2 times the floor. Whole processes,
# timed by hyperfine in the same run.
#
# Environment: BENCH_BUILD_DIR (default <repo>/build/bench-install),
#              BENCH_DIR (default a fresh temporary directory).
set -eu
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=${BENCH_BUILD_DIR:-$repo/build/bench-install}
work=${BENCH_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/quorvel-bench.XXXXXX")}

cmake --preset native -S "$repo" -B "$build" -DQUORVEL_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target Install >/dev/null

tree=$work/tree
mkdir -p "$tree/sumbra-5.10.3/bin" "$tree/releases/R16B" "$tree/bin" "$work/floor"
printf '[Install]\nVSN=5.10.3\nSYSTEM_VSN=R16B\n' >"$tree/Install.ini"
for name in qvl wqvl qvlc brevant kestin ostrel vk_run; do
    head -c 2097152 /dev/urandom >"$tree/sumbra-5.10.3/bin/$name.exe"
done
head -c 65536 /dev/urandom >"$tree/releases/R16B/start_mirren.boot"
head -c 65536 /dev/urandom >"$tree/releases/R16B/start_velmar.boot"

bin=$tree/sumbra-5.10.3/bin
release=$tree/releases/R16B
hyperfine --warmup 5 --runs 100 --export-markdown "$work/results.md" \
    --command-name "Install -s (whole installation)" "$build/Install -s $tree" \
    --command-name "cp of the same nine files, then sync (floor)" \
    "cp $bin/qvl.exe $bin/wqvl.exe $bin/qvlc.exe $bin/brevant.exe $bin/kestin.exe $bin/ostrel.exe $bin/vk_run.exe $release/start_mirren.boot $release/start_velmar.boot $work/floor/ && sync"
cat "$work/results.md"
[ -n "${BENCH_DIR:-}" ] || rm -rf "$work"
