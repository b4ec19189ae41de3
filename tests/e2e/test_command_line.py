"""The command line, the root directory and the start-up question."""

import errno
import os
import shutil
import subprocess

import pytest

import messages as say
from expected import UTF8, cannot_open, expect, joined, reason, rows, success_stdout
from tool import Outcome
from tree import installation_problems


def with_root(arguments, ctx, tree):
    """The arguments with ROOT replaced by the tree's root."""
    return [a if a != "ROOT" else ctx.root(tree) for a in arguments]


def install_and_check(ctx, arguments, stdin=b"", velmar=False, silent=False):
    tree = ctx.tree()
    outcome = ctx.tool.run(with_root(arguments, ctx, tree), stdin=stdin)
    expect(outcome, 0, success_stdout(tree.vsn, silent), "")
    assert not installation_problems(tree, ctx.root(tree), velmar)


# ---- Arguments ---------------------------------------------------------

def unknown(switch):
    return say.UNKNOWN_SWITCH % switch + say.SEE_HELP


# Each fails before the question, so standard output stays empty.
FAILING_ARGUMENTS = [
    # -x fails before the root is looked at
    ("unknown_switch_first", ["-x", "C:\\dist"], unknown("-x")),
    # a second root fails before a later bad switch
    ("second_root", ["C:\\dist", "D:\\other", "-x"], say.SECOND_ROOT % "D:\\other"),
    ("upper_case_switch", ["-S"], unknown("-S")),
    ("lone_dash", ["-"], unknown("-")),
    ("long_help_with_one_dash", ["-help"], unknown("-help")),
    # the whole offending argument is reported, a control byte as its code
    ("switch_after_two_roots", ["-s", "a", "b\tc"], say.SECOND_ROOT % "b<0x09>c"),
    ("switch_with_control_byte", ["-\x01"], unknown("-<0x01>")),
    # an empty root: an unset variable
    ("empty_root_refused", ["", "-s"], say.EMPTY_ROOT),
    # "\\h\dist\" arrives as \\h\dist": the message says why (a full path
    # on both systems, which the tool takes as it is)
    ("root_ends_in_quote", ["\\\\h\\dist\""],
     say.ROOT_QUOTE % "\\\\h\\dist\"" + say.QUOTED_ROOT_BACKSLASH),
    ("root_holds_quote", ["\\\\h\\a\"b"], say.ROOT_QUOTE % "\\\\h\\a\"b"),
    ("root_holds_tab", ["\\\\h\\a\tb"], say.ROOT_CONTROL % (9, 6)),
    ("root_holds_delete", ["\\\\h\\d\x7f"], say.ROOT_CONTROL % (0x7F, 6)),
    # a control byte is named before a quote, never printed
    ("root_holds_control_and_quote", ["\\\\h\\\"\x01"], say.ROOT_CONTROL % (1, 6)),
    # /s, the Windows habit for a switch, is a root: the message says what to use
    ("slash_s_beside_a_root", ["C:\\dist", "/S"], say.SECOND_ROOT % "/S" + say.USE_DASH_S),
]


@pytest.mark.parametrize("arguments, message", rows(FAILING_ARGUMENTS))
def test_arguments(tool, arguments, message):
    expect(tool.run(arguments, stdin=b"y\n"), 1, "", message)


# ---- Help ----------------------------------------------------------------

# What the usage must tell: the command line, the switch, the root, and
# where to read more.
USAGE_TELLS = ["Usage: Install [-s] [root-directory]\n", "-s ", "root-directory ", "Install.ini",
               "README.txt", "docs/running.md"]

# Each spelling, and help wins over whatever else the command line holds.
HELP_ARGUMENTS = [
    ("slash_question_mark", ["-s", "ROOT", "/?"]),
    ("dash_question_mark", ["-?"]),
    ("dash_h", ["-x", "-h"]),
    ("double_dash_help", ["", "a b", "--help"]),
]


@pytest.mark.parametrize("arguments", rows(HELP_ARGUMENTS))
def test_help(ctx, arguments):
    """The usage, and nothing else done."""
    tree = ctx.tree()
    outcome = ctx.tool.run(with_root(arguments, ctx, tree), stdin=b"y\n")
    assert (outcome.status, outcome.stderr) == (0, "")
    assert outcome.stdout.startswith(USAGE_TELLS[0])
    assert [part for part in USAGE_TELLS if part not in outcome.stdout] == []
    assert not os.path.exists(tree.root_bin()), "a run asking for help installed"


SILENT_ARGUMENTS = [
    ("repeated_switch", ["-s", "-s", "ROOT"]),
    ("switch_after_root", ["ROOT", "-s"]),
    ("long_switch", ["-silent", "ROOT"]),
    ("switch_with_tail", ["-sx", "ROOT"]),
]


@pytest.mark.parametrize("arguments", rows(SILENT_ARGUMENTS))
def test_silent(ctx, arguments):
    """A silent run with the minimal start-up; standard input offers "no",
    which it must not read."""
    install_and_check(ctx, arguments, stdin=b"no\n", silent=True)


def test_arguments_slash_s_is_a_root(ctx):
    """/s is no switch but a root folder (on Windows, at the top of the
    current drive), which fails before the question."""
    outcome = ctx.tool.run(["/s"], stdin=b"\n", cwd=ctx.scratch)
    root = ctx.tool.own_directory(ctx.scratch)[:2] + "\\s" if ctx.tool.windows else "/s"
    expect(outcome, 1, "", joined(cannot_open(ctx.tool, root + "\\Install.ini", errno.ENOENT),
                                  say.USE_DASH_S))


# ---- Relative roots ------------------------------------------------------

# A relative root is the tree's full path in qvl.ini: (name, working
# directory under the case's scratch folder, where the tree is "tree"; the
# argument, whose trailing backslash stays).
RELATIVE_ROOTS = [
    ("dot", "tree", "."),
    ("parent_then_tree", "other", "..\\tree"),
    ("bare_name", "", "tree"),
    ("with_trailing_backslash", "", "tree\\"),
    ("with_forward_slashes", "other/deeper", "../../tree/."),
]
RELATIVE_ROOTS_ON_WINDOWS = [
    ("on_the_current_drive", "other", "Z:..\\tree"),
    ("at_the_top_of_the_current_drive", "other", "TOP\\tree"),
]


@pytest.mark.parametrize("directory, argument", rows(RELATIVE_ROOTS) + rows(
    RELATIVE_ROOTS_ON_WINDOWS, pytest.mark.windows_only))
def test_relative_root(ctx, directory, argument):
    tree = ctx.tree()
    cwd = os.path.join(ctx.scratch, directory)
    os.makedirs(cwd, exist_ok=True)
    # "\\tmp\\...": the scratch folder without its drive.
    argument = argument.replace("TOP", ctx.tool.own_directory(ctx.scratch)[2:])
    outcome = ctx.tool.run([argument], stdin=b"y\n", cwd=cwd)
    root = ctx.tool.own_directory(tree.base) + ("\\" if argument.endswith("\\") else "")
    expect(outcome, 0, success_stdout(tree.vsn, False), "")
    assert not installation_problems(tree, root, velmar=False)


# A relative root refused before the question, named by its full path:
# (name, working directory under the case's scratch folder, the argument,
# standard error for the full path)
REFUSED_RELATIVE_ROOTS = [
    ("named_in_messages", "", "nowhere",
     lambda ctx, full: cannot_open(ctx.tool, full + "\\Install.ini", errno.ENOENT)),
    ("too_long_for_paths", "", "r" * 250, lambda ctx, full: say.ROOT_TOO_LONG % full),
    # a full path beyond any path the system takes is shown as given
    ("too_long_for_any_message", "", "r" * 5000,
     lambda ctx, full: say.ROOT_TOO_LONG % ("r" * 5000)),
]
REFUSED_RELATIVE_ROOTS_ON_LINUX = [
    # the control byte of a folder on the way, as of one typed
    ("through_a_folder_with_a_tab", "a\tb", ".",
     lambda ctx, full: say.ROOT_CONTROL % (9, full.index("\t") + 1)),
]


@pytest.mark.parametrize("directory, argument, stderr", rows(REFUSED_RELATIVE_ROOTS) + rows(
    REFUSED_RELATIVE_ROOTS_ON_LINUX, pytest.mark.native_only))
def test_relative_root_refused(ctx, directory, argument, stderr):
    cwd = os.path.join(ctx.scratch, directory)
    os.makedirs(cwd, exist_ok=True)
    outcome = ctx.tool.run([argument], stdin=b"y\n", cwd=cwd)
    expect(outcome, 1, "", stderr(ctx, ctx.tool.own_directory(os.path.join(cwd, argument))))


@pytest.mark.native_only
def test_relative_root_without_current_folder(ctx):
    gone = os.path.join(ctx.scratch, "gone")
    os.mkdir(gone)
    # The folder is removed while the tool's shell stands in it.
    command = ["sh", "-c", 'cd "$1" && rmdir "$1" && shift && exec "$@"', "sh", gone]
    result = subprocess.run(command + ctx.tool.command(["-s", "tree"]), stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, timeout=60)
    outcome = Outcome(result.returncode, ctx.tool.text(result.stdout), ctx.tool.text(result.stderr))
    expect(outcome, 1, "", say.NO_FULL_PATH % "tree"
           + reason(ctx.tool, say.CURRENT_FOLDER_UNKNOWN, errno.ENOENT))


# ---- Names the ANSI code page cannot hold (Windows) ------------------------

# Code page 1252 makes "Lódz" of "Łódź", a name another folder may have:
# both must stay untouched. (name, the message, how the tool is started:
# root argument, working directory, or the tool copied into the tree)
NOT_IN_CODE_PAGE = [
    ("root", say.ROOT_NOT_ANSI, "argument"),
    ("relative_root_in_folder", say.ROOT_NOT_ANSI, "cwd"),
    ("own_location", say.OWN_PATH_NOT_ANSI, "copy"),
]


@pytest.mark.windows_only
@pytest.mark.parametrize("refused, start", rows(NOT_IN_CODE_PAGE))
def test_not_in_code_page(ctx, refused, start):
    """Refused, never taken for its look-alike."""
    meant, look_alike = ctx.tree(name="Łódź"), ctx.tree(name="L\xf3dz")
    command = ({"argument": dict(arguments=["-s", ctx.root(meant)]),
                "cwd": dict(arguments=["-s", "."], cwd=meant.base)}.get(start)
               or dict(arguments=["-s"], executable=copy_tool_into(ctx, meant.base)))
    outcome = ctx.tool.run(environment=UTF8, **command)
    expect(outcome, 1, "", refused % ctx.root(look_alike))
    assert [t.base for t in (meant, look_alike) if os.path.exists(t.root_bin())] == []


# ---- Root from the tool's own location ----------------------------------

def copy_tool_into(ctx, directory):
    os.makedirs(directory, exist_ok=True)
    name = os.path.basename(ctx.tool.executable)
    destination = os.path.join(directory, name)
    shutil.copy2(ctx.tool.executable, destination)
    return destination


# The tool run silently from a folder: (name, the folder, what it writes on
# standard error: "" when it installs the tree it sits in)
OWN_LOCATIONS = [
    ("installs_the_tree_it_is_in", "tree", lambda ctx, root: ""),
    ("names_its_release_file", "empty dir",
     lambda ctx, root: cannot_open(ctx.tool, root + "\\Install.ini", errno.ENOENT)),
    ("too_long", os.path.join(*["d" * 40] * 8), lambda ctx, root: say.TRUNCATED_OWN_PATH),
]
OWN_LOCATIONS_ON_LINUX = [
    # a line feed (Linux allows it) is refused, its byte never printed
    ("with_control_byte", "a\nb",
     lambda ctx, root: say.ROOT_CONTROL % (10, len(ctx.tool.own_directory(ctx.scratch)) + 3)),
]


@pytest.mark.parametrize("folder, stderr", rows(OWN_LOCATIONS) + rows(
    OWN_LOCATIONS_ON_LINUX, pytest.mark.native_only))
def test_own_location(ctx, folder, stderr):
    tree = ctx.tree()
    directory = os.path.join(ctx.scratch, folder)
    executable = copy_tool_into(ctx, directory)
    outcome = ctx.tool.run(["-s"], executable=executable, cwd=ctx.scratch)
    root = ctx.tool.own_directory(directory)
    expected = stderr(ctx, root)
    expect(outcome, 1 if expected else 0, "", expected)
    if not expected:
        assert not installation_problems(tree, root, velmar=False)


@pytest.mark.windows_only
def test_drive_root(ctx):
    """A tool at a drive's root (a letter mapped in the test prefix), and a
    root given as Q:\\, take Q:\\: every path has one backslash after it."""
    tree = ctx.tree()
    executable = "Q:\\" + os.path.basename(copy_tool_into(ctx, tree.base))
    drive = os.path.join(ctx.tool.emulator[-1], "dosdevices", "q:")
    os.symlink(tree.base, drive)
    try:
        for arguments in (["-s"], ["-s", "Q:\\"]):
            expect(ctx.tool.run(arguments, executable=executable), 0, "", "")
            assert not installation_problems(tree, "Q:\\", velmar=False)
    finally:
        os.remove(drive)


# ---- The question -------------------------------------------------------

# (name, the answer (None: standard input closed), whether it chooses the
# velmar start-up (None: no answer could be read))
ANSWERS = [
    ("YES", b"YES\n", False), ("Yes", b"Yes\n", False), ("Y", b"Y\n", False),
    ("y_crlf", b"y\r\n", False), ("y_without_line_feed", b"y", False),
    ("yes_please", b"yes please\n", True), ("n", b"n\n", True), ("space_y", b" y\n", True),
    ("empty_line", b"\n", True), ("y_then_carriage_return_text", b"y\rubbish\n", False),
    ("overlong_line", b"y" * 150 + b"\n", True),
    ("yes_after_99_bytes", b"x" * 99 + b"yes\n", True),
    ("end_of_input", b"", None), ("closed_input", None, None),
]


@pytest.mark.parametrize("answer, velmar", rows(ANSWERS))
def test_answer(ctx, answer, velmar):
    if velmar is not None:
        return install_and_check(ctx, ["ROOT"], stdin=answer, velmar=velmar)
    outcome = ctx.tool.run([ctx.root(ctx.tree())], stdin=answer or b"", close_stdin=answer is None)
    expect(outcome, 1, say.QUESTION, say.NO_ANSWER)


def test_silent_never_reads_input(ctx):
    tree = ctx.tree()
    answer_file = os.path.join(ctx.scratch, "answer")
    with open(answer_file, "wb") as f:
        f.write(b"n\n")
    with open(answer_file, "rb") as stdin:
        outcome = ctx.tool.run(["-s", ctx.root(tree)], stdin_file=stdin)
        position = os.lseek(stdin.fileno(), 0, os.SEEK_CUR)
    expect(outcome, 0, "", "")
    assert not installation_problems(tree, ctx.root(tree), velmar=False)
    assert position == 0, "standard input was read"
