#!/bin/sh
# Installs the Debian packages the build and the tests need (as root through
# apt-get; otherwise it names what to install), then builds and runs every
# test of every preset: native, sanitize (AddressSanitizer and
# UndefinedBehaviorSanitizer), clang (clang++, warnings are errors) and
# windows (mingw-w64 cross build, tests under Wine), plus the fuzz run and
# the fuzz preset's tests, valgrind over the test programs, the layout
# (clang-format) and clang-tidy checks of the sources, the coverage of the
# whole native test suite (scripts/coverage.sh), and plain builds as a
# packager configures them (no preset: build types Release and None, with
# g++ and with clang++), each with its whole test suite.
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

packages="cmake ninja-build g++ clang libclang-rt-14-dev python3 googletest libgtest-dev \
libbenchmark-dev valgrind g++-mingw-w64-x86-64-posix wine64 gcovr pkg-config \
libinih-dev libglib2.0-dev hyperfine util-linux mount clang-format-14 clang-tidy-14 \
python3-pytest"

"$repo/scripts/install-packages.sh" $packages

step() { echo; echo "== $*"; }

for preset in native sanitize clang windows; do
    step "Building preset $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j2
done

step "Fuzzing the configuration library"
"$repo/scripts/fuzz.sh"

step "valgrind memcheck over the unit tests"
for program in build/native/tests/installer_tests build/native/tests/inifile/inifile_tests \
               build/native/tests/posix_platform_tests; do
    [ -x "$program" ] || continue
    valgrind -q --leak-check=full --errors-for-leak-kinds=all --error-exitcode=1 \
        "$program" --gtest_brief=1 >/dev/null
    echo "$program: clean"
done

status=0
"$repo/scripts/check-threads.sh" || status=1
step "Layout of the sources (clang-format)"
"$repo/scripts/check-format.sh" || status=1

step "clang-tidy over the sources"
"$repo/scripts/check-tidy.py" build/native build/fuzz || status=1

step "Coverage of the installer, the library and the POSIX platform layer"
"$repo/scripts/coverage.sh" || status=1

# CTest hands its standard input to the tests: give it none, so that no
# test, under Wine above all, reads what was typed into the terminal.
#
# Plain configures, as a packager or a user of a release makes them: no
# preset, so warnings are not errors (GCC 12 warns falsely at -O3 in the
# tests), but the whole tree builds and every test passes.
mkdir -p build
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
            ctest --test-dir "$build" -j2 --output-on-failure </dev/null >"$build/ctest.log" 2>&1 ||
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

for preset in sanitize windows clang native; do
    step "Testing preset $preset"
    ctest --preset "$preset" -j2 </dev/null || status=1
done
exit $status
