"""Real faults, made with the file system rather than injected: a tree on a
read-only file system, a binary directory that fills up in the middle of a
copy, a file where bin should be, and bin on another file system.

The read-only and full file systems are mounts in a private mount namespace
(unshare), so they work for root as well (root ignores permission bits,
not a read-only mount) and vanish with the run; a machine that allows no
such namespace skips those cases."""

import errno
import os
import shlex
import shutil
import stat
import subprocess
import tempfile

from framework import (BAIL_OUT, CONTINUE, Skip, cannot_open, case, copy_failed, create_failed,
                       expect)
from tool import Outcome
from tree import EXECUTABLES, MINIMAL_BOOT, QUESTION, installation_problems, read, write

SETUP_FAILED = 77

# A user namespace maps the caller to root inside, which is what mounting
# needs when the caller is not root; root itself may do without one.
NAMESPACES = (["unshare", "--mount", "--map-root-user"], ["unshare", "--mount"])


def namespace_prefix(scratch):
    """The first unshare command line that can mount here, or a Skip."""
    probe = os.path.join(scratch, "probe")
    os.makedirs(probe, exist_ok=True)
    for prefix in NAMESPACES:
        if shutil.which(prefix[0]) is None:
            continue
        result = subprocess.run(prefix + ["mount", "-t", "tmpfs", "-o", "size=16k", "none", probe],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if result.returncode == 0:
            return prefix
    raise Skip("no private mount namespace can be made on this machine")


def run_with_mounts(ctx, mounts, arguments, stdin=b"", after=()):
    """Runs the tool in a private mount namespace after the shell commands
    mounts, then runs the commands after (to save what a mount that is about
    to vanish holds)."""
    prefix = namespace_prefix(ctx.scratch)
    lines = ["%s || exit %d" % (command, SETUP_FAILED) for command in mounts]
    lines += ['"$@"', "status=$?"] + list(after) + ["exit $status"]
    command = prefix + ["sh", "-c", "\n".join(lines), "sh"] + ctx.tool.command(arguments)
    result = subprocess.run(command, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            timeout=60)
    if result.returncode == SETUP_FAILED:
        raise Skip("the mounts could not be made: %r" % result.stderr.decode("latin-1"))
    return Outcome(result.returncode, ctx.tool.text(result.stdout), ctx.tool.text(result.stderr))


def read_only(path):
    quoted = shlex.quote(path)
    return ["mount --bind %s %s" % (quoted, quoted), "mount -o remount,bind,ro %s" % quoted]


def snapshot(directory):
    files = {}
    for base, _, names in os.walk(directory):
        for name in names:
            with open(os.path.join(base, name), "rb") as f:
                files[os.path.join(base, name)] = f.read()
    return files


def every_copy_fails(ctx, tree):
    """Standard error of a run whose copies into bin all fail: a warning for
    each executable, then the end at the first boot file."""
    return "".join(copy_failed(ctx.composed(tree, "sumbra-5.10.3", "bin", name),
                               ctx.composed(tree, "bin", name), CONTINUE)
                   for name in EXECUTABLES) + copy_failed(
        ctx.composed(tree, "releases", "R16B", MINIMAL_BOOT),
        ctx.composed(tree, "bin", MINIMAL_BOOT), BAIL_OUT)


@case("read_only_tree", "a tree on a read-only file system: every copy fails, nothing changes",
      native_only=True)
def _(ctx):
    tree = ctx.tree()
    before = snapshot(tree.base)
    outcome = run_with_mounts(ctx, read_only(tree.base), ["-s", ctx.root(tree)])
    problems = expect(outcome, 1, "", every_copy_fails(ctx, tree))
    if snapshot(tree.base) != before:
        problems.append("the read-only tree changed")
    return problems


@case("read_only_versioned_bin", "qvl.ini in a read-only folder cannot be created; the copies stay",
      native_only=True)
def _(ctx):
    tree = ctx.tree()
    outcome = run_with_mounts(ctx, read_only(tree.versioned_bin()), [ctx.root(tree)],
                              stdin=b"y\n")
    problems = expect(outcome, 1, QUESTION,
                      create_failed(ctx.composed(tree, "sumbra-5.10.3", "bin", "qvl.ini")))
    # Everything but the two qvl.ini files is in place.
    wanted = ["missing %s" % tree.versioned_bin("qvl.ini"), "missing %s" % tree.root_bin("qvl.ini")]
    left = installation_problems(tree, ctx.root(tree), velmar=False)
    if left != wanted:
        problems.append("after the run: %s" % left)
    return problems


@case("bin_fills_up_during_a_copy", "an executable too big for what is left of bin: warning, no "
      "half-copied file, the rest installs", native_only=True)
def _(ctx):
    tree = ctx.tree()
    big = "kestin.exe"
    write(tree.versioned_bin(big), os.urandom(1 << 20))
    saved = os.path.join(ctx.scratch, "bin as it was left")
    os.makedirs(tree.root_bin())
    outcome = run_with_mounts(
        ctx, ["mount -t tmpfs -o size=256k none %s" % shlex.quote(tree.root_bin())],
        ["-s", ctx.root(tree)], after=["cp -a %s %s" % (shlex.quote(tree.root_bin()),
                                                        shlex.quote(saved))])
    problems = expect(outcome, 0, "", copy_failed(
        ctx.composed(tree, "sumbra-5.10.3", "bin", big), ctx.composed(tree, "bin", big), CONTINUE))
    # The full file system is gone with the namespace: look at its copy.
    if not os.path.isdir(saved):
        return problems + ["the binary directory could not be saved"]
    os.rmdir(tree.root_bin())
    os.rename(saved, tree.root_bin())
    left = installation_problems(tree, ctx.root(tree), velmar=False)
    if left != ["missing %s" % tree.root_bin(big)]:
        problems.append("after the run: %s" % left)
    return problems


@case("bin_is_a_file", "a file where bin should be: every copy fails, the file stays")
def _(ctx):
    tree = ctx.tree()
    write(tree.root_bin(), b"not a directory\n")
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    problems = expect(outcome, 1, "", every_copy_fails(ctx, tree))
    if not os.path.isfile(tree.root_bin()) or read(tree.root_bin()) != b"not a directory\n":
        problems.append("the file named bin was changed")
    return problems


@case("bin_on_another_file_system", "bin on another file system than the tree installs fully",
      native_only=True)
def _(ctx):
    if not os.path.isdir("/dev/shm"):
        raise Skip("no /dev/shm on this machine")
    tree = ctx.tree()
    elsewhere = tempfile.mkdtemp(prefix="quorvel-e2e-bin-", dir="/dev/shm")
    try:
        os.symlink(elsewhere, tree.root_bin())
        outcome = ctx.tool.run(["-s", ctx.root(tree)])
        return (expect(outcome, 0, "", "")
                + installation_problems(tree, ctx.root(tree), velmar=False))
    finally:
        shutil.rmtree(elsewhere, ignore_errors=True)


# ---- Files that are not regular files ----------------------------------------

def warning_only(ctx, tree, name):
    source = ctx.composed(tree, "sumbra-5.10.3", "bin", name)
    return copy_failed(source, ctx.composed(tree, "bin", name), CONTINUE)


SPECIAL_SOURCES = [
    ("executable_is_a_fifo", "a FIFO in place of an executable is not waited for",
     lambda path: os.mkfifo(path)),
    ("executable_is_endless", "an executable that is /dev/zero is not copied forever",
     lambda path: os.symlink("/dev/zero", path)),
]

for name, description, make in SPECIAL_SOURCES:
    def body(ctx, make=make):
        tree = ctx.tree()
        os.remove(tree.versioned_bin("kestin.exe"))
        make(tree.versioned_bin("kestin.exe"))
        outcome = ctx.tool.run(["-s", ctx.root(tree)], timeout=20)
        problems = expect(outcome, 0, "", warning_only(ctx, tree, "kestin.exe"))
        left = installation_problems(tree, ctx.root(tree), velmar=False)
        if left != ["missing %s" % tree.root_bin("kestin.exe")]:
            problems.append("after the run: %s" % left)
        return problems
    case(name, description + ": warning, the rest installs", native_only=True)(body)


@case("destination_is_a_fifo", "a FIFO in place of a copy is not waited for and stays",
      native_only=True)
def _(ctx):
    tree = ctx.tree()
    os.makedirs(tree.root_bin())
    os.mkfifo(tree.root_bin("wqvl.exe"))
    outcome = ctx.tool.run(["-s", ctx.root(tree)], timeout=20)
    problems = expect(outcome, 0, "", warning_only(ctx, tree, "wqvl.exe"))
    if not stat.S_ISFIFO(os.lstat(tree.root_bin("wqvl.exe")).st_mode):
        problems.append("the FIFO was replaced")
    return problems


@case("release_file_is_a_fifo", "a FIFO named Install.ini cannot be opened", native_only=True)
def _(ctx):
    tree = ctx.tree()
    os.remove(tree.path("Install.ini"))
    os.mkfifo(tree.path("Install.ini"))
    outcome = ctx.tool.run(["-s", ctx.root(tree)], timeout=20)
    return expect(outcome, 1, "", cannot_open(ctx.tool, ctx.composed(tree, "Install.ini"),
                                              errno.EINVAL))


@case("empty_executable", "an empty executable is copied as an empty file")
def _(ctx):
    tree = ctx.tree()
    write(tree.versioned_bin("vk_run.exe"), b"")
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    return expect(outcome, 0, "", "") + installation_problems(tree, ctx.root(tree), velmar=False)


@case("own_path_unavailable", "without /proc the tool cannot find itself", native_only=True)
def _(ctx):
    # Where the tool finds its own path on Linux, mounted over with an
    # empty file system.
    outcome = run_with_mounts(ctx, ["mount -t tmpfs -o size=16k none /proc"], ["-s"])
    if "Sanitizer" in outcome.stderr:
        raise Skip("the sanitizers' own runtime cannot work without /proc")
    return expect(outcome, 1, "", "Could not GetModuleFileName()\n")


@case("tree_fills_up_during_a_copy", "a tree whose own file system fills up during a copy: warning, "
      "no half-copied file, the rest installs", native_only=True)
def _(ctx):
    # The tree is copied onto a small file system of its own, where the
    # copy of the big executable runs out of room half-way.
    source = ctx.tree(name="source")
    big = "kestin.exe"
    write(source.versioned_bin(big), os.urandom(1536 * 1024))
    tree = ctx.tree()
    shutil.rmtree(tree.base)
    os.mkdir(tree.base)
    saved = os.path.join(ctx.scratch, "saved")
    mount = shlex.quote(tree.base)
    outcome = run_with_mounts(
        ctx, ["mount -t tmpfs -o size=2m none %s" % mount,
              "cp -a %s/. %s" % (shlex.quote(source.base), mount)],
        ["-s", ctx.root(tree)],
        after=["mkdir %s" % shlex.quote(saved),
               "cp -a %s %s/bin" % (shlex.quote(tree.root_bin()), shlex.quote(saved)),
               "cp -a %s %s" % (shlex.quote(tree.versioned_bin("qvl.ini")), shlex.quote(saved))])
    problems = expect(outcome, 0, "", warning_only(ctx, tree, big))
    if not os.path.isdir(os.path.join(saved, "bin")):
        return problems + ["the binary directory could not be saved"]
    # The small file system is gone: put what it held into the source tree,
    # which holds the same files, and check that.
    os.rename(os.path.join(saved, "bin"), source.root_bin())
    os.rename(os.path.join(saved, "qvl.ini"), source.versioned_bin("qvl.ini"))
    left = installation_problems(source, ctx.root(tree), velmar=False)
    if left != ["missing %s" % source.root_bin(big)]:
        problems.append("after the run: %s" % left)
    return problems


# ---- Versions that leave no room for the names joined to their folder --------

def no_room_for_names(ctx, key):
    """A tree whose VSN (or SYSTEM_VSN) makes its folder's path fit in 259
    bytes, 250 of them, while the longest name joined to it does not."""
    root = ctx.root(ctx.tree(name="probe"))
    if key == "VSN":
        return ctx.tree(vsn="v" * (250 - len(root) - len("\\sumbra-") - len("\\bin")))
    return ctx.tree(system_vsn="s" * (250 - len(root) - len("\\releases\\")))


for key in ("VSN", "SYSTEM_VSN"):
    def body(ctx, key=key):
        tree = no_room_for_names(ctx, key)
        outcome = ctx.tool.run(["-s", ctx.root(tree)])
        problems = expect(outcome, 1, "", "Value of %s in init file %s is too long, paths with it "
                          "would exceed 259 bytes\n" % (key, ctx.composed(tree, "Install.ini")))
        if os.path.exists(tree.root_bin()):
            problems.append("bin was created")
        return problems
    case("value_%s_leaves_no_room_for_names" % key.lower(),
         "a %s whose folder fits but not the names in it is refused" % key)(body)
