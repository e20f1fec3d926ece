"""The module computes what marlinq-batch computes, to the last digit the batch command
writes.

The batch command writes every value with 15 significant digits (the general format, capital
E). Each value of the module is formatted independently here with Python's "%.15G", which
follows the same rules, and the texts must be equal: a difference anywhere in the first 15
digits of any cell fails. The module's own export text must also equal the batch output
byte for byte.
"""

from pathlib import Path

import math
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
    # The long export carries every double exactly: it reads back as the module's arrays.
    lines = result.distribution_text(long=True).splitlines()
    assert lines[0] == "M+\tM-\tabsValue\tValue"
    cells = [line.split("\t") for line in lines[1:]]
    assert [(int(a), int(b)) for a, b, _, _ in cells] == [(mp, mm) for mp in result.mp for mm in result.mm]
    assert np.array_equal(np.array([float(c[2]) for c in cells]), result.abs_value.ravel())


@pytest.mark.parametrize("method", ["dh", "pb"])
def test_startup_distribution_equals_batch(batch, method):
    code, out, err = batch("--method", method)
    assert code == 0, err
    result = marlinq.run(method=method)
    assert not result.partial
    assert_same_as_batch(result, out)
    # The example of the README: (4, 4) holds about 26 % of the distribution.
    assert result.most_probable == (4, 4)


def test_linear_debye_hueckel_equals_batch(batch):
    code, out, err = batch("--method", "dh-linear")
    assert code == 0, err
    result = marlinq.run(method="dh_linear")
    assert_same_as_batch(result, out)
    assert "dh_linear" in marlinq.METHODS
    # (1, 3): the closed form, 101.11 kT, not the 566.8 kT of the default "dh".
    fe = result.free_energies
    row = fe[(fe["mp"] == 1) & (fe["mm"] == 3)]
    assert row["F"][0] == pytest.approx(101.11, abs=0.01)
    dh = marlinq.run(method="dh").free_energies
    assert dh[(dh["mp"] == 1) & (dh["mm"] == 3)]["F"][0] == pytest.approx(566.8, abs=0.1)
    with pytest.raises(ValueError, match="dh_linear"):
        marlinq.run(method="linear")


@pytest.mark.parametrize("method,chains,accuracy", [
    ("dh", "table", "standard"), ("pb", "table", "standard"), ("dh", "solve", "standard"),
    ("pb", "solve", "standard"), ("dh", "table", "converged"), ("pb", "solve", "converged")])
def test_loaded_asymmetric_set_equals_batch(batch, param_file, method, chains, accuracy):
    path = param_file(ASYMMETRIC)
    code, out, err = batch("--method", method, "--chains", chains, "--accuracy", accuracy, path)
    assert code == 0, err
    result = marlinq.run(marlinq.Parameters.load(str(path)), method=method, chains=chains, accuracy=accuracy)
    assert result.abs_value.shape == (12, 17)
    assert_same_as_batch(result, out)
    assert result.converged == (accuracy == "converged")
    if result.converged:
        # The batch command states the accuracy of a converged run on standard error.
        assert "largest estimated remaining error %.6g kT" % result.error_estimate in err
        assert "largest difference from the standard free energies %.6g kT" % result.standard_difference in err
    else:
        assert np.isnan(result.error_estimate)


@pytest.mark.parametrize("method", ["dh", "pb"])
def test_converged_startup_distribution_equals_batch(batch, method, tmp_path):
    code, out, err = batch("--method", method, "--accuracy", "converged")
    assert code == 0, err
    # Converged runs need no table: an empty data folder does not matter.
    result = marlinq.run(method=method, accuracy="converged", data_dir=tmp_path)
    assert_same_as_batch(result, out)
    assert result.distribution_text() != marlinq.run(method=method).distribution_text()


def test_keywords_equal_the_saved_file_in_batch(batch, tmp_path):
    # A set built from keywords, saved, and computed by the batch command from that file.
    p = marlinq.Parameters(ka=1 / 3, vc10=2e-3, zp=20, kiplus=0.4, zn=16, mm_max=14)
    path = tmp_path / "kw.in"
    p.save(str(path))
    code, out, err = batch("--method", "pb", path)
    assert code == 0, err
    assert_same_as_batch(marlinq.run(p, method="pb"), out)


@pytest.mark.parametrize("method,accuracy", [("dh", "standard"), ("pb", "standard"), ("pb", "converged")])
def test_profile_equals_batch(batch, method, accuracy):
    code, out, err = batch("--method", method, "--accuracy", accuracy, "--profile", 3, 5)
    assert code == 0, err
    prof = marlinq.profile(marlinq.Parameters(), 3, 5, method=method, accuracy=accuracy)
    assert prof.to_csv() == out
    lines = out.splitlines()
    columns = ["r", "u"] + (["u_dh"] if method == "dh" else []) + ["cation_density", "anion_density",
                                                                  "charge_density"]
    assert len(lines) == 1 + 401
    for k, line in enumerate(lines[1:]):
        fields = line.split(",")
        assert fields == [g15(getattr(prof, c)[k]) for c in columns]
    assert (prof.u_dh is None) == (method == "pb")
    assert prof.r[0] == 0 and prof.r[-1] == pytest.approx(8.0)
    assert prof.Z == -36  # 3 * 18 - 5 * 18
    assert prof.kRc == pytest.approx(0.2 * prof.Rc, rel=1e-15)


def reference_cases():
    listing = REFERENCE / "cases.txt"
    if not listing.is_file():
        return []
    cases = []
    for line in listing.read_text().splitlines():
        if line.strip() and not line.startswith("#"):
            output, *args = line.split()
            cases.append(pytest.param(output, args, id=output))
    return cases


REFERENCE = Path(__file__).resolve().parents[2] / "tests" / "data" / "reference"


@pytest.mark.parametrize("output,args", reference_cases())
def test_pinned_reference_outputs(output, args):
    # The batch command's pinned outputs, reproduced through the module's own calls.
    method, chains, profile_at, path = "dh", "table", None, None
    k = 0
    while k < len(args):
        if args[k] == "--method":
            method, k = args[k + 1], k + 2
        elif args[k] == "--chains":
            chains, k = args[k + 1], k + 2
        elif args[k] == "--profile":
            profile_at, k = (int(args[k + 1]), int(args[k + 2])), k + 3
        else:
            path, k = REFERENCE / args[k], k + 1
    p = marlinq.Parameters.load(str(path)) if path else marlinq.Parameters()
    expected = (REFERENCE / output).read_text()
    if profile_at:
        assert marlinq.profile(p, *profile_at, method=method).to_csv() == expected
    else:
        result = marlinq.run(p, method=method, chains=chains, data_dir=REPO_DATA)
        assert result.distribution_text() == expected
        assert batch_table(expected) == expected_table(result)


REPO_DATA = Path(__file__).resolve().parents[2] / "data"


@pytest.mark.parametrize("method", ["dh", "pb"])
def test_shifted_weights_equal_batch(batch, tmp_path, method):
    # Weights far beyond a double: every cell carries a common factor, the free chains too.
    p = marlinq.Parameters(vc01=0.5, vc10=0.5, zp=40, zn=40, plen=80, mlen=80, mp_max=30, mm_max=30)
    p.save(str(tmp_path / "big.in"))
    code, out, err = batch("--method", method, tmp_path / "big.in")
    assert code == 0, err
    result = marlinq.run(p, method=method)
    assert_same_as_batch(result, out)
    assert result.weight_shift > 0 and result.weight_scale == 2.71828183 ** -result.weight_shift


def test_profile_names_the_ions_by_their_charge():
    # (6, 5) of the start-up chains carries +18: u > 0 near the core, which gathers the
    # anions (Boltzmann factor exp(+u)) and drives the cations (exp(-u)) out.
    prof = marlinq.profile(marlinq.Parameters(), 6, 5, method="pb")
    k2 = prof.kRc ** 2
    assert prof.u[0] > 1
    assert prof.cation_density[0] == pytest.approx(k2 * math.exp(-prof.u[0]), rel=1e-7)
    assert prof.anion_density[0] == pytest.approx(k2 * math.exp(prof.u[0]), rel=1e-7)
    assert prof.cation_density[0] < k2 < prof.anion_density[0]
    assert prof.to_csv().splitlines()[0] == "r/Rc,u,cation_density,anion_density,charge_density"
    # The former names keep their former values and say what they hold.
    with pytest.warns(DeprecationWarning, match="anion_density"):
        assert (prof.density_plus == prof.anion_density).all()
    with pytest.warns(DeprecationWarning, match="cation_density"):
        assert (prof.density_minus == prof.cation_density).all()
