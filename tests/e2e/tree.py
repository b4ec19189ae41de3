"""A distribution tree in a temporary directory, and what a finished
installation must leave in it."""

import os

EXECUTABLES = ["qvl.exe", "wqvl.exe", "qvlc.exe", "brevant.exe", "kestin.exe",
               "ostrel.exe", "vk_run.exe"]
MINIMAL_BOOT = "start_mirren.boot"
VELMAR_BOOT = "start_velmar.boot"
BOOT_FILES = [MINIMAL_BOOT, VELMAR_BOOT]


def release_description(vsn="5.10.3", system_vsn="R16B"):
    return "[Install]\nVSN=%s\nSYSTEM_VSN=%s\n" % (vsn, system_vsn)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("latin-1"))


def read(path):
    with open(path, "rb") as f:
        return f.read()


def executable_content(name, vsn):
    # Distinct bytes per file, with a zero byte and a CR LF that a text-mode
    # copy would damage.
    return ("MZ %s of %s\r\n" % (name, vsn)).encode() + b"\x00\xff" * 40


def boot_content(name, system_vsn):
    return ("boot %s of %s\n" % (name, system_vsn)).encode() + bytes(range(256))


class Tree:
    def __init__(self, base, vsn="5.10.3", system_vsn="R16B", ini=None):
        self.base = base
        self.vsn = vsn
        self.system_vsn = system_vsn
        write(self.path("Install.ini"), release_description(vsn, system_vsn) if ini is None else ini)
        for name in EXECUTABLES:
            write(self.versioned_bin(name), executable_content(name, vsn))
        for name in BOOT_FILES:
            write(self.release_dir(name), boot_content(name, system_vsn))

    def path(self, *parts):
        return os.path.join(self.base, *parts)

    def versioned_bin(self, *names):
        return self.path("sumbra-" + self.vsn, "bin", *names)

    def release_dir(self, *names):
        return self.path("releases", self.system_vsn, *names)

    def root_bin(self, *names):
        return self.path("bin", *names)


def escaped(text):
    """A value as the configuration writer writes it."""
    return text.replace("\\", "\\\\").replace(";", "\\;")


def launcher_config(root, vsn):
    """The exact bytes of qvl.ini for a root as the tool saw it."""
    # A drive's root (D:\\) has its backslash already.
    bindir = "%s%ssumbra-%s\\bin" % (root, "" if root.endswith(":\\") else "\\", vsn)
    return ("[quorvel]\nBindir=%s\nProgname=qvl\nRootdir=%s\n"
            % (escaped(bindir), escaped(root))).encode("latin-1")


def installation_problems(tree, root, velmar, vsn=None):
    """Everything a finished installation left wrong, as readable lines; an
    empty list means the tree is exactly as it must be. vsn: the version as
    qvl.ini names it, when the tool writes it otherwise than tree.vsn."""
    problems = []

    def expect_copy(destination, source):
        if os.path.islink(destination) or not os.path.isfile(destination):
            problems.append("missing %s" % destination)
        elif read(destination) != read(source):
            problems.append("%s differs from %s" % (destination, source))

    for name in EXECUTABLES:
        expect_copy(tree.root_bin(name), tree.versioned_bin(name))
    for name in BOOT_FILES:
        expect_copy(tree.root_bin(name), tree.release_dir(name))
    expect_copy(tree.root_bin("start.boot"), tree.release_dir(VELMAR_BOOT if velmar else MINIMAL_BOOT))
    expected = launcher_config(root, vsn or tree.vsn)
    for place in (tree.versioned_bin("qvl.ini"), tree.root_bin("qvl.ini")):
        if os.path.islink(place) or not os.path.isfile(place):
            problems.append("missing %s" % place)
        elif read(place) != expected:
            problems.append("%s holds %r, expected %r" % (place, read(place), expected))
    return problems


def strays(tree):
    """Files in bin that no installation puts there, such as a scratch file
    a copy left behind, as readable lines."""
    if not os.path.isdir(tree.root_bin()):
        return []
    wanted = set(EXECUTABLES + BOOT_FILES + ["start.boot", "qvl.ini"])
    return ["%s does not belong in bin" % name for name in sorted(os.listdir(tree.root_bin()))
            if name not in wanted]
