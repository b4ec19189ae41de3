#!/usr/bin/env python3
"""End-to-end cases: each runs the built installer in a fresh temporary
directory and checks its exit status, its exact output and the files it
leaves behind.

  run_e2e.py --list [--windows]
  run_e2e.py --case NAME --tool PATH [--hold-tool PATH] [--emulator PROGRAM ARG...]

With --emulator the tool is a Windows program run under that emulator."""

import argparse
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import cases_command_line  # noqa: E402,F401  (registers cases)
import cases_installation  # noqa: E402,F401
import cases_reliability  # noqa: E402,F401
import cases_terminal  # noqa: E402,F401
from framework import CASES, SKIPPED, Context, Skip  # noqa: E402
from tool import Tool  # noqa: E402


def applies(case, windows):
    return not (case.native_only and windows) and not (case.windows_only and not windows)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--windows", action="store_true")
    parser.add_argument("--case")
    parser.add_argument("--tool")
    parser.add_argument("--hold-tool")
    parser.add_argument("--emulator", nargs=argparse.REMAINDER, default=[])
    options = parser.parse_args()

    windows = options.windows or bool(options.emulator)
    if options.list:
        for case in CASES:
            if applies(case, windows):
                print(case.name)
        return 0

    matching = [c for c in CASES if c.name == options.case]
    if not matching or not options.tool:
        parser.error("--case needs a known case name and --tool")
    case = matching[0]
    tool = Tool(options.tool, options.emulator)
    scratch = tempfile.mkdtemp(prefix="quorvel-e2e-")
    try:
        problems = case.body(Context(tool, scratch, {"hold": options.hold_tool}))
    except Skip as reason:
        print("%s: skipped: %s" % (case.name, reason))
        return SKIPPED
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print("%s: %s" % (case.name, case.description))
    for problem in problems:
        print("  " + problem)
    print("FAILED" if problems else "passed")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
