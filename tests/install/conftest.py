"""The install suite's options: the build's libraries and the programs and
settings that built them, with which the checks build their consumers.
Every option is an attribute of the options fixture."""

import pytest


def pytest_addoption(parser):
    add = parser.addoption
    add("--library", help="the library as built")
    add("--leaking-library", help="a copy of it with two names that must be caught")
    add("--nm", help="nm for the build's objects")
    add("--build", help="the build tree, installed by the static case")
    add("--cmake")
    add("--generator")
    add("--cc")
    add("--cxx")
    add("--libdir", help="CMAKE_INSTALL_LIBDIR")
    # The flags the build compiles and links its own programs with (a
    # coverage build's library needs them in its consumers too). For the
    # static library only: the shared one is built without them.
    add("--c-flags", default="")
    add("--cxx-flags", default="")
    add("--link-flags", default="")
    add("--toolchain", help="cross-compile for Windows with this toolchain file")
    add("--objdump", default="x86_64-w64-mingw32-objdump")


@pytest.fixture(scope="session")
def options(request):
    return request.config.option
