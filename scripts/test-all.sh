#!/bin/sh
# Installs the Debian packages the build and the tests need (as root through
# apt-get; otherwise it names what to install), then builds and tests:
# - the presets native, sanitize (AddressSanitizer and
#   UndefinedBehaviorSanitizer), clang (clang++) and windows (mingw-w64
#   cross build, tests under Wine), each with its whole test suite: unit,
#   end-to-end, anomaly (Linux builds), installed library and package;
# - the fuzz run and the fuzz preset's tests, valgrind over the unit test
#   programs, two threads saving at once under ThreadSanitizer
#   (scripts/check-threads.sh), the layout (clang-format) and clang-tidy
#   checks of the sources, and the coverage of the whole native test suite
#   (scripts/coverage.sh);
# - plain builds as a packager configures them (no preset: build types
#   Release and None, with g++ and with clang++): the whole tree built, its
#   unit suites run (the presets run the rest on the same code).
# Ends with the time each step took. The fuzz run and clang-tidy run beside
# the test suites, into logs in build/ that are shown once they end.
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

packages="cmake ninja-build g++ clang libclang-rt-14-dev python3 python3-pytest googletest \
libgtest-dev libbenchmark-dev valgrind g++-mingw-w64-x86-64-posix wine64 gcovr pkg-config \
libinih-dev libglib2.0-dev libsimpleini-dev hyperfine util-linux mount clang-format-14 clang-tidy-14"

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

for preset in native sanitize clang windows; do
    step "Building preset $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j2
done

# The test suites mostly wait (for processes, files, Wine) and leave a core
# idle: the fuzz run and clang-tidy, which only compute, run beside them,
# each into its log in build/. The fuzz run lasts a fixed time and keeps
# its core; clang-tidy has a fixed amount of work and takes what the tests
# leave (nice), so that it does not slow them.
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
    echo "== $2 (beside the tests; log in build/$1.log)"
    cat "build/$1.log"
    timings="$timings$(printf '%6d s  %s (beside the tests)' "$(cat "build/$1.seconds")" "$2")
"
    return $code
}

status=0
cmake --preset fuzz >/dev/null  # clang-tidy reads its compile commands
background fuzz "$repo/scripts/fuzz.sh"
background tidy nice -n 19 "$repo/scripts/check-tidy.py" build/native build/fuzz

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

step "Two threads saving at once (ThreadSanitizer)"
"$repo/scripts/check-threads.sh" || status=1

step "Layout of the sources (clang-format)"
"$repo/scripts/check-format.sh" || status=1

# CTest hands its standard input to the tests: give it none, so that no
# test, under Wine above all, reads what was typed into the terminal.
for preset in windows clang native sanitize; do
    step "Testing preset $preset"
    ctest --preset "$preset" -j2 </dev/null || status=1
done

step "Coverage of the installer, the library and the POSIX platform layer"
"$repo/scripts/coverage.sh" || status=1

step "Waiting for the fuzz run and clang-tidy"
collect fuzz "Fuzzing the configuration library" || status=1
collect tidy "clang-tidy over the sources" || status=1

# Plain configures, as a packager or a user of a release makes them: no
# preset, so warnings are not errors (GCC 12 warns falsely at -O3 in the
# tests), but the whole tree builds and its unit suites pass.
for compilers in gcc:g++ clang:clang++; do
    for type in Release None; do
        cc=${compilers%%:*}
        cxx=${compilers#*:}
        build=build/plain-$cc-$type
        step "Plain build, $cxx, build type $type ($build)"
        if cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE="$type" \
                -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" >"$build.log" 2>&1 &&
            cmake --build "$build" -j2 >>"$build.log" 2>&1; then
            echo "built; $(grep -c 'warning:' "$build.log" || true) warnings (log in $build.log)"
            ctest --test-dir "$build" -LE pytest -j2 --output-on-failure </dev/null \
                >"$build/ctest.log" 2>&1 ||
                { grep -E "\*\*\*|Failed|FAILED" "$build/ctest.log"; status=1; }
            tail -n 3 "$build/ctest.log"
        else
            tail -n 30 "$build.log"
            echo "FAILED: the build did not complete (log in $build.log)"
            status=1
        fi
    done
done

step "Testing preset fuzz (the seeds through the fuzz target)"
ctest --preset fuzz </dev/null || status=1

step "Done"
echo "Time each step took:"
printf '%s' "$timings"
echo "$(($(date +%s) - began)) s in all; status $status"
exit $status
