"""Reads the resources of a Windows executable: the application manifest
and the version resource, as Windows itself finds them (the resource
directory of the .rsrc data, type, then name, then language)."""

import struct

RT_VERSION = 16
RT_MANIFEST = 24


class PeError(Exception):
    pass


def _resources(image):
    """Maps (type, id) to the bytes of each resource with a numeric id."""
    if image[:2] != b"MZ":
        raise PeError("not an executable")
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise PeError("no PE header")
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    # PE32+ (64-bit) keeps its data directories at 112, PE32 at 96; the
    # resource table is the third.
    directories = optional + (112 if struct.unpack_from("<H", image, optional)[0] == 0x20B else 96)
    root_rva, root_size = struct.unpack_from("<II", image, directories + 2 * 8)
    if root_size == 0:
        return {}
    table = []
    for n in range(sections):
        size, rva, raw_size, raw = struct.unpack_from("<IIII", image, optional + optional_size
                                                      + n * 40 + 8)
        table.append((rva, max(size, raw_size), raw))

    def offset(rva):
        for start, size, raw in table:
            if start <= rva < start + size:
                return raw + rva - start
        raise PeError("address 0x%x lies in no section" % rva)

    root = offset(root_rva)

    def entries(directory):
        named, numbered = struct.unpack_from("<HH", image, root + directory + 12)
        for n in range(named + numbered):
            name, target = struct.unpack_from("<II", image, root + directory + 16 + n * 8)
            yield name, target

    found = {}
    for kind, names in entries(0):
        for name, languages in entries(names & 0x7FFFFFFF):
            for _, leaf in entries(languages & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", image, root + leaf)
                if not (kind | name) & 0x80000000:
                    found[(kind, name)] = image[offset(rva):offset(rva) + size]
    return found


def _version_block(data, at=0):
    """One node of a version resource: (key, value bytes, text?, children)."""
    length, value_length, is_text = struct.unpack_from("<HHH", data, at)
    end = at + length
    if length < 6 or end > len(data):
        raise PeError("the version resource is damaged")
    key_end = at + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
        if key_end >= end:
            raise PeError("the version resource is damaged")
    key = data[at + 6:key_end].decode("utf-16-le")
    value = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if is_text else value_length
    children = []
    child = (value + value_size + 3) & ~3
    while child < end:
        node = _version_block(data, child)
        children.append(node)
        child = (child + struct.unpack_from("<H", data, child)[0] + 3) & ~3
    return key, data[value:value + value_size], is_text, children


def read_resources(path):
    """The manifest's text (or None) and the version resource as a dict:
    'file_version' and 'product_version' (tuples of four numbers from the
    fixed part) and 'strings' (every string of its string tables)."""
    with open(path, "rb") as f:
        found = _resources(f.read())
    manifest = found.get((RT_MANIFEST, 1))
    version = None
    if (RT_VERSION, 1) in found:
        key, fixed, _, children = _version_block(found[(RT_VERSION, 1)])
        signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
        if key != "VS_VERSION_INFO" or signature != 0xFEEF04BD:
            raise PeError("the version resource is damaged")
        strings = {}
        for child in children:
            if child[0] == "StringFileInfo":
                for table in child[3]:
                    for name, value, _, _ in table[3]:
                        strings[name] = value.decode("utf-16-le").rstrip("\0")
        version = {"file_version": (file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF),
                   "product_version": (product_ms >> 16, product_ms & 0xFFFF,
                                       product_ls >> 16, product_ls & 0xFFFF),
                   "strings": strings}
    return manifest, version
