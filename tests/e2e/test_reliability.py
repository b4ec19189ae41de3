"""Real faults, made with the file system rather than injected: a tree on a
read-only file system, a binary directory that fills up in the middle of a
copy, a file where bin should be, and bin on another file system.

The read-only and full file systems are mounts in a private mount namespace
(unshare), so they work for root as well (root ignores permission bits,
not a read-only mount) and vanish with the run; a machine that allows no
such namespace skips those cases."""

import errno
import os
import random
import select
import shlex
import shutil
import signal
import stat
import subprocess
import tempfile
import time

import pytest

import messages as say
from expected import cannot_open, copy_failed, create_failed, expect, reason, rows, success_stdout
from tool import Outcome
from tree import (BOOT_FILES, EXECUTABLES, MINIMAL_BOOT, VELMAR_BOOT, installation_problems,
                  launcher_config, read, release_description, strays, write)

SETUP_FAILED = 77

# A user namespace maps the caller to root inside, which is what mounting
# needs when the caller is not root; root itself may do without one.
NAMESPACES = (["unshare", "--mount", "--map-root-user"], ["unshare", "--mount"])


def namespace_prefix(scratch):
    """The first unshare command line that can mount here; the case skips
    when there is none."""
    probe = os.path.join(scratch, "probe")
    os.makedirs(probe, exist_ok=True)
    for prefix in NAMESPACES:
        if shutil.which(prefix[0]) is None:
            continue
        result = subprocess.run(prefix + ["mount", "-t", "tmpfs", "-o", "size=16k", "none", probe],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if result.returncode == 0:
            return prefix
    pytest.skip("no private mount namespace can be made on this machine")


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
        pytest.skip("the mounts could not be made: %r" % result.stderr.decode("latin-1"))
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


def copy_fails(ctx, tree, name, step, error):
    """Standard error of a run that ends at the copy of the executable
    name, with the reason: the step and errno."""
    return copy_failed(ctx.composed(tree, "sumbra-5.10.3", "bin", name),
                       ctx.composed(tree, "bin", name), say.BAILING_OUT,
                       reason(ctx.tool, step, error))


def no_bin(ctx, tree, error):
    """Standard error of a run that cannot make bin: the first copy's."""
    return copy_fails(ctx, tree, "qvl.exe", say.CREATE_FOLDER + " " + ctx.composed(tree, "bin"),
                      error)


def copied_whole(tree, names):
    """bin holds exactly names, each a whole copy of its source."""
    assert sorted(os.listdir(tree.root_bin())) == sorted(names)
    assert all(read(tree.root_bin(n)) == read(tree.versioned_bin(n)) for n in names)


@pytest.mark.native_only
def test_read_only_tree(ctx):
    """A tree on a read-only file system: every copy fails, nothing changes."""
    tree = ctx.tree()
    before = snapshot(tree.base)
    outcome = run_with_mounts(ctx, read_only(tree.base), ["-s", ctx.root(tree)])
    expect(outcome, 1, "", no_bin(ctx, tree, errno.EROFS))
    assert snapshot(tree.base) == before, "the read-only tree changed"


def full_mounts(ctx, folder):
    """folder on a file system of its own, holding what it held and
    filled to the last byte."""
    held = os.path.join(ctx.scratch, "held")
    shutil.copytree(folder, held)
    quoted = shlex.quote(folder)
    return ["mount -t tmpfs -o size=64k none %s" % quoted,
            "cp -a %s/. %s" % (shlex.quote(held), quoted),
            "{ cat /dev/zero >%s/filler; } 2>/dev/null; true" % quoted]


# (name, the mounts over the versioned binary directory, the step, errno)
UNWRITABLE_VERSIONED_BIN = [
    ("read_only", lambda ctx, folder: read_only(folder), say.CREATE, errno.EROFS),
    ("full", full_mounts, say.WRITE, errno.ENOSPC),
]


@pytest.mark.native_only
@pytest.mark.parametrize("mounts, step, error", rows(UNWRITABLE_VERSIONED_BIN))
def test_versioned_bin_takes_no_qvl_ini(ctx, mounts, step, error):
    """qvl.ini cannot be made in the versioned binary directory; the
    copies stay."""
    tree = ctx.tree()
    outcome = run_with_mounts(ctx, mounts(ctx, tree.versioned_bin()), [ctx.root(tree)],
                              stdin=b"y\n")
    scratch = ctx.composed(tree, "sumbra-5.10.3", "bin", "qvl.in~")
    expect(outcome, 1, say.QUESTION, create_failed(
        ctx.composed(tree, "sumbra-5.10.3", "bin", "qvl.ini"),
        reason(ctx.tool, step + " " + scratch, error)))
    # Everything but the two qvl.ini files is in place.
    assert installation_problems(tree, ctx.root(tree), velmar=False) == [
        "missing %s" % tree.versioned_bin("qvl.ini"), "missing %s" % tree.root_bin("qvl.ini")]


@pytest.mark.native_only
def test_bin_fills_up_during_a_copy(ctx):
    """An executable too big for what is left of bin ends the run; no
    half-copied file."""
    tree = ctx.tree()
    big = "kestin.exe"
    write(tree.versioned_bin(big), os.urandom(1 << 20))
    saved = os.path.join(ctx.scratch, "bin as it was left")
    os.makedirs(tree.root_bin())
    outcome = run_with_mounts(
        ctx, ["mount -t tmpfs -o size=256k none %s" % shlex.quote(tree.root_bin())],
        ["-s", ctx.root(tree)], after=["cp -a %s %s" % (shlex.quote(tree.root_bin()),
                                                        shlex.quote(saved))])
    expect(outcome, 1, "", copy_fails(ctx, tree, big, say.WRITE + " "
                                      + ctx.composed(tree, "bin", "kestin.ex~"), errno.ENOSPC))
    # The full file system is gone with the namespace: look at its copy.
    assert os.path.isdir(saved), "the binary directory could not be saved"
    os.rmdir(tree.root_bin())
    os.rename(saved, tree.root_bin())
    copied_whole(tree, EXECUTABLES[:4])


def test_bin_is_a_file(ctx):
    """A file where bin should be: the first copy fails, naming bin; the
    file stays."""
    tree = ctx.tree()
    write(tree.root_bin(), b"not a directory\n")
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    expect(outcome, 1, "", no_bin(ctx, tree, errno.ENOTDIR))
    assert os.path.isfile(tree.root_bin()) and read(tree.root_bin()) == b"not a directory\n"


@pytest.mark.native_only
def test_bin_on_another_file_system(ctx):
    """bin on another file system than the tree installs fully."""
    if not os.path.isdir("/dev/shm"):
        pytest.skip("no /dev/shm on this machine")
    tree = ctx.tree()
    elsewhere = tempfile.mkdtemp(prefix="quorvel-e2e-bin-", dir="/dev/shm")
    try:
        os.symlink(elsewhere, tree.root_bin())
        expect(ctx.tool.run(["-s", ctx.root(tree)]), 0, "", "")
        assert not installation_problems(tree, ctx.root(tree), velmar=False)
    finally:
        shutil.rmtree(elsewhere, ignore_errors=True)


# ---- Files that are not regular files ----------------------------------------

# What is no regular file, where the run reads or writes a file, is neither
# waited for nor copied forever, and stays: (name, its place, what makes it,
# standard error, how many executables were copied before)
def special_copy(name, step):
    return lambda ctx, tree: copy_fails(ctx, tree, name, step, errno.EINVAL)


SOURCE = ("sumbra-5.10.3", "bin", "kestin.exe")
SPECIAL_FILES = [
    # found before bin is made
    ("executable_is_a_fifo", SOURCE, os.mkfifo, special_copy("kestin.exe", say.OPEN_SOURCE), 0),
    ("executable_is_endless", SOURCE, lambda path: os.symlink("/dev/zero", path),
     special_copy("kestin.exe", say.OPEN_SOURCE), 0),
    ("copy_is_a_fifo", ("bin", "wqvl.exe"), os.mkfifo,
     special_copy("wqvl.exe", say.REPLACE), 1),
    ("release_file_is_a_fifo", ("Install.ini",), os.mkfifo, lambda ctx, tree: cannot_open(
        ctx.tool, ctx.composed(tree, "Install.ini"), errno.EINVAL), 0),
]


@pytest.mark.native_only
@pytest.mark.parametrize("place, make, stderr, copied", rows(SPECIAL_FILES))
def test_special_file(ctx, place, make, stderr, copied):
    tree = ctx.tree()
    path = tree.path(*place)
    if os.path.exists(path):
        os.remove(path)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    make(path)
    kind = stat.S_IFMT(os.lstat(path).st_mode)
    outcome = ctx.tool.run(["-s", ctx.root(tree)], timeout=20)
    expect(outcome, 1, "", stderr(ctx, tree))
    assert stat.S_IFMT(os.lstat(path).st_mode) == kind, "the special file was replaced"
    bin_folder = tree.root_bin()
    names = sorted(set(os.listdir(bin_folder)) - {place[-1]}) if os.path.isdir(bin_folder) else []
    assert names == sorted(EXECUTABLES[:copied])
    assert all(read(tree.root_bin(n)) == read(tree.versioned_bin(n)) for n in names)


@pytest.mark.native_only
def test_own_path_unavailable(ctx):
    """Without /proc the tool cannot find itself."""
    # Where the tool finds its own path on Linux, mounted over with an
    # empty file system.
    outcome = run_with_mounts(ctx, ["mount -t tmpfs -o size=16k none /proc"], ["-s"])
    if "Sanitizer" in outcome.stderr:
        pytest.skip("the sanitizers' own runtime cannot work without /proc")
    expect(outcome, 1, "", say.NO_OWN_PATH + reason(ctx.tool, say.OWN_PATH_UNKNOWN, errno.ENOENT))


@pytest.mark.native_only
def test_tree_fills_up_during_a_copy(ctx):
    """A tree whose own file system fills up during a copy: the run ends,
    no half-copied file."""
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
               "cp -a %s %s/bin" % (shlex.quote(tree.root_bin()), shlex.quote(saved))])
    expect(outcome, 1, "", copy_fails(ctx, tree, big, say.WRITE + " "
                                      + ctx.composed(tree, "bin", "kestin.ex~"), errno.ENOSPC))
    assert os.path.isdir(os.path.join(saved, "bin")), "the binary directory could not be saved"
    # The small file system is gone: put what it held into the source tree,
    # which holds the same files, and check that.
    os.rename(os.path.join(saved, "bin"), source.root_bin())
    copied_whole(source, EXECUTABLES[:4])


# ---- Read-only files and reruns, as a normal user ----------------------------

def make_read_only(paths):
    for path in paths:
        os.chmod(path, stat.S_IMODE(os.stat(path).st_mode) & ~0o222)


def distribution_files(tree):
    return ([tree.path("Install.ini")] + [tree.versioned_bin(name) for name in EXECUTABLES]
            + [tree.release_dir(name) for name in BOOT_FILES])


def unwritable_copies(tree):
    """Files in bin a later run as the same user could not replace in place:
    those its owner may not write (under Wine: the read-only attribute)."""
    return [name for name in sorted(os.listdir(tree.root_bin()))
            if not os.stat(tree.root_bin(name)).st_mode & stat.S_IWUSR]


def leave_scratch_files(ctx, tree):
    """What a run killed in the middle of two copies leaves: read-only
    scratch files beside their destinations."""
    for name in ("qvl.ex~", "start.boo~"):
        write(tree.root_bin(name), b"cut short")
        make_read_only([tree.root_bin(name)])
    ctx.give(tree.root_bin())


# A distribution whose files are all read-only installs as a normal user,
# then installs again with the other start-up: (name, what happens to bin
# between the two runs)
RERUNS = [
    ("read_only_distribution_installs_twice", lambda ctx, tree: None),
    # as earlier versions left them
    ("read_only_copies_in_bin_are_replaced",
     lambda ctx, tree: make_read_only([tree.root_bin(n) for n in os.listdir(tree.root_bin())])),
    # and gone after the next run
    ("scratch_files_of_a_killed_run_are_replaced", leave_scratch_files),
    # every file of the tree, qvl.ini in sumbra-<VSN>\bin too (attrib +r /s)
    ("every_file_made_read_only", lambda ctx, tree: make_read_only(
        [os.path.join(base, n) for base, _, names in os.walk(tree.base) for n in names])),
]


@pytest.mark.parametrize("between", rows(RERUNS))
def test_rerun(ctx, between):
    tree = ctx.tree()
    make_read_only(distribution_files(tree))
    tool = ctx.normal_user()
    expect(tool.run(["-s", ctx.root(tree)]), 0, "", "")
    assert unwritable_copies(tree) == [], "after the first run"
    between(ctx, tree)
    second = tool.run([ctx.root(tree)], stdin=b"n\n")
    expect(second, 0, success_stdout(tree.vsn, False), "")
    assert not installation_problems(tree, ctx.root(tree), velmar=True) + strays(tree)
    assert unwritable_copies(tree) == []


# ---- One installation of a tree at a time ------------------------------------

def read_prompt(process, timeout=60):
    """Waits until the tool shows its question (the tool has locked the
    tree by then) and returns what it wrote."""
    shown = b""
    while len(shown) < len(say.QUESTION):
        ready, _, _ = select.select([process.stdout], [], [], timeout)
        if not ready:
            break
        chunk = os.read(process.stdout.fileno(), len(say.QUESTION) - len(shown))
        if not chunk:
            break
        shown += chunk
    return shown


def answered(ctx, process, shown, answer):
    """The outcome of a run waiting at its question, once answered."""
    stdout, stderr = process.communicate(answer, timeout=60)
    return Outcome(process.returncode, ctx.tool.text(shown + stdout), ctx.tool.text(stderr))


def waiting_run(ctx, tree):
    return subprocess.Popen(ctx.tool.command([ctx.root(tree)]), stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def test_second_run_on_a_tree_is_refused(ctx):
    """A run started while another waits for its answer is refused before
    it changes anything; the first then installs its own choice whole."""
    tree = ctx.tree()
    first = waiting_run(ctx, tree)
    try:
        shown = read_prompt(first)
        second = ctx.tool.run([ctx.root(tree)], stdin=b"n\n")
        expect(second, 1, "", say.ANOTHER_INSTALLATION % ctx.root(tree))
        assert not os.path.exists(tree.root_bin()), "the refused run created bin"
        outcome = answered(ctx, first, shown, b"y\n")
    finally:
        first.kill()
        first.wait()
    expect(outcome, 0, success_stdout(tree.vsn, False), "")
    assert not installation_problems(tree, ctx.root(tree), velmar=False)


@pytest.mark.native_only
def test_release_file_is_read_before_the_question(ctx):
    """What Install.ini held when the run began is what it installs, though
    another file is put in its place while the question waits (a lock on
    Windows keeps anyone from doing so)."""
    tree = ctx.tree()
    first = waiting_run(ctx, tree)
    try:
        shown = read_prompt(first)
        write(os.path.join(ctx.scratch, "new"), release_description("9.9", "R9"))
        os.rename(os.path.join(ctx.scratch, "new"), tree.path("Install.ini"))
        outcome = answered(ctx, first, shown, b"y\n")
    finally:
        first.kill()
        first.wait()
    expect(outcome, 0, success_stdout(tree.vsn, False), "")
    assert not installation_problems(tree, ctx.root(tree), velmar=False)


# ---- Killed runs --------------------------------------------------------------

KILLS = 200
# Big enough that a copy, and its flush, take most of a run: most kills
# land in the middle of one. Bigger files only make each run longer.
BIG = 1 << 20


@pytest.mark.native_only
def test_killed_runs_leave_whole_files(ctx):
    """Runs killed at random instants leave every file in bin absent or
    whole, and a rerun completes."""
    # Two versions of a distribution of executables; the runs take
    # turns installing one and the other, so that each file in bin is
    # replaced by different content every time.
    tree = ctx.tree(vsn="1", system_vsn="R1")
    allowed = {name: set() for name in EXECUTABLES + BOOT_FILES + ["start.boot", "qvl.ini"]}
    for version in ("1", "2"):
        block = os.urandom(BIG)
        for name in EXECUTABLES:
            content = ("MZ %s of %s\n" % (name, version)).encode() + block
            write(tree.path("sumbra-" + version, "bin", name), content)
            allowed[name].add(content)
        for name in BOOT_FILES:
            content = ("boot %s of R%s\n" % (name, version)).encode()
            write(tree.path("releases", "R" + version, name), content)
            allowed[name].add(content)
        allowed["qvl.ini"].add(launcher_config(ctx.root(tree), version))
    allowed["start.boot"] = allowed[MINIMAL_BOOT]

    def install(version):
        write(tree.path("Install.ini"), release_description(version, "R" + version))
        return subprocess.Popen(ctx.tool.command(["-s", ctx.root(tree)]),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    # The length of a whole run, for the instants to fall within it: the
    # median of five, so that one slow run (the first, on files not yet
    # written out, or on a busy machine) sends no kill past the end.
    spans = []
    for _ in range(5):
        began = time.monotonic()
        install("2").wait()
        spans.append(time.monotonic() - began)
    span = sorted(spans)[2]
    seed = random.randrange(1 << 32)
    instants = random.Random(seed)
    interrupted, seen = 0, {}
    for kill in range(KILLS):
        run = install("12"[kill % 2])
        time.sleep(instants.uniform(0, span))
        run.kill()
        interrupted += run.wait() == -signal.SIGKILL
        for name, contents in sorted(allowed.items()):
            path = tree.root_bin(name)
            if not os.path.lexists(path):
                continue
            # A file not touched since it was last found whole is not read again.
            status = os.lstat(path)
            key = (status.st_ino, status.st_size, status.st_mtime_ns, status.st_ctime_ns)
            assert seen.get(name) == key or read(path) in contents, (
                "kill %d (seed %d) left %s with %d bytes, neither whole version"
                % (kill, seed, name, status.st_size))
            seen[name] = key
    assert interrupted >= KILLS // 4, "only %d kills came before the run ended" % interrupted
    assert install("1").wait() == 0, "the rerun failed"
    assert not installation_problems(tree, ctx.root(tree), velmar=False) + strays(tree)


# ---- Links and mount points in bin -------------------------------------------

def outside_file(ctx):
    path = os.path.join(ctx.scratch, "outside", "precious")
    write(path, b"precious, outside the tree\n")
    return path


# A copy in bin that is a link is replaced, never written through: (name,
# the copy in bin, what it is made a link to)
LINKED_COPIES = [
    ("copy_replaces_a_link_to_a_file_outside", "qvl.exe", outside_file),
    # a start-up switched by hand
    ("copy_replaces_a_link_within_bin", "start.boot", lambda ctx: VELMAR_BOOT),
    # removed as a name before the copy is made there
    ("link_at_a_scratch_name_is_not_followed", "qvl.ex~", outside_file),
]
# Wine follows a link to a folder whatever a program asks, and so the
# Windows build under Wine stops there.
LINKED_COPIES_ON_LINUX = [
    ("copy_replaces_a_link_to_a_folder", "qvl.exe", lambda ctx: os.path.dirname(outside_file(ctx))),
    ("link_to_a_folder_at_a_scratch_name", "qvl.ex~",
     lambda ctx: os.path.dirname(outside_file(ctx))),
]


@pytest.mark.parametrize("copy, target", rows(LINKED_COPIES) + rows(LINKED_COPIES_ON_LINUX,
                                                                     pytest.mark.native_only))
def test_linked_copy(ctx, copy, target):
    tree = ctx.tree()
    outside = outside_file(ctx)
    os.makedirs(tree.root_bin())
    os.symlink(target(ctx), tree.root_bin(copy))
    expect(ctx.tool.run(["-s", ctx.root(tree)]), 0, "", "")
    assert not installation_problems(tree, ctx.root(tree), velmar=False) + strays(tree)
    assert not os.path.islink(tree.root_bin(copy))
    assert read(outside) == b"precious, outside the tree\n", "the file outside was written"


@pytest.mark.native_only
def test_copy_onto_a_mount_point_fails_cleanly(ctx):
    """A copy in bin that cannot be replaced (a mount point) ends the run;
    the copy untouched, no scratch file left."""
    tree = ctx.tree()
    outside = outside_file(ctx)
    write(tree.root_bin("kestin.exe"), b"old kestin")
    mount = "mount --bind %s %s" % (shlex.quote(outside), shlex.quote(tree.root_bin("kestin.exe")))
    outcome = run_with_mounts(ctx, [mount], ["-s", ctx.root(tree)])
    expect(outcome, 1, "", copy_fails(ctx, tree, "kestin.exe", say.REPLACE,
                                      errno.EBUSY))
    assert not strays(tree)
    assert read(tree.root_bin("kestin.exe")) == b"old kestin"
    assert read(outside) == b"precious, outside the tree\n"


def test_bin_is_the_versioned_bin(ctx):
    """bin a link to sumbra-<VSN>\\bin: a copy onto the very same file is
    made already; every program stays whole and the run installs."""
    tree = ctx.tree()
    os.symlink(os.path.join("sumbra-5.10.3", "bin"), tree.root_bin())
    before = snapshot(tree.versioned_bin())
    expect(ctx.tool.run(["-s", ctx.root(tree)]), 0, "", "")
    after = snapshot(tree.versioned_bin())
    assert [path for path in sorted(before) if after.get(path) != before[path]] == []
    assert not installation_problems(tree, ctx.root(tree), velmar=False) + strays(tree)
