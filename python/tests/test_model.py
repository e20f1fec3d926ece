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
