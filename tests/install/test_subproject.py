"""A project that takes the library in as a part of itself
(tests/install/subproject): its C consumer runs on a real file, and the
library's project added inifile::inifile and nothing else: no other target,
no test, no install rule, no package, unless an option of the project asks
for one."""

import os
import re

import pytest

from consumers import HERE, SOURCE, check_output, installed_files, run

# How the library comes in, the options the consumer sets, and what
# cmake --install then installs (LIB: the libdir).
CASES = [
    ("add_subdirectory", [], set()),
    ("FetchContent", [], set()),
    ("add_subdirectory", ["-DQUORVEL_INSTALL=ON"],
     {"include/inifile.h", "include/inifile.hpp", "include/inifile_filesystem.hpp",
      "LIB/libinifile.a", "LIB/pkgconfig/inifile.pc",
      "LIB/cmake/inifile/inifile-config.cmake",
      "LIB/cmake/inifile/inifile-config-version.cmake",
      "LIB/cmake/inifile/inifile-targets.cmake"}),
    # A project on a compiler that knows no C++20 (one that refuses the
    # flag stands for it) builds the library as C++17.
    ("add_subdirectory", ["-DCMAKE_CXX_STANDARD=17"], set()),
]


def cxx17_only(options, work):
    """A C++ compiler that refuses every C++20 flag."""
    if options.toolchain:
        pytest.skip("the toolchain names its own compiler")
    wrapper = os.path.join(work, "cxx17-only")
    with open(wrapper, "w") as f:
        f.write('#!/bin/sh\ncase " $* " in *" -std="*"++2"*) echo "no C++20 here" >&2; exit 1;; '
                'esac\nexec %s "$@"\n' % options.cxx)
    os.chmod(wrapper, 0o755)
    return "-DCMAKE_CXX_COMPILER=" + wrapper


@pytest.mark.parametrize("how, settings, wanted_install", CASES,
                         ids=["add_subdirectory", "FetchContent", "installing", "C++17"])
def test_subproject(options, tmp_path, how, settings, wanted_install):
    work = str(tmp_path)
    if "-DCMAKE_CXX_STANDARD=17" in settings:
        settings = settings + [cxx17_only(options, work)]
    build = os.path.join(work, "build")
    configure = [options.cmake, "-S", os.path.join(HERE, "subproject"), "-B", build,
                 "-G", options.generator, "-DINIFILE_SOURCE=" + SOURCE,
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
        assert set(f.read().split(";")) == {"inifile"}, "the targets the library's project added"
    ctest = os.path.join(os.path.dirname(options.cmake), "ctest")
    tests = run([ctest, "--test-dir", build, "-N"])
    assert re.search(r"^Total Tests: 0$", tests, re.M), "the library's project added tests"
    assert not os.path.exists(os.path.join(build, "CPackConfig.cmake")), "it set up a package"
    prefix = os.path.join(work, "prefix")
    run([options.cmake, "--install", build, "--prefix", prefix])
    installed = {name for name in installed_files(prefix)
                 if not re.fullmatch(r".*/inifile-targets-\w+\.cmake", name)}
    assert installed == {name.replace("LIB", options.libdir) for name in wanted_install}
