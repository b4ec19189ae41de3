"""The tool's package (the Windows ZIP), made with cpack: what the archive
holds, what Windows reads from the packaged Install.exe (its version
resource and manifest), and the sample distribution installed with it
under the emulator (Wine): once silently, once answering the question."""

import glob
import os
import shutil
import subprocess
import xml.etree.ElementTree as ElementTree
import zipfile

import pefile
import pytest

import messages as say
from expected import expect
from tool import Tool
from tree import BOOT_FILES, EXECUTABLES, launcher_config

SAMPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir,
                      "examples", "sample")
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


def resources(program):
    """The program's application manifest and its version resource (fixed
    file version, product version and strings), as Windows reads them."""
    image = pefile.PE(str(program))
    manifest = None
    for kind in image.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id == pefile.RESOURCE_TYPE["RT_MANIFEST"]:
            data = kind.directory.entries[0].directory.entries[0].data.struct
            manifest = image.get_data(data.OffsetToData, data.Size)
    fixed = image.VS_FIXEDFILEINFO[0]
    strings = {key.decode(): value.decode() for info in image.FileInfo[0]
               if info.Key == b"StringFileInfo" for table in info.StringTable
               for key, value in table.entries.items()}
    return manifest, ((fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                       fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF),
                      (fixed.ProductVersionMS >> 16, fixed.ProductVersionMS & 0xFFFF,
                       fixed.ProductVersionLS >> 16, fixed.ProductVersionLS & 0xFFFF), strings)


def test_program_carries_its_version_and_manifest(options, package):
    """The manifest asks for no elevation and names the Windows versions;
    the version resource carries the project's version and names."""
    manifest, (file_version, product_version, strings) = resources(package[1] / PROGRAM)
    assert manifest is not None, "no application manifest"
    root = ElementTree.fromstring(manifest)
    levels = [e.get("level") for e in root.iter("{urn:schemas-microsoft-com:asm.v3}"
                                                 "requestedExecutionLevel")]
    assert levels == ["asInvoker"]
    systems = {e.get("Id") for e in root.iter("{urn:schemas-microsoft-com:compatibility.v1}"
                                              "supportedOS")}
    assert SUPPORTED_OS <= systems
    numbers = tuple(int(n) for n in options.project_version.split(".")) + (0,)
    wanted = {"FileVersion": options.project_version, "ProductVersion": options.project_version,
              "OriginalFilename": PROGRAM}
    assert (file_version, product_version) == (numbers, numbers)
    assert {key: strings.get(key) for key in wanted} == wanted
    assert strings.get("ProductName") and strings.get("FileDescription")


def check_installation(tool, dist, active):
    """bin and both qvl.ini files as the installation must leave them; the
    sample's version."""
    versioned = glob.glob(os.path.join(SAMPLE, "sumbra-*"))
    vsn = os.path.basename(versioned[0])[len("sumbra-"):]
    release = glob.glob(os.path.join(SAMPLE, "releases", "*"))[0]
    launcher = launcher_config(tool.own_directory(dist), vsn)
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
    tool = Tool(program, options.emulator)
    expect(tool.run(["-s"], timeout=120), 0, "", "")
    check_installation(tool, dist, "start_mirren.boot")
    outcome = tool.run([], stdin=b"\n", timeout=120)
    vsn = check_installation(tool, dist, "start_velmar.boot")
    expect(outcome, 0, say.QUESTION + say.SUCCESS % vsn, "")
