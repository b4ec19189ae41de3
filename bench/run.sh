#!/bin/sh
# Builds the benchmarks with the bench preset, writes the input files into
# a scratch directory, measures throughput of loads in a loop (inifile_bench,
# one process per benchmark) and peak memory and CPU time of one load in a
# fresh process (peak_memory), and prints one table.
#
#   bench/run.sh [--large]      --large adds the 200 MB files
#
# Environment: BENCH_BUILD_DIR (default <repo>/build/bench), BENCH_ROUNDS
# (default 3), TMPDIR.
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$repo/build/bench}
large=
if [ "${1:-}" = "--large" ]; then
    large=--large
fi

cmake --preset bench -S "$repo" -B "$build" >/dev/null
cmake --build "$build" --target inifile_bench peak_memory -j2 >/dev/null

files=$(mktemp -d "${TMPDIR:-/tmp}/inifile-bench-files.XXXXXX")
trap 'rm -rf "$files"' EXIT INT TERM

"$build/bench/inifile_bench" $large --generate "$files"
# One process per benchmark, so that no run inherits another's heap. The
# machine may be shared: every measurement is taken in several rounds spread
# over the whole run, and the report keeps the fastest.
rounds=${BENCH_ROUNDS:-3}
"$build/bench/inifile_bench" $large --files "$files" --benchmark_list_tests=true \
    >"$files/benchmarks.txt"
: >"$files/peak.txt"
round=1
while [ "$round" -le "$rounds" ]; do
    n=0
    while read -r benchmark; do
        n=$((n + 1))
        "$build/bench/inifile_bench" $large --files "$files" \
            --benchmark_filter="^$benchmark\$" \
            --benchmark_repetitions=3 --benchmark_min_time=0.2 \
            --benchmark_report_aggregates_only=true \
            --benchmark_out="$files/throughput_${round}_$n.json" --benchmark_out_format=json \
            </dev/null >/dev/null 2>>"$files/benchmark.log" || {
            cat "$files/benchmark.log" >&2
            exit 1
        }
    done <"$files/benchmarks.txt"

    # Peak memory and CPU time of one load, each in a fresh process.
    for file in "$files"/*.ini; do
        name=$(basename "$file" .ini)
        for reader in ours inih_nothing inih_container gkeyfile heap_floor; do
            case "$reader:$name" in
                heap_floor:long_line_*) continue ;;
                ours:*|*:typical_[0-9]*|*:one_section_*|*:long_line_*) ;;
                *) continue ;;
            esac
            for run in 1 2; do
                if peak=$("$build/bench/peak_memory" "$reader" "$file"); then
                    echo "$name $reader $peak" >>"$files/peak.txt"
                fi
            done
        done
    done
    round=$((round + 1))
done

# Growth with size, and ours against inih storing nothing and against the
# heap floor (two heap blocks per line, nothing parsed): one load per fresh
# process, every file in turn, ten times over, so that the readers and all
# sizes meet the same moments of a shared machine.
round=1
while [ "$round" -le 10 ]; do
    for file in "$files"/typical_[0-9]*.ini "$files"/one_section_*.ini "$files"/long_line_*.ini; do
        name=$(basename "$file" .ini)
        for reader in ours inih_nothing heap_floor; do
            case "$reader:$name" in heap_floor:long_line_*) continue ;; esac
            if peak=$("$build/bench/peak_memory" "$reader" "$file"); then
                echo "$name $reader $peak" >>"$files/peak.txt"
            fi
        done
    done
    round=$((round + 1))
done

python3 "$repo/bench/report.py" "$files/peak.txt" "$files"/throughput_*.json
