#!/usr/bin/env python3
"""Installs the configuration library into a temporary prefix and builds two
programs against the installed copy only: a C program through pkg-config
and a C++ program through find_package(inifile CONFIG), with the C++
interface of inifile.hpp. Each loads a real file, checks its values, changes
the document and saves it; the saved file must hold exactly the expected
text.

  check_install.py static --build DIR ...   installs the given build tree
  check_install.py shared --source DIR ...  configures, builds and installs
                                            a shared library first, and
                                            checks that it exports only the
                                            functions of inifile.h

With --toolchain the library and the consumers are cross-compiled for
Windows and the consumers run under the --emulator given (Wine)."""

import argparse
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

from check_symbols import public_functions

HERE = os.path.dirname(os.path.abspath(__file__))

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


class Failure(Exception):
    pass


def run(command, env=None, cwd=None):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            env=env, cwd=cwd)
    output = result.stdout.decode(errors="replace")
    if result.returncode != 0:
        raise Failure("%s\nended with status %d:\n%s"
                      % (" ".join(command), result.returncode, output))
    return output


def installed_files(prefix):
    found = set()
    for directory, _, names in os.walk(prefix):
        for name in names:
            found.add(os.path.relpath(os.path.join(directory, name), prefix))
    return found


def check_files(prefix, libraries, libdir):
    """The installation holds the headers (C and C++), the libraries, the
    CMake package and inifile.pc, and nothing else: no test variant, no
    tool."""
    package = libdir + "/cmake/inifile/"
    wanted = {"include/inifile.h", "include/inifile.hpp", libdir + "/pkgconfig/inifile.pc",
              package + "inifile-config.cmake", package + "inifile-config-version.cmake",
              package + "inifile-targets.cmake"} | set(libraries)
    found = installed_files(prefix)
    per_config = {f for f in found
                  if re.fullmatch(re.escape(package) + r"inifile-targets-\w+\.cmake", f)}
    problems = []
    if len(per_config) != 1:
        problems.append("expected one per-configuration targets file, found %s" % sorted(per_config))
    if wanted - found:
        problems.append("missing: %s" % sorted(wanted - found))
    if found - wanted - per_config:
        problems.append("unexpected: %s" % sorted(found - wanted - per_config))
    if problems:
        raise Failure("installed files in %s:\n  %s" % (prefix, "\n  ".join(problems)))


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
        text = f.read()
    if text != EXPECTED:
        raise Failure("%s saved\n%r\ninstead of\n%r" % (program, text, EXPECTED))


def beside_dll(options, prefix, directory):
    """A Windows program finds a DLL in its own folder."""
    dll = os.path.join(prefix, "bin", "libinifile.dll")
    if options.toolchain and os.path.exists(dll):
        shutil.copy2(dll, directory)


def consume_with_pkg_config(options, prefix, work, env):
    # Only the installed prefix: no .pc file of the system may answer.
    env = dict(env, PKG_CONFIG_LIBDIR=os.path.join(prefix, options.libdir, "pkgconfig"))
    env.pop("PKG_CONFIG_PATH", None)
    flags = run(["pkg-config", "--cflags", "--libs", "inifile"], env=env).split()
    program = os.path.join(work, "c_consumer" + (".exe" if options.toolchain else ""))
    run([options.cc, "-std=c11", "-Wall", "-Wextra", "-Werror", "-pedantic"]
        + shlex.split(options.c_flags) + [os.path.join(HERE, "consumer.c"), "-o", program]
        + flags + shlex.split(options.link_flags))
    beside_dll(options, prefix, work)
    check_output(options, program, work, env)


def consume_with_cmake(options, prefix, work, env):
    build = os.path.join(work, "cxx-consumer")
    wanted = os.path.join(prefix, options.libdir, "cmake", "inifile")
    configure = [options.cmake, "-S", os.path.join(HERE, "consumer_cxx"), "-B", build,
                 "-G", options.generator, "-DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF",
                 "-DCMAKE_CXX_FLAGS=" + options.cxx_flags,
                 "-DCMAKE_EXE_LINKER_FLAGS=" + options.link_flags]
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
    if found is None or os.path.realpath(found.group(1)) != os.path.realpath(wanted):
        raise Failure("find_package found %s instead of %s"
                      % (found.group(1) if found else "nothing", wanted))
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


def check_exports(options, library, header):
    exported = exported_symbols(options, library)
    wanted = public_functions(header)
    if len(wanted) < 10 or exported != wanted:
        raise Failure("%s exports %s\ninstead of the functions of inifile.h %s"
                      % (library, sorted(exported), sorted(wanted)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("kind", choices=["static", "shared"])
    parser.add_argument("--build", help="build tree to install (static)")
    parser.add_argument("--source", help="source tree to build shared (shared)")
    parser.add_argument("--cmake", required=True)
    parser.add_argument("--generator", required=True)
    parser.add_argument("--cc", required=True)
    parser.add_argument("--cxx", required=True)
    parser.add_argument("--libdir", required=True)
    parser.add_argument("--version", required=True, help="the project's version, 1.2.3")
    # The flags the build compiles and links its own programs with (a
    # coverage build's library needs them in its consumers too). For the
    # static library only: the shared one is built without them.
    parser.add_argument("--c-flags", default="")
    parser.add_argument("--cxx-flags", default="")
    parser.add_argument("--link-flags", default="")
    parser.add_argument("--toolchain", help="cross-compile for Windows with this toolchain file")
    parser.add_argument("--objdump", default="x86_64-w64-mingw32-objdump")
    parser.add_argument("--emulator", nargs=argparse.REMAINDER, default=[])
    options = parser.parse_args()

    work = tempfile.mkdtemp(prefix="inifile-install-")
    prefix = os.path.join(work, "prefix")
    env = dict(os.environ)
    if options.kind == "shared":
        options.c_flags = options.cxx_flags = options.link_flags = ""
    try:
        if options.kind == "static":
            run([options.cmake, "--install", options.build, "--prefix", prefix])
            check_files(prefix, [options.libdir + "/libinifile.a"], options.libdir)
        else:
            build = os.path.join(work, "shared-build")
            configure = [options.cmake, "-S", options.source, "-B", build,
                         "-G", options.generator, "-DCMAKE_BUILD_TYPE=Release",
                         "-DBUILD_SHARED_LIBS=ON", "-DQUORVEL_TESTS=OFF",
                         "-DCMAKE_INSTALL_LIBDIR=" + options.libdir]
            if options.toolchain:
                configure.append("-DCMAKE_TOOLCHAIN_FILE=" + options.toolchain)
            else:
                configure += ["-DCMAKE_C_COMPILER=" + options.cc,
                              "-DCMAKE_CXX_COMPILER=" + options.cxx]
            run(configure)
            run([options.cmake, "--build", build, "--target", "inifile", "-j2"])
            run([options.cmake, "--install", build, "--prefix", prefix])
            if options.toolchain:
                library = "bin/libinifile.dll"
                libraries = [library, options.libdir + "/libinifile.dll.a"]
            else:
                library = options.libdir + "/libinifile.so." + options.version
                major = options.libdir + "/libinifile.so." + options.version.split(".")[0]
                libraries = [library, major, options.libdir + "/libinifile.so"]
            check_files(prefix, libraries, options.libdir)
            check_exports(options, os.path.join(prefix, library),
                          os.path.join(prefix, "include", "inifile.h"))
            env["LD_LIBRARY_PATH"] = os.path.join(prefix, options.libdir)
        consume_with_pkg_config(options, prefix, work, env)
        consume_with_cmake(options, prefix, work, env)
    except Failure as failure:
        print("FAILED: %s" % failure)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("installed %s library%s: C consumer (pkg-config) and C++ consumer (find_package) passed"
          % (options.kind, " for Windows" if options.toolchain else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
