"""Hostile Install.ini files through the whole tool: random bytes, damaged
copies of a good file, zero bytes, a 100 MB line, a
million sections, a million continuation lines and the library fuzzer's
corpus. Each run must end in a clean success or a clean failure with the
exact message (and reason) that the reference reading (reference_reader.py)
gives for those bytes."""

import errno
import os
import random
import re
import resource
import shutil
import subprocess

import pytest

from fault_loop import SANITIZER_MARKS, strict_leaks
import messages as say
from reference_reader import Unforeseen, installer_outcome
from tool import Outcome
from tree import Tree, installation_problems, release_description

GOOD = release_description().encode()
# Pieces that matter to the format, for damaging a good file.
PIECES = [b"[", b"]", b"=", b";", b"\\", b"\n", b"\r", b"\r\n", b" ", b"\t", b"\0", b"\xff",
          b"[Install]", b"VSN", b"SYSTEM_VSN", b"5.10.3", b"R16B", b"\\\n", b"[Other]\n",
          b"VSN=5.10.3\n", b"SYSTEM_VSN=R16B\n", b"; note\n"]


class Bench:
    """One tree in a scratch directory, into which each case writes its
    Install.ini before a silent run."""

    def __init__(self, tool, scratch, corpus, sanitized=False):
        self.tool = tool
        self.corpus = corpus
        self.sanitized = sanitized
        self.tree = Tree(os.path.join(scratch, "tree"))
        self.root = tool.path(self.tree.base)

    def run(self, memory_limit=None):
        """A silent run; with memory_limit (bytes) the process may take no
        more memory than that: its address space is cut down, or, under
        the address sanitizer (which needs a vast address space of its
        own), its allocator refuses larger blocks."""
        # Running out of memory ends the process from deep inside the library,
        # holding what it held: only the other ends must release it all.
        environment = strict_leaks() if memory_limit is None else {}
        limit = None
        if memory_limit is not None and self.sanitized:
            environment["ASAN_OPTIONS"] = (os.environ.get("ASAN_OPTIONS", "")
                                           + ":allocator_may_return_null=1:max_allocation_size_mb=%d"
                                           % (memory_limit >> 20))
        elif memory_limit is not None:
            def limit():
                resource.setrlimit(resource.RLIMIT_AS, (memory_limit, memory_limit))
        result = subprocess.run(self.tool.command(["-s", self.root]), stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120,
                                env=dict(os.environ, **environment), preexec_fn=limit)
        stderr = self.tool.text(result.stderr)
        if memory_limit is not None and self.sanitized:
            # The sanitizer's allocator announces each block it refuses.
            stderr = re.sub(r"==\d+==WARNING: AddressSanitizer failed to allocate 0x[0-9a-f]+ bytes\n",
                            "", stderr)
        return Outcome(result.returncode, self.tool.text(result.stdout), stderr)

    def check(self, label, data=None, write_file=None, expected=None, memory_limit=None):
        """Runs the tool over Install.ini holding data, or what write_file
        writes into the path it is given; the problems found. The outcome
        expected is the reference reading's unless given as (status,
        standard error): a file of many megabytes is too big for a reading
        one byte at a time in Python. Standard error may be expected as a
        pattern; it must then consist of the tool's documented lines."""
        path = self.tree.path("Install.ini")
        if write_file is not None:
            write_file(path)
        else:
            with open(path, "wb") as f:
                f.write(data)
        if expected is None:
            try:
                expected = installer_outcome(data, self.root, self.tree)
            except Unforeseen as reason:
                return ["%s: %s" % (label, reason)]
        status, stderr = expected
        outcome = self.run(memory_limit)
        problems = []
        if outcome.status not in (0, 1) or any(m in outcome.stderr for m in SANITIZER_MARKS):
            problems.append("unclean end, status %d: %r" % (outcome.status, outcome.stderr[:2000]))
        elif (outcome.status, outcome.stdout) != (status, "") or (
                outcome.stderr != stderr if isinstance(stderr, str)
                else not stderr.fullmatch(outcome.stderr) or say.undocumented(outcome.stderr)):
            problems.append("status %d, output %r, error %r; expected status %d, error %r"
                            % (outcome.status, outcome.stdout[:200], outcome.stderr[:500],
                               status, stderr[:500] if isinstance(stderr, str) else stderr))
        if status == 0:
            problems += installation_problems(self.tree, self.root, velmar=False)
        # The next case starts from a tree without an installation.
        shutil.rmtree(self.tree.root_bin(), ignore_errors=True)
        if os.path.exists(self.tree.versioned_bin("qvl.ini")):
            os.remove(self.tree.versioned_bin("qvl.ini"))
        return ["%s: %s" % (label, p) for p in problems]


def random_bytes(bench):
    generator = random.Random(20261208)
    problems = []
    for i in range(150):
        length = generator.choice([0, 1, 2, 17, 1023, 1024, 1025, generator.randrange(4096)])
        # Some from every byte value, some from the bytes the format knows.
        alphabet = range(256) if i % 2 else b"[]=;\\\n\r \0ab"
        data = bytes(generator.choice(alphabet) for _ in range(length))
        problems += bench.check("random file %d" % i, data)
    return problems


def damaged_copies(bench):
    generator = random.Random(5)
    problems = []
    for i in range(300):
        data = bytearray(GOOD)
        for _ in range(generator.randrange(1, 4)):
            at = generator.randrange(len(data) + 1)
            change = generator.randrange(3)
            if change == 0:
                data[at:at] = generator.choice(PIECES)
            elif change == 1:
                del data[at:at + generator.randrange(1, 6)]
            else:
                data[at:at + 1] = bytes([generator.randrange(256)])
        problems += bench.check("damaged copy %d %r" % (i, bytes(data)), bytes(data))
    return problems


ZERO_BYTE_FILES = [
    ("zeros only", b"\0" * 100000),
    ("zero after the value", b"[Install]\nVSN=5.10.3\0junk\nSYSTEM_VSN=R16B\0\0\n"),
    ("zero inside the section name", b"[Inst\0all]\nVSN=5.10.3\nSYSTEM_VSN=R16B\n"),
    ("zero inside a key", b"[Install]\nV\0SN=5.10.3\nSYSTEM_VSN=R16B\n"),
    ("zero line between entries", b"[Install]\nVSN=5.10.3\n\0\nSYSTEM_VSN=R16B\n"),
    ("zero after a space", b"[Install]\nVSN=5.10.3 \0x\nSYSTEM_VSN=R16B\n"),
    ("zero in a comment", b"; \0\n" + GOOD),
]


def zero_bytes(bench):
    problems = []
    for label, data in ZERO_BYTE_FILES:
        problems += bench.check(label, data)
    return problems


LONG_LINE = 100 * 1024 * 1024


def writer_of(pieces):
    """A file writer that streams pieces (bytes, or (bytes, times)) so that
    no big file is ever built in memory here."""
    def write_file(path):
        with open(path, "wb") as f:
            for piece in pieces:
                data, times = piece if isinstance(piece, tuple) else (piece, 1)
                block = data * max(1, (1 << 20) // max(1, len(data)))
                full, rest = divmod(times, len(block) // len(data))
                for _ in range(full):
                    f.write(block)
                f.write(data * rest)
    return write_file


def long_line(bench):
    # One entry of 100 MB after the two keys: the tool installs. The same
    # length as the value of VSN: refused as too long for a path.
    too_long = say.VALUE_TOO_LONG % ("VSN", bench.root + "\\Install.ini")
    return (bench.check("100 MB entry", expected=(0, ""), write_file=writer_of(
                [GOOD, b"NOTE=", (b"x", LONG_LINE), b"\n"]))
            + bench.check("100 MB VSN", expected=(1, too_long), write_file=writer_of(
                [b"[Install]\nSYSTEM_VSN=R16B\nVSN=", (b"5", LONG_LINE), b"\n"])))


def memory_exhausted(bench):
    # The 100 MB entry with the memory the process may take cut to 64 MB:
    # the heap runs out for real, as the file is read, and the tool says so.
    release_file = say.CANNOT_OPEN_INIT % (bench.root + "\\Install.ini")
    return bench.check("100 MB entry in 64 MB of memory", expected=(
        1, release_file + say.READING_FAILED % os.strerror(errno.ENOMEM) + "\n"),
                       memory_limit=64 << 20, write_file=writer_of(
                           [GOOD, b"NOTE=", (b"x", LONG_LINE), b"\n"]))


def million_sections(bench):
    def write_file(path):
        with open(path, "wb") as f:
            for start in range(0, 1000000, 10000):
                f.write(b"".join(b"[s%d]\n" % n for n in range(start, start + 10000)))
            f.write(GOOD)
    return bench.check("a million sections before [Install]", expected=(0, ""),
                       write_file=write_file)


def deep_continuations(bench):
    # A value continued over a million physical lines, and the versions
    # themselves split by continuations and carriage returns.
    return (bench.check("a million continuation lines", expected=(0, ""), write_file=writer_of(
                [GOOD, b"DEEP=", (b"ab\\\n", 1000000), b"end\n"]))
            + bench.check("a million escaped backslashes", expected=(0, ""),
                          write_file=writer_of([GOOD, b"DEEP=", (b"\\\\", 1000000), b"\n"]))
            + bench.check("versions split over lines",
                          b"[Install]\nVSN=5.\\\n10\\\r\n.3\nSYSTEM_VSN=R\\\n\\\n\\\n16B\n"))


def fuzz_corpus(bench):
    assert bench.corpus, "--corpus names the fuzzer's seeds"
    names = sorted(os.listdir(bench.corpus))
    problems = []
    for name in names:
        with open(os.path.join(bench.corpus, name), "rb") as f:
            seed = f.read()
        problems += bench.check(name, seed)
        # The seed with the release description behind it, so that a seed
        # the loader takes goes on to the lookups and the copies.
        problems += bench.check(name + " + Install", seed + b"\n" + GOOD)
    if not names:
        problems.append("the corpus %s is empty" % bench.corpus)
    return problems


@pytest.mark.parametrize("check", [random_bytes, damaged_copies, zero_bytes, long_line,
                                   memory_exhausted, million_sections, deep_continuations,
                                   fuzz_corpus], ids=lambda c: c.__name__)
def test_hostile(request, tool, tmp_path, check):
    bench = Bench(tool, str(tmp_path), request.config.getoption("corpus"),
                  request.config.getoption("sanitized"))
    problems = check(bench)
    assert not problems, "\n".join(problems[:50])
