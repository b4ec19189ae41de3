"""A second, independent reading of the configuration file format, written
from the format's rules in the plainest way (one byte at a time, no
chunks), and what the installer must do with an Install.ini that holds any
bytes at all. The hostile-input tests run the tool on files it has never
seen and compare with this: where the two disagree, one of them is wrong."""

import os
import re

import messages as say
from tree import BOOT_FILES, EXECUTABLES

PATH_LIMIT = 259  # longest path the tool composes, without its zero byte
LONGEST_IN_VERSIONED_BIN = max(len(n) for n in EXECUTABLES + ["qvl.ini"])
LONGEST_IN_RELEASE_DIR = max(len(n) for n in BOOT_FILES)


# Byte-order marks of text the format cannot read, UTF-32 little-endian
# tested before the UTF-16 mark it begins with.
ENCODINGS = [(b"\xff\xfe\x00\x00", "UTF-32", "little"), (b"\x00\x00\xfe\xff", "UTF-32", "big"),
             (b"\xff\xfe", "UTF-16", "little"), (b"\xfe\xff", "UTF-16", "big")]
UTF8_MARK = b"\xef\xbb\xbf"


def logical_lines(data):
    """The logical lines of a file's bytes, as the reader delivers them,
    each with the number of the physical line that holds its first byte, up
    to the first zero byte; and the number of that byte's line, or None."""
    lines = []
    text = bytearray()
    escaped = comment = False
    number = start = 1

    def finish():
        trimmed = bytes(text).rstrip(b" ")
        if trimmed:
            lines.append((start, trimmed))

    for byte in data[len(UTF8_MARK):] if data.startswith(UTF8_MARK) else data:
        if not text:
            start = number
        if byte == 0x0A:
            number += 1
            if escaped or not text:  # a continuation, or a blank line
                escaped = comment = False
                continue
            finish()
            text.clear()
            escaped = comment = False
        elif byte == 0x00:  # no text holds one: the reading ends there
            return lines, number
        elif byte == 0x0D or comment:
            continue
        elif byte == 0x23 and not text and not escaped:  # '#' first: a comment
            comment = True
        elif byte == 0x20:
            if text:
                text.append(byte)
            escaped = False
        elif byte == 0x3B:  # ;
            if escaped:
                text.append(byte)
            else:
                comment = True
            escaped = False
        elif byte == 0x5C:  # backslash
            if escaped:
                text.append(byte)
            escaped = not escaped
        else:
            text.append(byte)
            escaped = False
    finish()
    return lines, None


def load(data):
    """The document as a list of (name, [(key, value)]), or None and the
    reason the library gives for rejecting the file."""
    for mark, encoding, order in ENCODINGS:
        if data.startswith(mark):
            return None, say.UNREADABLE_TEXT % (encoding, order)
    sections = []
    current = None
    lines, zero_line = logical_lines(data)
    for number, line in lines:
        equals = line.find(b"=")
        if current is not None and equals > 0:
            current[1].append((line[:equals].rstrip(b" "), line[equals + 1:].lstrip(b" ")))
        elif len(line) > 2 and line[:1] == b"[" and line[-1:] == b"]":
            current = (line[1:-1], [])
            sections.append(current)
        else:
            return None, "line %d: %s" % (number, (
                say.BEFORE_HEADER if current is None and equals > 0
                else say.EMPTY_SECTION_NAME if line == b"[]" else say.NEITHER))
    if zero_line is not None:
        return None, "line %d: %s" % (zero_line, say.ZERO_BYTE)
    return sections, None


def first(pairs, wanted):
    for name, value in pairs:
        if name == wanted:
            return value
    return None


class Unforeseen(Exception):
    """An Install.ini whose outcome depends on more than this module models."""


def shown(value):
    """A value as the tool's messages show it: each control byte as its
    code, never raw."""
    return re.sub(r"[\x00-\x1f\x7f]", lambda c: "<0x%02X>" % ord(c.group()), value.decode("latin-1"))


def refused_version(key, value, release_file):
    """Standard error, as a pattern, of a version that would lead out of its
    folder or name none: the tool's own wording, which must name the key,
    the file and the value."""
    return re.compile(r"(?s)(?=.*(?<![A-Z_])%s(?![A-Z_]))(?=.*%s)(?=.*%s).*\n"
                      % (key, re.escape(release_file.decode("latin-1")),
                         re.escape(shown(value)[:250])))


def leads_elsewhere(version):
    """A version no folder name can be: empty, . or .., or holding a
    separator, a drive's colon or a control byte."""
    return (version in (b"", b".", b"..") or any(c in version for c in b"\\/:")
            or any(c < 0x20 or c == 0x7F for c in version))


def installer_outcome(data, root, tree):
    """(status, standard error) of a silent run of the tool over tree, given
    the root argument root, when Install.ini holds data. Standard error is
    its text, or a pattern where the wording is the tool's to choose."""
    root_bytes = root.encode("latin-1")
    release_file = root_bytes + b"\\Install.ini"

    def message(text, *paths):
        # The tool prints the bytes as they are; the tests read its output
        # as latin-1, one character per byte.
        return text % tuple(p.decode("latin-1") for p in paths)

    document, reason = load(data)
    if document is None:
        return 1, message(say.CANNOT_OPEN_INIT, release_file) + reason + "\n"
    install = first(document, b"Install")
    if install is None:
        return 1, message(say.NO_INSTALL_SECTION, release_file)
    too_long = say.VALUE_TOO_LONG
    versions = []
    for key in ("VSN", "SYSTEM_VSN"):
        value = first(install, key.encode())
        if value is None:
            return 1, message(say.NO_KEY % (key, "%s"), release_file)
        if leads_elsewhere(value):
            return 1, refused_version(key, value, release_file)
        if len(value) > PATH_LIMIT:
            return 1, too_long % (key, release_file.decode("latin-1"))
        versions.append(value)
    vsn, system_vsn = versions
    # What the longest path of each version's folder adds to the root: a
    # value too long even under a drive's root (X:\) is at fault, else the
    # root is.
    tails = [len(b"\\sumbra-%s\\bin\\" % vsn) + LONGEST_IN_VERSIONED_BIN,
             len(b"\\releases\\%s\\" % system_vsn) + LONGEST_IN_RELEASE_DIR]
    for key, tail in zip(("VSN", "SYSTEM_VSN"), tails):
        if 2 + tail > PATH_LIMIT:
            return 1, too_long % (key, release_file.decode("latin-1"))
    if len(root_bytes) + max(tails) > PATH_LIMIT:
        return 1, say.ROOT_TOO_LONG % root + say.ROOT_LIMIT % (PATH_LIMIT - max(tails))
    versioned_bin = root_bytes + b"\\sumbra-" + vsn + b"\\bin"
    release_dir = root_bytes + b"\\releases\\" + system_vsn

    # The sources, in the order the tool looks for them; on this system a
    # backslash in a path is a separator.
    sources = ([versioned_bin + b"\\" + n.encode() for n in EXECUTABLES]
               + [release_dir + b"\\" + n.encode() for n in BOOT_FILES])
    for source in sources:
        if not os.path.exists(source.replace(b"\\", b"/")):
            return 1, message(say.FILE_MISSING, source)
    if vsn != tree.vsn.encode() or system_vsn != tree.system_vsn.encode():
        raise Unforeseen("versions %r and %r name other files of the tree" % (vsn, system_vsn))
    return 0, ""
