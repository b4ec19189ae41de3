"""Runs the built installer, natively or under Wine, and describes paths
the way the tool sees them."""

import os
import subprocess
from dataclasses import dataclass


@dataclass
class Outcome:
    status: int
    stdout: str
    stderr: str


class Tool:
    def __init__(self, executable, emulator=None, user=()):
        """user: the command that runs the tool as another user, if any."""
        self.executable = os.path.abspath(executable)
        self.emulator = list(emulator or [])
        self.windows = bool(self.emulator)
        self.user = list(user)

    def as_user(self, user):
        return Tool(self.executable, self.emulator, user)

    def path(self, host_path):
        """A host path as an argument the tool understands: Windows programs
        under Wine get a Z: path, which a Windows machine would read the same
        way (a bare /tmp/x would mean C:\\tmp\\x there)."""
        if self.windows:
            return "Z:" + os.path.abspath(host_path).replace("/", "\\")
        return host_path

    def own_directory(self, host_directory):
        """The root directory the tool derives from its own location: its
        path with every separator a backslash."""
        text = os.path.abspath(host_directory).replace("/", "\\")
        return "Z:" + text if self.windows else text

    def command(self, arguments, executable=None):
        return self.user + self.emulator + [executable or self.executable] + list(arguments)

    def run(self, arguments, stdin=b"", executable=None, cwd=None, stdin_file=None,
            close_stdin=False, timeout=60, environment=None, one_log=False):
        """environment: variables added to the inherited environment;
        one_log: standard error into standard output, as "> log 2>&1" does."""
        command = self.command(arguments, executable)
        env = dict(os.environ, **environment) if environment else None
        options = dict(stdout=subprocess.PIPE, stderr=subprocess.STDOUT if one_log else
                       subprocess.PIPE, cwd=cwd, timeout=timeout, env=env)
        if close_stdin:
            result = subprocess.run(command, stdin=subprocess.DEVNULL,
                                    preexec_fn=lambda: os.close(0), **options)
        elif stdin_file is not None:
            result = subprocess.run(command, stdin=stdin_file, **options)
        else:
            result = subprocess.run(command, input=stdin, **options)
        return Outcome(result.returncode, self.text(result.stdout), self.text(result.stderr or b""))

    def text(self, data):
        text = data.decode("latin-1")
        # A Windows console program ends its lines in CR LF; nothing else
        # is normalised.
        return text.replace("\r\n", "\n") if self.windows else text
