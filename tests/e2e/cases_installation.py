"""The installation: Install.ini, the binary directory, start.boot, qvl.ini
and the success message, with every failure and its exact message."""

import errno
import os
import subprocess

from framework import (BAIL_OUT, CONTINUE, cannot_open, case, copy_failed, create_failed, expect,
                       success_stdout)
from tree import (BOOT_FILES, EXECUTABLES, MINIMAL_BOOT, QUESTION, escaped, installation_problems,
                  read, release_description, strays, write)

# ---- Whole installations ------------------------------------------------

@case("install_silent", "a silent run installs the minimal start-up and prints nothing")
def _(ctx):
    tree = ctx.tree()
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    return expect(outcome, 0, "", "") + installation_problems(tree, ctx.root(tree), velmar=False)


@case("install_interactive_velmar", "answering no installs the velmar start-up")
def _(ctx):
    tree = ctx.tree()
    outcome = ctx.tool.run([ctx.root(tree)], stdin=b"no\n")
    return (expect(outcome, 0, success_stdout(tree.vsn, False), "")
            + installation_problems(tree, ctx.root(tree), velmar=True))


@case("install_twice", "running again repeats every copy and ends the same way")
def _(ctx):
    tree = ctx.tree()
    first = ctx.tool.run(["-s", ctx.root(tree)])
    second = ctx.tool.run([ctx.root(tree)], stdin=b"n\n")
    return (expect(first, 0, "", "") + expect(second, 0, success_stdout(tree.vsn, False), "")
            + installation_problems(tree, ctx.root(tree), velmar=True))


@case("install_over_existing_files", "an existing bin folder and qvl.ini files are replaced")
def _(ctx):
    tree = ctx.tree()
    stale = b"stale content that is longer than any new file would be" * 100
    for name in EXECUTABLES + BOOT_FILES + ["start.boot", "qvl.ini"]:
        write(tree.root_bin(name), stale)
    write(tree.versioned_bin("qvl.ini"), stale)
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    return expect(outcome, 0, "", "") + installation_problems(tree, ctx.root(tree), velmar=False)


@case("install_root_with_trailing_backslash", "a trailing backslash stays in every composed path")
def _(ctx):
    tree = ctx.tree()
    root = ctx.root(tree) + "\\"
    outcome = ctx.tool.run(["-s", root])
    return expect(outcome, 0, "", "") + installation_problems(tree, root, velmar=False)


@case("install_path_with_semicolon", "a root holding ; and spaces is escaped in qvl.ini")
def _(ctx):
    tree = ctx.tree(name="dist; one")
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    return expect(outcome, 0, "", "") + installation_problems(tree, ctx.root(tree), velmar=False)


@case("install_repeated_vsn", "a repeated VSN takes the first value")
def _(ctx):
    tree = ctx.tree(ini="[Install]\nVSN=5.10.3\nVSN=9.9\nSYSTEM_VSN=R16B\n")
    outcome = ctx.tool.run([ctx.root(tree)], stdin=b"y\n")
    return (expect(outcome, 0, success_stdout("5.10.3", False), "")
            + installation_problems(tree, ctx.root(tree), velmar=False))


@case("install_ini_with_comments_and_other_sections", "other sections, comments and CR LF are ignored")
def _(ctx):
    ini = ("; release of the day\r\n[Other]\r\nVSN = 1.0\r\n\r\n[Install]  \r\n"
           "  VSN = 5.10.3 ; current\r\nSYSTEM_VSN=R16B\r\nNOTE=x\r\n")
    tree = ctx.tree(ini=ini)
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    return expect(outcome, 0, "", "") + installation_problems(tree, ctx.root(tree), velmar=False)


@case("install_ini_with_utf8_byte_order_mark", "Install.ini saved as UTF-8 with a byte-order mark "
      "installs")
def _(ctx):
    tree = ctx.tree(ini=b"\xef\xbb\xbf" + release_description().encode())
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    return expect(outcome, 0, "", "") + installation_problems(tree, ctx.root(tree), velmar=False)


# ---- Install.ini ---------------------------------------------------------

CANNOT_OPEN = "Cannot open init file %s\n"
NEITHER = "neither a [section] header nor a key=value line"

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

for name, ini, message in RELEASE_FILE_FAILURES:
    def body(ctx, ini=ini, message=message):
        tree = ctx.tree()
        if ini is None:
            os.remove(tree.path("Install.ini"))
        else:
            write(tree.path("Install.ini"), ini)
        outcome = ctx.tool.run([ctx.root(tree)], stdin=b"y\n")
        path = ctx.composed(tree, "Install.ini")
        wanted = message(ctx.tool, path, errno.ENOENT) if callable(message) else message % path
        problems = expect(outcome, 1, QUESTION, wanted)
        if os.path.exists(tree.root_bin()):
            problems.append("bin was created before the release description was read")
        return problems
    case("release_file_" + name, "Install.ini %s fails with its message" % name)(body)


@case("release_file_is_a_directory", "a directory named Install.ini cannot be opened")
def _(ctx):
    tree = ctx.tree()
    os.remove(tree.path("Install.ini"))
    os.mkdir(tree.path("Install.ini"))
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    return expect(outcome, 1, "", cannot_open(ctx.tool, ctx.composed(tree, "Install.ini"),
                                              errno.EISDIR))


# ---- Versions that cannot name one folder ----------------------------------

NOT_A_FOLDER_NAME = ('Value of %s in init file %s is not a folder name: "%s"\n'
                     "A version must not be empty, . or .., nor hold \\, / or :\n")

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
]

for name, key, value in VERSIONS_NOT_FOLDER_NAMES:
    def body(ctx, key=key, value=value):
        tree = ctx.tree()
        versions = {"VSN": tree.vsn, "SYSTEM_VSN": tree.system_vsn, key: escaped(value)}
        write(tree.path("Install.ini"), release_description(versions["VSN"], versions["SYSTEM_VSN"]))
        outcome = ctx.tool.run(["-s", ctx.root(tree)])
        shown = value if len(value) < 260 else value[:256] + "..."
        problems = expect(outcome, 1, "", NOT_A_FOLDER_NAME
                          % (key, ctx.composed(tree, "Install.ini"), shown))
        if os.listdir(ctx.scratch) != ["tree"] or os.path.exists(tree.root_bin()):
            problems.append("something was created: %s" % os.listdir(ctx.scratch))
        return problems
    case("version_" + name, "%s %r is refused before anything is created" % (key, value[:20]))(body)


# ---- Copies ------------------------------------------------------------------

@case("fifth_executable_missing", "a missing executable ends the run; no boot file is touched")
def _(ctx):
    tree = ctx.tree()
    os.remove(tree.versioned_bin("kestin.exe"))
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    problems = expect(outcome, 1, "", "Could not find file %s\n"
                      % ctx.composed(tree, "sumbra-5.10.3", "bin", "kestin.exe"))
    copied = sorted(os.listdir(tree.root_bin()))
    if copied != sorted(EXECUTABLES[:4]):
        problems.append("bin holds %s, expected the first four executables" % copied)
    return problems


def warning_case(name, description, make_fault, executable):
    def body(ctx):
        tree = ctx.tree()
        make_fault(tree)
        outcome = ctx.tool.run(["-s", ctx.root(tree)])
        source = ctx.composed(tree, "sumbra-5.10.3", "bin", executable)
        destination = ctx.composed(tree, "bin", executable)
        problems = expect(outcome, 0, "", copy_failed(source, destination, CONTINUE))
        # Everything else is installed, and no scratch file is left.
        return problems + strays(tree) + [p for p in installation_problems(
            tree, ctx.root(tree), velmar=False) if executable not in p]
    case(name, description)(body)


warning_case("executable_source_is_directory",
             "a directory bearing an executable's name exists but cannot be copied: warning",
             lambda tree: (os.remove(tree.versioned_bin("ostrel.exe")),
                           os.mkdir(tree.versioned_bin("ostrel.exe"))), "ostrel.exe")
warning_case("executable_destination_is_directory",
             "a directory in place of a copied executable: warning, the rest installs",
             lambda tree: os.makedirs(tree.root_bin("wqvl.exe")), "wqvl.exe")
warning_case("first_executable_destination_is_directory",
             "the first executable's copy fails: warning, the rest installs",
             lambda tree: os.makedirs(tree.root_bin("qvl.exe")), "qvl.exe")


@case("boot_file_missing", "a missing boot file ends the run after the executables")
def _(ctx):
    tree = ctx.tree()
    os.remove(tree.release_dir("start_velmar.boot"))
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    problems = expect(outcome, 1, "", "Could not find file %s\n"
                      % ctx.composed(tree, "releases", "R16B", "start_velmar.boot"))
    copied = sorted(os.listdir(tree.root_bin()))
    if copied != sorted(EXECUTABLES + [MINIMAL_BOOT]):
        problems.append("bin holds %s" % copied)
    return problems


@case("release_directory_missing", "a missing release directory names the first boot file")
def _(ctx):
    tree = ctx.tree(system_vsn="R16B")
    write(tree.path("Install.ini"), release_description("5.10.3", "R17"))
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    return expect(outcome, 1, "", "Could not find file %s\n"
                  % ctx.composed(tree, "releases", "R17", "start_mirren.boot"))


FATAL_COPIES = [
    ("boot_file_copy_fails", "a boot file that cannot be copied ends the run",
     lambda tree: os.makedirs(tree.root_bin("start_velmar.boot")),
     ("releases", "R16B", "start_velmar.boot"), ("bin", "start_velmar.boot")),
    ("boot_file_source_is_directory", "a directory in place of a boot file ends the run",
     lambda tree: (os.remove(tree.release_dir("start_mirren.boot")),
                   os.mkdir(tree.release_dir("start_mirren.boot"))),
     ("releases", "R16B", "start_mirren.boot"), ("bin", "start_mirren.boot")),
    ("active_boot_file_copy_fails", "start.boot that cannot be written ends the run",
     lambda tree: os.makedirs(tree.root_bin("start.boot")),
     ("bin", "start_mirren.boot"), ("bin", "start.boot")),
]

for name, description, make_fault, source, destination in FATAL_COPIES:
    def body(ctx, make_fault=make_fault, source=source, destination=destination):
        tree = ctx.tree()
        make_fault(tree)
        outcome = ctx.tool.run(["-s", ctx.root(tree)])
        problems = expect(outcome, 1, "", copy_failed(ctx.composed(tree, *source),
                                                      ctx.composed(tree, *destination), BAIL_OUT))
        if os.path.exists(tree.versioned_bin("qvl.ini")):
            problems.append("qvl.ini was written after a fatal failure")
        return problems + strays(tree)
    case(name, description)(body)


# ---- qvl.ini -----------------------------------------------------------------

@case("launcher_config_cannot_be_created", "qvl.ini that cannot be created ends the run")
def _(ctx):
    tree = ctx.tree()
    os.mkdir(tree.versioned_bin("qvl.ini"))
    outcome = ctx.tool.run([ctx.root(tree)], stdin=b"y\n")
    return expect(outcome, 1, QUESTION,
                  create_failed(ctx.composed(tree, "sumbra-5.10.3", "bin", "qvl.ini")))


@case("launcher_config_copy_fails", "qvl.ini that cannot be copied into bin ends the run")
def _(ctx):
    tree = ctx.tree()
    os.makedirs(tree.root_bin("qvl.ini"))
    outcome = ctx.tool.run([ctx.root(tree)], stdin=b"y\n")
    problems = expect(outcome, 1, QUESTION, copy_failed(
        ctx.composed(tree, "sumbra-5.10.3", "bin", "qvl.ini"), ctx.composed(tree, "bin", "qvl.ini"),
        BAIL_OUT))
    if not os.path.isfile(tree.versioned_bin("qvl.ini")):
        problems.append("the written qvl.ini is gone")
    return problems


@case("launcher_config_on_full_device", "qvl.ini written onto a full device ends the run",
      native_only=True)
def _(ctx):
    tree = ctx.tree()
    if not os.path.exists("/dev/full"):
        return ["/dev/full is missing on this machine"]
    os.symlink("/dev/full", tree.versioned_bin("qvl.ini"))
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    return expect(outcome, 1, "", create_failed(ctx.composed(tree, "sumbra-5.10.3", "bin", "qvl.ini")))


# ---- Values too long for a path -------------------------------------------

def padded_tree(ctx, root_length, **options):
    """A tree whose root, as the tool sees it, is exactly root_length bytes."""
    base = os.path.join(ctx.scratch, "t")
    while len(ctx.tool.path(base)) < root_length:
        shortfall = root_length - len(ctx.tool.path(base))
        base = base + "x" if shortfall < 3 else os.path.join(base, "p" * min(shortfall - 1, 60))
    return ctx.tree(name=os.path.relpath(base, ctx.scratch), **options)


# With VSN "1" and SYSTEM_VSN "R" the longest path of the run is the release
# directory's <root>\releases\R\start_mirren.boot.
LONGEST_SUFFIX = len("\\releases\\R\\start_mirren.boot")


@case("longest_path_that_fits", "a tree whose longest path is exactly 259 bytes installs")
def _(ctx):
    tree = padded_tree(ctx, 259 - LONGEST_SUFFIX, vsn="1", system_vsn="R")
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    return expect(outcome, 0, "", "") + installation_problems(tree, ctx.root(tree), velmar=False)


@case("longest_path_one_byte_too_long", "one byte more is refused before anything is copied")
def _(ctx):
    tree = padded_tree(ctx, 260 - LONGEST_SUFFIX, vsn="1", system_vsn="R")
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    problems = expect(outcome, 1, "", "Value of SYSTEM_VSN in init file %s is too long, paths with "
                      "it would exceed 259 bytes\n" % ctx.composed(tree, "Install.ini"))
    if os.path.exists(tree.root_bin()):
        problems.append("bin was created")
    return problems


@case("root_one_byte_too_long", "one byte more and the root is refused before anything happens")
def _(ctx):
    tree = padded_tree(ctx, 260 - len("\\bin\\start_mirren.boot"))
    outcome = ctx.tool.run(["-s", ctx.root(tree)])
    problems = expect(outcome, 1, "", "Root directory is too long, paths in it would exceed 259 "
                      "bytes: %s\n" % ctx.root(tree))
    if os.path.exists(tree.root_bin()):
        problems.append("bin was created")
    return problems


@case("root_far_too_long", "a root of 1000 bytes is refused, not truncated")
def _(ctx):
    root = ctx.tool.path(ctx.scratch) + "\\" + "r" * 997
    outcome = ctx.tool.run(["-s", root])
    return expect(outcome, 1, "", "Root directory is too long, paths in it would exceed 259 "
                  "bytes: %s\n" % root)


VALUE_TOO_LONG = [
    ("vsn_of_300_bytes", "VSN", "v" * 300, "R16B"),
    ("vsn_too_long_for_its_path", "VSN", "v" * 230, "R16B"),
    ("system_vsn_too_long", "SYSTEM_VSN", "5.10.3", "s" * 250),
]

for name, key, vsn, system_vsn in VALUE_TOO_LONG:
    def body(ctx, key=key, vsn=vsn, system_vsn=system_vsn):
        tree = ctx.tree()
        write(tree.path("Install.ini"), release_description(vsn, system_vsn))
        outcome = ctx.tool.run(["-s", ctx.root(tree)])
        problems = expect(outcome, 1, "", "Value of %s in init file %s is too long, paths with it "
                          "would exceed 259 bytes\n" % (key, ctx.composed(tree, "Install.ini")))
        if os.path.exists(tree.root_bin()):
            problems.append("bin was created")
        return problems
    case("value_" + name, "%s too long for a path is refused before anything is copied" % key)(body)


# ---- Locked files (Windows) -------------------------------------------------

# (name, description, the file held open without sharing, the copy that
# fails, what follows its message, exit status)
LOCKED_FILES = [
    ("executable_locked", "an executable held open without sharing: warning, the rest installs",
     ("sumbra-5.10.3", "bin", "brevant.exe"), "brevant.exe", CONTINUE, 0),
    ("copy_in_bin_locked", "a copy in bin held open, as by a running program: warning, the rest "
     "installs", ("bin", "brevant.exe"), "brevant.exe", CONTINUE, 0),
    ("boot_file_in_bin_locked", "a boot file in bin held open without sharing ends the run",
     ("bin", "start_velmar.boot"), "start_velmar.boot", BAIL_OUT, 1),
]

for name, description, held, failing, then, status in LOCKED_FILES:
    def body(ctx, held=held, failing=failing, then=then, status=status):
        tree = ctx.tree()
        hold = ctx.helpers.get("hold")
        if not hold:
            return ["no --hold-tool given"]
        if held[0] == "bin":
            write(tree.path(*held), b"an earlier copy")
        holder = subprocess.Popen(ctx.tool.command([ctx.tool.path(tree.path(*held))],
                                                   executable=hold),
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        try:
            ready = holder.stdout.readline()
            if not ready.startswith(b"held"):
                return ["the holder did not take the file: %r" % ready]
            outcome = ctx.tool.run(["-s", ctx.root(tree)])
        finally:
            holder.stdin.close()
            holder.wait(timeout=30)
        source_folder = ("sumbra-5.10.3", "bin") if failing in EXECUTABLES else ("releases", "R16B")
        problems = expect(outcome, status, "", copy_failed(
            ctx.composed(tree, *source_folder, failing), ctx.composed(tree, "bin", failing), then))
        # No scratch file is left, and a warning leaves the rest installed.
        problems += strays(tree)
        if status == 0:
            problems += [p for p in installation_problems(tree, ctx.root(tree), velmar=False)
                         if failing not in p]
        return problems
    case(name, description, windows_only=True)(body)
