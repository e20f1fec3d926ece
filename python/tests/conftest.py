"""Shared fixtures: the batch command the module is compared with, and a runner for it.

CTest sets PYTHONPATH to the build's python/ folder and MARLINQ_BATCH to the batch
command; run by hand from the repository:
    PYTHONPATH=build/python MARLINQ_BATCH=build/apps/marlinq-batch /usr/bin/python3 -m pytest python/tests
"""

import os
import subprocess
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]


@pytest.fixture(scope="session")
def batch():
    path = os.environ.get("MARLINQ_BATCH") or str(REPO / "build" / "apps" / "marlinq-batch")
    if not os.access(path, os.X_OK):
        pytest.skip("marlinq-batch not built (set MARLINQ_BATCH)")

    def run(*args, cwd=None):
        done = subprocess.run([path, "--quiet", *map(str, args)], capture_output=True, cwd=cwd, timeout=300)
        return done.returncode, done.stdout.decode(), done.stderr.decode()

    return run


@pytest.fixture
def param_file(tmp_path):
    """Writes a parameter file from (key, value) pairs and returns its path."""

    def write(pairs, name="set.in"):
        path = tmp_path / name
        path.write_text("".join("%s %s\n" % kv for kv in pairs))
        return path

    return write
