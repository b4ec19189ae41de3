"""A second, independent reading of the configuration file format, written
from the format's rules in the plainest way (one byte at a time, no
chunks), and what the installer must do with an Install.ini that holds any
bytes at all. The hostile-input tests run the tool on files it has never
seen and compare with this: where the two disagree, one of them is wrong."""

import os

from tree import BOOT_FILES, EXECUTABLES

PATH_LIMIT = 259  # longest path the tool composes, without its zero byte
LONGEST_IN_VERSIONED_BIN = max(len(n) for n in EXECUTABLES + ["qvl.ini"])
LONGEST_IN_RELEASE_DIR = max(len(n) for n in BOOT_FILES)


def logical_lines(data):
    """The logical lines of a file's bytes, as the reader delivers them
    (before the zero-byte cut that every later step makes)."""
    lines = []
    text = bytearray()
    escaped = comment = False

    def finish():
        trimmed = bytes(text).rstrip(b" ")
        if trimmed:
            lines.append(trimmed)

    for byte in data:
        if byte == 0x0A:
            if escaped or not text:  # a continuation, or a blank line
                escaped = comment = False
                continue
            finish()
            text.clear()
            escaped = comment = False
        elif byte == 0x0D or comment:
            continue
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
    return lines


def load(data):
    """The document as a list of (name, [(key, value)]), or None when the
    structure or the encoding is rejected."""
    if data[:2] in (b"\xff\xfe", b"\xfe\xff") or data[:4] == b"\0\0\xfe\xff":
        return None  # UTF-16 or UTF-32 text (FF FE 00 00 begins with FF FE)
    if data[:3] == b"\xef\xbb\xbf":
        data = data[3:]  # a UTF-8 byte-order mark is skipped
    sections = []
    current = None
    for line in logical_lines(data):
        line = line.split(b"\0", 1)[0]  # lines are zero-terminated strings
        equals = line.find(b"=")
        if current is not None and equals > 0:
            current[1].append((line[:equals].rstrip(b" "), line[equals + 1:].lstrip(b" ")))
        elif len(line) > 2 and line[:1] == b"[" and line[-1:] == b"]":
            current = (line[1:-1], [])
            sections.append(current)
        else:
            return None
    return sections


def first(pairs, wanted):
    for name, value in pairs:
        if name == wanted:
            return value
    return None


class Unforeseen(Exception):
    """An Install.ini whose outcome depends on more than this module models."""


def installer_outcome(data, root, tree):
    """(status, standard error) of a silent run of the tool over tree, given
    the root argument root, when Install.ini holds data."""
    root_bytes = root.encode("latin-1")
    release_file = root_bytes + b"\\Install.ini"

    def message(text, *paths):
        # The tool prints the bytes as they are; the tests read its output
        # as latin-1, one character per byte.
        return text % tuple(p.decode("latin-1") for p in paths)

    document = load(data)
    if document is None:
        return 1, message("Cannot open init file %s\n", release_file)
    install = first(document, b"Install")
    if install is None:
        return 1, message("No [Install] section in init file %s\n", release_file)
    too_long = "Value of %s in init file %s is too long, paths with it would exceed 259 bytes\n"
    vsn = first(install, b"VSN")
    if vsn is None:
        return 1, message("No key VSN in init file %s\n", release_file)
    versioned_bin = root_bytes + b"\\sumbra-" + vsn + b"\\bin"
    if (len(vsn) > PATH_LIMIT or len(versioned_bin) > PATH_LIMIT
            or len(versioned_bin) + 1 + LONGEST_IN_VERSIONED_BIN > PATH_LIMIT):
        return 1, too_long % ("VSN", release_file.decode("latin-1"))
    system_vsn = first(install, b"SYSTEM_VSN")
    if system_vsn is None:
        return 1, message("No key SYSTEM_VSN in init file %s\n", release_file)
    release_dir = root_bytes + b"\\releases\\" + system_vsn
    if (len(release_dir) > PATH_LIMIT
            or len(release_dir) + 1 + LONGEST_IN_RELEASE_DIR > PATH_LIMIT):
        return 1, too_long % ("SYSTEM_VSN", release_file.decode("latin-1"))

    # The sources, in the order the tool looks for them; on this system a
    # backslash in a path is a separator.
    sources = ([versioned_bin + b"\\" + n.encode() for n in EXECUTABLES]
               + [release_dir + b"\\" + n.encode() for n in BOOT_FILES])
    for source in sources:
        if not os.path.exists(source.replace(b"\\", b"/")):
            return 1, message("Could not find file %s\n", source)
    if vsn != tree.vsn.encode() or system_vsn != tree.system_vsn.encode():
        raise Unforeseen("versions %r and %r name other files of the tree" % (vsn, system_vsn))
    return 0, ""
