"""Real configuration files (real_files/SOURCES.md says where each came
from) as the library loads them, through ini_dump: with the common preset,
every key that occurs once in a section that occurs once holds the value
Python's configparser reads, and a save of the unchanged document writes
the file's bytes; with no options, the document is the one an independent
reading of the installer's format gives, or its reason for refusing the
file."""
import configparser
import glob
import json
import os
import subprocess
import sys

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "anomaly"))
import configparser_oracle  # noqa: E402
import reference_reader  # noqa: E402

FILES = sorted(set(glob.glob(os.path.join(HERE, "real_files", "*"))) -
               {os.path.join(HERE, "real_files", "SOURCES.md")})


def dump(request, *arguments):
    """The document, as (name, [(key, value)]) in bytes, or the reason."""
    result = subprocess.run([request.config.getoption("ini_dump"), *arguments],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if result.returncode != 0:
        return None, result.stderr.decode("latin-1").split(": ", 1)[1].rstrip("\n")
    return [(name.encode("latin-1"), [(k.encode("latin-1"), v.encode("latin-1")) for k, v in keys])
            for name, keys in json.loads(result.stdout)["sections"]], None


@pytest.mark.parametrize("path", FILES, ids=os.path.basename)
def test_common_preset_reads_as_configparser(request, path):
    document, reason = dump(request, "--common", path)
    try:
        wanted = configparser_oracle.once_values(path)
    except (configparser.Error, AttributeError):
        # configparser refuses it (entries before any header, UTF-16 read
        # as text), or stops (3.11 on a key without a value followed by an
        # indented line): the preset reads all but the text it cannot.
        assert document is not None or "UTF-16" in reason, reason
        return
    assert document is not None, reason

    def encoded(text):
        return (text or "").encode("utf-8", configparser_oracle.ERRORS)

    for section, keys in wanted.items():
        entries = next(entries for name, entries in document if name == encoded(section))
        first = {}
        for key, value in entries:
            first.setdefault(key, value)
        for key, value in keys.items():
            assert first.get(encoded(key)) == encoded(value), (section, key)


@pytest.mark.parametrize("path", FILES, ids=os.path.basename)
def test_common_preset_saves_an_unchanged_file_whole(request, path):
    result = subprocess.run([request.config.getoption("ini_dump"), "--common", "--saved", path],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    with open(path, "rb") as f:
        assert result.stdout == f.read() or b"UTF-16" in result.stderr


@pytest.mark.parametrize("path", FILES, ids=os.path.basename)
def test_no_options_read_the_installer_format(request, path):
    with open(path, "rb") as f:
        sections, reason = reference_reader.load(f.read())
    assert dump(request, path) == (sections, reason)
