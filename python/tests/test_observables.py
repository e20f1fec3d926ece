"""A run's observables and free-energy landscape: the numbers marlinq-batch --summary and
--free-energies write for the same input, and the definitions checked by hand from the
batch command's distribution."""

import json
import math

import numpy as np
import pytest

import marlinq

ASYMMETRIC = [("vc01", "0.002"), ("vc10", "0.0005"), ("zp", "24"), ("zn", "12"), ("kiplus", "0.4"),
              ("kiminus", "0.2"), ("ka", "0.7"), ("Np", "5"), ("Nm", "120"), ("mpMin", "1"), ("mpMax", "12"),
              ("mmMin", "2"), ("mmMax", "18")]

# The registry's observables: the cells (most_probable, most_probable_complex) and the numbers.
OBSERVABLES = tuple(o["name"] for o in marlinq.observables() if not o["needs_unit_nm"] and not o["needs_molar_mass"])
CELLS = tuple(o["name"] for o in marlinq.observables() if o["shape"] == "cell")
TIE_KEYS = tuple(name + "_ties" for name in CELLS)
NUMBERS = tuple(name for name in OBSERVABLES if name not in CELLS)
UNIT_KEYS = ("unit_nm",) + tuple(o["name"] for o in marlinq.observables() if o["needs_unit_nm"] and not o["needs_molar_mass"])


def same_number(module_value, json_value):
    """JSON holds the shortest text that reads back as the double, null for NaN."""
    if json_value is None:
        return math.isnan(module_value)
    return module_value == json_value


@pytest.mark.parametrize("method,unit", [("dh", None), ("pb", None), ("pb", 0.714)])
def test_summary_equals_batch_json(batch, tmp_path, method, unit):
    extra = ("--unit-nm", unit) if unit else ()
    code, out, err = batch("--method", method, "-o", tmp_path / "d.txt", "--summary", "-", *extra)
    assert code == 0, err
    expected = json.loads(out)
    r = marlinq.run(method=method)
    got = r.summary(unit_nm=unit)
    assert set(got) == set(OBSERVABLES) | set(TIE_KEYS) | (set(UNIT_KEYS) if unit else set())
    assert got["most_probable"] == tuple(expected["most_probable"]) == r.most_probable
    for key in got:
        if key in CELLS:
            assert got[key] == tuple(expected[key]), key
        elif key in TIE_KEYS:
            assert got[key] == [tuple(c) for c in expected[key]] == getattr(r, key), key
        else:
            assert same_number(got[key], expected[key]), key
    # Each observable is also a property holding the same number.
    for key in NUMBERS:
        assert same_number(getattr(r, key), got[key] if got[key] == got[key] else None), key
    assert r.most_probable_core_radius == r.core_radius
    assert r.any_complex


@pytest.mark.parametrize("method,chains,accuracy", [("dh", "table", "standard"), ("pb", "solve", "standard"),
                                                    ("pb", "table", "converged")])
def test_loaded_set_summary_equals_batch(batch, param_file, method, chains, accuracy):
    path = param_file(ASYMMETRIC)
    code, out, err = batch("--method", method, "--chains", chains, "--accuracy", accuracy, "-o",
                           path.parent / "d.txt", "--summary", "-", path)
    assert code == 0, err
    expected = json.loads(out)
    got = marlinq.run(marlinq.Parameters.load(str(path)), method=method, chains=chains, accuracy=accuracy).summary()
    assert got["most_probable"] == tuple(expected["most_probable"])
    for key in NUMBERS:
        assert same_number(got[key], expected[key]), key


def test_definitions_by_hand_from_the_batch_distribution(batch, param_file):
    # Charges 24 and 12 on 60 segments: a net charge and core radii that tell the kinds apart.
    path = param_file(ASYMMETRIC)
    code, out, err = batch("--method", "pb", path)
    assert code == 0, err
    c = np.array([[float(x) for x in line.split("\t")[:-1]] for line in out.splitlines()])
    Mp, Mm = np.indices(c.shape)
    w = np.where((Mp >= 1) & (Mm >= 1), c, 0.0)  # the complexes (the lone chains are in the text too)
    n = Mp + Mm
    rc = (3 * (Mp * 60 + Mm * 60) / (4 * math.pi)) ** (1 / 3)  # charged blocks 24 / 0.4 and 12 / 0.2
    r = marlinq.run(marlinq.Parameters.load(str(path)), method="pb")
    assert r.mass_average_aggregation == pytest.approx((n * n * w).sum() / (n * w).sum(), rel=1e-12)
    assert r.mean_net_charge == pytest.approx(((24 * Mp - 12 * Mm) * w).sum() / w.sum(), rel=1e-12)
    # The program takes 4 pi as 12.566369548: radii agree to 3e-8.
    assert r.mean_core_radius == pytest.approx((rc * w).sum() / w.sum(), rel=1e-7)
    # The map runs from M+ 1 and M- 2: the free chains written at (0, 1) lie outside it.
    mp, mm = np.unravel_index(np.argmax(c[1:, 2:]), c[1:, 2:].shape)
    mp, mm = mp + 1, mm + 2
    assert r.most_probable == (mp, mm)
    assert r.most_probable_core_radius == pytest.approx(rc[mp, mm], rel=1e-7)
    bound = (Mm * w).sum()
    assert r.bound_fraction_minus == pytest.approx(bound / (bound + 0.002), rel=1e-12)


def parse_landscape(text):
    lines = text.splitlines()
    assert lines[0].startswith("# f_plus=") and lines[1] == "mp,mm,F,E,absValue,Value,beyond_dh"
    head = dict(item.split("=") for item in lines[0][2:].split())
    rows = [line.split(",") for line in lines[2:]]
    return head, rows


@pytest.mark.parametrize("method,accuracy", [("dh", "standard"), ("pb", "standard"), ("pb", "converged")])
def test_free_energies_equal_batch(batch, tmp_path, method, accuracy):
    code, out, err = batch("--method", method, "--accuracy", accuracy, "-o", tmp_path / "d.txt",
                           "--free-energies", "-")
    assert code == 0, err
    head, rows = parse_landscape(out)
    r = marlinq.run(method=method, accuracy=accuracy)
    f = r.free_energies
    assert f.dtype.names == ("mp", "mm", "F", "E", "abs_value", "value", "beyond_dh")
    assert len(f) == len(rows) > 0
    # 17 significant digits: each number reads back as the very double.
    for row, fields in zip(f, rows):
        assert (int(fields[0]), int(fields[1])) == (row["mp"], row["mm"])
        assert [float(x) for x in fields[2:6]] == [row["F"], row["E"], row["abs_value"], row["value"]]
        assert fields[6] == str(int(row["beyond_dh"]))
    assert float(head["f_plus"]) == r.chain_free_energy_plus
    assert float(head["f_minus"]) == r.chain_free_energy_minus
    assert "max_shift" not in head
    assert r.free_energies_csv() == out
    # The rows are cells of the map, in row order, with the map's weights and shares.
    i, j = f["mp"] - r.mp[0], f["mm"] - r.mm[0]
    assert np.array_equal(f["abs_value"], r.abs_value[i, j])
    assert np.allclose(f["value"], f["abs_value"] / r.abs_value.sum(), rtol=1e-12, atol=0)
    assert list(zip(f["mp"], f["mm"])) == sorted(zip(f["mp"], f["mm"]))
    assert not f.flags.writeable


def test_debye_hueckel_evaluates_every_complex_and_pb_a_band():
    dh = marlinq.run(method="dh").free_energies
    assert sorted(zip(dh["mp"], dh["mm"])) == [(a, b) for a in range(1, 11) for b in range(1, 11)]
    pb = marlinq.run(method="pb").free_energies
    assert 0 < len(pb) < len(dh)
    assert set(zip(pb["mp"], pb["mm"])) <= set(zip(dh["mp"], dh["mm"]))
    assert (4, 4) in set(zip(pb["mp"], pb["mm"]))


def test_shifted_weights_landscape_equals_batch(batch, tmp_path):
    p = marlinq.Parameters(vc01=0.5, vc10=0.5, zp=40, zn=40, plen=80, mlen=80, mp_max=30, mm_max=30)
    p.save(str(tmp_path / "big.in"))
    code, out, err = batch("-o", tmp_path / "d.txt", "--free-energies", "-", "--summary", tmp_path / "s.json",
                           tmp_path / "big.in")
    assert code == 0, err
    head, rows = parse_landscape(out)
    r = marlinq.run(p)
    assert float(head["max_shift"]) > 0
    assert [[float(x) for x in fields[2:6]] for fields in rows] == \
        [[row["F"], row["E"], row["abs_value"], row["value"]] for row in r.free_energies]
    expected = json.loads((tmp_path / "s.json").read_text())
    for key in NUMBERS:
        assert same_number(r.summary()[key], expected[key]), key
    # The bound fractions come from the concentrations without their common shift.
    assert 0 < r.bound_fraction_plus <= 1


def test_keep_energies_false():
    r = marlinq.run(keep_energies=False)
    assert r.free_energies is None
    assert r.free_energies_csv().splitlines()[1:] == ["mp,mm,F,E,absValue,Value,beyond_dh"]
    whole, lean = marlinq.run().summary(), r.summary()
    assert set(lean) == set(whole) and all(lean[k] == whole[k] or same_number(lean[k], None) for k in whole)


def test_summary_takes_segment_sizes_the_batch_command_takes():
    r = marlinq.run(method="dh")
    for unit in (1e300, 1e-300, 0.0, -1.0, float("nan")):
        with pytest.raises(ValueError, match="from 0.01 to 100"):
            r.summary(unit_nm=unit)
    assert r.summary(unit_nm=100.0)["unit_nm"] == 100.0


def test_debye_hueckel_beyond_its_validity_is_counted_and_marked(batch, tmp_path):
    # (2, 1) with q = 200 on 20 segments at ka 0.2: Q = 200, R = (3 * 60 / 4 pi)^(1/3) = 2.4286,
    # kR = 0.48572; the linear surface potential of a uniformly charged sphere with salt inside
    # and outside, 3 Q (kR cosh kR - sinh kR) e^-kR / (R kR^3) = 52.0, far beyond 10.
    p = marlinq.Parameters(zp=200, zn=200, plen=20, mlen=20, ka=0.2, mp_max=2, mm_max=2)
    r = marlinq.run(p, method="dh")
    f = r.free_energies
    flagged = {(int(a), int(b)) for a, b, x in zip(f["mp"], f["mm"], f["beyond_dh"]) if x}
    assert (2, 1) in flagged and (1, 2) in flagged and (1, 1) not in flagged
    assert r.beyond_debye_hueckel_cells == len(flagged)
    warning = f"{len(flagged)} complexes lie beyond the validity of Debye-Hueckel"
    assert any(line.startswith(warning) for line in r.log)
    p.save(str(tmp_path / "strong.in"))
    code, out, err = batch("--method", "dh", "-o", tmp_path / "d.txt", "--summary", "-", "--free-energies",
                           tmp_path / "fe.csv", tmp_path / "strong.in")
    assert code == 0, err
    assert any(w.startswith(warning) for w in json.loads(out)["warnings"])
    assert warning in err
    assert (tmp_path / "fe.csv").read_text() == r.free_energies_csv()
    # Poisson-Boltzmann solves the same complexes without linearising: no mark there. In the
    # start-up run only the corners (10, 1) and (1, 10) pass the bound (|u(R)| = 10.19 by the
    # same formula; (9, 1) has 9.62).
    assert marlinq.run(p, method="pb").beyond_debye_hueckel_cells == 0
    f = marlinq.run(method="dh").free_energies
    assert {(int(a), int(b)) for a, b, x in zip(f["mp"], f["mm"], f["beyond_dh"]) if x} == {(10, 1), (1, 10)}
