"""The anomaly suite's options: the tool built with fault injection, the
program that names the kinds of call it can make fail, the library
fuzzer's corpus, and whether both tools carry the sanitizers."""

import subprocess

import pytest

from tool import Tool


def pytest_addoption(parser):
    parser.addoption("--fault-tool", help="Install built with fault injection (QUORVEL_FAULT)")
    parser.addoption("--fault-kinds", help="the program whose --list names the kinds of call")
    parser.addoption("--corpus", help="the library fuzzer's seed corpus")
    parser.addoption("--sanitized", action="store_true",
                     help="both tools carry the address sanitizer")


@pytest.fixture(scope="session")
def fault_tool(request):
    if not request.config.getoption("fault_tool"):
        raise pytest.UsageError("--fault-tool names the tool built with fault injection")
    return Tool(request.config.getoption("fault_tool"))


def listed_kinds(config):
    program = config.getoption("fault_kinds")
    if not program:
        raise pytest.UsageError("--fault-kinds names the program that lists the kinds")
    return subprocess.run([program, "--list"], stdout=subprocess.PIPE, check=True,
                          text=True).stdout.split()


def pytest_generate_tests(metafunc):
    if "kind" in metafunc.fixturenames:
        metafunc.parametrize("kind", listed_kinds(metafunc.config))


@pytest.fixture(scope="session")
def kinds(request):
    return listed_kinds(request.config)
