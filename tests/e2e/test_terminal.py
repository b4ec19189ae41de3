"""The question at a real terminal, as a person at a console meets it."""

import os
import select
import subprocess
import time

import pytest

import messages as say
from tree import installation_problems


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
