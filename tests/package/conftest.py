"""The package suite's options: cpack and the configuration that makes the
tool's package."""

import pytest


def pytest_addoption(parser):
    parser.addoption("--cpack")
    parser.addoption("--cpack-config", help="the build's CPackConfig.cmake")
    parser.addoption("--package-name", help="the package's name without extension")


@pytest.fixture(scope="session")
def options(request):
    return request.config.option
