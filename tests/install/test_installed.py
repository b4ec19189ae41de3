"""The library installed into a temporary prefix, and two programs built
against the installed copy only: a C program through pkg-config and a C++
program through find_package(inifile CONFIG), with the C++ interface of
inifile.hpp. The static case installs this build's tree; the shared case
configures, builds and installs a shared library first, which must export
only the functions of inifile.h. With --toolchain the library and the
consumers are cross-compiled for Windows and run under the emulator."""

import copy
import os
import re
import shlex
import shutil
import subprocess

import pytest

from consumers import HERE, SOURCE, check_output, installed_files, public_functions, run


def check_files(prefix, libraries, libdir):
    """The installation holds the headers (C and C++), the libraries, the
    CMake package and inifile.pc, and nothing else: no test variant, no
    tool."""
    package = libdir + "/cmake/inifile/"
    wanted = {"include/inifile.h", "include/inifile.hpp", "include/inifile_filesystem.hpp",
              libdir + "/pkgconfig/inifile.pc",
              package + "inifile-config.cmake", package + "inifile-config-version.cmake",
              package + "inifile-targets.cmake"} | set(libraries)
    found = installed_files(prefix)
    per_config = {f for f in found
                  if re.fullmatch(re.escape(package) + r"inifile-targets-\w+\.cmake", f)}
    assert len(per_config) == 1, "one per-configuration targets file"
    assert sorted(found - per_config) == sorted(wanted)


def beside_dll(options, prefix, directory):
    """A Windows program finds a DLL in its own folder."""
    dll = os.path.join(prefix, "bin", "libinifile.dll")
    if options.toolchain and os.path.exists(dll):
        shutil.copy2(dll, directory)


def consume_with_pkg_config(options, flags, prefix, work, env):
    # Only the installed prefix: no .pc file of the system may answer.
    env = dict(env, PKG_CONFIG_LIBDIR=os.path.join(prefix, options.libdir, "pkgconfig"))
    env.pop("PKG_CONFIG_PATH", None)
    found = run(["pkg-config", "--cflags", "--libs", "inifile"], env=env).split()
    program = os.path.join(work, "c_consumer" + (".exe" if options.toolchain else ""))
    run([options.cc, "-std=c11", "-Wall", "-Wextra", "-Werror", "-pedantic"]
        + shlex.split(flags["c"]) + [os.path.join(HERE, "consumer.c"), "-o", program]
        + found + shlex.split(flags["link"]))
    beside_dll(options, prefix, work)
    check_output(options, program, work, env)


def consume_with_cmake(options, flags, prefix, work, env):
    build = os.path.join(work, "cxx-consumer")
    wanted = os.path.join(prefix, options.libdir, "cmake", "inifile")
    configure = [options.cmake, "-S", os.path.join(HERE, "consumer_cxx"), "-B", build,
                 "-G", options.generator, "-DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF",
                 "-DCMAKE_CXX_FLAGS=" + flags["cxx"],
                 "-DCMAKE_EXE_LINKER_FLAGS=" + flags["link"]]
    if options.toolchain:
        # The toolchain searches the mingw sysroot only: point at the
        # package itself.
        configure += ["-DCMAKE_TOOLCHAIN_FILE=" + options.toolchain, "-Dinifile_DIR=" + wanted]
    else:
        configure += ["-DCMAKE_CXX_COMPILER=" + options.cxx, "-DCMAKE_PREFIX_PATH=" + prefix]
    run(configure)
    # The package must be the one just installed, not one from the system.
    with open(os.path.join(build, "CMakeCache.txt")) as f:
        found = re.search(r"^inifile_DIR:\w+=(.*)$", f.read(), re.M)
    assert found and os.path.realpath(found.group(1)) == os.path.realpath(wanted)
    run([options.cmake, "--build", build])
    beside_dll(options, prefix, build)
    program = os.path.join(build, "consumer" + (".exe" if options.toolchain else ""))
    check_output(options, program, work, env)


def exported_symbols(options, library):
    if options.toolchain:
        # The export table of the DLL: "[   0] ini_create" lines.
        output = run([options.objdump, "-p", library])
        table = output.split("[Ordinal/Name Pointer] Table", 1)
        return set(re.findall(r"^\s*\[\s*\d+\]\s+(\S+)$", table[1] if len(table) > 1 else "",
                              re.M))
    output = run(["nm", "-D", "--defined-only", library])
    return {line.split()[-1] for line in output.splitlines()
            if len(line.split()) == 3 and line.split()[1] in "TtWDBR"}


def install_shared(options, work, prefix):
    """Builds and installs a shared library; the installed libraries, the
    first of them the one that exports."""
    build = os.path.join(work, "shared-build")
    configure = [options.cmake, "-S", SOURCE, "-B", build, "-G", options.generator,
                 "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_SHARED_LIBS=ON", "-DQUORVEL_TESTS=OFF",
                 "-DCMAKE_INSTALL_LIBDIR=" + options.libdir]
    if options.toolchain:
        configure.append("-DCMAKE_TOOLCHAIN_FILE=" + options.toolchain)
    else:
        configure += ["-DCMAKE_C_COMPILER=" + options.cc, "-DCMAKE_CXX_COMPILER=" + options.cxx]
    run(configure)
    run([options.cmake, "--build", build, "--target", "inifile", "-j2"])
    run([options.cmake, "--install", build, "--prefix", prefix])
    if options.toolchain:
        return ["bin/libinifile.dll", options.libdir + "/libinifile.dll.a"]
    library = options.libdir + "/libinifile.so." + options.project_version
    major = options.libdir + "/libinifile.so." + options.project_version.split(".")[0]
    return [library, major, options.libdir + "/libinifile.so"]


def test_installed_static(options, tmp_path):
    """This build's tree installed, its consumers built with this build's
    flags."""
    if not options.build:
        pytest.skip("this build's library is shared")
    prefix = str(tmp_path / "prefix")
    run([options.cmake, "--install", options.build, "--prefix", prefix])
    check_files(prefix, [options.libdir + "/libinifile.a"], options.libdir)
    flags = {"c": options.c_flags, "cxx": options.cxx_flags, "link": options.link_flags}
    consume_with_pkg_config(options, flags, prefix, str(tmp_path), os.environ)
    consume_with_cmake(options, flags, prefix, str(tmp_path), os.environ)


def test_installed_shared(options, tmp_path):
    """A shared library, built without the build's flags."""
    prefix = str(tmp_path / "prefix")
    libraries = install_shared(options, str(tmp_path), prefix)
    check_files(prefix, libraries, options.libdir)
    exported = exported_symbols(options, os.path.join(prefix, libraries[0]))
    public = public_functions(os.path.join(prefix, "include", "inifile.h"), bool(options.toolchain))
    assert len(public) >= 10 and exported == public
    env = dict(os.environ, LD_LIBRARY_PATH=os.path.join(prefix, options.libdir))
    flags = {"c": "", "cxx": "", "link": ""}
    consume_with_pkg_config(options, flags, prefix, str(tmp_path), env)
    consume_with_cmake(options, flags, prefix, str(tmp_path), env)


def test_installed_libcxx(options, tmp_path):
    """The C++ consumer on clang's own standard library, which has no
    from_chars for real numbers."""
    if options.toolchain or not options.build or not shutil.which("clang++"):
        pytest.skip("needs this build's static library and clang++")
    if options.link_flags:
        pytest.skip("this build's library needs its own link flags (coverage), not clang's")
    prefix = str(tmp_path / "prefix")
    run([options.cmake, "--install", options.build, "--prefix", prefix])
    libcxx = copy.copy(options)
    libcxx.cxx = shutil.which("clang++")
    flags = {"cxx": "-stdlib=libc++", "link": "-stdlib=libc++"}
    consume_with_cmake(libcxx, flags, prefix, str(tmp_path), os.environ)


def test_cxx14_includer(options, tmp_path):
    """Below C++17 the C++ header says what it needs, in one error."""
    source = tmp_path / "old.cpp"
    source.write_text('#include "inifile.hpp"\n')
    result = subprocess.run([options.cxx, "-std=c++14", "-fsyntax-only", "-I",
                             os.path.join(SOURCE, "inifile"), str(source)],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    errors = [line for line in result.stdout.splitlines() if "error:" in line]
    assert result.returncode != 0 and len(errors) == 1 and "needs C++17" in errors[0], result.stdout
