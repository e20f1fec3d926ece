"""Sweeps: one row per point, the same numbers as single runs, invalid points reported."""

import numpy as np
import pytest

import marlinq

SALT = [0.1, 0.2, 0.5, 1.0, 2.0]


@pytest.fixture(scope="module")
def salt_sweep():
    return marlinq.sweep(marlinq.Parameters(), {"ka": SALT}, method="pb", keep_results=True)


def test_rows_columns_and_invalid_points(salt_sweep):
    t = salt_sweep
    assert t.dtype.names == ("index", "ka", "most_probable_mp", "most_probable_mm", "most_probable_share",
                             "mean_mp", "mean_mm", "bound_fraction_plus", "bound_fraction_minus", "error_estimate",
                             "status")
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
    assert np.all(converged["error_estimate"] > 0) and np.all(np.isnan(t["error_estimate"]))
    pandas = pytest.importorskip("pandas")
    frame = t.to_frame()
    assert isinstance(frame, pandas.DataFrame) and list(frame["ka"]) == list(t["ka"])


def test_sweep_errors(tmp_path):
    p = marlinq.Parameters()
    with pytest.raises(ValueError, match="not a parameter"):
        marlinq.sweep(p, {"kb": [1]})
    with pytest.raises(ValueError, match="at least one parameter"):
        marlinq.sweep(p, {})
    with pytest.raises(ValueError, match="accuracy must be"):
        marlinq.sweep(p, {"ka": [0.5]}, accuracy="exact")
    with pytest.raises(FileNotFoundError):
        marlinq.sweep(p, {"ka": [0.5]}, data_dir=tmp_path)
