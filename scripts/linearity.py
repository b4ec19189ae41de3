#!/usr/bin/env python3
"""Times the tool on hostile Install.ini files of doubling size and prints
how the time grows: a ratio near 2 per doubling is linear, near 4 would be
quadratic. A measurement, not a test: run it by hand on a quiet machine.

  scripts/linearity.py [--tool build/native/Install] [--steps 4] [--scale 1]

Shapes: one long entry, many sections, many entries in one section, one
value continued over many lines, and entries full of escapes and comments. Exits 1 when
the last doubling of any shape costs more than 3 times the one before."""

import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(here), "tests", "e2e"))

from tree import Tree, release_description  # noqa: E402

GOOD = release_description().encode()
MB = 1 << 20


def long_entry(size):
    return GOOD + b"NOTE=" + b"x" * size + b"\n"


def many_sections(size):
    count = size // 10
    return b"".join(b"[s%07d]\n" % n for n in range(count)) + GOOD


def many_entries(size):
    count = size // 16
    return b"[Install]\n" + b"".join(b"key%07d=value\n" % n for n in range(count)) + GOOD[10:]


def continuations(size):
    return GOOD + b"DEEP=" + b"ab\\\n" * (size // 4) + b"end\n"


def escapes_and_comments(size):
    # Entries whose values are random backslashes, semicolons, spaces and
    # letters: escapes, comments and trimming on every line.
    generator = random.Random(1)
    lines = []
    for n in range(4096):
        value = bytes(generator.choice(b"ab\\;  \t") for _ in range(generator.randrange(1, 200)))
        lines.append(b"k%d=%s\n" % (n, value))
    block = b"".join(lines)
    return b"[Other]\n" + block * (size // len(block) + 1) + GOOD


SHAPES = [("long entry", long_entry), ("many sections", many_sections),
          ("many entries", many_entries), ("continuations", continuations),
          ("escapes", escapes_and_comments)]


def seconds(tool, root, repeat=3):
    best = None
    for _ in range(repeat):
        start = time.perf_counter()
        subprocess.run([tool, "-s", root], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    return best


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", default=os.path.join(os.path.dirname(here), "build", "native",
                                                       "Install"))
    parser.add_argument("--steps", type=int, default=4)
    parser.add_argument("--scale", type=float, default=1.0,
                        help="the smallest file in megabytes (default 1)")
    options = parser.parse_args()
    scratch = tempfile.mkdtemp(prefix="quorvel-linearity-")
    worst = 0.0
    try:
        tree = Tree(os.path.join(scratch, "tree"))
        print("%-14s %10s %10s %8s" % ("shape", "MB", "seconds", "ratio"))
        for name, make in SHAPES:
            previous = None
            for step in range(options.steps):
                size = int(options.scale * MB) << step
                with open(tree.path("Install.ini"), "wb") as f:
                    f.write(make(size))
                elapsed = seconds(options.tool, tree.base)
                ratio = elapsed / previous if previous else None
                if ratio is not None and step == options.steps - 1:
                    worst = max(worst, ratio)
                print("%-14s %10.1f %10.3f %8s" % (name, size / MB, elapsed,
                                                   "%.2f" % ratio if ratio else "-"))
                previous = elapsed
                shutil.rmtree(tree.root_bin(), ignore_errors=True)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print("worst last doubling: %.2f" % worst)
    return 1 if worst > 3 else 0


if __name__ == "__main__":
    sys.exit(main())
