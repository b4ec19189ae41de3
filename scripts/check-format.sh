#!/bin/sh
# Checks that every C and C++ source tracked by git follows .clang-format,
# with clang-format 14 (another version lays some lines out differently).
# Only tracked files count: work in progress that is not in git yet, and
# build trees, are left alone. Prints each file that differs and how to
# see or apply the change; exits 1 when there is one.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
format=${CLANG_FORMAT:-clang-format-14}

differ=""
checked=0
for file in $(git ls-files '*.c' '*.cpp' '*.h'); do
    [ -f "$file" ] || continue  # deleted in the working tree
    checked=$((checked + 1))
    "$format" --dry-run -Werror "$file" 2>/dev/null || differ="$differ $file"
done
if [ -n "$differ" ]; then
    echo "Not laid out as .clang-format says:"
    for file in $differ; do
        echo "  $file ($("$format" "$file" | diff "$file" - | grep -c '^<') lines)"
    done
    echo "See the changes with: $format FILE | diff FILE -"
    echo "Apply them with:      $format -i FILE"
    exit 1
fi
echo "$checked files laid out as .clang-format says"
