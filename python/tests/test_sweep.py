"""Sweeps: the rows of marlinq-batch --sweep, the same numbers as single runs, invalid points
reported, threads, progress, Ctrl-C."""

import csv
import io
import os
import signal
import threading

import numpy as np
import pytest

import marlinq

# The observable columns of a sweep without a unit, as the registry names them.
BATCH_COLUMNS = tuple(c for o in marlinq.observables() if not o["needs_unit_nm"] and not o["needs_molar_mass"] for c in o["sweep_columns"])
DOUBTS = ("warnings", "unconverged_solves", "nonfinite_cells", "beyond_dh_cells", "range_edge")

SALT = [0.1, 0.2, 0.5, 1.0, 2.0]


@pytest.fixture(scope="module")
def salt_sweep():
    return marlinq.sweep(marlinq.Parameters(), {"ka": SALT}, method="pb", keep_results=True)


def test_rows_columns_and_invalid_points(salt_sweep):
    t = salt_sweep
    assert t.dtype.names == ("index", "ka") + BATCH_COLUMNS + ("status",) + DOUBTS
    assert list(t["index"]) == list(range(5)) and list(t["ka"]) == SALT
    assert t[0]["status"] == "Stable solution is only for ka between 0.2 and 10"
    assert t[0]["most_probable_mp"] == -1 and np.isnan(t[0]["mean_mp"]) and t.results[0] is None
    assert list(t["status"][1:]) == ["ok"] * 4
    assert t.axes == ("ka",)


def test_each_point_is_the_single_run(salt_sweep):
    for row, result in zip(salt_sweep[1:], salt_sweep.results[1:]):
        alone = marlinq.run(marlinq.Parameters(ka=row["ka"]), method="pb")
        assert np.array_equal(result.abs_value, alone.abs_value)
        assert (row["most_probable_mp"], row["most_probable_mm"]) == alone.most_probable
        assert row["most_probable_share"] == alone.most_probable_share


def test_observables_against_the_batch_export(batch, tmp_path, salt_sweep):
    # From the batch command's text only: the most probable complex and its share, the mean
    # aggregation numbers over complexes (M+ >= 1 and M- >= 1) and the bound fraction of
    # '+' chains, sum M+ c / (sum M+ c + c+).
    for row in salt_sweep[1:]:
        path = tmp_path / "ka.in"
        marlinq.Parameters(ka=row["ka"]).save(str(path))
        code, out, err = batch("--method", "pb", path)
        assert code == 0, err
        c = np.array([[float(x) for x in line.split("\t")[:-1]] for line in out.splitlines()])
        mp, mm = np.unravel_index(np.argmax(c), c.shape)
        assert (row["most_probable_mp"], row["most_probable_mm"]) == (mp, mm)
        assert row["most_probable_share"] == pytest.approx(c[mp, mm] / c.sum(), rel=1e-13)
        M_plus, M_minus = np.indices(c.shape)
        w = np.where((M_plus >= 1) & (M_minus >= 1), c, 0.0)
        assert row["mean_mp"] == pytest.approx((M_plus * w).sum() / w.sum(), rel=1e-13)
        assert row["mean_mm"] == pytest.approx((M_minus * w).sum() / w.sum(), rel=1e-13)
        bound = (M_plus * w).sum()
        assert row["bound_fraction_plus"] == pytest.approx(bound / (bound + c[1, 0]), rel=1e-13)


def test_salt_releases_chains_from_complexes(salt_sweep):
    ok = salt_sweep[1:]
    # The start-up set is symmetric: both kinds are bound alike.
    assert np.allclose(ok["bound_fraction_plus"], ok["bound_fraction_minus"], rtol=1e-3)
    assert ok["bound_fraction_plus"][0] > 0.99
    assert np.all(np.diff(ok["bound_fraction_plus"]) < 0)


def test_grids_threads_and_frames():
    p = marlinq.Parameters(mp_max=6, mm_max=6)
    t = marlinq.sweep(p, {"ka": [0.3, 0.6], "mm_max": [5, 6, 7]})
    assert list(zip(t["ka"], t["mm_max"])) == [(0.3, 5), (0.3, 6), (0.3, 7), (0.6, 5), (0.6, 6), (0.6, 7)]
    assert t["mm_max"].dtype == np.int64
    parallel = marlinq.sweep(p, {"ka": [0.3, 0.6], "mm_max": [5, 6, 7]}, workers=2)
    for name in t.dtype.names:
        np.testing.assert_array_equal(parallel[name], t[name])  # NaN equals NaN here
    calls = []
    marlinq.sweep(p, {"ka": np.geomspace(0.2, 1, 3)}, progress=lambda k, n: calls.append((k, n)))
    assert calls == [(1, 3), (2, 3), (3, 3)]
    converged = marlinq.sweep(p, {"ka": [0.3, 0.6]}, accuracy="converged")
    assert np.all(converged["error_estimate"] > 0) and "error_estimate" not in t.dtype.names
    assert converged.dtype.names[-8:] == ("status",) + DOUBTS + ("error_estimate", "standard_difference")
    assert np.all(converged["standard_difference"] > 0)
    pandas = pytest.importorskip("pandas")
    frame = t.to_frame()
    assert isinstance(frame, pandas.DataFrame) and list(frame["ka"]) == list(t["ka"])


def test_sweep_errors(tmp_path):
    p = marlinq.Parameters()
    with pytest.raises(ValueError, match="not a parameter"):
        marlinq.sweep(p, {"kb": [1]})
    with pytest.raises(ValueError, match="whole numbers only"):
        marlinq.sweep(p, {"mm_max": [5.5]})
    with pytest.raises(ValueError, match="same parameter"):
        marlinq.sweep(p, {"mmMax": [5], "mm_max": [6]})
    with pytest.raises(ValueError, match="salt_mM needs"):
        marlinq.sweep(p, {"salt_mM": [10]})
    with pytest.raises(ValueError, match="no values"):
        marlinq.sweep(p, {"ka": []})
    with pytest.raises(ValueError, match="at least one parameter"):
        marlinq.sweep(p, {})
    with pytest.raises(ValueError, match="accuracy must be"):
        marlinq.sweep(p, {"ka": [0.5]}, accuracy="exact")
    with pytest.raises(FileNotFoundError):
        marlinq.sweep(p, {"ka": [0.5]}, data_dir=tmp_path)
    # Segment sizes from 0.01 to 100 nm, as --unit-nm takes them.
    for unit in (1e300, 1e-300, 0.00999, 100.001):
        with pytest.raises(ValueError, match="from 0.01 to 100"):
            marlinq.sweep(p, {"salt_mM": [10]}, unit_nm=unit)
    t = marlinq.sweep(p, {"salt_mM": [7.26]}, unit_nm=0.714)
    assert "between 7.26064 and 18151.58858 mM" in t["status"][0]


def batch_sweep(batch, *args):
    code, out, err = batch(*args)
    assert code == 0, err
    # The first line names the program and the plan.
    assert out.startswith("# marlinq ")
    return list(csv.reader(io.StringIO(out)))[1:]


def assert_rows_equal_batch(table, lines, renamed=()):
    """Every field of the batch CSV, read back, equals the table's value (17 digits: exactly)."""
    header, rows = lines[0], lines[1:]
    for k, name in renamed:
        assert header[k] == name.replace("_of_ka", "")
        header[k] = name
    assert table.dtype.names == tuple(header)
    assert len(table) == len(rows)
    for row, fields in zip(table, rows):
        for name, text in zip(header, fields):
            if name in ("status", "warnings"):
                assert row[name] == text
            elif name in ("index", "most_probable_mp", "most_probable_mm") or table.dtype[name].kind == "i":
                assert row[name] == (int(text) if text else -1), name
            elif text == "":
                assert np.isnan(row[name]), name
            else:
                assert row[name] == float(text), name


@pytest.mark.parametrize("method", ["dh", "pb"])
def test_rows_equal_the_batch_sweep(batch, method):
    lines = batch_sweep(batch, "--method", method, "--sweep", "ka=0.2,0.5,1")
    assert_rows_equal_batch(marlinq.sweep(marlinq.Parameters(), {"ka": [0.2, 0.5, 1]}, method=method), lines)
    assert [r[lines[0].index("status")] for r in lines[1:]] == ["ok"] * 3


def test_refused_points_equal_the_batch_sweep(batch):
    lines = batch_sweep(batch, "--sweep", "ka=0.1,0.2,12")
    t = marlinq.sweep(marlinq.Parameters(), {"ka": [0.1, 0.2, 12]})
    assert_rows_equal_batch(t, lines)
    assert list(t["status"]) == ["Stable solution is only for ka between 0.2 and 10", "ok",
                                 "Stable solution is only for ka between 0.2 and 10"]


def test_grid_of_a_loaded_set_equals_the_batch_sweep(batch, param_file):
    path = param_file([("zp", "24"), ("zn", "12"), ("kiplus", "0.4"), ("kiminus", "0.2"), ("mpMax", "8"),
                       ("mmMax", "12")])
    lines = batch_sweep(batch, "--method", "pb", "--sweep", "zp=20,24", "--sweep", "mmMax=10,12", path)
    t = marlinq.sweep(marlinq.Parameters.load(str(path)), {"zp": [20, 24], "mmMax": [10, 12]}, method="pb")
    assert_rows_equal_batch(t, lines)
    # zp keeps the density kiplus = 0.4 and recovers the length, as loading a file does:
    # the (20, 10) point is the set with zp 20 on 50 segments.
    alone = marlinq.run(marlinq.Parameters.load(str(path)).replace(zp=20, plen=50, mm_max=10), method="pb")
    assert t[0]["mean_mp"] == alone.mean_mp and t[0]["status"] == "ok"


def test_salt_in_millimolar_equals_the_batch_sweep(batch):
    lines = batch_sweep(batch, "--unit-nm", "0.714", "--sweep", "salt_mM=10,100")
    t = marlinq.sweep(None, {"salt_mM": [10, 100]}, unit_nm=0.714)
    # The batch CSV names the salt of the applied ka salt_mM as well.
    # The batch CSV names the salt of the applied ka apart from the swept salt_mM.
    assert lines[0][2 + len(BATCH_COLUMNS)] == "salt_mM_of_ka"
    assert_rows_equal_batch(t, lines)
    names = t.dtype.names
    at = names.index("salt_mM_of_ka")
    assert names[at:at + 4] == ("salt_mM_of_ka", "core_radius_nm", "mean_core_radius_nm", "free_plus_mM")
    assert names[at + 7:at + 9] == ("critical_concentration_mM", "status")
    # The salt of the applied ka gives back the swept concentration (ka is kept with 15 digits).
    assert np.allclose(t["salt_mM_of_ka"], [10, 100], rtol=1e-12)
    # 100 mM in water is ka = 0.742 (a Debye length of 0.96 nm); the runs have that ka.
    plain = marlinq.sweep(None, {"ka": [0.742]}, unit_nm=0.714)
    assert plain["salt_mM"][0] == pytest.approx(100, rel=1e-3)
    names = plain.dtype.names
    at = names.index("salt_mM")
    assert names[at:at + 4] == ("salt_mM", "core_radius_nm", "mean_core_radius_nm", "free_plus_mM")
    assert names[at + 7:at + 9] == ("critical_concentration_mM", "status")


def test_threads_give_the_rows_of_one_thread(batch):
    lines = batch_sweep(batch, "--method", "pb", "--sweep", "ka=0.2:2:7:log")
    calls = []
    t = marlinq.sweep(None, {"ka": np.geomspace(0.2, 2, 7)}, method="pb", workers=3,
                      progress=lambda k, n: calls.append((k, n)))
    # The values of a log range differ from numpy's in the last bits: compare the rows but ka.
    assert np.allclose(t["ka"], [float(r[1]) for r in lines[1:]], rtol=1e-14)
    single = marlinq.sweep(None, {"ka": [float(r[1]) for r in lines[1:]]}, method="pb", workers=3)
    assert_rows_equal_batch(single, lines)
    assert calls == [(k, 7) for k in range(1, 8)]


def test_progress_false_stops_after_the_point():
    calls = []

    def progress(k, n):
        calls.append(k)
        return k < 2

    t = marlinq.sweep(None, {"ka": [0.2, 0.3, 0.4, 0.5]}, progress=progress)
    assert calls == [1, 2] and t.stopped and list(t["ka"]) == [0.2, 0.3]
    assert not marlinq.sweep(None, {"ka": [0.2]}).stopped


def test_ctrl_c_stops_between_points_with_keyboard_interrupt():
    calls = []

    def progress(k, n):
        calls.append(k)
        if k == 2:
            signal.raise_signal(signal.SIGINT)  # what Ctrl-C in the terminal does

    with pytest.raises(KeyboardInterrupt):
        marlinq.sweep(None, {"ka": [0.2, 0.3, 0.4, 0.5]}, method="pb", progress=progress)
    assert calls == [1, 2]


def test_ctrl_c_while_a_point_runs():
    # The signal arrives from another thread while the engine runs a point without the GIL:
    # the sweep ends after that point, before the next progress call.
    wide = marlinq.Parameters(mp_max=30, mm_max=30)
    calls = []

    def progress(k, n):
        calls.append(k)
        if k == 1:
            threading.Thread(target=os.kill, args=(os.getpid(), signal.SIGINT)).start()

    with pytest.raises(KeyboardInterrupt):
        marlinq.sweep(wide, {"ka": np.linspace(0.2, 1, 12)}, method="pb", progress=progress)
    assert calls[0] == 1 and len(calls) < 12
    assert len(marlinq.sweep(wide, {"ka": [0.2]}, method="pb")) == 1


def test_a_sweep_releases_the_gil():
    ticks = []
    stop = threading.Event()

    def other():
        while not stop.is_set():
            ticks.append(1)
            stop.wait(0.001)

    wide = marlinq.Parameters(mp_max=30, mm_max=30)
    seen = []
    t = threading.Thread(target=other)
    t.start()
    try:
        marlinq.sweep(wide, {"ka": [0.2, 0.3, 0.4]}, method="pb", progress=lambda k, n: seen.append(len(ticks)))
    finally:
        stop.set()
        t.join(60)
    # The other thread kept running while the points were computed.
    assert seen[-1] > seen[0]


def test_doubts_of_a_point_and_huge_plans():
    # M+ and M- up to 3 cut off the start-up mixture's peak at (4, 4): the row says it.
    t = marlinq.sweep(marlinq.Parameters(mp_max=3, mm_max=3), {"ka": [0.2, 0.1]})
    assert t[0]["warnings"] == ("the free concentrations imply 153 chains per a³ of each kind in complexes: no solution "
                                "holds that; use total mode | the most probable complex (3, 3) lies on the edge of the "
                                "M+ and M- ranges; enlarge them")
    assert (t[0]["range_edge"], t[0]["unconverged_solves"], t[0]["nonfinite_cells"]) == (1, 0, 0)
    assert t[1]["warnings"] == "" and t[1]["range_edge"] == -1  # refused before its run
    # A table of a million by a million points is refused before the first point.
    axes = {"ka": np.linspace(0.2, 10, 1000000), "vc10": np.linspace(1e-3, 1e-2, 1000000)}
    with pytest.raises(ValueError, match=r"about [0-9.]+ TiB \(1000000000000 points\); pass allow_large=True"):
        marlinq.sweep(None, axes)
    # The guard counts what the table takes in memory (about 2 kB a point), not the CSV's bytes.
    with pytest.raises(ValueError, match=r"table in memory would take about [0-9.]+ GiB \(2000000 points\)"):
        marlinq.sweep(None, {"vc10": np.linspace(1e-4, 1e-3, 2000000)})
