"""The anomaly loop: a clean run counts the calls of each kind; then every
call of the kind, one after the other, is made to fail in a fresh tree.
Each outcome is held to what any sound installation gives, in whatever
order it makes its calls: a clean end, only the tool's own messages and
only those a failure of that kind can cause, no file cut short, nothing
else touched, no temporary left behind, and a second run that completes."""

import os
import re
import shutil
import tempfile

import messages as say
from tree import (BOOT_FILES, EXECUTABLES, MINIMAL_BOOT, VELMAR_BOOT, Tree, launcher_config, read,
                  write)

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

# The platform's reason under a message: the step and the system's text.
REASON = r"cannot [^\n]*: [^\n]*\S\n"
BAIL_OUT = re.escape(say.BAILING_OUT)
# An executable left uncopied because it is in use: the run goes on.
WARNING = re.compile(say.pattern(say.COPY_FAILED, "source", "target") + REASON
                     + re.escape(say.CONTINUING))
# What ends a run, by the kind of call whose failure can bring it about.
# A kind not named here may end the run with a failed copy or creation.
COPY_FAILED = say.pattern(say.COPY_FAILED, "source", "target") + REASON + BAIL_OUT
CREATE_FAILED = say.pattern(say.CANNOT_CREATE, "target") + REASON + BAIL_OUT
INIT = say.pattern(say.CANNOT_OPEN_INIT)
FATAL = {
    "": r"(?!)",  # a clean run ends with no message at all
    "alloc": re.escape(say.OUT_OF_MEMORY),
    "own_path": re.escape(say.NO_OWN_PATH) + REASON,
    "mkdir": COPY_FAILED,
    "exists": say.pattern(say.FILE_MISSING, "source"),
    "copy": COPY_FAILED,
    "open": INIT + say.pattern(say.CANNOT_OPEN_FILE) + r"\S\n",
    "create": CREATE_FAILED,
    "read": INIT + say.pattern(say.READING_FAILED) + r"\S\n",
    "full_path": say.pattern(say.NO_FULL_PATH) + REASON,
}
# Known kinds whose failure can leave an executable uncopied: none, as only
# a program in use on Windows can, and the POSIX stand-in has none.
WARNING_KINDS = set()


def installation_files(tree, root, velmar):
    """The files a run writes: {path as the tool names it: (host path, path
    of its source as the tool names it ("" for the one it writes itself),
    its whole new content)}."""
    def named(*parts):
        return "\\".join((root,) + parts)

    versioned = ("sumbra-" + tree.vsn, "bin")
    release = ("releases", tree.system_vsn)
    chosen = VELMAR_BOOT if velmar else MINIMAL_BOOT
    files = {named("bin", n): (tree.root_bin(n), named(*versioned, n), read(tree.versioned_bin(n)))
             for n in EXECUTABLES}
    files.update({named("bin", n): (tree.root_bin(n), named(*release, n), read(tree.release_dir(n)))
                  for n in BOOT_FILES})
    files[named("bin", "start.boot")] = (tree.root_bin("start.boot"), named("bin", chosen),
                                         read(tree.release_dir(chosen)))
    config = launcher_config(root, tree.vsn)
    files[named(*versioned, "qvl.ini")] = (tree.versioned_bin("qvl.ini"), "", config)
    files[named("bin", "qvl.ini")] = (tree.root_bin("qvl.ini"), named(*versioned, "qvl.ini"),
                                      config)
    return files


def outcome_problems(outcome, kind, files, interactive, vsn):
    """What is wrong with the status and the output of a run in which one
    call of kind failed ("" for none), and the host paths of the files the
    run reported it could not write."""
    problems, unwritten = [], []
    if outcome.status not in (0, 1):
        problems.append("ended with status %d (a signal or a sanitizer report)" % outcome.status)
    if any(mark in outcome.stderr for mark in SANITIZER_MARKS):
        problems.append("a sanitizer reported: %r" % outcome.stderr[:2000])
    problems += say.undocumented(outcome.stderr)

    def reported(match):
        """A message naming a file must name one of the installation's."""
        source, target = match.groupdict().get("source", ""), match.groupdict().get("target")
        if target is None and source not in {s for _, s, _ in files.values()}:
            problems.append("%r names no file of the installation" % match.group())
        elif target is not None and files.get(target, (0, 0))[1] != source:
            problems.append("%r names no file the installation writes" % match.group())
        elif target is not None:
            unwritten.append(files[target][0])

    rest = outcome.stderr
    while (warning := WARNING.match(rest)) is not None:
        if not warning.group("target").endswith(tuple("\\" + n for n in EXECUTABLES)):
            problems.append("a warning for a file that is no executable: %r" % warning.group())
        if kind in FATAL and kind not in WARNING_KINDS:
            problems.append("a failed %s call cannot leave an executable uncopied: %r"
                            % (kind or "(no)", warning.group()))
        reported(warning)
        rest = rest[warning.end():]
    if (outcome.status == 1) != (rest != ""):
        problems.append("exit status %d after the message %r" % (outcome.status, rest))
    if rest:
        patterns = [FATAL[kind]] if kind in FATAL else [COPY_FAILED, CREATE_FAILED]
        fatal = next(filter(None, (re.fullmatch(p, rest) for p in patterns)), None)
        if fatal is None and kind in FATAL:
            problems.append("a failed %s call cannot end the run with %r" % (kind or "(no)", rest))
        elif fatal is not None and fatal.re.groupindex:
            reported(fatal)
    # The question may not come when the run ends before it.
    success = say.QUESTION + say.SUCCESS % vsn
    wanted = [""] if not interactive else [success] if outcome.status == 0 else ["", say.QUESTION]
    if outcome.stdout not in wanted:
        problems.append("standard output %r, expected %s" % (outcome.stdout, " or ".join(
            repr(w) for w in wanted)))
    return problems, unwritten


def snapshot(directory):
    """Every file under directory with its bytes, and every directory."""
    files, directories = {}, set()
    for base, subdirectories, names in os.walk(directory):
        directories.update(os.path.join(base, d) for d in subdirectories)
        for name in names:
            files[os.path.join(base, name)] = read(os.path.join(base, name))
    return files, directories


def file_problems(before, after, files, unwritten, complete, root_bin):
    """What a run did around it. Each file it writes holds its old content
    (or is still absent) or its whole new content; one it reported it could
    not write holds its old content; complete, each other holds its new
    content. No other file or directory is created, changed or removed,
    but root_bin may be created."""
    (files_before, directories_before), (files_after, directories_after) = before, after
    new = {host: content for host, _, content in files.values()}
    problems = []
    for path in sorted(set(files_before) | set(files_after)):
        was, now = files_before.get(path), files_after.get(path)
        if path not in new:
            if now != was:
                problems.append("%s was %s" % (path, "created" if was is None else
                                               "removed" if now is None else "changed"))
        elif now != was and now == new[path] and path in unwritten:
            problems.append("%s was replaced, yet the tool says it could not be" % path)
        elif now != was and now != new[path]:
            problems.append("%s holds %s, neither all it held nor only the whole new content"
                            % (path, "nothing" if now is None else "%d bytes" % len(now)))
        elif complete and path not in unwritten and now != new[path]:
            problems.append("%s is not installed" % path)
    changed = (directories_after ^ directories_before) - {root_bin}
    problems.extend("directory %s was created or removed" % d for d in sorted(changed))
    return problems


class Trial:
    """A tree in a scratch directory of its own, with the tool run over it:
    silently with a relative root on the command line over a fresh tree, or
    interactively answering "n" from the tool's own location over a tree
    that holds an earlier installation and a longer release description."""

    def __init__(self, tool, interactive, work):
        self.scratch = tempfile.mkdtemp(dir=work)
        self.interactive = interactive
        self.tree = Tree(os.path.join(self.scratch, "tree"),
                         ini=RICH_RELEASE_DESCRIPTION if interactive else None)
        cwd = os.path.join(self.scratch, "cwd")
        os.mkdir(cwd)
        if interactive:
            executable = os.path.join(self.tree.base, "Install")
            shutil.copy2(tool.executable, executable)
            self.files = installation_files(self.tree, tool.own_directory(self.tree.base), True)
            for host, _, _ in self.files.values():
                write(host, STALE)
            self.command = dict(arguments=[], stdin=b"n\n", executable=executable, cwd=cwd)
        else:
            # Given relative to the working directory, the root is made
            # full before use: every message names the full path.
            root = tool.own_directory(self.tree.base)
            self.files = installation_files(self.tree, root, False)
            self.command = dict(arguments=["-s", os.path.join("..", "tree")], cwd=cwd)
        self.tool = tool
        self.before = snapshot(self.scratch)

    def close(self):
        shutil.rmtree(self.scratch, ignore_errors=True)

    def run(self, kind, environment):
        """Runs the tool once; the problems of its outcome, the tree and
        what is around it, compared with before the first run."""
        outcome = self.tool.run(environment=environment, **self.command)
        problems, unwritten = outcome_problems(outcome, kind, self.files, self.interactive,
                                               self.tree.vsn)
        return problems + file_problems(self.before, snapshot(self.scratch), self.files,
                                        unwritten, outcome.status == 0, self.tree.root_bin())


def count_calls(tool, interactive, work):
    """The calls of each kind a clean run makes, and its problems."""
    trial = Trial(tool, interactive, work)
    counts_file = os.path.join(work, "counts")
    try:
        problems = trial.run("", strict_leaks({"QUORVEL_FAULT_COUNTS": counts_file}))
        with open(counts_file) as f:
            return {kind: int(count) for kind, count in (line.split() for line in f)}, problems
    finally:
        trial.close()


def one_fault(tool, interactive, kind, nth, work):
    """Runs the tool with the nth call of kind failing, then again without a
    fault; the problems found."""
    trial = Trial(tool, interactive, work)
    try:
        plan = {"QUORVEL_FAULT": "%s:%d" % (kind, nth)}
        problems = trial.run(kind, plan if kind == "alloc" else strict_leaks(plan))
        return problems + ["second run: " + p for p in trial.run("", strict_leaks())]
    finally:
        trial.close()


def run_kind(tool, kind, work):
    """Every fault of one kind in both runs, in scratch folders under work:
    the problems found."""
    problems, total = [], 0
    for name, interactive in (("silent", False), ("interactive", True)):
        counts, counting_problems = count_calls(tool, interactive, work)
        problems += ["%s clean run: %s" % (name, p) for p in counting_problems]
        if kind not in counts:
            problems.append("the tool counts no calls of kind %s" % kind)
        for nth in range(1, counts.get(kind, 0) + 1):
            problems += ["%s %s:%d: %s" % (name, kind, nth, p)
                         for p in one_fault(tool, interactive, kind, nth, work)]
        total += counts.get(kind, 0)
    if total == 0:
        problems.append("no run made a single %s call: nothing was tested" % kind)
    return problems
