"""The question at a real terminal, as a person at a console meets it."""

import os
import select
import subprocess
import time

import pytest

import messages as say
from tree import installation_problems, read


def read_until(master, wanted, seconds):
    seen = b""
    deadline = time.monotonic() + seconds
    while wanted not in seen and time.monotonic() < deadline:
        ready, _, _ = select.select([master], [], [], 0.1)
        if ready:
            try:
                chunk = os.read(master, 4096)
            except OSError:
                break
            if not chunk:
                break
            seen += chunk
    return seen


@pytest.mark.native_only
def test_terminal_prompt_before_typing(ctx):
    """The prompt shows at a terminal before anything is typed (a
    terminal under Wine is unreliable)."""
    tree = ctx.tree()
    master, slave = os.openpty()
    process = subprocess.Popen(ctx.tool.command([ctx.root(tree)]), stdin=slave, stdout=slave,
                               stderr=slave, close_fds=True)
    os.close(slave)
    try:
        assert read_until(master, say.QUESTION.encode(), 20) == say.QUESTION.encode()
        os.write(master, b"y\n")
        success = (say.SUCCESS % tree.vsn).encode()
        assert success.rstrip() in read_until(master, success.rstrip(), 20)
        assert process.wait(timeout=20) == 0
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
        os.close(master)
    assert not installation_problems(tree, ctx.root(tree), velmar=False)


@pytest.mark.windows_only
def test_terminal_with_output_into_a_log(ctx):
    """Input and errors at a terminal, output into a file ("Install >
    log.txt", from a console Wine gives the run alone, as a double-click
    would): the run does not wait for Enter, and asks for none."""
    tree = ctx.tree()
    master, slave = os.openpty()
    log = os.path.join(ctx.scratch, "log.txt")
    with open(log, "wb") as out:
        process = subprocess.Popen(ctx.tool.command([ctx.root(tree)]), stdin=slave, stdout=out,
                                   stderr=slave, close_fds=True)
    os.close(slave)
    try:
        # Typed again until the run ends: Wine drops what was typed before
        # it reads its console, and tells no one when it starts.
        deadline = time.monotonic() + 30
        while process.poll() is None and time.monotonic() < deadline:
            os.write(master, b"y\r")
            read_until(master, b"\n", 0.5)
        assert process.wait(timeout=5) == 0
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
        os.close(master)
    assert ctx.tool.text(read(log)) == say.QUESTION + say.SUCCESS % tree.vsn
