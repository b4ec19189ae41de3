#!/usr/bin/env python3
"""Builds a project that takes the library in as a part of itself
(tests/install/subproject), runs its C consumer on a real file, and checks
that the library's project added inifile::inifile and nothing else: no
other target, no test, no install rule, no package, unless an option of
the project asks for one.

  check_subproject.py --source DIR --cmake CMAKE --generator G --cc CC
                      --libdir lib [--toolchain FILE --emulator PROGRAM ARG...]
(and the other options of check_install.py, which it ignores)"""

import argparse
import os
import re
import shutil
import sys
import tempfile

from check_install import Failure, check_output, installed_files, run

HERE = os.path.dirname(os.path.abspath(__file__))

# How the library comes in, the options the consumer sets, and what
# cmake --install then installs (LIB: the libdir).
CASES = [
    ("add_subdirectory", [], set()),
    ("FetchContent", [], set()),
    ("add_subdirectory", ["-DQUORVEL_INSTALL=ON"],
     {"include/inifile.h", "include/inifile.hpp", "LIB/libinifile.a", "LIB/pkgconfig/inifile.pc",
      "LIB/cmake/inifile/inifile-config.cmake",
      "LIB/cmake/inifile/inifile-config-version.cmake",
      "LIB/cmake/inifile/inifile-targets.cmake"}),
]


def check_case(options, work, how, settings, wanted_install):
    build = os.path.join(work, "build")
    configure = [options.cmake, "-S", os.path.join(HERE, "subproject"), "-B", build,
                 "-G", options.generator, "-DINIFILE_SOURCE=" + options.source,
                 "-DINIFILE_HOW=" + how] + settings
    if options.toolchain:
        configure.append("-DCMAKE_TOOLCHAIN_FILE=" + options.toolchain)
    else:
        configure.append("-DCMAKE_C_COMPILER=" + options.cc)
    run(configure)
    run([options.cmake, "--build", build, "-j2"])
    check_output(options, os.path.join(build, "consumer" + (".exe" if options.toolchain else "")),
                 work)

    with open(os.path.join(build, "library-targets.txt")) as f:
        targets = set(f.read().split(";"))
    if targets != {"inifile"}:
        raise Failure("the library's project added the targets %s" % sorted(targets))
    ctest = os.path.join(os.path.dirname(options.cmake), "ctest")
    tests = run([ctest, "--test-dir", build, "-N"])
    if not re.search(r"^Total Tests: 0$", tests, re.M):
        raise Failure("the library's project added tests:\n" + tests)
    if os.path.exists(os.path.join(build, "CPackConfig.cmake")):
        raise Failure("the library's project set up a package")
    prefix = os.path.join(work, "prefix")
    run([options.cmake, "--install", build, "--prefix", prefix])
    installed = {name for name in installed_files(prefix)
                 if not re.fullmatch(r".*/inifile-targets-\w+\.cmake", name)}
    wanted = {name.replace("LIB", options.libdir) for name in wanted_install}
    if installed != wanted:
        raise Failure("cmake --install installed %s instead of %s"
                      % (sorted(installed), sorted(wanted)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--cmake", required=True)
    parser.add_argument("--generator", required=True)
    parser.add_argument("--cc", required=True)
    parser.add_argument("--libdir", required=True)
    # Taken for the other checks of the installed library, unused here.
    parser.add_argument("--cxx")
    parser.add_argument("--version")
    parser.add_argument("--objdump")
    parser.add_argument("--toolchain")
    parser.add_argument("--emulator", nargs=argparse.REMAINDER, default=[])
    options = parser.parse_args()

    status = 0
    for how, settings, wanted_install in CASES:
        work = tempfile.mkdtemp(prefix="inifile-subproject-")
        label = " ".join([how] + settings)
        try:
            check_case(options, work, how, settings, wanted_install)
            print("%s: the consumer ran; the library added inifile::inifile%s" % (
                label, " and its install rules" if wanted_install else " alone"))
        except Failure as failure:
            print("FAILED: %s: %s" % (label, failure))
            status = 1
        finally:
            shutil.rmtree(work, ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
