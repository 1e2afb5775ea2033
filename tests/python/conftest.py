"""What the tessal module's tests share: a private HOME, tessal-cli, and
signals made by sox (an independent program) with known contents."""
import os
import re
import shutil
import subprocess
import tempfile

import pytest

# The tests never touch the user's own settings or files.
_home = tempfile.mkdtemp(prefix="tessal-pytest-home-")
os.environ["HOME"] = _home
os.environ["XDG_RUNTIME_DIR"] = os.path.join(_home, "run")
os.environ["XDG_CONFIG_HOME"] = os.path.join(_home, "config")
os.environ["XDG_DATA_HOME"] = os.path.join(_home, "data")
for d in ("run", "config", "data"):
    os.makedirs(os.path.join(_home, d), exist_ok=True)

import tessal  # noqa: E402


def pytest_sessionfinish(session, exitstatus):
    shutil.rmtree(_home, ignore_errors=True)


@pytest.fixture(scope="session")
def cli():
    path = os.environ.get("TESSAL_CLI") or shutil.which("tessal-cli")
    if not path:
        pytest.skip("tessal-cli not found (set TESSAL_CLI)")
    return path


def run_cli(cli, *args, check=True):
    """tessal-cli's stdout; its stderr goes into the assertion text."""
    r = subprocess.run([cli, *map(str, args)], capture_output=True, text=True)
    if check:
        assert r.returncode == 0, r.stderr
    return r


def cli_table(text):
    """Tab-separated lines (a heading first) as a list of lists of fields."""
    return [line.split("\t") for line in text.splitlines()]


def without_creation_dates(data):
    """A saved file's bytes with the times it records set to zero: a native
    file's creation time of each channel (the 10-byte float after the key
    CreatedDate, its type and its size) and a headed file's "date=" line
    (to the second). Two runs of one process differ only there, by the time
    they ran (which may straddle a second)."""
    key = b"CreatedDate\x0c\x00\x00\x00\x0a\x00\x00\x00"
    out = bytearray(data)
    at = out.find(key)
    while at >= 0:
        start = at + len(key)
        out[start:start + 10] = bytes(10)
        at = out.find(key, start)
    return re.sub(rb"date=\d{4}-\d\d-\d\d \d\d:\d\d:\d\d", b"date=0000-00-00 00:00:00", bytes(out), count=1)


def sox(*args):
    if not shutil.which("sox"):
        pytest.skip("sox is not installed")
    subprocess.run(["sox", *map(str, args)], check=True, capture_output=True)


@pytest.fixture(scope="session")
def signals(tmp_path_factory):
    """sox-made files: a 16-bit stereo sine pair, a vowel-like pulse train and
    a 10-file corpus of tones."""
    d = tmp_path_factory.mktemp("signals")
    sox("-n", "-r", 16000, "-c", 2, "-b", 16, d / "sine.wav", "synth", 0.5, "sine", 440, "sine", 1000,
        "gain", -3)
    # A 120 Hz sawtooth through a low-pass: voiced, with harmonics.
    sox("-n", "-r", 16000, "-c", 1, "-b", 16, d / "voice.wav", "synth", 1.0, "sawtooth", 120,
        "gain", -6, "lowpass", 1500)
    return d
