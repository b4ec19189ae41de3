#!/bin/sh
# Installs the Debian packages the build and the tests need (as root through
# apt-get; otherwise it names what to install), then runs the workflow
# presets (CMakePresets.json: configure, build, test):
# - native, clang, sanitize (AddressSanitizer and UndefinedBehaviorSanitizer)
#   and windows (mingw-w64 cross build, tests under Wine), each with its
#   whole test suite: unit, end-to-end, anomaly (Linux builds), installed
#   library and package;
# - threads: two threads saving at once under ThreadSanitizer;
# - the packager's builds (packager-gcc-release, packager-gcc-none,
#   packager-clang-release, packager-clang-none: build types Release and
#   None with g++ and clang++, no warning an error): the whole tree built,
#   its unit suites run (the presets run the rest on the same code);
# - fuzz: the seeds through the fuzz target, after the fuzz run;
# and valgrind over the unit test programs, the layout (clang-format) and
# clang-tidy checks of the sources, and the coverage of the whole native
# test suite (scripts/coverage.sh).
# Ends with the time each step took. The fuzz run and clang-tidy run beside
# the workflows, into logs in build/ that are shown once they end.
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

packages="cmake ninja-build g++ clang libclang-rt-14-dev python3 python3-pytest googletest \
libgtest-dev libbenchmark-dev valgrind g++-mingw-w64-x86-64-posix wine64 gcovr pkg-config \
libinih-dev libglib2.0-dev hyperfine util-linux mount clang-format-14 clang-tidy-14 python3-pefile"

"$repo/scripts/install-packages.sh" $packages
mkdir -p build

timings=""
current=""
began=$(date +%s)
since=$began
step() {
    now=$(date +%s)
    [ -z "$current" ] || timings="$timings$(printf '%6d s  %s' $((now - since)) "$current")
"
    current=$*
    since=$now
    echo
    echo "== $*"
}

# The test suites mostly wait (for processes, files, Wine) and leave a core
# idle: the fuzz run and clang-tidy, which only compute, run beside the
# workflows, each into its log in build/. The fuzz run lasts a fixed time
# and keeps its core; clang-tidy has a fixed amount of work and takes what
# the rest leaves (nice), so that it does not slow them.
background() {  # background NAME COMMAND...
    name=$1
    shift
    (
        start=$(date +%s)
        code=0
        "$@" || code=$?
        echo $(($(date +%s) - start)) >"build/$name.seconds"
        exit $code
    ) >"build/$name.log" 2>&1 &
    eval "pid_$name=$!"
}
collect() {  # collect NAME TITLE: waits for it and shows its log
    eval "pid=\$pid_$1"
    code=0
    wait "$pid" || code=$?
    echo
    echo "== $2 (beside the workflows; log in build/$1.log)"
    cat "build/$1.log"
    timings="$timings$(printf '%6d s  %s (beside the workflows)' "$(cat "build/$1.seconds")" "$2")
"
    return $code
}

status=0
# clang-tidy reads the compile commands of these two
cmake --preset native >/dev/null
cmake --preset fuzz >/dev/null
background fuzz "$repo/scripts/fuzz.sh"
background tidy nice -n 19 "$repo/scripts/check-tidy.py" build/native build/fuzz

# A workflow's tests get no standard input, so that no test, under Wine
# above all, reads what was typed into the terminal.
for preset in native clang sanitize windows threads; do
    step "Workflow $preset: configure, build, test"
    cmake --workflow --preset "$preset" </dev/null || status=1
done

step "valgrind memcheck over the unit tests"
for program in build/native/tests/installer_tests build/native/tests/inifile/inifile_tests \
               build/native/tests/posix_platform_tests; do
    [ -x "$program" ] || continue
    # A failure is counted, not fatal: the fuzz run and clang-tidy are
    # still waited for.
    if valgrind -q --leak-check=full --errors-for-leak-kinds=all --error-exitcode=1 \
            "$program" --gtest_brief=1 >/dev/null; then
        echo "$program: clean"
    else
        echo "$program: FAILED"
        status=1
    fi
done

step "Layout of the sources (clang-format)"
"$repo/scripts/check-format.sh" || status=1

step "Coverage of the installer, the library and the POSIX platform layer"
"$repo/scripts/coverage.sh" || status=1

step "Waiting for the fuzz run and clang-tidy"
collect fuzz "Fuzzing the configuration library" || status=1
collect tidy "clang-tidy over the sources" || status=1

# As a packager or a user of a release builds: warnings are not errors
# (GCC 12 warns falsely at -O3 in the tests), but the whole tree builds and
# its unit suites pass. Each into its log; the warnings are counted.
for preset in packager-gcc-release packager-gcc-none packager-clang-release \
              packager-clang-none; do
    step "Workflow $preset"
    if cmake --workflow --preset "$preset" </dev/null >"build/$preset.log" 2>&1; then
        echo "built and tested; $(grep -c 'warning:' "build/$preset.log" || true) warnings"
    else
        grep -E "error:|\*\*\*|Failed|FAILED" "build/$preset.log" | head -n 30
        echo "FAILED (log in build/$preset.log)"
        status=1
    fi
    grep -E "tests passed" "build/$preset.log" || true
done

step "Workflow fuzz (the seeds through the fuzz target)"
cmake --workflow --preset fuzz </dev/null || status=1

step "Done"
echo "Time each step took:"
printf '%s' "$timings"
echo "$(($(date +%s) - began)) s in all; status $status"
exit $status
