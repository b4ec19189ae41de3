"""Options the Python suites share: the tool under test, the emulator that
runs the Windows build here (Wine; one --emulator per word of its command
line), and the project's version."""

import os
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "e2e"))
# Their asserts explain themselves as the tests' own do.
pytest.register_assert_rewrite("expected", "consumers")

from tool import Tool  # noqa: E402


def pytest_addoption(parser):
    parser.addoption("--tool", help="the built Install")
    parser.addoption("--emulator", action="append", default=[],
                     help="a word of the command that runs Windows programs here")
    parser.addoption("--project-version", help="the project's version, 1.2.3")
    parser.addoption("--ini-dump", help="the library's ini_dump, for the real files")


def pytest_collection_modifyitems(config, items):
    windows = bool(config.getoption("emulator"))
    for item in items:
        if windows and item.get_closest_marker("native_only"):
            item.add_marker(pytest.mark.skip(reason="the Linux build only"))
        if not windows and item.get_closest_marker("windows_only"):
            item.add_marker(pytest.mark.skip(reason="the Windows build only"))


@pytest.fixture(scope="session")
def emulator(request):
    return request.config.getoption("emulator")


@pytest.fixture(scope="session")
def tool(request, emulator):
    if not request.config.getoption("tool"):
        raise pytest.UsageError("--tool names the built Install")
    return Tool(request.config.getoption("tool"), emulator)
