"""Sweeps: one run per point of a grid of parameter values, summarised one row per point.

The loop, the application of each value and the observables are the engine's (runSweep, as
``marlinq-batch --sweep``): the rows hold the numbers of the batch command's CSV, under the
same column names.
"""

import csv
import os

import numpy as np

from . import _core

# The engine's parameter names: snake_case name -> key, and the keys of integers.
_ALIASES = {alias: key for key, alias, _ in _core._parameter_names() if alias != key}
_INTEGER_KEYS = {key for key, _, integer in _core._parameter_names() if integer}
# The counts among the columns of doubts, as the batch CSV names them.
_DOUBT_COUNTS = ("unconverged_solves", "nonfinite_cells", "beyond_dh_cells", "range_edge")


class SweepTable(np.ndarray):
    """A NumPy structured array, one row per sweep point: index, the swept values, the
    observables, status ("ok" or the reason the point has no result). ``axes`` names the
    swept parameters; ``results`` holds the Result of each point when asked for;
    ``stopped`` is True when progress returned False before the last point."""

    def __array_finalize__(self, obj):
        self.axes = getattr(obj, "axes", ())
        self.results = getattr(obj, "results", None)
        self.stopped = getattr(obj, "stopped", False)

    def to_frame(self):
        """The table as a pandas DataFrame (needs pandas)."""
        try:
            import pandas
        except ImportError as e:
            raise ImportError("SweepTable.to_frame() needs pandas (Debian: python3-pandas)") from e
        return pandas.DataFrame.from_records(np.asarray(self).view(np.ndarray))


def _axes(axes):
    names = list(axes)
    if not names:
        raise ValueError("a sweep needs at least one parameter, e.g. {'ka': [0.2, 0.5, 1]}")
    keys, values = [], []
    for name in names:
        if not isinstance(name, str):
            raise ValueError("%r is not a parameter that can be swept" % (name,))
        keys.append(_ALIASES.get(name, name))
        v = np.atleast_1d(np.asarray(axes[name])).ravel()
        if v.size == 0:
            raise ValueError("no values for %s" % name)
        if not (np.issubdtype(v.dtype, np.number) or v.dtype == bool):
            raise ValueError("the values of %s are not numbers" % name)
        values.append([float(x) for x in v.tolist()])
    return names, keys, values


def sweep(params, axes, method="dh", chains="table", accuracy="standard", progress=None, data_dir=None,
          keep_results=False, workers=1, unit_nm=None, allow_large=False, output=None, resume=False):
    """Runs one calculation per point of a parameter grid and tabulates the results, as
    ``marlinq-batch --sweep`` does.

    Parameters
    ----------
    params : Parameters
        The base set; each point replaces the swept values.
    axes : dict
        Name -> values, e.g. ``{"ka": numpy.geomspace(0.2, 10, 12)}``. A name is a key of
        the parameter file (ka, vc10, vc01, zp, zn, kiplus, kiminus, Np, Nm, mpMin, mpMax,
        mmMin, mmMax), a charged length (plen, mlen), its snake_case name (mm_max, c_plus,
        ...) or one of the names beside the parameters: {derived} (those in mM, g/L or nm
        need unit_nm; a total or charge_fraction puts the run in total mode). Values are applied as Parameters.replace applies
        them: reals with the 15 digits a file shows; a charge keeps the charge density (the
        charged length follows: same density, longer chain) unless the length is swept too
        (``{"zp": [...], "plen": [72]}``: same chain, more charge); a density or a length
        keeps the charge. Several names make a grid, the first name varying slowest.
    method, chains, accuracy, data_dir
        As for run().
    progress : callable, optional
        Called as ``progress(point, points)`` after each point. Returning False stops the
        sweep after that point; the table then holds the points finished (``stopped`` True).
    keep_results : bool
        Keep every point's Result in ``table.results`` (None for a point without one).
    workers : int
        Threads computing at once; each runs every workers-th point (as ``--shard``) with
        its share of the machine's threads (OMP_NUM_THREADS or the cores, divided by
        workers), so that the workers together do not oversubscribe the machine.
    unit_nm : float, optional
        The segment size a in nm: adds the columns salt_mM, core_radius_nm,
        mean_core_radius_nm and allows sweeping salt_mM, bjerrum_nm and the totals in
        units (as ``--unit-nm``).
    allow_large : bool
        Run a plan whose table would take more than 1 GiB of memory (about 2 kB a point,
        more with keep_results; refused with ValueError before the first point otherwise, as
        ``--large-output`` decides for the batch command's CSV).
    output : str or path-like, optional
        Also write the sweep's CSV to this file, through the same store as ``marlinq-batch
        --sweep ... -o FILE`` (the same bytes): the rows go to FILE.partial as they finish
        and the file is renamed to FILE when the sweep is complete; a sweep stopped by
        progress or Ctrl-C, or killed, leaves FILE.partial. The table then holds the rows of
        the file.
    resume : bool
        With output: continue the sweep in FILE.partial (or FILE), computing only the points
        it lacks, as ``--resume`` does; a file of another plan raises ValueError. Without
        anything to resume the sweep starts.

    Returns
    -------
    SweepTable
        A structured array with the columns of the batch command's CSV: index, the swept
        names, the observables (``marlinq.observables()`` names them: most_probable_mp,
        most_probable_mm, mean_mp, ...; with unit_nm also salt_mM, core_radius_nm,
        mean_core_radius_nm, salt_mM_of_ka when salt_mM is swept), status, then what casts
        doubt on the point: warnings (the texts of the single run's warnings in a summary,
        joined by " | "), unconverged_solves, nonfinite_cells, beyond_dh_cells, range_edge (1
        when the most probable complex lies on an edge of a range that could be enlarged),
        and for accuracy="converged" error_estimate and standard_difference (kT). A point
        with invalid input has status set to the program's message, NaN observables and -1
        in the whole-number columns (most_probable_mp and _mm, the counts) and empty
        warnings; the sweep goes on. A missing table raises FileNotFoundError at once.

    Raises
    ------
    KeyboardInterrupt
        Ctrl-C; the sweep stops after the point under way.
    """
    from . import Parameters

    if params is None:
        params = Parameters()
    if not isinstance(params, Parameters):
        raise TypeError("params must be a marlinq.Parameters, not %s" % type(params).__name__)
    names, keys, values = _axes(axes)
    if data_dir is not None:
        data_dir = os.fspath(data_dir)
    if unit_nm is not None:
        unit_nm = float(unit_nm)
    method, chains, accuracy = str(method), str(chains), str(accuracy)
    total = 1
    for v in values:
        total *= len(v)
    workers = max(1, min(int(workers), total))
    # One worker takes the machine's default; several share it out.
    threads = 0 if workers == 1 else max(1, _core._machine_threads() // workers)

    if output is not None:
        output = os.fspath(output)
        if output in ("", "-"):
            raise ValueError("output is the path of the sweep's CSV file")
        columns, stopped, _, results = _core._sweep_to_file(
            params, keys, values, method, chains, accuracy, data_dir, unit_nm, workers, bool(keep_results),
            progress, output, bool(resume), bool(allow_large))
        # A link is followed: its target gets the rows, and its .partial while unfinished.
        place = os.path.realpath(output) if os.path.islink(output) else output
        rows = _rows_of_file(place + ".partial" if stopped else place, values, results)
    elif resume:
        raise ValueError("resume needs the file of the sweep: output=...")
    else:
        columns, rows, stopped = _core._sweep(params, keys, values, method, chains, accuracy, data_dir, unit_nm,
                                              workers, bool(keep_results), progress, threads, bool(allow_large))

    dtype = [("index", np.int64)]
    for name, key in zip(names, keys):
        dtype.append((name, np.int64 if key in _INTEGER_KEYS else np.float64))
    # Whole-number columns (aggregation numbers) hold -1 where the batch CSV leaves the field empty.
    whole = {name for name, is_whole in columns if is_whole}
    columns = [name for name, _ in columns]
    dtype += [(c, np.int32 if c in whole else np.float64) for c in columns]
    dtype.append(("status", object))
    doubts = [("warnings", object)] + [(c, np.int64) for c in _DOUBT_COUNTS]
    converged = accuracy == "converged"
    if converged:
        doubts += [("error_estimate", np.float64), ("standard_difference", np.float64)]
    dtype += doubts

    rows = sorted(rows, key=lambda row: row[0])
    table = np.zeros(len(rows), dtype=dtype).view(SweepTable)
    table.axes = tuple(names)
    table.stopped = bool(stopped)
    for k, (index, point, observed, status, doubt, _) in enumerate(rows):
        row = table[k]
        row["index"] = index
        for name, v in zip(names, point):
            row[name] = v
        for c, v in zip(columns, observed):
            row[c] = (-1 if np.isnan(v) else int(v)) if c in whole else v
        row["status"] = status
        if doubt is None:
            doubt = ("",) + (-1,) * len(_DOUBT_COUNTS) + (np.nan, np.nan)
        for (name, _), v in zip(doubts, doubt):
            row[name] = v
    if keep_results:
        table.results = [row[5] for row in rows]
    return table



def _rows_of_file(path, values, results):
    """The rows of a sweep CSV as the engine's sweep hands them over: (index, values,
    observables, status, doubts or None, Result or None). The swept values are the grid's
    own numbers; every other number is read back exactly (17 digits)."""
    with open(path, newline="", encoding="utf-8") as f:
        lines = [line for line in csv.reader(f) if line and not line[0].startswith("#")]
    header, rows = lines[0], []
    status = header.index("status")
    first = 1 + len(values)
    doubts = header[status + 1:]
    for fields in lines[1:]:
        index = int(fields[0])
        point, rest = [], index
        for v in reversed(values):
            point.append(v[rest % len(v)])
            rest //= len(v)
        observed = [float(t) if t else np.nan for t in fields[first:status]]
        doubt = None
        if fields[status + 2] != "":  # a point that ran has its counts
            doubt = [fields[status + 1]]
            for name, t in zip(doubts[1:], fields[status + 2:]):
                doubt.append(float(t) if t else np.nan if name in ("error_estimate", "standard_difference") else int(t))
            doubt += [np.nan] * (7 - len(doubt))
            doubt = tuple(doubt)
        rows.append((index, tuple(reversed(point)), observed, fields[status], doubt, results.get(index)))
    return rows


def merge(parts, output):
    """Joins the parts of one sweep (the CSVs of ``--shard`` runs or sweeps that wrote
    shards) into output, as ``marlinq-batch --merge PART... -o FILE`` does: the same bytes,
    refusing what it refuses (ValueError with its message, nothing written): a missing or
    repeated index, parts of another sweep (other tables included), a part that is not a
    regular file, a cut last line or a damaged row, an output no run could write. Returns
    the notes the batch command gives on standard error (points without a result, the
    doubts), one line each."""
    parts = [os.fspath(p) for p in parts]
    output = os.fspath(output)
    if output in ("", "-"):
        raise ValueError("merge writes a file: give its path as output")
    return _core._merge(parts, output)


# The names beside the parameters, from the engine's table.
if sweep.__doc__:  # none under python -OO
    sweep.__doc__ = sweep.__doc__.replace("{derived}", ", ".join(name for name, _, _, _ in _core._derived_names()))
