"""The global symbols that the built library defines: none may be neither a
function declared with INIFILE_API in inifile.h nor begin with the prefix
the header reserves to the library. Such a name can clash with one of the
application's ("multiple definition"). A copy of the library made to leak
two names must be caught, with exactly those."""

import os
import subprocess

import pytest

from consumers import SOURCE, public_functions

HEADER = os.path.join(SOURCE, "inifile", "inifile.h")
RESERVED_PREFIX = "inifile_internal_"


def defined_globals(nm, library, dynamic=False):
    """The global names the library defines, C++ names demangled."""
    command = [nm, "-C", "--defined-only"] + (["-D"] if dynamic else ["-g"]) + [library]
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    output = result.stdout.decode(errors="replace")
    if result.returncode != 0:
        raise RuntimeError("%s failed:\n%s" % (" ".join(command), output))
    # "0000000000000000 T name"; an archive adds "member.o:" lines.
    return {fields[2] for fields in (line.split(None, 2) for line in output.splitlines())
            if len(fields) == 3 and len(fields[1]) == 1}


def offending(names, public):
    return {name for name in names if name not in public and not name.startswith(RESERVED_PREFIX)}


# The names leak.cpp adds to the leaking copy.
LEAKS = {"platform_close", "ini_realloc(void*, unsigned long)"}


@pytest.mark.parametrize("library, leaks", [("library", set()), ("leaking_library", LEAKS)],
                         ids=["library", "leaking_copy_caught"])
def test_symbols(options, library, leaks):
    public = public_functions(HEADER)
    assert len(public) >= 10, "found only %s in %s" % (sorted(public), HEADER)
    names = defined_globals(options.nm, getattr(options, library))
    assert offending(names, public) == leaks
    assert names & public
