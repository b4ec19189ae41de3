#!/usr/bin/env python3
"""Measures the library against other readers on a folder of real
configuration files.

Counts the files that load with:
  - the library, through ini_dump (--dump-option passes an option to it,
    once per word: --dump-option=--common);
  - inih, as Debian builds it, with its defaults: a small program compiled
    here against libinih-dev, ini_parse returning 0;
  - Python's configparser, read as tests/inifile/configparser_oracle.py
    reads (the common dialect's settings);
and, over the files that both the library and configparser load, the keys
that occur once in a section that occurs once whose values differ (a key
configparser reads without a value must be empty in the library).
--show also lists the files each reader refuses, and every disagreement.
A folder's SOURCES.md, which says where its files came from, is left out.

    scripts/real_files_report.py [--show] [--ini-dump PATH] [--dump-option OPT] FOLDER
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO, "tests", "inifile"))
import configparser_oracle  # noqa: E402

INIH_PROGRAM = r"""
#include <stdio.h>
#include <ini.h>
static int keep(void *user, const char *section, const char *name, const char *value)
{
    (void)user; (void)section; (void)name; (void)value;
    return 1;
}
int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        printf("%d\n", ini_parse(argv[i], keep, NULL));
    return 0;
}
"""


def inih_results(paths):
    """ini_parse's result for each file: 0 loaded, the first bad line, or -1."""
    with tempfile.TemporaryDirectory() as folder:
        source, program = os.path.join(folder, "inih.c"), os.path.join(folder, "inih")
        with open(source, "w") as file:
            file.write(INIH_PROGRAM)
        flags = subprocess.run(["pkg-config", "--cflags", "--libs", "inih"], check=True,
                               capture_output=True, text=True).stdout.split()
        subprocess.run(["cc", "-o", program, source, *flags], check=True)
        out = subprocess.run([program, *paths], check=True, capture_output=True, text=True)
    return [int(line) for line in out.stdout.split()]


def library_document(ini_dump, options, path):
    """{section: {key: value}}, the first of each as the library finds it, with
    values decoded as the oracle decodes the file; or the library's message."""
    run = subprocess.run([ini_dump, *options, path], capture_output=True)
    if run.returncode != 0:
        return run.stderr.decode(errors="replace").strip().removeprefix(path + ": ")
    text = lambda s: s.encode("latin-1").decode("utf-8", "surrogateescape")  # noqa: E731
    document = {}
    for name, entries in json.loads(run.stdout)["sections"]:
        keys = document.setdefault(text(name), {})
        for key, value in entries:
            keys.setdefault(text(key), text(value))
    return document


def configparser_document(path):
    try:
        return configparser_oracle.once_values(path)
    except Exception as error:  # configparser.Error, and others it lets out
        return f"{type(error).__name__}: {str(error).splitlines()[0] if str(error) else ''}"


def disagreements(library, oracle):
    """(section, key, library's value or None, configparser's value) for each
    differing key of the oracle's."""
    found = []
    for name, keys in oracle.items():
        for key, value in keys.items():
            expected = "" if value is None else value
            got = library.get(name, {}).get(key)
            if got != expected:
                found.append((name, key, got, expected))
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("folder")
    parser.add_argument("--show", action="store_true", help="list refusals and disagreements")
    parser.add_argument("--ini-dump", default=os.path.join(
        REPO, "build", "native", "tests", "inifile", "ini_dump"))
    parser.add_argument("--dump-option", action="append", default=[],
                        help="an option for ini_dump, e.g. --dump-option=--common")
    args = parser.parse_args()

    names = sorted(n for n in os.listdir(args.folder) if n != "SOURCES.md")
    paths = [os.path.join(args.folder, name) for name in names]
    library = [library_document(args.ini_dump, args.dump_option, p) for p in paths]
    inih = inih_results(paths)
    oracle = [configparser_document(p) for p in paths]

    compared, keys, differing = 0, 0, []
    for name, ours, theirs in zip(names, library, oracle):
        if isinstance(ours, dict) and isinstance(theirs, dict):
            compared += 1
            keys += sum(len(k) for k in theirs.values())
            differing += [(name, *d) for d in disagreements(ours, theirs)]

    loads = lambda results: sum(isinstance(r, dict) for r in results)  # noqa: E731
    print(f"files: {len(names)} in {args.folder}")
    print(f"loads: library {loads(library)}"
          f"{' (' + ' '.join(args.dump_option) + ')' if args.dump_option else ' (plain)'}, "
          f"inih {inih.count(0)}, configparser {loads(oracle)}")
    print(f"loaded by the library and configparser: {compared} files, {keys} once-occurring "
          f"keys compared, {len(differing)} disagreements "
          f"in {len({d[0] for d in differing})} files")
    if not args.show:
        return
    print("\nthe library refuses:")
    for name, result in zip(names, library):
        if not isinstance(result, dict):
            print(f"  {name}: {result}")
    print("\ninih refuses (first bad line, or -1: cannot open):")
    for name, result in zip(names, inih):
        if result != 0:
            print(f"  {name}: {result}")
    print("\nconfigparser refuses:")
    for name, result in zip(names, oracle):
        if not isinstance(result, dict):
            print(f"  {name}: {result}")
    print("\ndisagreements (file [section] key):")
    for name, section, key, got, expected in differing:
        print(f"  {name} [{section}] {key}\n    library:      {got!r}\n"
              f"    configparser: {expected!r}")


if __name__ == "__main__":
    main()
