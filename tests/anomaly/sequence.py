"""The calls an installation makes, in the order the installer makes them,
and what the failure of each one leads to. From a tree and a planned fault
this works out the exact outcome of the run: status, standard output,
standard error and the bytes the run leaves in each file it writes.

Allocations are the one kind this does not place: how many a step makes
belongs to the library's growth rules. Every one of them ends the run with
the out-of-memory line, wherever it falls."""

import os
from collections import Counter
from dataclasses import dataclass, field

from tree import BOOT_FILES, EXECUTABLES, MINIMAL_BOOT, QUESTION, VELMAR_BOOT, escaped

READ_CHUNK = 64 * 1024  # the loader reads Install.ini in chunks of this size
OUT_OF_MEMORY = "Out of memory\n"
BAIL_OUT = "Cannot continue installation, bailing out.\n"
CONTINUE = "Continuing installation anyway...\n"
PLATFORM_KINDS = ["own_path", "mkdir", "exists", "copy", "open", "create", "read", "write"]
KINDS = ["alloc"] + PLATFORM_KINDS


def copy_failed(source, destination, then):
    return "Could not copy file %s to %s\n%s" % (source, destination, then)


@dataclass
class Expected:
    status: int
    stdout: str
    stderr: str
    # Host path -> the exact bytes the run leaves there. A file the run
    # writes that is not listed here keeps what it held before the run.
    leaves: dict = field(default_factory=dict)
    calls: Counter = field(default_factory=Counter)


class Ended(Exception):
    pass


class Installation:
    """One run of the installer over a tree, with the root as the tool sees
    it (given on the command line, or derived from its own location)."""

    def __init__(self, tree, root, own_location, interactive, velmar):
        self.tree = tree
        self.root = root
        self.own_location = own_location
        self.interactive = interactive
        self.velmar = velmar

    def composed(self, *parts):
        return "\\".join([self.root] + list(parts))

    def launcher_pieces(self):
        """qvl.ini as the writer hands it to the system, one write each: the
        header in three writes, then one per entry line."""
        bindir = self.composed("sumbra-" + self.tree.vsn, "bin")
        return [b"[", b"quorvel", b"]\n"] + [
            ("%s=%s\n" % (key, escaped(value))).encode("latin-1")
            for key, value in (("Bindir", bindir), ("Progname", "qvl"), ("Rootdir", self.root))]

    def launcher_config(self):
        return b"".join(self.launcher_pieces())

    def written_files(self):
        """Every file a run may write: the copies in <root>\\bin and both
        qvl.ini files."""
        names = EXECUTABLES + BOOT_FILES + ["start.boot", "qvl.ini"]
        return [self.tree.root_bin(name) for name in names] + [self.tree.versioned_bin("qvl.ini")]

    def expected(self, fault=None):
        """The outcome of the run when the call fault = (kind, n) fails, or
        of a clean run when fault is None."""
        tree = self.tree
        result = Expected(0, "", "")
        calls = result.calls

        def fails(kind):
            calls[kind] += 1
            return fault == (kind, calls[kind])

        def end(message):
            result.status = 1
            result.stderr += message
            raise Ended()

        def read_file(path):
            with open(path, "rb") as f:
                return f.read()

        try:
            # The root is fixed before the question is asked.
            if self.own_location and fails("own_path"):
                end("Could not GetModuleFileName()\n")
            if self.interactive:
                result.stdout = QUESTION
            # Only the library allocates, and only after the question.
            if fault is not None and fault[0] == "alloc":
                end(OUT_OF_MEMORY)
            release_file = self.composed("Install.ini")
            if fails("open"):
                end("Cannot open init file %s\n" % release_file)
            # The file is read chunk by chunk until a read gives no bytes; a
            # read error fails the whole load, wherever it comes.
            size = os.path.getsize(tree.path("Install.ini"))
            for _ in range(-(-size // READ_CHUNK) + 1):
                if fails("read"):
                    end("Cannot open init file %s\n" % release_file)

            # bin may exist already; without it every copy into it fails.
            bin_exists = os.path.isdir(tree.root_bin())
            if not fails("mkdir"):
                bin_exists = True
            for name in EXECUTABLES:
                source = self.composed("sumbra-" + tree.vsn, "bin", name)
                if fails("exists"):
                    end("Could not find file %s\n" % source)
                if fails("copy") or not bin_exists:
                    result.stderr += copy_failed(source, self.composed("bin", name), CONTINUE)
                else:
                    result.leaves[tree.root_bin(name)] = read_file(tree.versioned_bin(name))
            for name in BOOT_FILES:
                source = self.composed("releases", tree.system_vsn, name)
                if fails("exists"):
                    end("Could not find file %s\n" % source)
                if fails("copy") or not bin_exists:
                    end(copy_failed(source, self.composed("bin", name), BAIL_OUT))
                result.leaves[tree.root_bin(name)] = read_file(tree.release_dir(name))
            chosen = VELMAR_BOOT if self.velmar else MINIMAL_BOOT
            if fails("copy"):
                end(copy_failed(self.composed("bin", chosen), self.composed("bin", "start.boot"),
                                BAIL_OUT))
            result.leaves[tree.root_bin("start.boot")] = read_file(tree.release_dir(chosen))

            written = self.composed("sumbra-" + tree.vsn, "bin", "qvl.ini")
            cannot_create = "Could not create file %s\n%s" % (written, BAIL_OUT)
            if fails("create"):
                end(cannot_create)
            # A failed write leaves what was written before it.
            pieces = self.launcher_pieces()
            for done in range(len(pieces)):
                result.leaves[tree.versioned_bin("qvl.ini")] = b"".join(pieces[:done])
                if fails("write"):
                    end(cannot_create)
            result.leaves[tree.versioned_bin("qvl.ini")] = self.launcher_config()
            if fails("copy"):
                end(copy_failed(written, self.composed("bin", "qvl.ini"), BAIL_OUT))
            result.leaves[tree.root_bin("qvl.ini")] = self.launcher_config()
            if self.interactive:
                result.stdout += "Quorvel %s installed successfully\n" % tree.vsn
        except Ended:
            pass
        return result
