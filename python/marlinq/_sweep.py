"""Sweeps: one run per point of a grid of parameter values, summarised one row per point.

The loop and the observables are computed here from each run's distribution, with the
definitions the engine's own observables use (complexes are the cells with M+ >= 1 and
M- >= 1; lone chains are the free chains). They move to the shared engine code when it
offers sweeps and observables, with the same column names.
"""

import itertools
import math

import numpy as np

from . import _core

# Columns computed for every point, after "index" and the swept names.
OBSERVABLE_COLUMNS = (
    ("most_probable_mp", np.int32),
    ("most_probable_mm", np.int32),
    ("most_probable_share", np.float64),
    ("mean_mp", np.float64),
    ("mean_mm", np.float64),
    ("bound_fraction_plus", np.float64),
    ("bound_fraction_minus", np.float64),
    ("error_estimate", np.float64),
)

_INTEGER_NAMES = {"Np", "Nm", "mpMin", "mpMax", "mmMin", "mmMax",
                  "n_plus", "n_minus", "mp_min", "mp_max", "mm_min", "mm_max"}


def observables(result):
    """Summary numbers of one distribution, as a dict of the OBSERVABLE_COLUMNS.

    mean_mp, mean_mm: number averages over the complexes, sum(M c) / sum(c), c = abs_value.
    bound_fraction_plus: the share of '+' chains inside complexes,
    sum(M+ c) / (sum(M+ c) + c+), with c+ = vc10 the free '+' chains (likewise for '-').
    NaN when no complex has a weight. Sums are taken relative to the largest complex weight,
    so they stay finite whatever the scale of abs_value. error_estimate: that of a converged
    run, NaN for the standard accuracy.
    """
    mp, mm = result.most_probable
    row = {"most_probable_mp": mp, "most_probable_mm": mm,
           "most_probable_share": result.most_probable_share, "error_estimate": result.error_estimate}
    c = np.asarray(result.abs_value, dtype=np.float64)
    MP, MM = np.meshgrid(np.asarray(result.mp, dtype=np.float64), np.asarray(result.mm, dtype=np.float64),
                         indexing="ij")
    complexes = (MP >= 1) & (MM >= 1)
    weights = np.where(complexes, c, 0.0)
    top = weights.max() if weights.size else 0.0
    nan = float("nan")
    if not top > 0.0:
        row.update(mean_mp=nan, mean_mm=nan, bound_fraction_plus=nan, bound_fraction_minus=nan)
        return row
    w = weights / top
    total = w.sum()
    plus = (MP * w).sum()
    minus = (MM * w).sum()
    p = result.parameters
    free_plus = p.vc10 * result.weight_scale / top
    free_minus = p.vc01 * result.weight_scale / top
    row.update(mean_mp=plus / total, mean_mm=minus / total,
               bound_fraction_plus=plus / (plus + free_plus),
               bound_fraction_minus=minus / (minus + free_minus))
    return row


class SweepTable(np.ndarray):
    """A NumPy structured array, one row per sweep point: index, the swept values, the
    observables, status ("ok" or the reason the point has no result). ``axes`` names the
    swept parameters; ``results`` holds the Result of each point when asked for."""

    def __array_finalize__(self, obj):
        self.axes = getattr(obj, "axes", ())
        self.results = getattr(obj, "results", None)

    def to_frame(self):
        """The table as a pandas DataFrame (needs pandas)."""
        try:
            import pandas
        except ImportError as e:
            raise ImportError("SweepTable.to_frame() needs pandas (Debian: python3-pandas)") from e
        return pandas.DataFrame.from_records(np.asarray(self).view(np.ndarray))


def _points(axes):
    names = list(axes)
    if not names:
        raise ValueError("a sweep needs at least one parameter, e.g. {'ka': [0.2, 0.5, 1]}")
    values = []
    for name in names:
        v = list(np.atleast_1d(np.asarray(axes[name])).tolist())
        if not v:
            raise ValueError("no values for %s" % name)
        values.append(v)
    return names, list(itertools.product(*values))


def sweep(params, axes, method="dh", chains="table", accuracy="standard", progress=None, data_dir=None,
          keep_results=False, workers=1):
    """Runs one calculation per point of a parameter grid and tabulates the results.

    Parameters
    ----------
    params : Parameters
        The base set; each point replaces the swept attributes.
    axes : dict
        Attribute name -> values, e.g. ``{"ka": numpy.geomspace(0.2, 10, 12)}``. Several
        names make a grid, the first name varying slowest.
    method, chains, accuracy, data_dir
        As for run().
    progress : callable, optional
        Called as ``progress(point, points)`` after each point.
    keep_results : bool
        Keep every point's Result in ``table.results`` (None for a point without one).
    workers : int
        Points computed at once in threads (each run releases the GIL).

    Returns
    -------
    SweepTable
        A structured array: index, the swept names, most_probable_mp, most_probable_mm,
        most_probable_share, mean_mp, mean_mm, bound_fraction_plus, bound_fraction_minus,
        error_estimate (converged runs), status. A point with invalid input has status set to the program's message and NaN
        (or -1) observables; a missing table raises FileNotFoundError at once.
    """
    from . import run, Parameters  # the package's run(), with its argument checks

    if params is None:
        params = Parameters()
    names, points = _points(axes)
    for name in names:
        if not hasattr(params, name) or name.startswith("_") or callable(getattr(params, name)):
            raise ValueError("%r is not a parameter" % name)
    # The method, chains and accuracy are checked before any point runs.
    if method not in ("pb", "dh"):
        run(params, method=method)
    if chains not in ("table", "solve"):
        run(params, chains=chains)
    if accuracy not in ("standard", "converged"):
        run(params, accuracy=accuracy)

    dtype = [("index", np.int64)]
    for name in names:
        dtype.append((name, np.int64 if name in _INTEGER_NAMES else np.float64))
    dtype += list(OBSERVABLE_COLUMNS)
    dtype.append(("status", object))
    table = np.zeros(len(points), dtype=dtype).view(SweepTable)
    table.axes = tuple(names)
    results = [None] * len(points)

    def one(k):
        point = points[k]
        try:
            p = params.replace(**dict(zip(names, point)))
            return k, run(p, method=method, chains=chains, accuracy=accuracy, data_dir=data_dir), "ok"
        except ValueError as e:
            return k, None, str(e)

    def record(k, result, status):
        row = table[k]
        row["index"] = k
        for name, v in zip(names, points[k]):
            row[name] = v
        if result is None:
            for col, kind in OBSERVABLE_COLUMNS:
                row[col] = -1 if kind is np.int32 else math.nan
        else:
            for col, v in observables(result).items():
                row[col] = v
            if result.partial:
                status = "partial"
        row["status"] = status
        if keep_results:
            results[k] = result

    done = 0
    if workers <= 1:
        for k in range(len(points)):
            record(*one(k))
            done += 1
            if progress is not None:
                progress(done, len(points))
    else:
        from concurrent.futures import ThreadPoolExecutor
        with ThreadPoolExecutor(max_workers=int(workers)) as pool:
            for k, result, status in pool.map(one, range(len(points))):
                record(k, result, status)
                done += 1
                if progress is not None:
                    progress(done, len(points))
    if keep_results:
        table.results = results
    return table
