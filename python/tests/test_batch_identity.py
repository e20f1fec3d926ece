"""The module computes what marlinq-batch computes, to the last digit the batch command
writes.

The batch command writes every value with 15 significant digits (the general format, capital
E). Each value of the module is formatted independently here with Python's "%.15G", which
follows the same rules, and the texts must be equal: a difference anywhere in the first 15
digits of any cell fails. The module's own export text must also equal the batch output
byte for byte.
"""

import numpy as np
import pytest

import marlinq

ASYMMETRIC = [("vc01", "0.002"), ("vc10", "0.0005"), ("zp", "24"), ("zn", "12"), ("kiplus", "0.4"),
              ("kiminus", "0.2"), ("ka", "0.7"), ("Np", "5"), ("Nm", "120"), ("mpMin", "1"), ("mpMax", "12"),
              ("mmMin", "2"), ("mmMax", "18")]


def g15(x):
    return "%.15G" % x


def batch_table(text):
    """Lines of tab-terminated fields -> list of lists of field texts (last empty field dropped)."""
    rows = []
    for line in text.splitlines():
        fields = line.split("\t")
        assert fields[-1] == "", "every line ends with a tab"
        rows.append(fields[:-1])
    return rows


def expected_table(result):
    """The export table rebuilt in Python from the module's abs_value and the export rules."""
    p = result.parameters
    table = [["0"] * (p.mmMax + 1) for _ in range(p.mpMax + 1)]
    if p.mpMax >= 1:
        table[1][0] = g15(p.vc10)
    if p.mmMax >= 1:
        table[0][1] = g15(p.vc01)
    for i, mp in enumerate(result.mp):
        for j, mm in enumerate(result.mm):
            table[mp][mm] = g15(result.abs_value[i, j])
    return table


def assert_same_as_batch(result, out):
    fields = batch_table(out)
    assert fields == expected_table(result)
    # Each batch field read back as a double is the module's value rounded to 15 digits.
    for i, mp in enumerate(result.mp):
        for j, mm in enumerate(result.mm):
            assert float(fields[mp][mm]) == float(g15(result.abs_value[i, j]))
    assert result.distribution_text() == out


@pytest.mark.parametrize("method", ["dh", "pb"])
def test_startup_distribution_equals_batch(batch, method):
    code, out, err = batch("--method", method)
    assert code == 0, err
    result = marlinq.run(method=method)
    assert not result.partial
    assert_same_as_batch(result, out)
    # The example of the README: (4, 4) holds about 26 % of the distribution.
    assert result.most_probable == (4, 4)


@pytest.mark.parametrize("method,chains", [("dh", "table"), ("pb", "table"), ("dh", "solve"), ("pb", "solve")])
def test_loaded_asymmetric_set_equals_batch(batch, param_file, method, chains):
    path = param_file(ASYMMETRIC)
    code, out, err = batch("--method", method, "--chains", chains, path)
    assert code == 0, err
    result = marlinq.run(marlinq.Parameters.load(str(path)), method=method, chains=chains)
    assert result.abs_value.shape == (12, 17)
    assert_same_as_batch(result, out)


def test_keywords_equal_the_saved_file_in_batch(batch, tmp_path):
    # A set built from keywords, saved, and computed by the batch command from that file.
    p = marlinq.Parameters(ka=1 / 3, vc10=2e-3, zp=20, kiplus=0.4, mm_max=14)
    path = tmp_path / "kw.in"
    p.save(str(path))
    code, out, err = batch("--method", "pb", path)
    assert code == 0, err
    assert_same_as_batch(marlinq.run(p, method="pb"), out)


@pytest.mark.parametrize("method", ["dh", "pb"])
def test_profile_equals_batch(batch, method):
    code, out, err = batch("--method", method, "--profile", 3, 5)
    assert code == 0, err
    prof = marlinq.profile(marlinq.Parameters(), 3, 5, method=method)
    assert prof.to_csv() == out
    lines = out.splitlines()
    columns = ["r", "u"] + (["u_dh"] if method == "dh" else []) + ["density_plus", "density_minus",
                                                                  "charge_density"]
    assert len(lines) == 1 + 401
    for k, line in enumerate(lines[1:]):
        fields = line.split(",")
        assert fields == [g15(getattr(prof, c)[k]) for c in columns]
    assert (prof.u_dh is None) == (method == "pb")
    assert prof.r[0] == 0 and prof.r[-1] == pytest.approx(8.0)
    assert prof.Z == -36  # 3 * 18 - 5 * 18
    assert prof.kRc == pytest.approx(0.2 * prof.Rc, rel=1e-15)
