#!/usr/bin/env python3
"""Makes the tool's package with cpack, checks what the archive holds, then
installs the sample distribution with the packaged program: once silently,
once answering the question. The Windows package's Install.exe runs under
the emulator given (Wine).

  check_package.py --cpack CPACK --config CPackConfig.cmake --name NAME
                   --program Install.exe --sample DIR [--emulator PROGRAM ARG...]"""

import argparse
import glob
import os
import shutil
import subprocess
import sys
import tarfile
import tempfile
import zipfile

QUESTION = "Do you want a minimal startup instead of velmar [No]: "
EXECUTABLES = ["qvl.exe", "wqvl.exe", "qvlc.exe", "brevant.exe", "kestin.exe",
               "ostrel.exe", "vk_run.exe"]
BOOT_FILES = ["start_mirren.boot", "start_velmar.boot"]


class Failure(Exception):
    pass


def read(path):
    with open(path, "rb") as f:
        return f.read()


def make_package(options, work):
    packages = os.path.join(work, "packages")
    result = subprocess.run([options.cpack, "--config", options.config, "-B", packages],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if result.returncode != 0:
        raise Failure("cpack failed:\n" + result.stdout.decode(errors="replace"))
    suffix = ".zip" if options.emulator else ".tar.gz"
    archive = os.path.join(packages, options.name + suffix)
    if not os.path.isfile(archive):
        raise Failure("cpack made %s, not %s" % (os.listdir(packages), archive))
    return archive


def unpack(archive, work):
    """Extracts the archive; checks it holds one folder with the program and
    README.txt, nothing else."""
    target = os.path.join(work, "unpacked")
    if archive.endswith(".zip"):
        with zipfile.ZipFile(archive) as z:
            names = z.namelist()
            z.extractall(target)
    else:
        with tarfile.open(archive) as t:
            names = t.getnames()
            t.extractall(target)
    return target, {n.rstrip("/") for n in names}


def check_contents(options, names, folder):
    wanted = {options.name, options.name + "/" + options.program, options.name + "/README.txt"}
    files = {n for n in names if n != options.name}
    if files != wanted - {options.name}:
        raise Failure("the archive holds %s instead of %s" % (sorted(names), sorted(wanted)))
    text = read(os.path.join(folder, "README.txt"))
    if options.program.encode() not in text or b"-s" not in text:
        raise Failure("README.txt does not say how to run %s" % options.program)
    # A text for Windows users has CR LF line ends throughout; one for Linux
    # has none.
    bare = text.replace(b"\r\n", b"")
    if options.emulator and (b"\n" in bare or b"\r" in bare):
        raise Failure("README.txt of the Windows package has lines not ended by CR LF")
    if not options.emulator and b"\r" in text:
        raise Failure("README.txt of the Linux package has CR LF line ends")
    program = os.path.join(folder, options.program)
    if not options.emulator and not os.access(program, os.X_OK):
        raise Failure("the packaged %s is not executable" % options.program)


def own_root(directory, windows):
    """The root the tool derives from its own folder, as it writes it."""
    text = os.path.abspath(directory).replace("/", "\\")
    return "Z:" + text if windows else text


def run_tool(options, program, arguments, stdin):
    result = subprocess.run(options.emulator + [program] + arguments, input=stdin,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    out = result.stdout.decode("latin-1").replace("\r\n", "\n")
    err = result.stderr.decode("latin-1").replace("\r\n", "\n")
    return result.returncode, out, err


def check_installation(sample, dist, active, windows):
    versioned = glob.glob(os.path.join(sample, "sumbra-*"))
    vsn = os.path.basename(versioned[0])[len("sumbra-"):]
    release = glob.glob(os.path.join(sample, "releases", "*"))[0]
    root = own_root(dist, windows)
    bindir = root + "\\sumbra-" + vsn + "\\bin"
    launcher = ("[quorvel]\nBindir=%s\nProgname=qvl\nRootdir=%s\n"
                % (bindir.replace("\\", "\\\\"), root.replace("\\", "\\\\"))).encode("latin-1")
    wanted = {name: read(os.path.join(versioned[0], "bin", name)) for name in EXECUTABLES}
    wanted.update({name: read(os.path.join(release, name)) for name in BOOT_FILES})
    wanted["start.boot"] = read(os.path.join(release, active))
    wanted["qvl.ini"] = launcher
    bin_dir = os.path.join(dist, "bin")
    found = set(os.listdir(bin_dir))
    if found != set(wanted):
        raise Failure("bin holds %s instead of %s" % (sorted(found), sorted(wanted)))
    for name, content in wanted.items():
        if read(os.path.join(bin_dir, name)) != content:
            raise Failure("bin\\%s has the wrong content" % name)
    if read(os.path.join(dist, "sumbra-" + vsn, "bin", "qvl.ini")) != launcher:
        raise Failure("sumbra-%s\\bin\\qvl.ini has the wrong content" % vsn)
    return vsn


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cpack", required=True)
    parser.add_argument("--config", required=True)
    parser.add_argument("--name", required=True, help="package name without extension")
    parser.add_argument("--program", required=True)
    parser.add_argument("--sample", required=True)
    parser.add_argument("--emulator", nargs=argparse.REMAINDER, default=[])
    options = parser.parse_args()
    windows = bool(options.emulator)

    work = tempfile.mkdtemp(prefix="quorvel-package-")
    try:
        archive = make_package(options, work)
        unpacked, names = unpack(archive, work)
        folder = os.path.join(unpacked, options.name)
        check_contents(options, names, folder)

        # The program sits in the root of the tree, as users are told to
        # put it, and finds the tree from its own location.
        dist = os.path.join(work, "sample")
        shutil.copytree(options.sample, dist)
        program = os.path.join(dist, options.program)
        shutil.copy2(os.path.join(folder, options.program), program)

        status, out, err = run_tool(options, program, ["-s"], b"")
        if (status, out, err) != (0, "", ""):
            raise Failure("silent run: status %d, stdout %r, stderr %r" % (status, out, err))
        check_installation(options.sample, dist, "start_mirren.boot", windows)

        status, out, err = run_tool(options, program, [], b"\n")
        vsn = check_installation(options.sample, dist, "start_velmar.boot", windows)
        wanted = (0, QUESTION + "Quorvel %s installed successfully\n" % vsn, "")
        if (status, out, err) != wanted:
            raise Failure("run answering the question: got %r, expected %r"
                          % ((status, out, err), wanted))
    except Failure as failure:
        print("FAILED: %s" % failure)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%s: %s and README.txt; the packaged program installed the sample distribution"
          % (os.path.basename(archive), options.program))
    return 0


if __name__ == "__main__":
    sys.exit(main())
