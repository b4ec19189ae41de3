#!/bin/sh
# Builds the tool and runs it, interactively, on a scratch copy of the sample
# distribution in examples/sample (the checkout is never changed), then shows
# the resulting bin folder and the content of qvl.ini. Installs the few
# Debian packages the build needs first (as root through apt-get; otherwise
# it names them).
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
"$repo/scripts/install-packages.sh" cmake ninja-build g++
build=$repo/build/sample
cmake --preset native -S "$repo" -B "$build" -DQUORVEL_TESTS=OFF >/dev/null
cmake --build "$build" --target Install
scratch=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-sample.XXXXXX")
cp -R "$repo/examples/sample/." "$scratch/"
cp "$build/Install" "$scratch/"
echo "Sample distribution copied to $scratch"
"$scratch/Install" "$@"
echo
echo "== $scratch/bin"
ls -l "$scratch/bin"
echo
echo "== $scratch/bin/qvl.ini"
cat "$scratch/bin/qvl.ini"
