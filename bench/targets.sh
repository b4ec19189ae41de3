#!/bin/sh
# Measures the library against its speed and memory targets in one run and
# prints each target as a ratio with met / MISSED, then the figures behind
# them (Markdown, for RESULTS.md):
# - loading the typical file and the long values, whole processes
#   (one load each, wall time), ours and inih storing nothing interleaved,
#   the other readers beside them; the same loads warm; the price of a
#   fresh page on this machine;
# - peak heap of one load of every file (heap_peak), and the growth of
#   time and heap with size on every shape;
# - ini_destroy, random lookups against GKeyFile, building documents
#   through the calls, saving against GKeyFile and against one write and
#   one fsync of the same bytes.
# Every step runs in a process of its own (inifile_targets STEP ...).
#
#   bench/targets.sh [--large]     --large adds the 200 MB files
#
# Environment: BENCH_BUILD_DIR (default <repo>/build/bench), BENCH_LABEL
# (what the report calls the library measured; default branch@commit of
# the checkout), BENCH_ROUNDS
# (fresh loads of each reader on each target file, default 15),
# BENCH_BUILD_LIMIT (seconds after which a round of building stops,
# default 10: the library before its name index took minutes there),
# TMPDIR (the files and the saves: a folder on a disk, not tmpfs, so that
# flushing means something). The records stay in
# <build>/targets-records.txt; bench/targets.py RECORDS prints the report
# again.
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$repo/build/bench}
rounds=${BENCH_ROUNDS:-15}
limit=${BENCH_BUILD_LIMIT:-10}
large=
if [ "${1:-}" = "--large" ]; then
    large=--large
fi

cmake --preset bench -S "$repo" -B "$build" >/dev/null
cmake --build "$build" --target inifile_targets heap_peak -j2 >/dev/null
bin=$build/bench

files=$(mktemp -d "${TMPDIR:-/tmp}/inifile-targets.XXXXXX")
trap 'rm -rf "$files"' EXIT INT TERM
records=$build/targets-records.txt
: >"$records"

step() {  # step DESCRIPTION COMMAND...: appends the command's records
    echo "$1" >&2
    shift
    "$@" >>"$records" || {
        echo "failed: $*" >&2
        exit 1
    }
}

label=${BENCH_LABEL:-$(git -C "$repo" rev-parse --abbrev-ref HEAD)@$(git -C "$repo" rev-parse --short HEAD)}
machine() {
    printf 'machine when=%s date=%s load=%s cores=%s library=%s\n' "$1" \
        "$(date +%Y-%m-%dT%H:%M)" "$(cut -d' ' -f1-3 /proc/loadavg | tr ' ' /)" "$(nproc)" \
        "$label" >>"$records"
}

machine start
step "Writing the files" "$bin/inifile_targets" generate "$files" $large
step "The price of a fresh page" "$bin/inifile_targets" page_cost

typical=$files/typical216_20MB.ini
long=$files/long_values_20MB.ini
long_line=$files/long_line_20MB.ini
# A layout-keeping reader of ours, once the library has one, is measured
# beside the plain load for the costs of keeping the layout.
layout=
if "$bin/inifile_targets" readers | grep -qx ours_layout; then
    layout=,ours_layout
fi

step "Loading in fresh processes, $rounds rounds" \
    "$bin/inifile_targets" fresh "$rounds" "ours,inih_nothing,none$layout" \
    "$typical" "$long" "$long_line"
step "Loading in fresh processes, the other readers" \
    "$bin/inifile_targets" fresh 5 inih_container,gkeyfile,simpleini "$typical" "$long"
for file in "$typical" "$long"; do
    step "Loading warm: $(basename "$file")" \
        "$bin/inifile_targets" warm 10 "ours,inih_nothing$layout" "$file"
done

# Every file for the growth with size; the 200 MB ones take fewer rounds.
scaling=
for file in "$files"/*.ini; do
    case $file in
    "$typical" | "$long" | "$long_line") ;;  # measured above
    *_200MB.ini) ;;
    *) scaling="$scaling $file" ;;
    esac
done
# shellcheck disable=SC2086 # one argument per file
step "Growth with size: loads in fresh processes" "$bin/inifile_targets" fresh 7 ours $scaling
if [ -n "$large" ]; then
    step "Growth with size: the 200 MB files" \
        "$bin/inifile_targets" fresh 5 ours "$files"/*_200MB.ini
fi

heap() {  # heap READER FILE
    printf 'heap reader=%s file=%s ' "$1" "$(basename "$2" .ini)" >>"$records"
    "$bin/heap_peak" "$1" "$2" >>"$records" || {
        echo "failed: heap_peak $1 $2" >&2
        exit 1
    }
}
echo "Peak heap of one load of every file" >&2
for file in "$files"/*.ini; do
    heap ours "$file"
done
for reader in inih_container gkeyfile simpleini ${layout#,}; do
    heap "$reader" "$typical"
done

step "10,000 random lookups, ours and GKeyFile" "$bin/inifile_targets" lookups 10000 3 "$typical"
step "Building 100,000 sections of 5 keys" \
    "$bin/inifile_targets" build sections 100000 3 "$limit"
step "Building one section of 100,000 keys" "$bin/inifile_targets" build keys 100000 3 "$limit"
step "Saving the typical document" \
    "$bin/inifile_targets" save 7 "$files" "$typical" "ours,gkeyfile,floor$layout"
step "The price of a fresh page, again" "$bin/inifile_targets" page_cost
machine end

python3 "$repo/bench/targets.py" "$records"
