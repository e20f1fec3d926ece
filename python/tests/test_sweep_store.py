"""The sweep store from Python: marlinq.sweep(output=..., resume=True) writes the bytes of
marlinq-batch --sweep -o, also when killed and resumed, and marlinq.merge joins and refuses
parts as --merge does."""

import os
import signal
import subprocess
import sys
import time

import numpy as np
import pytest

import marlinq

# Poisson-Boltzmann points take a few milliseconds each: 120 of them run long enough to be
# killed after the first row and before the last.
KA = [float(v) for v in np.geomspace(0.2, 10, 120)]
KA_TEXT = "ka=" + ",".join(repr(v) for v in KA)


def batch_bytes(batch, path, *args):
    code, _, err = batch(*args, "-o", path)
    assert code == 0, err
    with open(path, "rb") as f:
        return f.read()


def whole_lines(path):
    try:
        with open(path, "rb") as f:
            return f.read().count(b"\n")
    except FileNotFoundError:
        return 0


def test_a_killed_python_sweep_resumes_to_the_bytes_of_an_uninterrupted_batch_sweep(batch, tmp_path):
    out = str(tmp_path / "s.csv")
    partial = out + ".partial"
    child = subprocess.Popen(
        [sys.executable, "-c",
         "import sys, marlinq\n"
         "marlinq.sweep(marlinq.Parameters(), {'ka': %r}, method='pb', output=sys.argv[1], resume=True)\n" % KA,
         out],
        env=dict(os.environ), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        # The plan line, the header and one row: the sweep is under way with a row on disk.
        deadline = time.monotonic() + 120
        while whole_lines(partial) < 3:
            assert child.poll() is None, "the sweep ended before it was killed: " + child.stderr.read().decode()
            assert time.monotonic() < deadline, "no row was written"
            time.sleep(0.002)
        child.send_signal(signal.SIGKILL)
    finally:
        child.kill()
        child.wait()
    assert not os.path.exists(out), "killed mid-run: the sweep is not complete"
    with open(partial, "rb") as f:
        left = f.read()

    # A file of another plan is refused with the batch command's message, and kept.
    with pytest.raises(ValueError, match="line 1: the rows belong to another sweep"):
        marlinq.sweep(marlinq.Parameters(), {"ka": KA[:-1]}, method="pb", output=out, resume=True)
    with open(partial, "rb") as f:
        assert f.read() == left

    # Resumed: only the missing points are computed, and the file is the batch sweep's.
    totals = []
    table = marlinq.sweep(marlinq.Parameters(), {"ka": KA}, method="pb", output=out, resume=True, workers=2,
                          progress=lambda done, total: totals.append(total))
    assert totals and totals[-1] < len(KA)
    assert not os.path.exists(partial)
    with open(out, "rb") as f:
        resumed = f.read()
    assert resumed == batch_bytes(batch, str(tmp_path / "batch.csv"), "--method", "pb", "--sweep", KA_TEXT)
    assert list(table["index"]) == list(range(len(KA)))
    assert list(table["ka"]) == KA


def test_merge_joins_parts_to_the_batch_bytes_and_refuses_what_merge_refuses(batch, tmp_path):
    sweep = ("--sweep", "ka=0.1,0.2,0.5,1,2")
    part = [str(tmp_path / ("part-%d.csv" % k)) for k in range(2)]
    for k in range(2):
        batch_bytes(batch, part[k], *sweep, "--shard", "%d/2" % k)
    other = str(tmp_path / "other.csv")
    batch_bytes(batch, other, "--sweep", "ka=0.1,0.2,0.5,1,3", "--shard", "1/2")
    cut = str(tmp_path / "cut.csv")
    with open(part[1], "rb") as f, open(cut, "wb") as g:
        g.write(f.read()[:-5])
    whole = batch_bytes(batch, str(tmp_path / "whole.csv"), *sweep)

    out = tmp_path / "merged.csv"
    for parts in ([part[0], other], [part[0]], [part[0], cut], [part[0], part[0], part[1]], [part[0], str(tmp_path)]):
        code, _, err = batch("--merge", *parts, "-o", str(tmp_path / "batch-merged.csv"))
        assert code == 2
        with pytest.raises(ValueError) as refused:
            marlinq.merge(parts, out)
        assert str(refused.value) == err.rstrip("\n")
        assert not out.exists()

    notes = marlinq.merge(part, out)
    assert out.read_bytes() == whole
    # The point without a result is named, as on the batch command's standard error.
    assert notes[0] == "1 of 5 points have no result (their status):"
    # A Python sweep of the whole plan writes the same bytes.
    marlinq.sweep(marlinq.Parameters(), {"ka": [0.1, 0.2, 0.5, 1, 2]}, output=tmp_path / "py.csv")
    assert (tmp_path / "py.csv").read_bytes() == whole
