"""Molar masses, sizes and I(q) of a run: the numbers marlinq-batch --summary and
--scattering write for the same input, and I(0) as the contrast-weighted Mw."""

import csv
import io
import json
import math

import numpy as np

import marlinq


def test_structure_and_scattering_equal_batch(batch, tmp_path):
    args = ("--method", "dh", "--unit-nm", "0.714", "--molar-mass", "8000,12000", "--solvent", "theta",
            "--neutral-segment-nm", "0.4", "--contrast", "0.8,1.1")
    code, out, err = batch(*args, "-o", tmp_path / "d.txt", "--summary", "-")
    assert code == 0, err
    expected = json.loads(out)
    r = marlinq.run(marlinq.Parameters(molar_mass_plus=8000, molar_mass_minus=12000), method="dh")
    got = r.structure(unit_nm=0.714, neutral_segment_nm=0.4, solvent="theta", contrast=(0.8, 1.1))
    assert got and all(got[k] == expected[k] for k in got)
    assert expected["molar_mass_mn"] < expected["molar_mass_mw"] < expected["molar_mass_mz"]

    code, out, err = batch(*args, "-o", tmp_path / "d.txt", "--scattering", "0.001:3:40:log")
    assert code == 0, err
    rows = list(csv.DictReader(io.StringIO(out)))
    assert list(rows[0]) == ["q", "I", "I_core", "I_corona", "I_free"]
    q = np.array([float(row["q"]) for row in rows])
    curve = r.scattering(q, unit_nm=0.714, neutral_segment_nm=0.4, solvent="theta", contrast=(0.8, 1.1))
    for key in ("I", "I_core", "I_corona", "I_free"):
        assert np.array_equal(curve[key], np.array([float(row[key]) for row in rows]))
    # At q -> 0 with unit contrasts: the Mw of everything in solution.
    plain = r.scattering([1e-9], unit_nm=0.714)
    mw = r.structure(unit_nm=0.714)["molar_mass_mw_with_free"]
    assert math.isclose(plain["I"][0], mw, rel_tol=1e-10)


def test_structure_needs_molar_masses():
    r = marlinq.run(method="dh")
    assert "molar_mass_mw" not in r.summary()
    try:
        r.structure()
    except ValueError as e:
        assert "molar_mass_plus" in str(e)
    else:
        raise AssertionError("no molar masses, no structure")
