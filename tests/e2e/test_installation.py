"""The installation: Install.ini, the binary directory, start.boot, qvl.ini
and the success message, with every failure and its exact message."""

import errno
import os
import re
import subprocess

import pytest

import messages as say
from expected import (UTF8, cannot_open, copy_failed, create_failed, expect, joined, reason,
                      rows, success_stdout)
from tool import Outcome
from tree import (BOOT_FILES, EXECUTABLES, escaped, installation_problems, read,
                  release_description, strays, write)


def installs_silently(ctx, tree, root=None):
    """A silent run over tree installs it whole and says nothing."""
    root = root or ctx.root(tree)
    expect(ctx.tool.run(["-s", root]), 0, "", "")
    assert not installation_problems(tree, root, velmar=False)


def stale_copies(ctx, tree):
    stale = b"stale content that is longer than any new file would be" * 100
    for name in EXECUTABLES + BOOT_FILES + ["start.boot", "qvl.ini"]:
        write(tree.root_bin(name), stale)
    write(tree.versioned_bin("qvl.ini"), stale)


# ---- Whole installations ------------------------------------------------

UTF8_MARK = b"\xef\xbb\xbf"
# (name, the tree's options, what is done to it first, the arguments (ROOT:
# the tree's root, ROOT\\ with a trailing backslash), standard input, whether
# the velmar start-up is chosen)
WHOLE_INSTALLATIONS = [
    ("silent", {}, None, ["-s", "ROOT"], b"", False),
    ("answer_no_is_velmar", {}, None, ["ROOT"], b"no\n", True),
    # every copy made again, and the same end
    ("twice", {}, installs_silently, ["ROOT"], b"n\n", True),
    ("over_existing_files", {}, stale_copies, ["-s", "ROOT"], b"", False),
    # the backslash stays in every composed path
    ("root_with_trailing_backslash", {}, None, ["-s", "ROOT\\"], b"", False),
    # escaped in qvl.ini
    ("root_with_semicolon_and_spaces", {"name": "dist; one"}, None, ["-s", "ROOT"], b"", False),
    ("repeated_vsn_takes_the_first", {"ini": "[Install]\nVSN=5.10.3\nVSN=9.9\nSYSTEM_VSN=R16B\n"},
     None, ["ROOT"], b"y\n", False),
    ("ini_with_comments_and_other_sections", {"ini": (
        "; release of the day\r\n[Other]\r\nVSN = 1.0\r\n\r\n[Install]  \r\n"
        "  VSN = 5.10.3 ; current\r\nSYSTEM_VSN=R16B\r\nNOTE=x\r\n")},
     None, ["-s", "ROOT"], b"", False),
    ("ini_with_utf8_byte_order_mark", {"ini": UTF8_MARK + release_description().encode()}, None,
     ["-s", "ROOT"], b"", False),
    # folders named as the system names them: the ANSI code page on
    # Windows, the bytes on Linux
    ("utf8_version", {"vsn": "5.10.3-\xe9", "ini": UTF8_MARK + release_description(
        "5.10.3-\xe9").encode()}, None, ["-s", "ROOT"], b"", False),
    # as current Notepad saves it: no mark, but every byte beyond ASCII UTF-8
    ("utf8_version_without_mark", {"vsn": "5.10.3-\xe9", "ini": release_description(
        "5.10.3-\xe9").encode()}, None, ["-s", "ROOT"], b"", False),
    ("empty_executable", {}, lambda ctx, tree: write(tree.versioned_bin("vk_run.exe"), b""),
     ["-s", "ROOT"], b"", False),
]
WHOLE_INSTALLATIONS_ON_LINUX = [
    # replaced as a name, never written through
    ("launcher_config_a_link_to_a_device", {}, lambda ctx, tree: os.symlink(
        "/dev/full", tree.versioned_bin("qvl.ini")), ["-s", "ROOT"], b"", False),
]
WHOLE_INSTALLATIONS_ON_WINDOWS = [
    ("root_in_code_page_beyond_ascii", {"name": "d\xe9j\xe0"}, None, ["-s", "ROOT"], b"", False),
]


@pytest.mark.parametrize("options, prepare, arguments, stdin, velmar", rows(
    WHOLE_INSTALLATIONS) + rows(WHOLE_INSTALLATIONS_ON_LINUX, pytest.mark.native_only) + rows(
    WHOLE_INSTALLATIONS_ON_WINDOWS, pytest.mark.windows_only))
def test_whole_installation(ctx, options, prepare, arguments, stdin, velmar):
    tree = ctx.tree(**options)
    if prepare:
        prepare(ctx, tree)
    root = ctx.root(tree) + ("\\" if "ROOT\\" in arguments else "")
    # Under Wine, arguments reach the tool through the Unix locale.
    outcome = ctx.tool.run([root if a.startswith("ROOT") else a for a in arguments], stdin=stdin,
                           environment=UTF8)
    expect(outcome, 0, success_stdout(tree.vsn, "-s" in arguments), "")
    shown = tree.vsn if ctx.tool.windows else tree.vsn.encode().decode("latin-1")
    assert not installation_problems(tree, root, velmar, shown) + strays(tree)


@pytest.mark.windows_only
def test_utf8_version_without_ansi_form(ctx):
    """A UTF-8 version that the ANSI code page cannot write is refused,
    never taken for the look-alike folder it would read as."""
    tree = ctx.tree(vsn="5.10.3-L",
                    ini=UTF8_MARK + release_description("5.10.3-\u0141").encode())
    expect(ctx.tool.run(["-s", ctx.root(tree)]), 1, "", say.VERSION_NOT_ANSI % (
        "VSN", ctx.composed(tree, "Install.ini"), "5.10.3-L"))
    assert not os.path.exists(tree.root_bin())

# ---- Install.ini ---------------------------------------------------------

# (name, what Install.ini holds (None: it is missing; DIRECTORY: a folder),
# standard error: a message naming it, or the errno of a file that cannot
# be opened)
DIRECTORY = "a folder"
RELEASE_FILE_FAILURES = [
    ("missing", None, errno.ENOENT),
    ("is_a_directory", DIRECTORY, errno.EISDIR),
    # the library's reason, as it words it (its own tests hold each)
    ("load_message_forwarded", "[Install]\nVSN=1\nnot an \\\nentry\n[Next]\n",
     say.CANNOT_OPEN_INIT + "line 3: %s\n" % say.NEITHER),
    ("lower_case_section", "[install]\nVSN=5.10.3\nSYSTEM_VSN=R16B\n", say.NO_INSTALL_SECTION),
    ("empty", "", say.NO_INSTALL_SECTION),
    ("comments_only", "; nothing\n\n   \n;[Install]\n", say.NO_INSTALL_SECTION),
    ("no_vsn", "[Install]\nSYSTEM_VSN=R16B\n", say.NO_KEY % ("VSN", "%s")),
    ("lower_case_vsn", "[Install]\nvsn=5.10.3\nSYSTEM_VSN=R16B\n", say.NO_KEY % ("VSN", "%s")),
    ("vsn_in_second_section", "[Install]\nSYSTEM_VSN=R16B\n[Install]\nVSN=5.10.3\n",
     say.NO_KEY % ("VSN", "%s")),
    ("no_system_vsn", "[Install]\nVSN=5.10.3\n", say.NO_KEY % ("SYSTEM_VSN", "%s")),
]


@pytest.mark.parametrize("ini, message", rows(RELEASE_FILE_FAILURES))
def test_release_file(ctx, ini, message):
    """Each fails with its message, before the question."""
    tree = ctx.tree()
    if ini is None or ini == DIRECTORY:
        os.remove(tree.path("Install.ini"))
        if ini == DIRECTORY:
            os.mkdir(tree.path("Install.ini"))
    else:
        write(tree.path("Install.ini"), ini)
    outcome = ctx.tool.run([ctx.root(tree)], stdin=b"y\n")
    path = ctx.composed(tree, "Install.ini")
    expect(outcome, 1, "",
           cannot_open(ctx.tool, path, message) if isinstance(message, int) else message % path)
    assert not os.path.exists(tree.root_bin())


# ---- Versions that cannot name one folder ----------------------------------

VERSIONS_NOT_FOLDER_NAMES = [
    ("vsn_empty", "VSN", ""),
    ("vsn_dot", "VSN", "."),
    ("vsn_dot_dot", "VSN", ".."),
    ("vsn_out_of_the_tree", "VSN", "x\\..\\..\\outside"),
    ("vsn_with_slash", "VSN", "5/10"),
    ("vsn_with_drive", "VSN", "C:5"),
    ("system_vsn_dot_dot", "SYSTEM_VSN", ".."),
    ("system_vsn_out_of_the_tree", "SYSTEM_VSN", "..\\..\\R16B"),
    ("vsn_too_long_to_quote", "VSN", "v" * 300 + "/"),
    ("vsn_with_tab", "VSN", "5.10\t3"),
    # U+0085 in UTF-8: a control character as a tab is
    ("vsn_with_c1_control", "VSN", "5.10\xc2\x853"),
]


@pytest.mark.parametrize("key, value", rows(VERSIONS_NOT_FOLDER_NAMES))
def test_version(ctx, key, value):
    """Refused before anything is created."""
    tree = ctx.tree()
    versions = {"VSN": tree.vsn, "SYSTEM_VSN": tree.system_vsn, key: escaped(value)}
    write(tree.path("Install.ini"), release_description(versions["VSN"], versions["SYSTEM_VSN"]))
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    shown = (re.sub("\t|\xc2[\x80-\x9f]", lambda c: "<0x%02X>" % ord(c.group()[-1]), value)
             if len(value) < 260 else value[:256] + "...")
    expect(outcome, 1, "", say.NOT_A_FOLDER_NAME % (key, ctx.composed(tree, "Install.ini"), shown))
    assert os.listdir(ctx.scratch) == ["tree"] and not os.path.exists(tree.root_bin())


# ---- Copies ------------------------------------------------------------------

def bin_files(tree):
    return {name: read(tree.root_bin(name)) for name in os.listdir(tree.root_bin())}


def not_replaceable(tree):
    """bin shared and sticky, and the first copy in it root's: its user may
    not replace it."""
    if os.geteuid() != 0:
        pytest.skip("only root can hand a copy in bin to another user")
    os.chmod(tree.root_bin(), 0o1777)
    for path in (tree.root_bin(), tree.root_bin("qvl.exe")):
        os.chown(path, 0, 0)


def folder_for(path):
    os.remove(path)
    os.mkdir(path)


# An upgrade short of a source it can copy, or whose first copy cannot be
# made: (name, what is done to it, the source the message names, and the
# reason (step, errno) of a copy that cannot be made)
MISSING_SOURCES = [
    ("fifth_executable", lambda tree: os.remove(tree.versioned_bin("kestin.exe")),
     ("sumbra-5.10.3", "bin", "kestin.exe"), None),
    ("boot_file", lambda tree: os.remove(tree.release_dir("start_velmar.boot")),
     ("releases", "R16B", "start_velmar.boot"), None),
    # the first boot file is named
    ("release_directory", lambda tree: write(tree.path("Install.ini"), release_description(
        "5.10.3", "R17")), ("releases", "R17", "start_mirren.boot"), None),
    ("executable_source_is_directory", lambda tree: folder_for(tree.versioned_bin("ostrel.exe")),
     ("sumbra-5.10.3", "bin", "ostrel.exe"), (say.OPEN_SOURCE, errno.EISDIR)),
    ("boot_file_source_is_directory", lambda tree: folder_for(tree.release_dir(
        "start_mirren.boot")), ("releases", "R16B", "start_mirren.boot"),
     (say.OPEN_SOURCE, errno.EISDIR)),
    ("unreadable_source", lambda tree: os.chmod(tree.versioned_bin("kestin.exe"), 0),
     ("sumbra-5.10.3", "bin", "kestin.exe"), (say.OPEN_SOURCE, errno.EACCES)),
    # not taken for a program in use, under Wine either
    ("copy_the_user_may_not_replace", not_replaceable, ("sumbra-5.10.3", "bin", "qvl.exe"),
     (say.REPLACE, errno.EPERM)),
]


@pytest.mark.parametrize("make_fault, missing, why", rows(MISSING_SOURCES))
def test_missing_source(ctx, make_fault, missing, why):
    """The run, as a normal user, ends before anything changes: bin holds
    the earlier installation, byte for byte."""
    installs_silently(ctx, ctx.tree(vsn="5.10.2"))
    tree = ctx.tree(vsn="5.10.3")
    tool = ctx.normal_user()
    make_fault(tree)
    before = bin_files(tree)
    outcome = tool.run(["-s", ctx.root(tree)])
    source = ctx.composed(tree, *missing)
    expect(outcome, 1, "", say.FILE_MISSING % source if why is None else copy_failed(
        source, ctx.composed(tree, "bin", missing[-1]), say.BAILING_OUT, reason(ctx.tool, *why)))
    assert bin_files(tree) == before


# A copy that ends the run before qvl.ini is written: (name, what makes it
# fail, its source, its destination, and the reason: the step and errno)
FATAL_COPIES = [
    ("executable_destination_is_directory", lambda tree: os.makedirs(tree.root_bin("wqvl.exe")),
     ("sumbra-5.10.3", "bin", "wqvl.exe"), ("bin", "wqvl.exe"), say.REPLACE, errno.EISDIR),
    ("first_executable_destination_is_directory",
     lambda tree: os.makedirs(tree.root_bin("qvl.exe")),
     ("sumbra-5.10.3", "bin", "qvl.exe"), ("bin", "qvl.exe"), say.REPLACE, errno.EISDIR),
    ("boot_file_copy_fails", lambda tree: os.makedirs(tree.root_bin("start_velmar.boot")),
     ("releases", "R16B", "start_velmar.boot"), ("bin", "start_velmar.boot"), say.REPLACE,
     errno.EISDIR),
    ("active_boot_file_copy_fails", lambda tree: os.makedirs(tree.root_bin("start.boot")),
     ("bin", "start_mirren.boot"), ("bin", "start.boot"), say.REPLACE, errno.EISDIR),
]


@pytest.mark.parametrize("make_fault, source, destination, step, error", rows(FATAL_COPIES))
def test_fatal_copy(ctx, make_fault, source, destination, step, error):
    tree = ctx.tree()
    make_fault(tree)
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    expect(outcome, 1, "", copy_failed(ctx.composed(tree, *source),
                                       ctx.composed(tree, *destination), say.BAILING_OUT,
                                       reason(ctx.tool, step, error)))
    assert not os.path.exists(tree.versioned_bin("qvl.ini"))
    assert not strays(tree)


# ---- qvl.ini -----------------------------------------------------------------

@pytest.mark.parametrize("place", rows([("cannot_be_written", ("sumbra-5.10.3", "bin", "qvl.ini")),
                                         ("cannot_be_copied", ("bin", "qvl.ini"))]))
def test_launcher_config_is_a_folder(ctx, place):
    """qvl.ini where a folder stands ends the run; one written stays."""
    tree = ctx.tree()
    os.makedirs(tree.path(*place))
    outcome = ctx.tool.run([ctx.root(tree)], stdin=b"y\n")
    written = ctx.composed(tree, "sumbra-5.10.3", "bin", "qvl.ini")
    why = reason(ctx.tool, say.REPLACE, errno.EISDIR)
    expect(outcome, 1, say.QUESTION, create_failed(written, why) if place[0] != "bin" else
           copy_failed(written, ctx.composed(tree, *place), say.BAILING_OUT, why))
    assert os.path.isfile(tree.versioned_bin("qvl.ini")) == (place[0] == "bin")


# ---- Values too long for a path -------------------------------------------

def padded_tree(ctx, root_length, **options):
    """A tree whose root, as the tool sees it, is exactly root_length bytes
    (at least; 0: as short as it comes)."""
    base = os.path.join(ctx.scratch, "t")
    while len(ctx.tool.path(base)) < root_length:
        shortfall = root_length - len(ctx.tool.path(base))
        base = base + "x" if shortfall < 3 else os.path.join(base, "p" * min(shortfall - 1, 60))
    return ctx.tree(name=os.path.relpath(base, ctx.scratch), **options)


# With VSN "1" and SYSTEM_VSN "R" the longest path of the run is the release
# directory's <root>\releases\R\start_mirren.boot.
LONGEST_SUFFIX = len("\\releases\\R\\start_mirren.boot")
# (name, length of the root (0: short), VSN, SYSTEM_VSN, what is refused as
# too long: ROOT before the versions are read, the root with the most bytes
# it may have for them, a key whose value would not fit even under a
# drive's root, or None: the tree installs)
ROOT = "root"
PATH_LENGTHS = [
    ("longest_path_that_fits", 259 - LONGEST_SUFFIX, "1", "R", None),
    # the root's fault, with the versions' paths as they are
    ("longest_path_one_byte_too_long", 260 - LONGEST_SUFFIX, "1", "R", 259 - LONGEST_SUFFIX),
    ("root_one_byte_too_long", 260 - len("\\bin\\start_mirren.boot"), "5.10.3", "R16B", ROOT),
    # refused, not truncated
    ("root_far_too_long", 1000, "5.10.3", "R16B", ROOT),
    ("vsn_of_300_bytes", 0, "v" * 300, "R16B", "VSN"),
    ("vsn_too_long_for_its_path", 0, "v" * 245, "R16B", "VSN"),
    ("system_vsn_too_long", 0, "5.10.3", "s" * 250, "SYSTEM_VSN"),
    # folders whose paths fit in 250 bytes, the names joined to them not
    ("vsn_leaves_no_room_for_names", 150, "v" * 88, "R16B", 147),
    ("system_vsn_leaves_no_room_for_names", 150, "5.10.3", "s" * 90, 141),
]


@pytest.mark.parametrize("root_length, vsn, system_vsn, refused", rows(PATH_LENGTHS))
def test_path_length(ctx, root_length, vsn, system_vsn, refused):
    """Refused before anything happens."""
    versions = dict(vsn=vsn, system_vsn=system_vsn)
    tree = padded_tree(ctx, root_length, **({} if refused else versions))
    write(tree.path("Install.ini"), release_description(vsn, system_vsn))
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    if refused is None:
        expect(outcome, 0, "", "")
        assert not installation_problems(tree, ctx.root(tree), velmar=False)
        return
    limit = say.ROOT_LIMIT % refused if isinstance(refused, int) else ""
    expect(outcome, 1, "", say.ROOT_TOO_LONG % ctx.root(tree) + limit if refused == ROOT or limit
           else say.VALUE_TOO_LONG % (refused, ctx.composed(tree, "Install.ini")))
    assert not os.path.exists(tree.root_bin())


# ---- Locked files (Windows) -------------------------------------------------

# (name, the file held open without sharing, the copy that fails, its
# failing step, what follows its message, exit status, and whether the run
# answers the question with both streams in one log)
LOCKED_FILES = [
    # a source that cannot be read ends the run
    ("executable_locked", ("sumbra-5.10.3", "bin", "brevant.exe"), "brevant.exe", say.OPEN_SOURCE,
     say.BAILING_OUT, 1, False),
    # in use, as by a running program: a warning, the rest installs
    ("copy_in_bin_locked", ("bin", "brevant.exe"), "brevant.exe", say.REPLACE, say.CONTINUING, 0,
     False),
    ("boot_file_in_bin_locked", ("bin", "start_velmar.boot"), "start_velmar.boot", say.REPLACE,
     say.BAILING_OUT, 1, False),
    # the log holds the lines in the order they were written
    ("warning_in_a_log", ("bin", "qvlc.exe"), "qvlc.exe", say.REPLACE, say.CONTINUING, 0, True),
]


@pytest.mark.windows_only
@pytest.mark.parametrize("held, failing, step, then, status, one_log", rows(LOCKED_FILES))
def test_locked(ctx, held, failing, step, then, status, one_log):
    tree = ctx.tree()
    assert ctx.hold, "no --hold-tool given"
    if held[0] == "bin":
        write(tree.path(*held), b"an earlier copy")
    holder = subprocess.Popen(ctx.tool.command([ctx.tool.path(tree.path(*held))],
                                               executable=ctx.hold),
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    try:
        assert holder.stdout.readline().startswith(b"held"), "the holder did not take the file"
        outcome = ctx.tool.run([ctx.root(tree)] if one_log else ["-s", ctx.root(tree)],
                               stdin=b"y\n", one_log=one_log)
    finally:
        holder.stdin.close()
        holder.wait(timeout=30)
    source_folder = ("sumbra-5.10.3", "bin") if failing in EXECUTABLES else ("releases", "R16B")
    stderr = copy_failed(ctx.composed(tree, *source_folder, failing),
                         ctx.composed(tree, "bin", failing), then, reason(ctx.tool, step, 0))
    if one_log:
        outcome = Outcome(outcome.status, "", outcome.stdout)
        stderr = joined(say.QUESTION, stderr, say.SUCCESS % tree.vsn)
    expect(outcome, status, "", stderr)
    # No scratch file is left, and a warning leaves the rest installed.
    assert not strays(tree)
    if status == 0:
        assert [p for p in installation_problems(tree, ctx.root(tree), velmar=False)
                if failing not in p] == []
