"""The model's parameters from Python: the Bjerrum length, the core surface term, the swollen
core, and solving for a measured value."""

import math

import pytest

import marlinq

PI = 3.141592387  # the program's pi


def test_model_parameters_are_keywords_and_stay_out_of_a_default_set():
    default = marlinq.Parameters()
    assert "gamma" not in repr(default) and "bjerrum" not in repr(default)
    p = marlinq.Parameters(gamma=0.5, bjerrum=1.2, water_fraction=0.3)
    assert (p.gamma, p.bjerrum, p.water_fraction) == (0.5, 1.2, 0.3)
    assert "gamma=0.5" in repr(p)
    assert p.to_dict()["water_fraction"] == 0.3


def test_the_surface_term_is_gamma_times_the_core_area_in_every_cell():
    p = marlinq.Parameters(mp_max=5, mm_max=5)
    plain = marlinq.run(p, method="dh_linear", keep_energies=True).free_energies
    surface = marlinq.run(p.replace(gamma=0.25), method="dh_linear", keep_energies=True).free_energies
    assert len(plain) == len(surface) == 25
    for a, b in zip(plain, surface):
        radius = (3.0 * 72.0 * (a["mp"] + a["mm"]) / (4.0 * PI)) ** (1.0 / 3.0)
        assert b["F"] - a["F"] == pytest.approx(0.25 * 4.0 * PI * radius ** 2, rel=1e-12)


def test_solve_for_names_the_side_of_an_unreachable_target():
    p = marlinq.Parameters(mp_max=4, mm_max=4)
    r = marlinq.solve_for("gamma", ("mass_average_aggregation", 1e6), p, range=(0.0, 1.0), method="dh_linear",
                          total=(1e-3, 1e-3))
    assert r["value"] is None and r["side"] == "above" and r["runs"] == 11
    with pytest.raises(ValueError, match="observable"):
        marlinq.solve_for("gamma", ("no_such_thing", 1.0), p, total=(1e-3, 1e-3))


def test_a_complex_term_written_in_python_reaches_runs_and_sweeps_through_the_model():
    """The built-in core surface term, written again in Python, gives the same bits; a term of
    1 kT per chain moves every exponent by M+ + M-; a failing term is raised, not hidden."""
    p = marlinq.Parameters(mp_max=5, mm_max=5)
    surface = p.replace(gamma=0.37)
    builtin = marlinq.run(surface, method="dh", total=(1e-3, 1e-3))
    plain = marlinq.run(p, method="dh", total=(1e-3, 1e-3))
    builtin_free = marlinq.run(surface, method="dh")
    seen = []

    def python_surface(c):
        seen.append((c.mp, c.mm))
        assert c.chains == c.mp + c.mm and c.core_volume == c.dry_volume == 72.0 * c.chains
        return 0.37 * (12.566369548 * (c.radius * c.radius))

    marlinq.register_complex_term("surface", python_surface)
    try:
        mine = marlinq.run(p, method="dh", total=(1e-3, 1e-3))
        assert any("Python term surface" in line for line in mine.log), mine.log
        assert (mine.value == builtin.value).all() and mine.free_plus == builtin.free_plus
        assert sorted(set(seen)) == [(mp, mm) for mp in range(1, 6) for mm in range(1, 6)]  # complexes only
        # In a sweep too: the point of the plain set is the built-in surface term's run.
        table = marlinq.sweep(p, {"ka": [0.2]}, method="dh")
        assert table["mass_average_aggregation"][0] == builtin_free.mass_average_aggregation
    finally:
        marlinq.register_complex_term("surface", None)
    assert (marlinq.run(p, method="dh", total=(1e-3, 1e-3)).value == plain.value).all()

    marlinq.register_complex_term("per chain", lambda c: float(c.chains))
    try:
        moved = marlinq.run(p, method="dh_linear").free_energies
    finally:
        marlinq.register_complex_term("per chain", None)
    still = marlinq.run(p, method="dh_linear").free_energies
    for a, b in zip(still, moved):
        chains = a["mp"] + a["mm"]
        assert b["E"] - a["E"] == pytest.approx(-chains if chains >= 2 else 0.0, abs=1e-9)

    marlinq.register_complex_term("broken", lambda c: 1.0 / (c.mp - 2))
    try:
        with pytest.raises(RuntimeError, match=r"complex term broken failed at \(2, .*division by zero"):
            marlinq.run(p, method="dh_linear")
    finally:
        marlinq.register_complex_term("broken", None)
    with pytest.raises(TypeError):
        marlinq.register_complex_term("not callable", 3.0)
