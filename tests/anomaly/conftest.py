"""The anomaly suite's options: the tool built with fault injection, the
library fuzzer's corpus, and whether both tools carry the sanitizers."""

import pytest

from tool import Tool


def pytest_addoption(parser):
    parser.addoption("--fault-tool", help="Install built with fault injection (QUORVEL_FAULT)")
    parser.addoption("--corpus", help="the library fuzzer's seed corpus")
    parser.addoption("--sanitized", action="store_true",
                     help="both tools carry the address sanitizer")


@pytest.fixture(scope="session")
def fault_tool(request):
    if not request.config.getoption("fault_tool"):
        raise pytest.UsageError("--fault-tool names the tool built with fault injection")
    return Tool(request.config.getoption("fault_tool"))
