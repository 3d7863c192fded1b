import fcntl
import os
import pty
import signal
import struct
import subprocess
import termios
import sys
from pathlib import Path

import pytest

from tests.support.cli_run import ravir


@pytest.mark.parametrize("command", ["info", "render", "palette", "pack", "gallery", "diff"])
def test_every_command_explains_itself_with_examples(command):
    text = ravir(command, "--help").stdout
    assert f"usage: ravir {command}" in text
    assert f"\nexamples:\n  ravir {command} " in text


def test_the_console_command_is_installed():
    script = Path(sys.executable).parent / "ravir"
    result = subprocess.run([script, "--version"], capture_output=True, text=True, check=True)
    assert result.stdout.strip() == "ravir 0.8.0"


def test_ravir_alone_shows_the_commands_and_examples():
    text = ravir().stdout
    assert text.startswith("usage: ravir") and "\nexamples:\n  ravir info " in text
    assert ravir("--frobnicate", ok=False).returncode == 2


@pytest.mark.parametrize("terminal", [True, False])
def test_the_progress_bar_is_drawn_only_on_a_terminal(project, sprite, terminal):
    main, other = pty.openpty() if terminal else os.pipe()
    if terminal:
        fcntl.ioctl(other, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))
    subprocess.run([sys.executable, "-m", "ravir_tools", "info", sprite, sprite], stdout=subprocess.DEVNULL,
                   stderr=other, check=True, timeout=60)
    os.close(other)
    written = b""
    try:
        while chunk := os.read(main, 4096):
            written += chunk
    except OSError:  # a terminal whose other end is closed ends with EIO
        pass
    os.close(main)
    assert (b"/2 [" in written) is terminal


def test_output_to_a_reader_that_stopped_ends_without_a_traceback(project, sprite):
    read, write = os.pipe()
    os.close(read)  # as `ravir info ... | head` once head has what it wants
    result = subprocess.run([sys.executable, "-m", "ravir_tools", "info", sprite], stdout=write,
                            stderr=subprocess.PIPE, text=True, timeout=60)
    os.close(write)
    assert "Traceback" not in result.stderr
    assert result.returncode == 128 + signal.SIGPIPE
