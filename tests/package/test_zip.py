"""The tool's package (the Windows ZIP), made with cpack: what the archive
holds, what Windows reads from the packaged Install.exe (its version
resource and manifest), and the sample distribution installed with it
under the emulator (Wine): once silently, once answering the question."""

import glob
import os
import shutil
import struct
import subprocess
import xml.etree.ElementTree as ElementTree
import zipfile

import pytest

from pe_resources import PeError, read_resources

SAMPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir,
                      "examples", "sample")
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


def read(path):
    with open(path, "rb") as f:
        return f.read()


@pytest.fixture(scope="module")
def package(options, tmp_path_factory):
    """The archive cpack makes, alone, unpacked: (its names, its folder)."""
    work = tmp_path_factory.mktemp("package")
    packages = work / "packages"
    result = subprocess.run([options.cpack, "--config", options.cpack_config, "-B", packages],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    assert result.returncode == 0, "cpack failed:\n" + result.stdout.decode(errors="replace")
    archive = options.package_name + ".zip"
    assert [p.name for p in packages.iterdir() if p.is_file()] == [archive]
    with zipfile.ZipFile(packages / archive) as z:
        names = z.namelist()
        z.extractall(work / "unpacked")
    return {n.rstrip("/") for n in names}, work / "unpacked" / options.package_name


def test_archive_holds_the_program_and_its_readme(options, package):
    """One folder with the program and README.txt, nothing else."""
    names, folder = package
    assert names - {options.package_name} == {options.package_name + "/" + PROGRAM,
                                               options.package_name + "/README.txt"}
    text = read(folder / "README.txt")
    assert PROGRAM.encode() in text and b"-s" in text, "README.txt says how to run the program"
    # A text for Windows users has CR LF line ends throughout.
    bare = text.replace(b"\r\n", b"")
    assert b"\n" not in bare and b"\r" not in bare, "README.txt has lines not ended by CR LF"


def test_program_carries_its_version_and_manifest(options, package):
    """The manifest asks for no elevation and names the Windows versions;
    the version resource carries the project's version and names."""
    program = package[1] / PROGRAM
    try:
        manifest, info = read_resources(program)
    except (PeError, IndexError, ValueError, struct.error) as error:
        pytest.fail("cannot read the resources of %s: %s" % (program, error))
    assert manifest is not None, "no application manifest"
    root = ElementTree.fromstring(manifest)
    levels = [e.get("level") for e in root.iter("{urn:schemas-microsoft-com:asm.v3}"
                                                 "requestedExecutionLevel")]
    assert levels == ["asInvoker"]
    systems = {e.get("Id") for e in root.iter("{urn:schemas-microsoft-com:compatibility.v1}"
                                              "supportedOS")}
    assert SUPPORTED_OS <= systems
    assert info is not None, "no version resource"
    numbers = tuple(int(n) for n in options.project_version.split(".")) + (0,)
    wanted = {"FileVersion": options.project_version, "ProductVersion": options.project_version,
              "OriginalFilename": PROGRAM}
    assert (info["file_version"], info["product_version"]) == (numbers, numbers)
    assert {key: info["strings"].get(key) for key in wanted} == wanted
    assert info["strings"].get("ProductName") and info["strings"].get("FileDescription")


def own_root(directory):
    """The root the tool derives from its own folder, as it writes it."""
    return "Z:" + os.path.abspath(directory).replace("/", "\\")


def run_tool(options, program, arguments, stdin):
    result = subprocess.run(options.emulator + [program] + arguments, input=stdin,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    out = result.stdout.decode("latin-1").replace("\r\n", "\n")
    err = result.stderr.decode("latin-1").replace("\r\n", "\n")
    return result.returncode, out, err


def check_installation(dist, active):
    """bin and both qvl.ini files as the installation must leave them; the
    sample's version."""
    versioned = glob.glob(os.path.join(SAMPLE, "sumbra-*"))
    vsn = os.path.basename(versioned[0])[len("sumbra-"):]
    release = glob.glob(os.path.join(SAMPLE, "releases", "*"))[0]
    root = own_root(dist)
    bindir = root + "\\sumbra-" + vsn + "\\bin"
    launcher = ("[quorvel]\nBindir=%s\nProgname=qvl\nRootdir=%s\n"
                % (bindir.replace("\\", "\\\\"), root.replace("\\", "\\\\"))).encode("latin-1")
    wanted = {name: read(os.path.join(versioned[0], "bin", name)) for name in EXECUTABLES}
    wanted.update({name: read(os.path.join(release, name)) for name in BOOT_FILES})
    wanted["start.boot"] = read(os.path.join(release, active))
    wanted["qvl.ini"] = launcher
    bin_dir = os.path.join(dist, "bin")
    assert {name: read(os.path.join(bin_dir, name)) for name in os.listdir(bin_dir)} == wanted
    assert read(os.path.join(dist, "sumbra-" + vsn, "bin", "qvl.ini")) == launcher
    return vsn


def test_packaged_program_installs_the_sample(options, package, tmp_path):
    """The program sits in the root of the tree, as users are told to put
    it, and finds the tree from its own location."""
    dist = str(tmp_path / "sample")
    shutil.copytree(SAMPLE, dist)
    program = os.path.join(dist, PROGRAM)
    shutil.copy2(package[1] / PROGRAM, program)
    assert run_tool(options, program, ["-s"], b"") == (0, "", "")
    check_installation(dist, "start_mirren.boot")
    outcome = run_tool(options, program, [], b"\n")
    vsn = check_installation(dist, "start_velmar.boot")
    assert outcome == (0, QUESTION + "Quorvel %s installed successfully\n" % vsn, "")
