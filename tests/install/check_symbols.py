#!/usr/bin/env python3
"""Lists the global symbols that a built library defines and fails on any
name that is neither a function declared with INIFILE_API in inifile.h nor
begins with the prefix the header reserves to the library. Such a name can
clash with one of the application's ("multiple definition").

  check_symbols.py --nm NM --header inifile.h [--leak NAME]... LIBRARY...

Each --leak names an offending name that must be found instead (the
offending names must then be exactly those): a library made to leak, which
the check must catch."""

import argparse
import re
import subprocess
import sys

RESERVED_PREFIX = "inifile_internal_"


def public_functions(header):
    """The functions inifile.h declares with INIFILE_API."""
    with open(header) as f:
        return set(re.findall(r"^INIFILE_API\b[^(]*?\b(\w+)\(", f.read(), re.M))


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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--nm", required=True)
    parser.add_argument("--header", required=True)
    parser.add_argument("--leak", action="append", default=[], dest="leaks")
    parser.add_argument("libraries", nargs="+")
    options = parser.parse_args()
    public = public_functions(options.header)
    if len(public) < 10:
        print("FAILED: found only %s in %s" % (sorted(public), options.header))
        return 1
    status = 0
    for library in options.libraries:
        names = defined_globals(options.nm, library)
        found = offending(names, public)
        if found != set(options.leaks) or not names & public:
            print("FAILED: %s defines %s, expected %s (among %d global names)"
                  % (library, sorted(found) or "no other name", sorted(options.leaks) or "none",
                     len(names)))
            status = 1
        else:
            print("%s: %d global names, the header's functions and %s*%s"
                  % (library, len(names), RESERVED_PREFIX,
                     ", and the expected %s" % sorted(found) if found else ""))
    return status


if __name__ == "__main__":
    sys.exit(main())
