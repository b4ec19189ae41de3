"""The command line, the root directory and the start-up question."""

import errno
import os
import shutil
import subprocess

from framework import cannot_open, case, expect, success_stdout
from tool import Outcome
from tree import QUESTION, installation_problems


def install_and_check(ctx, arguments, stdin=b"", velmar=False, silent=False):
    tree = ctx.tree()
    outcome = ctx.tool.run([a if a != "ROOT" else ctx.root(tree) for a in arguments], stdin=stdin)
    return (expect(outcome, 0, success_stdout(tree.vsn, silent), "")
            + installation_problems(tree, ctx.root(tree), velmar))


# ---- Arguments ---------------------------------------------------------

SEE_HELP = "Run Install /? to see how to use it.\n"
QUOTE = "Root directory %s holds a quote (\"); no folder name can hold one\n"
QUOTED_ROOT_BACKSLASH = ("A quoted root must not end in a backslash: \"C:\\dist\\\" arrives as "
                         "C:\\dist\"; write \"C:\\dist\" instead\n")
CONTROL = "Root directory holds control character 0x%02X at byte %d; no folder name can hold one\n"

# Each fails before the question, so standard output stays empty.
FAILING_ARGUMENTS = [
    ("unknown_switch_first", "-x fails before the root is looked at",
     ["-x", "C:\\dist"], "Unknown command switch -x\n" + SEE_HELP),
    ("second_root", "a second root fails before a later bad switch",
     ["C:\\dist", "D:\\other", "-x"],
     "Only one root directory can be specified, parameter D:\\other is illegal\n"),
    ("upper_case_switch", "-S is not -s", ["-S"], "Unknown command switch -S\n" + SEE_HELP),
    ("lone_dash", "a lone dash is an unknown switch", ["-"], "Unknown command switch -\n" + SEE_HELP),
    ("long_help_with_one_dash", "-help is no help but an unknown switch", ["-help"],
     "Unknown command switch -help\n" + SEE_HELP),
    ("switch_after_two_roots", "the whole offending argument is reported",
     ["-s", "a", "b c"], "Only one root directory can be specified, parameter b c is illegal\n"),
    ("empty_root_refused", "an empty root (an unset variable) is refused", ["", "-s"],
     "Root directory is empty: give the distribution's folder, or no root to use the folder "
     "Install is in\n"),
    ("root_ends_in_quote", "\"C:\\dist\\\" arrives as C:\\dist\": the message says why",
     ["C:\\dist\""], QUOTE % "C:\\dist\"" + QUOTED_ROOT_BACKSLASH),
    ("root_holds_quote", "a quote inside the root is refused", ["C:\\a\"b"], QUOTE % "C:\\a\"b"),
    ("root_holds_tab", "a tab in the root is refused", ["C:\\a\tb"], CONTROL % (9, 5)),
    ("root_holds_delete", "a DEL byte in the root is refused", ["C:\\d\x7f"], CONTROL % (0x7F, 5)),
    ("root_holds_control_and_quote", "a control byte is named before a quote, never printed",
     ["C:\\\"\x01"], CONTROL % (1, 5)),
]

for name, description, arguments, message in FAILING_ARGUMENTS:
    def body(ctx, arguments=arguments, message=message):
        return expect(ctx.tool.run(arguments, stdin=b"y\n"), 1, "", message)
    case("arguments_" + name, description)(body)


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

for name, arguments in HELP_ARGUMENTS:
    def body(ctx, arguments=arguments):
        tree = ctx.tree()
        outcome = ctx.tool.run([a if a != "ROOT" else ctx.root(tree) for a in arguments],
                               stdin=b"y\n")
        problems = ["exit status %d, standard error %r" % (outcome.status, outcome.stderr)
                    ] if outcome.status != 0 or outcome.stderr else []
        if not outcome.stdout.startswith(USAGE_TELLS[0]):
            problems.append("the usage does not start with %r" % USAGE_TELLS[0])
        problems += ["the usage does not mention %r" % part
                     for part in USAGE_TELLS if part not in outcome.stdout]
        if os.path.exists(tree.root_bin()):
            problems.append("a run asking for help installed")
        return problems
    case("help_" + name, "%s prints the usage and does nothing else" % " ".join(arguments))(body)


SILENT_ARGUMENTS = [
    ("repeated_switch", ["-s", "-s", "ROOT"]),
    ("switch_after_root", ["ROOT", "-s"]),
    ("long_switch", ["-silent", "ROOT"]),
    ("switch_with_tail", ["-sx", "ROOT"]),
]

for name, arguments in SILENT_ARGUMENTS:
    def body(ctx, arguments=arguments):
        # Standard input offers "no": a silent run must not read it.
        return install_and_check(ctx, arguments, stdin=b"no\n", silent=True)
    case("silent_" + name, "%s runs silently with the minimal start-up" % " ".join(arguments))(body)


@case("arguments_slash_s_is_a_root", "/s is no switch but a root folder (on Windows, at the top "
      "of the current drive)")
def _(ctx):
    outcome = ctx.tool.run(["/s"], stdin=b"\n", cwd=ctx.scratch)
    root = ctx.tool.own_directory(ctx.scratch)[:2] + "\\s" if ctx.tool.windows else "/s"
    return expect(outcome, 1, QUESTION, cannot_open(ctx.tool, root + "\\Install.ini", errno.ENOENT))


# ---- Relative roots ------------------------------------------------------

# (name, working directory under the case's scratch folder, where the tree
# is "tree"; the argument, whose trailing backslash stays; Windows only)
RELATIVE_ROOTS = [
    ("dot", "tree", ".", False),
    ("parent_then_tree", "other", "..\\tree", False),
    ("bare_name", "", "tree", False),
    ("with_trailing_backslash", "", "tree\\", False),
    ("with_forward_slashes", "other/deeper", "../../tree/.", False),
    ("on_the_current_drive", "other", "Z:..\\tree", True),
    ("at_the_top_of_the_current_drive", "other", "TOP\\tree", True),
]

for name, directory, argument, windows_only in RELATIVE_ROOTS:
    def body(ctx, directory=directory, argument=argument):
        tree = ctx.tree()
        cwd = os.path.join(ctx.scratch, directory)
        os.makedirs(cwd, exist_ok=True)
        # "\\tmp\\...": the scratch folder without its drive.
        argument = argument.replace("TOP", ctx.tool.own_directory(ctx.scratch)[2:])
        outcome = ctx.tool.run([argument], stdin=b"y\n", cwd=cwd)
        root = ctx.tool.own_directory(tree.base) + ("\\" if argument.endswith("\\") else "")
        return (expect(outcome, 0, success_stdout(tree.vsn, False), "")
                + installation_problems(tree, root, velmar=False))
    case("relative_root_" + name, "%s from %s is the tree's full path in qvl.ini"
         % (argument, directory or "the tree's folder"), windows_only=windows_only)(body)


@case("relative_root_in_messages", "messages name a relative root by its full path")
def _(ctx):
    outcome = ctx.tool.run(["-s", "nowhere"], cwd=ctx.scratch)
    path = ctx.tool.own_directory(os.path.join(ctx.scratch, "nowhere")) + "\\Install.ini"
    return expect(outcome, 1, "", cannot_open(ctx.tool, path, errno.ENOENT))


TOO_LONG = "Root directory is too long, paths in it would exceed 259 bytes: %s\n"

for name, length in (("for_paths", 250), ("for_any_message", 5000)):
    def body(ctx, length=length):
        argument = "r" * length
        outcome = ctx.tool.run(["-s", argument], cwd=ctx.scratch)
        # A full path beyond any path the system takes is shown as given.
        full = ctx.tool.own_directory(os.path.join(ctx.scratch, argument))
        return expect(outcome, 1, "", TOO_LONG % (full if length < 1000 else argument))
    case("relative_root_too_long_" + name, "a relative root of %d bytes is too long, before the "
         "question" % length)(body)


@case("relative_root_without_current_folder", "a relative root in a folder that is gone",
      native_only=True)
def _(ctx):
    gone = os.path.join(ctx.scratch, "gone")
    os.mkdir(gone)
    # The folder is removed while the tool's shell stands in it.
    command = ["sh", "-c", 'cd "$1" && rmdir "$1" && shift && exec "$@"', "sh", gone]
    result = subprocess.run(command + ctx.tool.command(["-s", "tree"]), stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, timeout=60)
    outcome = Outcome(result.returncode, ctx.tool.text(result.stdout), ctx.tool.text(result.stderr))
    return expect(outcome, 1, "", "Could not tell the full path of root directory tree\n")


# ---- Names the ANSI code page cannot hold (Windows) ------------------------

# Under Wine, arguments and file names pass through the Unix locale: UTF-8
# lets "Łódź" reach the wide command line whole. Code page 1252 makes
# "Lódz" of it, a name another folder may have: both must stay untouched.
UTF8 = {"LANG": "C.UTF-8"}
NOT_ANSI = ("cannot be written in this system's ANSI code page; it would read as %s, which may "
            "be another folder\n")

# (name, what is refused, how the tool is started: root argument, working
# directory, or the tool copied into the tree)
NOT_IN_CODE_PAGE = [
    ("root", "Root directory ", "argument"),
    ("relative_root_in_folder", "Root directory ", "cwd"),
    ("own_location", "The folder Install is in ", "copy"),
]

for name, refused, start in NOT_IN_CODE_PAGE:
    def body(ctx, refused=refused, start=start):
        meant, look_alike = ctx.tree(name="Łódź"), ctx.tree(name="L\xf3dz")
        command = ({"argument": dict(arguments=["-s", ctx.root(meant)]),
                    "cwd": dict(arguments=["-s", "."], cwd=meant.base)}.get(start)
                   or dict(arguments=["-s"], executable=copy_tool_into(ctx, meant.base)))
        outcome = ctx.tool.run(environment=UTF8, **command)
        return (expect(outcome, 1, "", refused + NOT_ANSI % ctx.root(look_alike))
                + ["%s was installed" % t.base for t in (meant, look_alike)
                   if os.path.exists(t.root_bin())])
    case(name + "_not_in_code_page", "%s the code page cannot hold is refused, never taken for "
         "its look-alike" % name, windows_only=True)(body)


@case("root_in_code_page_beyond_ascii", "a root with letters the code page holds installs",
      windows_only=True)
def _(ctx):
    tree = ctx.tree(name="d\xe9j\xe0")
    outcome = ctx.tool.run(["-s", ctx.root(tree)], environment=UTF8)
    return expect(outcome, 0, "", "") + installation_problems(tree, ctx.root(tree), velmar=False)


# ---- Root from the tool's own location ----------------------------------

def copy_tool_into(ctx, directory):
    os.makedirs(directory, exist_ok=True)
    name = os.path.basename(ctx.tool.executable)
    destination = os.path.join(directory, name)
    shutil.copy2(ctx.tool.executable, destination)
    return destination


@case("own_location_installs", "without arguments the tool installs the tree it sits in")
def _(ctx):
    tree = ctx.tree()
    executable = copy_tool_into(ctx, tree.base)
    outcome = ctx.tool.run([], stdin=b"y\n", executable=executable, cwd=ctx.scratch)
    root = ctx.tool.own_directory(tree.base)
    return (expect(outcome, 0, success_stdout(tree.vsn, False), "")
            + installation_problems(tree, root, velmar=False))


@case("own_location_names_its_release_file", "the root derived from the tool's path shows in messages")
def _(ctx):
    directory = os.path.join(ctx.scratch, "empty dir")
    executable = copy_tool_into(ctx, directory)
    outcome = ctx.tool.run(["-s"], executable=executable)
    root = ctx.tool.own_directory(directory)
    return expect(outcome, 1, "", cannot_open(ctx.tool, root + "\\Install.ini", errno.ENOENT))


@case("own_location_too_long", "a path of the tool that does not fit 259 bytes is refused")
def _(ctx):
    directory = ctx.scratch
    while len(ctx.tool.own_directory(directory)) < 300:
        directory = os.path.join(directory, "d" * 40)
    executable = copy_tool_into(ctx, directory)
    outcome = ctx.tool.run(["-s"], executable=executable)
    return expect(outcome, 1, "", "GetModuleFileName returned a path longer than 259 bytes\n")


# ---- The question -------------------------------------------------------

ANSWERS = [
    ("YES", b"YES\n", False), ("Yes", b"Yes\n", False), ("Y", b"Y\n", False),
    ("y_crlf", b"y\r\n", False), ("y_without_line_feed", b"y", False),
    ("yes_please", b"yes please\n", True), ("n", b"n\n", True), ("space_y", b" y\n", True),
    ("empty_line", b"\n", True), ("y_then_carriage_return_text", b"y\rubbish\n", False),
    ("overlong_line", b"y" * 150 + b"\n", True),
    ("yes_after_99_bytes", b"x" * 99 + b"yes\n", True),
]

for name, answer, velmar in ANSWERS:
    def body(ctx, answer=answer, velmar=velmar):
        return install_and_check(ctx, ["ROOT"], stdin=answer, velmar=velmar)
    case("answer_" + name, "answer %r chooses the %s start-up"
         % (answer[:20], "velmar" if velmar else "minimal"))(body)


@case("answer_end_of_input", "no answer at all ends the run")
def _(ctx):
    tree = ctx.tree()
    outcome = ctx.tool.run([ctx.root(tree)], stdin=b"")
    return expect(outcome, 1, QUESTION, "Could not read answer from user.\n")


@case("answer_closed_input", "closed standard input ends the run")
def _(ctx):
    tree = ctx.tree()
    outcome = ctx.tool.run([ctx.root(tree)], close_stdin=True)
    return expect(outcome, 1, QUESTION, "Could not read answer from user.\n")


@case("silent_never_reads_input", "a silent run leaves standard input unread")
def _(ctx):
    tree = ctx.tree()
    answer_file = os.path.join(ctx.scratch, "answer")
    with open(answer_file, "wb") as f:
        f.write(b"n\n")
    with open(answer_file, "rb") as stdin:
        outcome = ctx.tool.run(["-s", ctx.root(tree)], stdin_file=stdin)
        position = os.lseek(stdin.fileno(), 0, os.SEEK_CUR)
    problems = expect(outcome, 0, "", "") + installation_problems(tree, ctx.root(tree), velmar=False)
    if position != 0:
        problems.append("standard input was read up to byte %d" % position)
    return problems
