"""Programs that use the library, as a project that takes it in builds and
runs them: each loads a real file, checks its values, changes the document
and saves it; the saved file must hold exactly the expected text. Under the
Windows build the programs are cross-compiled and run under the emulator."""

import os
import re
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))

# Comments, spaces around '=', escapes, a continuation line, CR LF and LF
# line ends, a blank line.
INPUT = (b"; release description of a test distribution\r\n"
         b"[Install]\r\n"
         b"VSN = 5.10.3          ; the version\r\n"
         b"SYSTEM_VSN=R16B\n"
         b"Path = C:\\\\dist\\;old\n"
         b"Notes = one,\\\n"
         b"two\n"
         b"\n"
         b"[Other]\n"
         b"k = v\n")

# What the consumers save after changing VSN, adding Added and the section
# quorvel: the writer's layout, with ';' and '\' escaped.
EXPECTED = (b"[Install]\n"
            b"VSN=6.0.0\n"
            b"SYSTEM_VSN=R16B\n"
            b"Path=C:\\\\dist\\;old\n"
            b"Notes=one,two\n"
            b"Added=a\\;b\n"
            b"[Other]\n"
            b"k=v\n"
            b"[quorvel]\n"
            b"Rootdir=C:\\\\dist\n")


def run(command, env=None, cwd=None):
    """Runs a step of a build or a program; its output."""
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            env=env, cwd=cwd)
    output = result.stdout.decode(errors="replace")
    assert result.returncode == 0, "%s\nended with status %d:\n%s" % (
        " ".join(command), result.returncode, output)
    return output


def installed_files(prefix):
    found = set()
    for directory, _, names in os.walk(prefix):
        for name in names:
            found.add(os.path.relpath(os.path.join(directory, name), prefix))
    return found


def public_functions(header, windows=True):
    """The functions inifile.h declares with INIFILE_API (#ifdef _WIN32: if windows)."""
    with open(header) as f:
        text = f.read()
    if not windows:
        text = re.sub(r"^#ifdef _WIN32$.*?^#endif$", "", text, flags=re.M | re.S)
    return set(re.findall(r"^INIFILE_API\b[^(]*?\b(\w+)\(", text, re.M))


def program_path(options, host_path):
    """A path as the consumer takes it: a Windows program under Wine gets a
    Z: path, which is how a Windows machine would spell it."""
    if options.toolchain:
        return "Z:" + os.path.abspath(host_path).replace("/", "\\")
    return host_path


def check_output(options, program, work, env=None):
    source = os.path.join(work, "input.ini")
    saved = os.path.join(work, "saved.ini")
    with open(source, "wb") as f:
        f.write(INPUT)
    if os.path.exists(saved):
        os.remove(saved)
    run(options.emulator + [program, program_path(options, source), program_path(options, saved)],
        env=env)
    with open(saved, "rb") as f:
        assert f.read() == EXPECTED, "what %s saved" % program
