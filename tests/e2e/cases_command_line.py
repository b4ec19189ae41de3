"""The command line, the root directory and the start-up question."""

import os
import shutil

from framework import case, expect, success_stdout
from tree import QUESTION, installation_problems


def install_and_check(ctx, arguments, stdin=b"", velmar=False, silent=False):
    tree = ctx.tree()
    outcome = ctx.tool.run([a if a != "ROOT" else ctx.root(tree) for a in arguments], stdin=stdin)
    return (expect(outcome, 0, success_stdout(tree.vsn, silent), "")
            + installation_problems(tree, ctx.root(tree), velmar))


# ---- Arguments ---------------------------------------------------------

FAILING_ARGUMENTS = [
    ("unknown_switch_first", "-x fails before the root is looked at",
     ["-x", "C:\\dist"], "Unknown command switch -x\n"),
    ("second_root", "a second root fails before a later bad switch",
     ["C:\\dist", "D:\\other", "-x"],
     "Only one root directory can be specified, parameter D:\\other is illegal\n"),
    ("upper_case_switch", "-S is not -s", ["-S"], "Unknown command switch -S\n"),
    ("lone_dash", "a lone dash is an unknown switch", ["-"], "Unknown command switch -\n"),
    ("switch_after_two_roots", "the whole offending argument is reported",
     ["-s", "a", "b c"], "Only one root directory can be specified, parameter b c is illegal\n"),
]

for name, description, arguments, message in FAILING_ARGUMENTS:
    def body(ctx, arguments=arguments, message=message):
        return expect(ctx.tool.run(arguments, stdin=b"y\n"), 1, "", message)
    case("arguments_" + name, description)(body)

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


@case("arguments_slash_s_is_root", "/s is no switch but the root directory")
def _(ctx):
    outcome = ctx.tool.run(["/s"], stdin=b"\n")
    return expect(outcome, 1, QUESTION, "Cannot open init file /s\\Install.ini\n")


@case("arguments_empty_root", "an empty argument is the root directory")
def _(ctx):
    outcome = ctx.tool.run([""], stdin=b"\n")
    return expect(outcome, 1, QUESTION, "Cannot open init file \\Install.ini\n")


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
    return expect(outcome, 1, "", "Cannot open init file %s\\Install.ini\n" % root)


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
