#!/bin/sh
# Installs the Debian packages the build and the tests need (as root through
# apt-get; otherwise it names what to install), then builds and runs every
# test of every preset: native, sanitize (AddressSanitizer and
# UndefinedBehaviorSanitizer), clang (clang++, warnings are errors) and
# windows (mingw-w64 cross build, tests under Wine), plus the fuzz run,
# valgrind over the test programs, the layout (clang-format) and
# clang-tidy checks of the sources, and the coverage of the whole native
# test suite (scripts/coverage.sh).
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

packages="cmake ninja-build g++ clang libclang-rt-14-dev python3 googletest libgtest-dev \
libbenchmark-dev valgrind g++-mingw-w64-x86-64-posix wine64 gcovr pkg-config \
libinih-dev libglib2.0-dev hyperfine util-linux mount clang-format-14 clang-tidy-14"

missing=""
for package in $packages; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [ "$status" = "installed" ] || missing="$missing $package"
done
if [ -n "$missing" ]; then
    if [ "$(id -u)" = 0 ]; then
        echo "== Installing:$missing"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
    else
        echo "Missing Debian packages:$missing" >&2
        echo "Install them as root: apt-get install$missing" >&2
        exit 1
    fi
fi

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
step "Layout of the sources (clang-format)"
"$repo/scripts/check-format.sh" || status=1

step "clang-tidy over the sources"
"$repo/scripts/check-tidy.py" build/native build/fuzz || status=1

step "Coverage of the installer, the library and the POSIX platform layer"
"$repo/scripts/coverage.sh" || status=1

# CTest hands its standard input to the tests: give it none, so that no
# test, under Wine above all, reads what was typed into the terminal.
for preset in sanitize windows clang native; do
    step "Testing preset $preset"
    ctest --preset "$preset" -j2 </dev/null || status=1
done
exit $status
