"""What Python's configparser reads from a file, as the library's common
dialect is to read it: RawConfigParser(strict=False, allow_no_value=True,
interpolation=None) with optionxform = str.

Encoding: the library reads bytes, so the file is decoded as UTF-8 with
errors="surrogateescape": any bytes decode, those that are not UTF-8 become
lone surrogates (never blanks or delimiters), and
value.encode("utf-8", "surrogateescape") gives back the bytes the library
holds. A UTF-8 byte-order mark at the start is skipped ("utf-8-sig"), as the
library skips it (configparser alone keeps it in the first line). Lines end
at a line feed, CR LF or a lone CR (Python's universal newlines).

Where the library decides otherwise, nothing is compared: a section or key
that occurs more than once (configparser merges, the last value wins; the
library keeps each and finds the first), and [DEFAULT], whose keys
configparser shows in every section: here DEFAULT is a section of its own
and a section holds only the keys that stand in it.
"""
import collections
import configparser

ENCODING, ERRORS = "utf-8-sig", "surrogateescape"


class _Counting(dict):
    """A dict that counts, while a file is read, how often each name is asked
    for (the reader asks "name in sections" once per header) and set (once
    per line that sets a key of a section)."""

    def __init__(self):
        super().__init__()
        self.asked, self.set, self.counting = collections.Counter(), collections.Counter(), True

    def __contains__(self, key):
        self.asked[key] += self.counting
        return super().__contains__(key)

    def __setitem__(self, key, value):
        self.set[key] += self.counting
        super().__setitem__(key, value)


class _Parser(configparser.RawConfigParser):
    def __init__(self):
        super().__init__(strict=False, allow_no_value=True, interpolation=None,
                         dict_type=_Counting)
        self.optionxform = str

    def _join_multiline_values(self):  # the last step of a read: stop counting
        for keys in [self._sections, self._defaults, *self._sections.values()]:
            keys.counting = False
        super()._join_multiline_values()


def once_values(path):
    """{section: {key: value}} for each section named by one header and each
    key set by one line in it; a value is configparser's text, None for a key
    without a delimiter (the library holds an empty value). Raises what
    configparser raises on a file it cannot read."""
    parser = _Parser()
    with open(path, encoding=ENCODING, errors=ERRORS) as file:
        parser.read_file(file)
    sections = {parser.default_section: parser._defaults, **parser._sections}
    return {name: {key: value for key, value in keys.items() if keys.set[key] == 1}
            for name, keys in sections.items() if parser._sections.asked[name] == 1}
