"""The installation: Install.ini, the binary directory, start.boot, qvl.ini
and the success message, with every failure and its exact message."""

import errno
import os
import subprocess

import pytest

from expected import (BAIL_OUT, CONTINUE, cannot_open, copy_failed, create_failed, expect, reason, rows,
                      success_stdout)
from tree import (BOOT_FILES, EXECUTABLES, QUESTION, escaped, installation_problems,
                  launcher_config, read, release_description, strays, write)


def installs_silently(ctx, tree, root=None):
    """A silent run over tree installs it whole and says nothing."""
    root = root or ctx.root(tree)
    expect(ctx.tool.run(["-s", root]), 0, "", "")
    assert not installation_problems(tree, root, velmar=False)


# ---- Whole installations ------------------------------------------------

def test_install_silent(ctx):
    """The minimal start-up, and nothing printed."""
    installs_silently(ctx, ctx.tree())


def test_install_interactive_velmar(ctx):
    """Answering no installs the velmar start-up."""
    tree = ctx.tree()
    outcome = ctx.tool.run([ctx.root(tree)], stdin=b"no\n")
    expect(outcome, 0, success_stdout(tree.vsn, False), "")
    assert not installation_problems(tree, ctx.root(tree), velmar=True)


def test_install_twice(ctx):
    """Running again repeats every copy and ends the same way."""
    tree = ctx.tree()
    expect(ctx.tool.run(["-s", ctx.root(tree)]), 0, "", "")
    second = ctx.tool.run([ctx.root(tree)], stdin=b"n\n")
    expect(second, 0, success_stdout(tree.vsn, False), "")
    assert not installation_problems(tree, ctx.root(tree), velmar=True)


def test_install_over_existing_files(ctx):
    """An existing bin folder and qvl.ini files are replaced."""
    tree = ctx.tree()
    stale = b"stale content that is longer than any new file would be" * 100
    for name in EXECUTABLES + BOOT_FILES + ["start.boot", "qvl.ini"]:
        write(tree.root_bin(name), stale)
    write(tree.versioned_bin("qvl.ini"), stale)
    installs_silently(ctx, tree)


def test_install_root_with_trailing_backslash(ctx):
    """A trailing backslash stays in every composed path."""
    tree = ctx.tree()
    installs_silently(ctx, tree, ctx.root(tree) + "\\")


def test_install_path_with_semicolon(ctx):
    """A root holding ; and spaces is escaped in qvl.ini."""
    installs_silently(ctx, ctx.tree(name="dist; one"))


def test_install_repeated_vsn(ctx):
    """A repeated VSN takes the first value."""
    tree = ctx.tree(ini="[Install]\nVSN=5.10.3\nVSN=9.9\nSYSTEM_VSN=R16B\n")
    outcome = ctx.tool.run([ctx.root(tree)], stdin=b"y\n")
    expect(outcome, 0, success_stdout("5.10.3", False), "")
    assert not installation_problems(tree, ctx.root(tree), velmar=False)


def test_install_ini_with_comments_and_other_sections(ctx):
    """Other sections, comments and CR LF are ignored."""
    ini = ("; release of the day\r\n[Other]\r\nVSN = 1.0\r\n\r\n[Install]  \r\n"
           "  VSN = 5.10.3 ; current\r\nSYSTEM_VSN=R16B\r\nNOTE=x\r\n")
    installs_silently(ctx, ctx.tree(ini=ini))


def test_install_ini_with_utf8_byte_order_mark(ctx):
    installs_silently(ctx, ctx.tree(ini=b"\xef\xbb\xbf" + release_description().encode()))


def test_utf8_version(ctx):
    """A UTF-8 Install.ini (it has the mark) names folders as the system
    does: in the ANSI code page on Windows, in its bytes on Linux."""
    vsn = "5.10.3-\xe9"
    tree = ctx.tree(vsn=vsn, ini=b"\xef\xbb\xbf" + release_description(vsn).encode())
    expect(ctx.tool.run(["-s", ctx.root(tree)], environment={"LANG": "C.UTF-8"}), 0, "", "")
    shown = vsn if ctx.tool.windows else vsn.encode().decode("latin-1")
    assert read(tree.versioned_bin("qvl.ini")) == launcher_config(ctx.root(tree), shown)
    assert [p for p in installation_problems(tree, ctx.root(tree), velmar=False)
            if "qvl.ini" not in p] == []



@pytest.mark.windows_only
def test_utf8_version_without_ansi_form(ctx):
    """A UTF-8 version that the ANSI code page cannot write is refused,
    never taken for the look-alike folder it would read as."""
    tree = ctx.tree(vsn="5.10.3-L",
                    ini=b"\xef\xbb\xbf" + release_description("5.10.3-\u0141").encode())
    expect(ctx.tool.run(["-s", ctx.root(tree)]), 1, "",
           "Value of VSN in init file %s cannot be written in this system's ANSI code page; "
           "it would read as 5.10.3-L, which may be another folder\n"
           % ctx.composed(tree, "Install.ini"))
    assert not os.path.exists(tree.root_bin())

# ---- Install.ini ---------------------------------------------------------

CANNOT_OPEN = "Cannot open init file %s\n"
NEITHER = "neither a [section] header nor a key=value line"

# (name, what Install.ini holds (None: it is missing), standard error)
RELEASE_FILE_FAILURES = [
    ("missing", None, cannot_open),
    ("bad_structure", "VSN=1\n[Install]\nVSN=1\nSYSTEM_VSN=R\n",
     CANNOT_OPEN + "line 1: key=value before the first [section] header\n"),
    ("empty_section_name", "[]\nVSN=1\n",
     CANNOT_OPEN + "line 1: [] is not a section header: a section needs a name\n"),
    ("line_neither_header_nor_entry", "[Install]\r\nVSN=1\r\n\r\n; note\r\n=1\r\n",
     CANNOT_OPEN + "line 5: %s\n" % NEITHER),
    ("continued_line_at_fault", "[Install]\nVSN=1\nnot an \\\nentry\n[Next]\n",
     CANNOT_OPEN + "line 3: %s\n" % NEITHER),
    ("utf16_little_endian", "\ufeff[Install]\nVSN=1\n".encode("utf-16-le"),
     CANNOT_OPEN + "the file is UTF-16 text (little-endian); save it as ANSI or UTF-8\n"),
    ("utf16_big_endian", "\ufeff[Install]\nVSN=1\n".encode("utf-16-be"),
     CANNOT_OPEN + "the file is UTF-16 text (big-endian); save it as ANSI or UTF-8\n"),
    ("lower_case_section", "[install]\nVSN=5.10.3\nSYSTEM_VSN=R16B\n",
     "No [Install] section in init file %s\n"),
    ("empty", "", "No [Install] section in init file %s\n"),
    ("comments_only", "; nothing\n\n   \n;[Install]\n", "No [Install] section in init file %s\n"),
    ("no_vsn", "[Install]\nSYSTEM_VSN=R16B\n", "No key VSN in init file %s\n"),
    ("lower_case_vsn", "[Install]\nvsn=5.10.3\nSYSTEM_VSN=R16B\n", "No key VSN in init file %s\n"),
    ("vsn_in_second_section", "[Install]\nSYSTEM_VSN=R16B\n[Install]\nVSN=5.10.3\n",
     "No key VSN in init file %s\n"),
    ("no_system_vsn", "[Install]\nVSN=5.10.3\n", "No key SYSTEM_VSN in init file %s\n"),
]


@pytest.mark.parametrize("ini, message", rows(RELEASE_FILE_FAILURES))
def test_release_file(ctx, ini, message):
    """Each fails with its message, before bin is created."""
    tree = ctx.tree()
    if ini is None:
        os.remove(tree.path("Install.ini"))
    else:
        write(tree.path("Install.ini"), ini)
    outcome = ctx.tool.run([ctx.root(tree)], stdin=b"y\n")
    path = ctx.composed(tree, "Install.ini")
    expect(outcome, 1, QUESTION,
           message(ctx.tool, path, errno.ENOENT) if callable(message) else message % path)
    assert not os.path.exists(tree.root_bin())


def test_release_file_is_a_directory(ctx):
    tree = ctx.tree()
    os.remove(tree.path("Install.ini"))
    os.mkdir(tree.path("Install.ini"))
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    expect(outcome, 1, "", cannot_open(ctx.tool, ctx.composed(tree, "Install.ini"), errno.EISDIR))


# ---- Versions that cannot name one folder ----------------------------------

NOT_A_FOLDER_NAME = ('Value of %s in init file %s is not a folder name: "%s"\n'
                     "A version must not be empty, . or .., nor hold \\, /, : or a control "
                     "character\n")

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
]


@pytest.mark.parametrize("key, value", rows(VERSIONS_NOT_FOLDER_NAMES))
def test_version(ctx, key, value):
    """Refused before anything is created."""
    tree = ctx.tree()
    versions = {"VSN": tree.vsn, "SYSTEM_VSN": tree.system_vsn, key: escaped(value)}
    write(tree.path("Install.ini"), release_description(versions["VSN"], versions["SYSTEM_VSN"]))
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    shown = value.replace("\t", "<0x09>") if len(value) < 260 else value[:256] + "..."
    expect(outcome, 1, "", NOT_A_FOLDER_NAME % (key, ctx.composed(tree, "Install.ini"), shown))
    assert os.listdir(ctx.scratch) == ["tree"] and not os.path.exists(tree.root_bin())


# ---- Copies ------------------------------------------------------------------

def test_fifth_executable_missing(ctx):
    """An upgrade short of one program ends before anything changes: bin
    holds the earlier installation, byte for byte."""
    installs_silently(ctx, ctx.tree(vsn="5.10.2"))
    tree = ctx.tree(vsn="5.10.3")
    os.remove(tree.versioned_bin("kestin.exe"))
    before = {name: read(tree.root_bin(name)) for name in os.listdir(tree.root_bin())}
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    expect(outcome, 1, "", "Could not find file %s\n"
           % ctx.composed(tree, "sumbra-5.10.3", "bin", "kestin.exe"))
    assert {name: read(tree.root_bin(name)) for name in os.listdir(tree.root_bin())} == before


def test_boot_file_missing(ctx):
    """A missing boot file ends the run after the executables."""
    tree = ctx.tree()
    os.remove(tree.release_dir("start_velmar.boot"))
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    expect(outcome, 1, "", "Could not find file %s\n"
           % ctx.composed(tree, "releases", "R16B", "start_velmar.boot"))
    assert not os.path.exists(tree.root_bin())


def test_release_directory_missing(ctx):
    """A missing release directory names the first boot file."""
    tree = ctx.tree(system_vsn="R16B")
    write(tree.path("Install.ini"), release_description("5.10.3", "R17"))
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    expect(outcome, 1, "", "Could not find file %s\n"
           % ctx.composed(tree, "releases", "R17", "start_mirren.boot"))


# A copy that ends the run before qvl.ini is written: (name, what makes it
# fail, its source, its destination, and the reason: the step and errno)
OPEN_SOURCE = "cannot open the source"
REPLACE = "cannot replace the destination"
FATAL_COPIES = [
    ("executable_source_is_directory", lambda tree: (
        os.remove(tree.versioned_bin("ostrel.exe")), os.mkdir(tree.versioned_bin("ostrel.exe"))),
     ("sumbra-5.10.3", "bin", "ostrel.exe"), ("bin", "ostrel.exe"), OPEN_SOURCE, errno.EISDIR),
    ("executable_destination_is_directory", lambda tree: os.makedirs(tree.root_bin("wqvl.exe")),
     ("sumbra-5.10.3", "bin", "wqvl.exe"), ("bin", "wqvl.exe"), REPLACE, errno.EISDIR),
    ("first_executable_destination_is_directory",
     lambda tree: os.makedirs(tree.root_bin("qvl.exe")),
     ("sumbra-5.10.3", "bin", "qvl.exe"), ("bin", "qvl.exe"), REPLACE, errno.EISDIR),
    ("boot_file_copy_fails", lambda tree: os.makedirs(tree.root_bin("start_velmar.boot")),
     ("releases", "R16B", "start_velmar.boot"), ("bin", "start_velmar.boot"), REPLACE,
     errno.EISDIR),
    ("boot_file_source_is_directory", lambda tree: (
        os.remove(tree.release_dir("start_mirren.boot")),
        os.mkdir(tree.release_dir("start_mirren.boot"))),
     ("releases", "R16B", "start_mirren.boot"), ("bin", "start_mirren.boot"), OPEN_SOURCE,
     errno.EISDIR),
    ("active_boot_file_copy_fails", lambda tree: os.makedirs(tree.root_bin("start.boot")),
     ("bin", "start_mirren.boot"), ("bin", "start.boot"), REPLACE, errno.EISDIR),
]


@pytest.mark.parametrize("make_fault, source, destination, step, error", rows(FATAL_COPIES))
def test_fatal_copy(ctx, make_fault, source, destination, step, error):
    tree = ctx.tree()
    make_fault(tree)
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    expect(outcome, 1, "", copy_failed(ctx.composed(tree, *source), ctx.composed(tree, *destination),
                                       BAIL_OUT, reason(ctx.tool, step, error)))
    assert not os.path.exists(tree.versioned_bin("qvl.ini"))
    assert not strays(tree)


# ---- qvl.ini -----------------------------------------------------------------

def test_launcher_config_cannot_be_created(ctx):
    tree = ctx.tree()
    os.mkdir(tree.versioned_bin("qvl.ini"))
    outcome = ctx.tool.run([ctx.root(tree)], stdin=b"y\n")
    expect(outcome, 1, QUESTION, create_failed(ctx.composed(tree, "sumbra-5.10.3", "bin", "qvl.ini"),
                                               reason(ctx.tool, REPLACE, errno.EISDIR)))


def test_launcher_config_copy_fails(ctx):
    """qvl.ini that cannot be copied into bin ends the run."""
    tree = ctx.tree()
    os.makedirs(tree.root_bin("qvl.ini"))
    outcome = ctx.tool.run([ctx.root(tree)], stdin=b"y\n")
    expect(outcome, 1, QUESTION, copy_failed(
        ctx.composed(tree, "sumbra-5.10.3", "bin", "qvl.ini"), ctx.composed(tree, "bin", "qvl.ini"),
        BAIL_OUT, reason(ctx.tool, REPLACE, errno.EISDIR)))
    assert os.path.isfile(tree.versioned_bin("qvl.ini")), "the written qvl.ini is gone"


@pytest.mark.native_only
def test_launcher_config_link_to_a_device_is_replaced(ctx):
    """qvl.ini a link (to /dev/full): replaced as a name, never written
    through."""
    tree = ctx.tree()
    assert os.path.exists("/dev/full")
    os.symlink("/dev/full", tree.versioned_bin("qvl.ini"))
    installs_silently(ctx, tree)
    assert not os.path.islink(tree.versioned_bin("qvl.ini"))


# ---- Values too long for a path -------------------------------------------

def padded_tree(ctx, root_length, **options):
    """A tree whose root, as the tool sees it, is exactly root_length bytes."""
    base = os.path.join(ctx.scratch, "t")
    while len(ctx.tool.path(base)) < root_length:
        shortfall = root_length - len(ctx.tool.path(base))
        base = base + "x" if shortfall < 3 else os.path.join(base, "p" * min(shortfall - 1, 60))
    return ctx.tree(name=os.path.relpath(base, ctx.scratch), **options)


def refused_as_too_long(ctx, tree, key):
    """A silent run refuses the value of key before anything is copied."""
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    expect(outcome, 1, "", "Value of %s in init file %s is too long, paths with it would exceed "
           "259 bytes\n" % (key, ctx.composed(tree, "Install.ini")))
    assert not os.path.exists(tree.root_bin())


# With VSN "1" and SYSTEM_VSN "R" the longest path of the run is the release
# directory's <root>\releases\R\start_mirren.boot.
LONGEST_SUFFIX = len("\\releases\\R\\start_mirren.boot")


def test_longest_path_that_fits(ctx):
    """A tree whose longest path is exactly 259 bytes installs."""
    installs_silently(ctx, padded_tree(ctx, 259 - LONGEST_SUFFIX, vsn="1", system_vsn="R"))


def test_longest_path_one_byte_too_long(ctx):
    refused_as_too_long(ctx, padded_tree(ctx, 260 - LONGEST_SUFFIX, vsn="1", system_vsn="R"),
                        "SYSTEM_VSN")


def test_root_one_byte_too_long(ctx):
    """Refused before anything happens."""
    tree = padded_tree(ctx, 260 - len("\\bin\\start_mirren.boot"))
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    expect(outcome, 1, "", "Root directory is too long, paths in it would exceed 259 bytes: %s\n"
           % ctx.root(tree))
    assert not os.path.exists(tree.root_bin())


def test_root_far_too_long(ctx):
    """A root of 1000 bytes is refused, not truncated."""
    root = ctx.tool.path(ctx.scratch) + "\\" + "r" * 997
    outcome = ctx.tool.run(["-s", root])
    expect(outcome, 1, "", "Root directory is too long, paths in it would exceed 259 bytes: %s\n"
           % root)


VALUE_TOO_LONG = [
    ("vsn_of_300_bytes", "VSN", "v" * 300, "R16B"),
    ("vsn_too_long_for_its_path", "VSN", "v" * 230, "R16B"),
    ("system_vsn_too_long", "SYSTEM_VSN", "5.10.3", "s" * 250),
]


@pytest.mark.parametrize("key, vsn, system_vsn", rows(VALUE_TOO_LONG))
def test_value(ctx, key, vsn, system_vsn):
    tree = ctx.tree()
    write(tree.path("Install.ini"), release_description(vsn, system_vsn))
    refused_as_too_long(ctx, tree, key)


# ---- Locked files (Windows) -------------------------------------------------

# (name, the file held open without sharing, the copy that fails, its
# failing step, what follows its message, exit status)
LOCKED_FILES = [
    # a source that cannot be read ends the run
    ("executable_locked", ("sumbra-5.10.3", "bin", "brevant.exe"), "brevant.exe", OPEN_SOURCE,
     BAIL_OUT, 1),
    # in use, as by a running program: a warning, the rest installs
    ("copy_in_bin_locked", ("bin", "brevant.exe"), "brevant.exe", REPLACE, CONTINUE, 0),
    ("boot_file_in_bin_locked", ("bin", "start_velmar.boot"), "start_velmar.boot", REPLACE,
     BAIL_OUT, 1),
]


@pytest.mark.windows_only
@pytest.mark.parametrize("held, failing, step, then, status", rows(LOCKED_FILES))
def test_locked(ctx, held, failing, step, then, status):
    tree = ctx.tree()
    assert ctx.hold, "no --hold-tool given"
    if held[0] == "bin":
        write(tree.path(*held), b"an earlier copy")
    holder = subprocess.Popen(ctx.tool.command([ctx.tool.path(tree.path(*held))],
                                               executable=ctx.hold),
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    try:
        assert holder.stdout.readline().startswith(b"held"), "the holder did not take the file"
        outcome = ctx.tool.run(["-s", ctx.root(tree)])
    finally:
        holder.stdin.close()
        holder.wait(timeout=30)
    source_folder = ("sumbra-5.10.3", "bin") if failing in EXECUTABLES else ("releases", "R16B")
    expect(outcome, status, "", copy_failed(
        ctx.composed(tree, *source_folder, failing), ctx.composed(tree, "bin", failing), then,
        reason(ctx.tool, step, 0)))
    # No scratch file is left, and a warning leaves the rest installed.
    assert not strays(tree)
    if status == 0:
        assert [p for p in installation_problems(tree, ctx.root(tree), velmar=False)
                if failing not in p] == []
