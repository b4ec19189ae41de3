"""The anomaly loop: a clean run counts the calls of each kind; then every
call of the kind, one after the other, is made to fail in a fresh tree, and
the outcome is checked against what the installer's sequence says that
failure leads to (sequence.py), never against the tool's own output."""

import os
import shutil
import tempfile

from sequence import Installation
from tree import Tree, installation_problems, write

SANITIZER_MARKS = ("Sanitizer", "runtime error:")


def strict_leaks(environment=None):
    """The environment with the leak check of the sanitizer build told not
    to count blocks that live frames still point to: then every block not
    released when the process ends is reported, even on the paths that end
    through exit(). Every failure but running out of memory (which ends the
    process from deep inside the library) must release everything."""
    options = os.environ.get("LSAN_OPTIONS", "")
    return dict(environment or {}, LSAN_OPTIONS=(options + ":" if options else "")
                + "use_stacks=0:use_registers=0")
STALE = b"left by an earlier installation\n"
# The interactive run reads a release description with comments, another
# section, carriage returns and a continued entry longer than the reader's
# 1024-byte chunk, so that its reads fail in the middle of a line too.
RICH_RELEASE_DESCRIPTION = ("; Release description\r\n[Other]\r\nVSN = 0.0\r\n[Install]\r\n"
                            "VSN = 5.10.3 ; the current one\r\nNOTE = " + "n" * 1500
                            + "\\\r\n  continued\r\nSYSTEM_VSN = R16B\r\n")


class Variant:
    """A silent run over a fresh tree with the root on the command line, or
    an interactive one answering "n" from the tool's own location over a
    tree that holds an earlier installation and a longer release
    description."""

    def __init__(self, name, interactive):
        self.name = name
        self.interactive = interactive

    def prepare(self, tool, scratch):
        """A fresh tree in scratch; returns (tree, installation, run) where
        run(environment) runs the tool over it once."""
        tree = Tree(os.path.join(scratch, "tree"),
                    ini=RICH_RELEASE_DESCRIPTION if self.interactive else None)
        cwd = os.path.join(scratch, "cwd")
        os.mkdir(cwd)
        if self.interactive:
            executable = os.path.join(tree.base, "Install")
            shutil.copy2(tool.executable, executable)
            installation = Installation(tree, tool.own_directory(tree.base), own_location=True,
                                        interactive=True, velmar=True)
            for path in installation.written_files():
                write(path, STALE)

            def run(environment=None):
                return tool.run([], stdin=b"n\n", executable=executable, cwd=cwd,
                                environment=environment)
        else:
            installation = Installation(tree, tool.path(tree.base), own_location=False,
                                        interactive=False, velmar=False)

            def run(environment=None):
                return tool.run(["-s", tool.path(tree.base)], cwd=cwd, environment=environment)
        return tree, installation, run


VARIANTS = [Variant("silent", False), Variant("interactive", True)]


def snapshot(directory):
    """Every file under directory with its bytes, and every directory."""
    files, directories = {}, set()
    for base, subdirectories, names in os.walk(directory):
        directories.update(os.path.join(base, d) for d in subdirectories)
        for name in names:
            path = os.path.join(base, name)
            with open(path, "rb") as f:
                files[path] = f.read()
    return files, directories


def outcome_problems(outcome, expected):
    problems = []
    if outcome.status not in (0, 1):
        problems.append("ended with status %d (a signal or a sanitizer report)" % outcome.status)
    if any(mark in outcome.stderr for mark in SANITIZER_MARKS):
        problems.append("a sanitizer reported: %r" % outcome.stderr[:2000])
    if outcome.status != expected.status:
        problems.append("exit status %d, expected %d" % (outcome.status, expected.status))
    if outcome.stdout != expected.stdout:
        problems.append("standard output %r, expected %r" % (outcome.stdout, expected.stdout))
    if outcome.stderr != expected.stderr:
        problems.append("standard error %r, expected %r" % (outcome.stderr[:2000], expected.stderr))
    return problems


def file_problems(before, after, installation, expected, complete, allocation):
    """What the run did to the tree beyond what it was to do. complete is the
    outcome of a clean run, whose leaves are the new content of each file."""
    problems = []
    files_before, directories_before = before
    files_after, directories_after = after
    written = set(installation.written_files())
    launcher = installation.tree.versioned_bin("qvl.ini")
    for path in sorted(set(files_before) | set(files_after)):
        was, now = files_before.get(path), files_after.get(path)
        if path not in written:
            if now != was:
                problems.append("%s was %s" % (path, "created" if was is None else
                                               "removed" if now is None else "changed"))
            continue
        if allocation:
            # The out-of-memory exit may come at any allocation: each file
            # is as it was, or fully written, or (qvl.ini) written in part.
            new = complete.leaves[path]
            if now != was and now != new and not (path == launcher and now is not None
                                                  and new.startswith(now)):
                problems.append("%s holds %r" % (path, now[:200]))
        else:
            wanted = expected.leaves.get(path, was)
            if now != wanted:
                problems.append("%s holds %r, expected %r"
                                % (path, None if now is None else now[:200],
                                   None if wanted is None else wanted[:200]))
    new_directories = directories_after - directories_before - {installation.tree.root_bin()}
    problems.extend("directory %s was created" % d for d in sorted(new_directories))
    return problems


def read_counts(path):
    counts = {}
    with open(path) as f:
        for line in f:
            kind, count = line.split()
            counts[kind] = int(count)
    return counts


def count_calls(tool, variant, work):
    """The calls of each kind a clean run makes, and its problems."""
    scratch = tempfile.mkdtemp(dir=work)
    counts_file = os.path.join(work, "counts")
    try:
        tree, installation, run = variant.prepare(tool, scratch)
        outcome = run(strict_leaks({"QUORVEL_FAULT_COUNTS": counts_file}))
        expected = installation.expected()
        problems = outcome_problems(outcome, expected)
        counts = read_counts(counts_file)
        # The sequence and the tool must agree on every call but the
        # allocations, which the sequence does not place.
        for kind, count in sorted(expected.calls.items()):
            if counts.get(kind) != count:
                problems.append("a clean run made %s %s calls, the sequence says %d"
                                % (counts.get(kind), kind, count))
        return counts, problems
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def one_fault(tool, variant, kind, nth, work):
    """Runs the tool with the nth call of kind failing, then again without a
    fault; the problems found."""
    scratch = tempfile.mkdtemp(dir=work)
    try:
        tree, installation, run = variant.prepare(tool, scratch)
        complete = installation.expected()
        expected = installation.expected((kind, nth))
        before = snapshot(tree.base)
        plan = {"QUORVEL_FAULT": "%s:%d" % (kind, nth)}
        outcome = run(plan if kind == "alloc" else strict_leaks(plan))
        problems = outcome_problems(outcome, expected)
        problems += file_problems(before, snapshot(tree.base), installation, expected, complete,
                                  kind == "alloc")
        # Nothing appears beside the tree: not in the working directory,
        # not in the scratch directory.
        beside = sorted(os.listdir(scratch)) + sorted(os.listdir(os.path.join(scratch, "cwd")))
        if beside != ["cwd", "tree"]:
            problems.append("the scratch directory holds %s" % beside)
        # Running again completes the installation.
        again = run(strict_leaks())
        problems += ["second run: " + p for p in outcome_problems(again, complete)]
        problems += ["after the second run: " + p for p in installation_problems(
            tree, installation.root, installation.velmar)]
        return problems
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def run_kind(tool, kind):
    """Every fault of one kind in both variants: (report lines, problems)."""
    work = tempfile.mkdtemp(prefix="quorvel-anomaly-")
    report, problems = [], []
    try:
        total = 0
        for variant in VARIANTS:
            counts, counting_problems = count_calls(tool, variant, work)
            problems += ["%s clean run: %s" % (variant.name, p) for p in counting_problems]
            for nth in range(1, counts.get(kind, 0) + 1):
                problems += ["%s %s:%d: %s" % (variant.name, kind, nth, p)
                             for p in one_fault(tool, variant, kind, nth, work)]
            report.append("%s run: %d %s calls, each made to fail"
                          % (variant.name, counts.get(kind, 0), kind))
            total += counts.get(kind, 0)
        if total == 0:
            problems.append("no run made a single %s call: nothing was tested" % kind)
        report.append("%d faults injected" % total)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return report, problems
