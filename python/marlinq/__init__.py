"""Marlinq Solver from Python: size distributions of complexes of charged diblock copolymers.

The numbers are those of the window and of ``marlinq-batch``: the module calls the same
engine (start-up values or a parameter file, the window's checks, the single-chain
tables read once per process, the complex stages) and only converts the results to NumPy.

    import marlinq
    p = marlinq.Parameters(ka=0.5)              # the window's start-up values, ka = 0.5
    r = marlinq.run(p, method="pb")             # Poisson-Boltzmann, chains from the tables
    r.abs_value, r.value, r.mp, r.mm            # concentrations, distribution, axes
    r.most_probable, r.mean_mp, r.bound_fraction_plus   # the engine's observables
    r.free_energies                             # F, E of every evaluated cell (structured array)
    marlinq.profile(p, 3, 5).u                  # potential of the complex (3, 5)
    marlinq.sweep(p, {"ka": [0.2, 0.5, 1.0]})   # one row per salt value

Errors: invalid input raises ValueError with the program's message (e.g. "Stable solution
is only for ka between 0.2 and 10"); a missing single-chain table raises FileNotFoundError.
A run releases the GIL (several threads may compute at once); Ctrl-C stops a
Poisson-Boltzmann run before its next row and raises KeyboardInterrupt.
"""

import numbers as _numbers
import os as _os
import sys as _sys

# OpenMP threads sleep while they wait instead of spinning, unless the user chose how they
# wait: on a busy machine spinning threads take the cores from those that compute. GNU
# OpenMP reads the variable when the engine (and with it the runtime) is loaded, just below.
if not _os.environ.get("OMP_WAIT_POLICY") and not _os.environ.get("GOMP_SPINCOUNT"):
    _os.environ["OMP_WAIT_POLICY"] = "passive"

from ._built_for import PYTHON_EXECUTABLE as _BUILT_FOR_EXECUTABLE, PYTHON_VERSION as _BUILT_FOR_VERSION

try:
    from . import _core
except ImportError as _error:
    # Another Python than the one the engine was compiled for, or one without NumPy: say
    # which Python this is and which one the engine needs.
    _cause = _error.__cause__ if _error.__cause__ is not None else _error
    _this = "this Python {} ({})".format(_sys.version.split()[0], _sys.executable)
    _same = _os.path.realpath(_sys.executable) == _os.path.realpath(_BUILT_FOR_EXECUTABLE)
    if isinstance(_cause, ModuleNotFoundError) and (_cause.name or "").split(".")[0] == "numpy":
        _why = "it needs NumPy, which {} cannot import ({})".format(_this, _cause)
        _remedy = ("install NumPy for it (Debian: apt-get install python3-numpy)" if _same else
                   "run it with {} (for which it was built), or install NumPy for this Python and build the "
                   "module again with it (cmake -DPython3_EXECUTABLE={})".format(_BUILT_FOR_EXECUTABLE,
                                                                                  _sys.executable))
        raise ImportError("marlinq's compiled engine was built for Python {} ({}) and cannot be imported: {}; {}."
                          .format(_BUILT_FOR_VERSION, _BUILT_FOR_EXECUTABLE, _why, _remedy)) from _error
    raise ImportError(
        "marlinq's compiled engine was built for Python {} ({}) and cannot be imported by {}: {}. "
        "Run it with that Python, or build the module again with this one "
        "(cmake -DPython3_EXECUTABLE={}).".format(
            _BUILT_FOR_VERSION, _BUILT_FOR_EXECUTABLE, _this,
            "{} ({})".format(_error, _error.__cause__) if _error.__cause__ else _error,
            _sys.executable)) from _error
from ._core import Parameters, Profile, Result, observables
from ._core import __commit__, __version__  # the release and the commit the module was built from
from ._sweep import SweepTable, merge, sweep

__all__ = ["Parameters", "Result", "Profile", "SweepTable", "run", "profile", "sweep", "merge", "observables", "critical_salt", "solve_for", "METHODS",
           "CHAINS", "ACCURACIES", "data_file"]

#: Values of ``method``: Poisson-Boltzmann, the program's Debye-Hueckel approximation, or the
#: closed-form free energy of linear Debye-Hueckel theory.
METHODS = ("pb", "dh", "dh_linear")
#: Values of ``chains``: single-chain energies from the tables or solved.
CHAINS = ("table", "solve")
#: Values of ``accuracy``: the program's discretisation, or free energies converged in the grid.
ACCURACIES = ("standard", "converged")


def _installed_data_dir():
    """<prefix>/share/marlinq of an installed package, or None in a build folder."""
    try:
        from . import _layout
    except ImportError:
        return None
    here = _os.path.dirname(_os.path.abspath(__file__))
    depth = len([part for part in _layout.PACKAGE_DIR.split("/") if part])
    prefix = here
    for _ in range(depth):
        prefix = _os.path.dirname(prefix)
    return _os.path.join(prefix, _layout.DATA_DIR)


_data = _installed_data_dir()
if _data:
    _core._set_program_data_dir(_data)


def data_file(name):
    """Path where a run looks for the data file ``name`` (e.g. "Chains_values.dat"):
    the working directory, an installation's share/marlinq, the source tree's data/."""
    return _core._locate(name)


def _run_inputs(params, data_dir, total, charge_fraction):
    """The inputs ``run`` and ``critical_salt`` share, in the types the core takes."""
    if params is None:
        params = Parameters()
    if not isinstance(params, Parameters):
        raise TypeError("params must be a marlinq.Parameters, not %s" % type(params).__name__)
    if data_dir is not None:
        data_dir = _os.fspath(data_dir)
    if total is not None:
        # A number, or a sequence of one or two: a text, a mapping or a truth value is not one.
        if _is_number(total) or getattr(total, "ndim", None) == 0:
            total = [_number(total, "total")]
        elif isinstance(total, (str, bytes, dict, set, frozenset)) or not hasattr(total, "__len__"):
            raise TypeError("total takes (C+, C-) or a number T, not %s" % type(total).__name__)
        else:
            total = [_number(v, "total") for v in total]
            if len(total) not in (1, 2):
                raise ValueError("total takes (C+, C-), or T with charge_fraction=f, not %d values" % len(total))
    if charge_fraction is not None:
        charge_fraction = _number(charge_fraction, "charge_fraction")
    return params, data_dir, total, charge_fraction


def _is_number(v):
    return isinstance(v, _numbers.Real) and not isinstance(v, bool)  # NumPy's bool_ is no Real either


def _optional_number(v, name):
    return None if v is None else _number(v, name)


def _number(v, name):
    """v as a float when it is a real number (a NumPy scalar too); TypeError otherwise."""
    if getattr(v, "ndim", None) == 0 and hasattr(v, "item"):
        v = v.item()
    if not _is_number(v):
        raise TypeError("%s takes numbers, not %s %r" % (name, type(v).__name__, v))
    return float(v)


def run(params=None, method="dh", chains="table", accuracy="standard", progress=None, data_dir=None,
        keep_energies=True, threads=0, total=None, charge_fraction=None, bjerrum_nm=None, unit_nm=None):
    """Computes the size distribution of a parameter set.

    Parameters
    ----------
    params : Parameters, optional
        The set; the window's start-up values when omitted.
    method : {"dh", "dh_linear", "pb"}
        The program's Debye-Hueckel approximation (the default, as in marlinq-batch: the
        linearised potential in the full nonlinear free energy), the closed-form free energy
        of linear Debye-Hueckel theory ("dh_linear", as ``--method dh-linear``), or full
        Poisson-Boltzmann.
    chains : {"table", "solve"}
        Single-chain energies interpolated from the tables (default) or solved.
    accuracy : {"standard", "converged"}
        The program's discretisation (default), or free energies converged in the grid with
        an error estimate (``error_estimate``, ``standard_difference``); converged runs solve
        the single chains and need no table (as ``marlinq-batch --accuracy converged``).
    progress : callable, optional
        Called as ``progress(row, rows)`` after each finished row (once for "dh"). Returning
        False stops the run before its next row; the result then has ``partial`` True.
    data_dir : str, optional
        Look for the tables in this folder only (as ``marlinq-batch --data DIR``).
    keep_energies : bool
        Keep the free energy of every evaluated cell (``free_energies``, as
        ``marlinq-batch --free-energies``); False saves their memory on large ranges.
    threads : int
        The most threads the run may use (0, the default: as many as OpenMP allows, which
        follows ``OMP_NUM_THREADS``). Runs started at once from several Python threads
        share the machine by giving each a part. The result is the same for any number.
    total : (float, float) or float, optional
        Total mode: the totals ``(C+, C-)`` of '+' and '-' chains (free and in complexes,
        chains per segment volume a^3, each from 1e-20 to 1) instead of the free chains
        ``vc10`` and ``vc01`` of params; or the total ``T = C+ + C-`` with
        ``charge_fraction``. The free chains follow from the mass balance (``free_plus``,
        ``free_minus``); needs ``mpMin`` and ``mmMin`` 0. As ``marlinq-batch --total``.
    charge_fraction : float, optional
        With a single ``total``: f = q+ C+ / (q+ C+ + q- C-), strictly between 0 and 1
        (1/2 at charge stoichiometry).
    bjerrum_nm : float, optional
        The Bjerrum length in nm, with ``unit_nm`` (the segment size a in nm): sets the
        parameter ``bjerrum`` = bjerrum_nm / unit_nm, as ``marlinq-batch --bjerrum-nm``.
    unit_nm : float, optional
        The segment size a in nm, for ``bjerrum_nm``.

    Returns
    -------
    Result
        ``abs_value`` and ``value`` (shape len(mp) x len(mm)), ``mp``, ``mm``, the engine's
        observables as properties under their names (``most_probable``, ``mean_mp``, ...:
        ``observables()`` lists them; ``summary()`` as a dict),
        ``free_energies``, ``log``, ``warnings``, ``partial``, ``diagnostics``, ``converged``,
        ``error_estimate``.

    Raises
    ------
    ValueError
        Invalid input, with the program's message.
    FileNotFoundError
        A single-chain table (or ``data_dir``) could not be read.
    KeyboardInterrupt
        Ctrl-C; a Poisson-Boltzmann run stops before its next row.
    """
    params, data_dir, total, charge_fraction = _run_inputs(params, data_dir, total, charge_fraction)
    return _core._run(params, str(method), str(chains), str(accuracy), progress, data_dir, bool(keep_energies),
                      int(threads), total, charge_fraction, _optional_number(bjerrum_nm, "bjerrum_nm"),
                      _optional_number(unit_nm, "unit_nm"))


def critical_salt(params=None, total=None, charge_fraction=None, method="dh", chains="table", accuracy="standard",
                  data_dir=None, unit_nm=None, threads=0, bjerrum_nm=None):
    """The critical salt: at fixed totals, the ka from 0.2 to 10 at which the larger of the
    two bound fractions falls to 1/2 (as ``marlinq-batch --critical-salt``).

    Every trial ka is a run of its own (a new landscape): a coarse logarithmic grid from
    low salt brackets the first crossing, regula falsi refines it to 1e-6 relative.

    Parameters
    ----------
    params : Parameters, optional
        The set (start-up values when omitted); mpMin and mmMin must be 0.
    total, charge_fraction
        The totals as for ``run``; without ``total`` the set must be in total mode
        (``params.total_mode``).
    method, chains, accuracy, data_dir, threads
        As for ``run``.
    unit_nm : float, optional
        The segment size a in nm: the result then also holds ``critical_salt_mM``.
    bjerrum_nm : float, optional
        The Bjerrum length in nm (with ``unit_nm``), as for ``run``.

    Returns
    -------
    dict
        ``critical_ka`` (None when 1/2 is not crossed between ka 0.2 and 10; ``side`` is then
        "below" or "above" and ``note`` says it in words), ``unit_nm`` and ``critical_salt_mM``
        with unit_nm, ``total_plus``, ``total_minus``, ``bound_fraction_at_ka_0.2``, ``method``,
        ``runs``, ``crossed``, ``jump``: the members of ``marlinq-batch --critical-salt``'s JSON
        (made by the same engine function), and ``note``.

    Raises
    ------
    KeyboardInterrupt
        Ctrl-C, within a second even in the middle of a trial run.
    """
    params, data_dir, total, charge_fraction = _run_inputs(params, data_dir, total, charge_fraction)
    return _core._critical_salt(params, total, charge_fraction, str(method), str(chains), str(accuracy), data_dir,
                                _optional_number(unit_nm, "unit_nm"), int(threads),
                                _optional_number(bjerrum_nm, "bjerrum_nm"))


def solve_for(name, target, params=None, range=None, total=None, charge_fraction=None, method="dh", chains="table",
              accuracy="standard", data_dir=None, unit_nm=None, threads=0, bjerrum_nm=None):
    """The value of a parameter at which an observable meets a measured value (as
    ``marlinq-batch --solve-for NAME --target OBSERVABLE=VALUE``).

    Parameters
    ----------
    name : str
        Any sweep name: "gamma", "ka", "salt_mM" (with unit_nm), "total", "water_fraction", ...
    target : tuple (str, float) or dict {str: float}
        The observable (a summary key such as "mass_average_aggregation") and its value.
    range : (float, float), optional
        Where to look; without it the parameter's own range.
    params, total, charge_fraction, method, chains, accuracy, data_dir, unit_nm, threads, bjerrum_nm
        As for ``run``.

    Returns
    -------
    dict
        ``name``, ``value`` (None when the target is not reached; ``side`` then says "below" or
        "above": where the target lies beyond what the range gives), ``observable``, ``target``,
        ``achieved`` (the observable at value, or the closest trial), ``runs``, ``side``.
    """
    if isinstance(target, dict):
        if len(target) != 1:
            raise ValueError("target takes one observable and its value")
        target = next(iter(target.items()))
    observable, value = target
    params, data_dir, total, charge_fraction = _run_inputs(params, data_dir, total, charge_fraction)
    return _core._solve_for(params, str(name), str(observable), float(value),
                            None if range is None else [float(x) for x in range], total, charge_fraction, str(method),
                            str(chains), str(accuracy), data_dir, _optional_number(unit_nm, "unit_nm"),
                            int(threads), _optional_number(bjerrum_nm, "bjerrum_nm"))


def profile(params, mp, mm, method="dh", accuracy="standard"):
    """Radial profiles of the complex (mp, mm), as a chart window shows them.

    Returns a Profile with NumPy arrays ``r`` (r / Rc from 0 to 8, 401 points), ``u``,
    ``u_dh`` (None with method="pb"), ``cation_density`` ((kRc)^2 exp(-u)),
    ``anion_density`` ((kRc)^2 exp(+u)), ``charge_density``, and the numbers ``Z``, ``Rc``, ``kRc``. With accuracy="converged"
    the Poisson-Boltzmann potential is that of the grid-converged scheme, shown at the same
    radii. The same numbers as ``marlinq-batch --method METHOD --accuracy ACCURACY --profile
    MP MM``: mp and mm are integers from 1 to 100000 (TypeError for another type,
    ValueError outside). Invalid input raises ValueError.
    """
    if params is None:
        params = Parameters()
    return _core._profile(params, mp, mm, str(method), str(accuracy))


from ._core import Complex  # noqa: E402  what a complex term is given


def register_complex_term(name, function):
    """Adds ``function(complex)`` (kT) to the free energy of every complex of at least two chains.

    The term reaches every later ``run``, ``sweep``, ``critical_salt`` and ``solve_for`` of
    this process, through the same model the window and ``marlinq-batch`` use (the log names
    it: "Complex model: dh + Python term NAME"), until ``register_complex_term(name, None)``
    removes it. ``complex`` is a ``Complex`` in segment units: ``mp``, ``mm``, ``chains``,
    ``charge``, ``charge_plus``, ``charge_minus``, ``dry_volume``, ``core_volume``, ``radius``,
    ``ka``, ``kappa_r``, ``bjerrum``. For example a core surface tension of 0.2 kT per a^2::

        marlinq.register_complex_term("surface", lambda c: 0.2 * 4 * math.pi * c.radius ** 2)

    The engine calls it from its own threads, one call at a time (it holds the interpreter
    lock), so a term in Python costs a few microseconds per complex. A function that raises
    gives its complex no finite free energy, and the call that met it raises RuntimeError
    with the first such error once it is over.
    """
    _core._register_complex_term(str(name), function)


def _raising_complex_term_errors(call):
    def checked(*args, **kwargs):
        _core._take_complex_term_error()  # a stale error of an interrupted call
        result = call(*args, **kwargs)
        error = _core._take_complex_term_error()
        if error:
            raise RuntimeError(error)
        return result
    checked.__name__, checked.__qualname__, checked.__doc__ = call.__name__, call.__qualname__, call.__doc__
    checked.__wrapped__ = call
    return checked


run = _raising_complex_term_errors(run)
sweep = _raising_complex_term_errors(sweep)
critical_salt = _raising_complex_term_errors(critical_salt)
solve_for = _raising_complex_term_errors(solve_for)
__all__ += ["Complex", "register_complex_term"]

import atexit as _atexit  # noqa: E402

# The terms' functions are Python objects: released while the interpreter still runs.
_atexit.register(_core._clear_complex_terms)
