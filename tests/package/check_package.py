#!/usr/bin/env python3
"""Makes the tool's package (the Windows ZIP) with cpack, checks what the
archive holds and what Windows reads from the packaged Install.exe (its
version resource and manifest), then installs the sample distribution with
it under the emulator given (Wine): once silently, once answering the
question.

  check_package.py --cpack CPACK --config CPackConfig.cmake --name NAME
                   --version 1.2.3 --sample DIR --emulator PROGRAM ARG..."""

import argparse
import glob
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
import zipfile

from pe_resources import PeError, read_resources

QUESTION = "Do you want a minimal startup instead of velmar [No]: "
EXECUTABLES = ["qvl.exe", "wqvl.exe", "qvlc.exe", "brevant.exe", "kestin.exe",
               "ostrel.exe", "vk_run.exe"]
BOOT_FILES = ["start_mirren.boot", "start_velmar.boot"]
PROGRAM = "Install.exe"
# The Windows versions the manifest must name: without the newest, Windows
# 10 and 11 run the tool as if it were made for Windows 8.
SUPPORTED_OS = {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",   # Windows 7
                "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",   # Windows 8
                "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",   # Windows 8.1
                "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}   # Windows 10 and 11


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
    archive = os.path.join(packages, options.name + ".zip")
    made = [name for name in os.listdir(packages) if os.path.isfile(os.path.join(packages, name))]
    if made != [os.path.basename(archive)]:
        raise Failure("cpack made %s, not %s alone" % (made, archive))
    return archive


def unpack(archive, work):
    """Extracts the archive; checks it holds one folder with the program and
    README.txt, nothing else."""
    target = os.path.join(work, "unpacked")
    with zipfile.ZipFile(archive) as z:
        names = z.namelist()
        z.extractall(target)
    return target, {n.rstrip("/") for n in names}


def check_contents(options, names, folder):
    wanted = {options.name, options.name + "/" + PROGRAM, options.name + "/README.txt"}
    files = {n for n in names if n != options.name}
    if files != wanted - {options.name}:
        raise Failure("the archive holds %s instead of %s" % (sorted(names), sorted(wanted)))
    text = read(os.path.join(folder, "README.txt"))
    if PROGRAM.encode() not in text or b"-s" not in text:
        raise Failure("README.txt does not say how to run %s" % PROGRAM)
    # A text for Windows users has CR LF line ends throughout.
    bare = text.replace(b"\r\n", b"")
    if b"\n" in bare or b"\r" in bare:
        raise Failure("README.txt has lines not ended by CR LF")


def check_resources(program, version):
    """The manifest asks for no elevation and names the Windows versions;
    the version resource carries the project's version and names."""
    try:
        manifest, info = read_resources(program)
    except (PeError, IndexError, ValueError, struct.error) as error:
        raise Failure("cannot read the resources of %s: %s" % (program, error))
    if manifest is None:
        raise Failure("%s has no application manifest" % PROGRAM)
    try:
        root = ElementTree.fromstring(manifest)
    except ElementTree.ParseError as error:
        raise Failure("the manifest of %s is not well-formed XML: %s" % (PROGRAM, error))
    levels = [e.get("level") for e in root.iter("{urn:schemas-microsoft-com:asm.v3}"
                                                 "requestedExecutionLevel")]
    if levels != ["asInvoker"]:
        raise Failure("the manifest requests execution levels %s, not asInvoker" % levels)
    systems = {e.get("Id") for e in root.iter("{urn:schemas-microsoft-com:compatibility.v1}"
                                              "supportedOS")}
    if not SUPPORTED_OS <= systems:
        raise Failure("the manifest names the Windows versions %s, not %s"
                      % (sorted(systems), sorted(SUPPORTED_OS)))
    if info is None:
        raise Failure("%s has no version resource" % PROGRAM)
    numbers = tuple(int(n) for n in version.split(".")) + (0,)
    wanted = {"FileVersion": version, "ProductVersion": version,
              "OriginalFilename": PROGRAM}
    got = {key: info["strings"].get(key) for key in wanted}
    if (info["file_version"], info["product_version"], got) != (numbers, numbers, wanted) \
            or not info["strings"].get("ProductName") \
            or not info["strings"].get("FileDescription"):
        raise Failure("version resource of %s: %r, expected versions %s and %r"
                      % (PROGRAM, info, numbers, wanted))


def own_root(directory):
    """The root the tool derives from its own folder, as it writes it."""
    return "Z:" + os.path.abspath(directory).replace("/", "\\")


def run_tool(options, program, arguments, stdin):
    result = subprocess.run(options.emulator + [program] + arguments, input=stdin,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    out = result.stdout.decode("latin-1").replace("\r\n", "\n")
    err = result.stderr.decode("latin-1").replace("\r\n", "\n")
    return result.returncode, out, err


def check_installation(sample, dist, active):
    versioned = glob.glob(os.path.join(sample, "sumbra-*"))
    vsn = os.path.basename(versioned[0])[len("sumbra-"):]
    release = glob.glob(os.path.join(sample, "releases", "*"))[0]
    root = own_root(dist)
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
    parser.add_argument("--version", required=True, help="the project's version, 1.2.3")
    parser.add_argument("--sample", required=True)
    parser.add_argument("--emulator", nargs=argparse.REMAINDER, required=True)
    options = parser.parse_args()

    work = tempfile.mkdtemp(prefix="quorvel-package-")
    try:
        archive = make_package(options, work)
        unpacked, names = unpack(archive, work)
        folder = os.path.join(unpacked, options.name)
        check_contents(options, names, folder)
        check_resources(os.path.join(folder, PROGRAM), options.version)

        # The program sits in the root of the tree, as users are told to
        # put it, and finds the tree from its own location.
        dist = os.path.join(work, "sample")
        shutil.copytree(options.sample, dist)
        program = os.path.join(dist, PROGRAM)
        shutil.copy2(os.path.join(folder, PROGRAM), program)

        status, out, err = run_tool(options, program, ["-s"], b"")
        if (status, out, err) != (0, "", ""):
            raise Failure("silent run: status %d, stdout %r, stderr %r" % (status, out, err))
        check_installation(options.sample, dist, "start_mirren.boot")

        status, out, err = run_tool(options, program, [], b"\n")
        vsn = check_installation(options.sample, dist, "start_velmar.boot")
        wanted = (0, QUESTION + "Quorvel %s installed successfully\n" % vsn, "")
        if (status, out, err) != wanted:
            raise Failure("run answering the question: got %r, expected %r"
                          % ((status, out, err), wanted))
    except Failure as failure:
        print("FAILED: %s" % failure)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%s: %s with its version and manifest, and README.txt; the packaged program"
          " installed the sample distribution" % (os.path.basename(archive), PROGRAM))
    return 0


if __name__ == "__main__":
    sys.exit(main())
