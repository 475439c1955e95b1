"""The module from the build tree, and vexa-cli beside it to compare with."""

import os
import subprocess

import pytest

INTERFACES = ["usb", "parallel", "ftdi", "spidev"]


@pytest.fixture(autouse=True)
def own_folder(tmp_path, monkeypatch):
    """Each test in a folder of its own: no CommPort.cfg, and room for log files."""
    monkeypatch.chdir(tmp_path)
    return tmp_path


@pytest.fixture
def cli(tmp_path):
    """Runs vexa-cli in the test's folder; returns (status, stdout, stderr)."""
    program = os.environ.get("VEXA_CLI")
    if not program:
        pytest.skip("VEXA_CLI is not set")

    def run(*args, cwd=None):
        done = subprocess.run([program, *args], cwd=cwd or tmp_path, capture_output=True,
                              text=True, timeout=120)
        return done.returncode, done.stdout, done.stderr

    return run


def cli_error(stderr):
    """The last error line of vexa-cli without the program's name."""
    line = stderr.strip().splitlines()[-1]
    assert line.startswith("vexa-cli: ")
    return line[len("vexa-cli: "):]
