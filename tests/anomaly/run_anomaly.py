#!/usr/bin/env python3
"""Anomaly tests of the whole tool: every call of every kind made to fail in
turn (fault_loop.py), a misspelt fault plan, and hostile Install.ini files
(hostile.py).

  run_anomaly.py --list
  run_anomaly.py --test NAME --tool PATH --fault-tool PATH --corpus DIR [--sanitized]

--tool is the shipped tool, --fault-tool the same tool built with fault
injection (QUORVEL_FAULT in its environment). --sanitized says that both
were built with the address sanitizer."""

import argparse
import os
import re
import shutil
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
sys.path.insert(0, os.path.join(os.path.dirname(here), "e2e"))

import fault_loop  # noqa: E402
import hostile  # noqa: E402
from tool import Tool  # noqa: E402
from tree import Tree, installation_problems  # noqa: E402


def fault_kinds():
    """The kinds of call the test builds can make fail, as the fault seam's
    table of names spells them."""
    with open(os.path.join(os.path.dirname(here), "fault", "fault.cpp")) as f:
        table = re.search(r"fault_call_names\[[^]]*\] = \{([^}]*)\}", f.read()).group(1)
    return re.findall(r'"([^"]+)"', table)


KINDS = fault_kinds()
TESTS = (["faults." + kind for kind in KINDS] + ["faults.plan"]
         + ["hostile." + name for name in hostile.CASES])

# An empty plan arms nothing; each of these is refused.
BAD_PLANS = ["copy", "cpy:3", "copy:", "copy:0", "copy:3x", "copy:-1", "copy:4294967296",
             ":3", "copy:3:4"]


def plan_checks(tool, shipped):
    """A plan that names no kind or no count ends the run with status 2
    before anything is touched; a count beyond the last call fails nothing;
    the shipped tool, which has no fault injection, ignores any plan."""
    problems = []
    scratch = tempfile.mkdtemp(prefix="quorvel-plan-")
    try:
        tree = Tree(os.path.join(scratch, "tree"))
        root = tool.path(tree.base)
        for plan in BAD_PLANS:
            outcome = tool.run(["-s", root], environment={"QUORVEL_FAULT": plan})
            message = "QUORVEL_FAULT: no such fault plan: %s\n" % plan
            if (outcome.status, outcome.stdout, outcome.stderr) != (2, "", message):
                problems.append("plan %r: status %d, error %r" % (plan, outcome.status,
                                                                  outcome.stderr))
            if os.path.exists(tree.root_bin()):
                problems.append("plan %r: the run went on" % plan)
        counts_file = os.path.join(scratch, "counts")
        outcome = tool.run(["-s", root], environment={"QUORVEL_FAULT": "",
                                                      "QUORVEL_FAULT_COUNTS": counts_file})
        if (outcome.status, outcome.stdout, outcome.stderr) != (0, "", ""):
            problems.append("empty plan: status %d, error %r" % (outcome.status, outcome.stderr))
        problems += installation_problems(tree, root, velmar=False)
        with open(counts_file) as f:
            counts = dict(line.split() for line in f)
        if sorted(counts) != sorted(KINDS):
            problems.append("the tool counts the kinds %s, the tests are for %s"
                            % (sorted(counts), sorted(KINDS)))
        # A call beyond the last is never reached. Counts that cannot be
        # written (a directory is in the way) change nothing.
        beyond = "copy:%d" % (int(counts.get("copy", 0)) + 1)
        outcome = tool.run(["-s", root], environment={"QUORVEL_FAULT": beyond,
                                                      "QUORVEL_FAULT_COUNTS": scratch})
        if (outcome.status, outcome.stdout, outcome.stderr) != (0, "", ""):
            problems.append("%s: status %d, error %r" % (beyond, outcome.status, outcome.stderr))
        problems += installation_problems(tree, root, velmar=False)
        for plan in ("copy:1", "cpy:3"):
            outcome = shipped.run(["-s", root], environment={"QUORVEL_FAULT": plan})
            if (outcome.status, outcome.stdout, outcome.stderr) != (0, "", ""):
                problems.append("the shipped tool with plan %r: status %d, error %r"
                                % (plan, outcome.status, outcome.stderr))
        problems += installation_problems(tree, root, velmar=False)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return ["%d plans refused" % len(BAD_PLANS)], problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--test")
    parser.add_argument("--tool")
    parser.add_argument("--fault-tool")
    parser.add_argument("--corpus")
    parser.add_argument("--sanitized", action="store_true")
    options = parser.parse_args()
    if options.list:
        print("\n".join(TESTS))
        return 0
    if options.test not in TESTS or not options.tool or not options.fault_tool:
        parser.error("--test needs a known test name, --tool and --fault-tool")

    group, name = options.test.split(".")
    if group == "faults" and name == "plan":
        report, problems = plan_checks(Tool(options.fault_tool), Tool(options.tool))
    elif group == "faults":
        report, problems = fault_loop.run_kind(Tool(options.fault_tool), name)
    else:
        report, problems = hostile.run_case(Tool(options.tool), name, options.corpus,
                                            options.sanitized)
    print("%s: %s" % (options.test, "; ".join(report)))
    for problem in problems[:50]:
        print("  " + problem)
    if len(problems) > 50:
        print("  ... and %d more" % (len(problems) - 50))
    print("FAILED" if problems else "passed")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
