"""The question at a real terminal, as a person at a console meets it."""

import os
import select
import subprocess
import time

from framework import case
from tree import QUESTION, installation_problems


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


@case("terminal_prompt_before_typing", "the prompt shows at a terminal before anything is typed",
      native_only=True)
def _(ctx):
    tree = ctx.tree()
    master, slave = os.openpty()
    process = subprocess.Popen(ctx.tool.command([ctx.root(tree)]), stdin=slave, stdout=slave,
                               stderr=slave, close_fds=True)
    os.close(slave)
    problems = []
    try:
        shown = read_until(master, QUESTION.encode(), 20)
        if shown != QUESTION.encode():
            problems.append("before typing the terminal showed %r" % shown)
        os.write(master, b"y\n")
        rest = read_until(master, b"successfully", 20)
        if b"Quorvel 5.10.3 installed successfully" not in rest:
            problems.append("after typing the terminal showed %r" % rest)
        status = process.wait(timeout=20)
        if status != 0:
            problems.append("exit status %d" % status)
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
        os.close(master)
    return problems + installation_problems(tree, ctx.root(tree), velmar=False)
