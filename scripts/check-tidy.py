#!/usr/bin/env python3
"""Runs clang-tidy 14 (.clang-tidy) over every C and C++ source tracked by
git, with the compile commands of the given build trees. The Windows-only
sources, which no Linux build compiles, are checked for the mingw-w64
target, and the consumers of the installed library (built by their test,
not by the build) with the library's header. Prints the files left
unchecked, and every finding; exits 1 when there is a finding.

  check-tidy.py BUILD_DIR [BUILD_DIR...]"""

import json
import os
import re
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TIDY = os.environ.get("CLANG_TIDY", "clang-tidy-14")
# The flags a Windows-only source is compiled with, for clang's parser.
WINDOWS_FLAGS = ["--target=x86_64-w64-mingw32", "-std=c++20",
                 "-I" + os.path.join(REPO, "platform"), "-I" + os.path.join(REPO, "inifile")]
# Programs that only include the library's public header.
CONSUMERS = "tests/install/"
CONSUMER_FLAGS = {".c": ["-std=c11"], ".cpp": ["-std=c++20"]}


def tracked_sources():
    listed = subprocess.run(["git", "ls-files", "*.c", "*.cpp"], cwd=REPO, check=True,
                            stdout=subprocess.PIPE, text=True).stdout.split()
    return [os.path.join(REPO, f) for f in listed if os.path.isfile(os.path.join(REPO, f))]


def compiled_files(build):
    with open(os.path.join(build, "compile_commands.json")) as f:
        return {os.path.realpath(os.path.join(e["directory"], e["file"])) for e in json.load(f)}


def windows_only(path):
    with open(path, errors="replace") as f:
        return "<windows.h>" in f.read()


def tidy(job):
    path, arguments = job
    result = subprocess.run([TIDY, "--quiet", path] + arguments, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True)
    # Drop the counts of warnings found, and suppressed, in system headers.
    lines = [line for line in result.stdout.splitlines()
             if not re.fullmatch(r"\d+ warnings? (generated|treated as errors)\.", line)]
    return path, result.returncode, "\n".join(lines)


def main():
    builds = [os.path.abspath(b) for b in sys.argv[1:]]
    if not builds:
        print(__doc__)
        return 2
    databases = [(b, compiled_files(b)) for b in builds]
    jobs = []
    unchecked = []
    for path in tracked_sources():
        real = os.path.realpath(path)
        build = next((b for b, files in databases if real in files), None)
        if build is not None:
            jobs.append((path, ["-p", build]))
        elif windows_only(path):
            jobs.append((path, ["--"] + WINDOWS_FLAGS))
        elif os.path.relpath(path, REPO).startswith(CONSUMERS):
            flags = CONSUMER_FLAGS[os.path.splitext(path)[1]]
            jobs.append((path, ["--"] + flags + ["-I" + os.path.join(REPO, "inifile")]))
        else:
            unchecked.append(os.path.relpath(path, REPO))

    failed = []
    with ThreadPoolExecutor(max_workers=2) as pool:
        for path, status, output in pool.map(tidy, jobs):
            if status != 0:
                failed.append(os.path.relpath(path, REPO))
                print(output.strip())
    if unchecked:
        print("Not compiled by these builds, not checked: " + " ".join(unchecked))
    if failed:
        print("clang-tidy findings in: " + " ".join(failed))
        return 1
    print("%d files clean under clang-tidy" % len(jobs))
    return 0


if __name__ == "__main__":
    sys.exit(main())
