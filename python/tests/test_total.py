"""Total mode: the free chains from the totals of '+' and '-' chains (the mass balance)."""

import numpy as np
import pytest

import marlinq


def test_totals_of_a_free_run_give_its_free_chains_and_distribution_back():
    p = marlinq.Parameters(vc10=1e-6, vc01=3e-6)
    free = marlinq.run(p, method="pb")
    assert free.concentrations == "free"
    assert free.free_plus == 1e-6 and free.mass_balance_residual == 0.0
    total = marlinq.run(p, method="pb", total=(free.total_plus, free.total_minus))
    assert total.concentrations == "total"
    assert total.free_plus == pytest.approx(1e-6, rel=1e-10)
    assert total.free_minus == pytest.approx(3e-6, rel=1e-10)
    assert total.mass_balance_residual <= 1e-12
    assert np.allclose(total.abs_value, free.abs_value, rtol=1e-10, atol=0)
    assert any(line.startswith("Mass balance: free c+ = 1e-06, c- = 3e-06 (") for line in total.log)
    # Chains are conserved: all '+' chains, free and bound, are the given total.
    mp = np.asarray(total.mp)[:, None]
    assert (mp * total.abs_value).sum() == pytest.approx(free.total_plus, rel=1e-12)


def test_total_and_charge_fraction_and_refusals():
    r = marlinq.run(method="pb", total=2e-3, charge_fraction=0.5)
    assert r.total_plus == r.total_minus == 1e-3 and r.charge_fraction == 0.5
    # The start-up polymers at a total of 2e-3 at stoichiometry: almost only (1, 1) pairs,
    # bound fraction 0.988, critical concentration near 6e-7.
    assert r.most_probable == (1, 1)
    assert r.bound_fraction_plus == pytest.approx(0.988, abs=1e-3)
    assert 5e-7 < r.critical_concentration < 7e-7
    assert r.mass_balance_residual <= 1e-12
    for kwargs in ({"total": (0.0, 1e-3)}, {"total": (-1e-3, 1e-3)}, {"total": (float("nan"), 1e-3)},
                   {"total": (1e-3, 2.0)}, {"total": 1e-3}, {"total": 1e-3, "charge_fraction": 1.0},
                   {"charge_fraction": 0.5}):
        with pytest.raises(ValueError):
            marlinq.run(**kwargs)
    with pytest.raises(ValueError, match="mpMin and mmMin"):
        marlinq.run(marlinq.Parameters(mm_min=1), total=(1e-3, 1e-3))


def test_totals_as_parameters_through_a_file(tmp_path):
    p = marlinq.Parameters(total_plus=2e-3)
    assert p.total_mode and p.total_minus == p.vc01 == 1e-3
    assert marlinq.Parameters().to_text().count("\n") == 13 and not marlinq.Parameters().total_mode
    text = p.to_text()
    assert text.endswith("total_plus 0.002\ntotal_minus 0.001\nmmMax 10\n")
    p.save(str(tmp_path / "t.in"))
    back = marlinq.Parameters.load(str(tmp_path / "t.in"))
    assert back == p and back.total_mode
    # The set's own totals run in total mode.
    r = marlinq.run(back, method="dh_linear", chains="solve")
    assert r.concentrations == "total" and r.total_plus == 2e-3
    with pytest.raises(ValueError, match="C\\+"):
        marlinq.Parameters(total_plus=0.0).validate()


def test_critical_salt_crossed_and_not():
    p = marlinq.Parameters()
    r = marlinq.critical_salt(p, total=(2e-3, 2e-3), method="dh_linear", chains="solve", unit_nm=0.714)
    assert r["crossed"] and 0.2 < r["critical_ka"] < 10 and not r["jump"]
    assert r["critical_salt_mM"] > 0
    below = marlinq.critical_salt(p, total=(1e-12, 1e-12), method="dh_linear", chains="solve")
    assert below["critical_ka"] is None and below["side"] == "below" and "below ka 0.2" in below["note"]
    with pytest.raises(ValueError, match="totals"):
        marlinq.critical_salt(p)


def test_critical_salt_is_the_batch_commands_json(batch):
    # One engine function makes both: the dict holds every member of the JSON, equal to the
    # last bit (the JSON's shortest numbers read back exactly), and the note besides.
    import json
    r = marlinq.critical_salt(marlinq.Parameters(), total=(2e-3, 2e-3), method="dh_linear", chains="solve",
                              unit_nm=0.714)
    rc, out, err = batch("--method", "dh-linear", "--chains", "solve", "--unit-nm", "0.714", "--total",
                         "2e-3,2e-3", "--critical-salt")
    assert rc == 0, err
    written = json.loads(out)
    assert list(written) == [k for k in r if k != "note"]
    assert written == {k: v for k, v in r.items() if k != "note"}


def test_ctrl_c_stops_the_critical_salt_within_a_run():
    # Every trial ka is a whole Debye-Hueckel run over four million complexes (minutes each):
    # Ctrl-C must arrive at once and leave the module usable.
    import os
    import signal
    import threading
    import time

    big = marlinq.Parameters(mp_max=1999, mm_max=1999)
    timer = threading.Timer(1.0, lambda: os.kill(os.getpid(), signal.SIGINT))
    start = time.monotonic()
    timer.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            marlinq.critical_salt(big, total=(1e-3, 1e-3))
    finally:
        timer.cancel()
    assert time.monotonic() - start < 30
    assert marlinq.critical_salt(marlinq.Parameters(), total=(1e-12, 1e-12), method="dh_linear")["side"] == "below"


def test_totals_must_be_numbers():
    # A mapping, a truth value, a text or a list with a text are no totals: TypeError, before any run.
    for total in ({1e-3: 1, 2e-3: 2}, True, [1e-3, "1e-3"], "1e-3", b"1e-3", None.__class__, [True, 1e-3], {1e-3}):
        with pytest.raises(TypeError, match="total takes"):
            marlinq.run(total=total, charge_fraction=0.5)
    with pytest.raises(TypeError, match="charge_fraction takes numbers"):
        marlinq.run(total=2e-3, charge_fraction="0.5")
    with pytest.raises(ValueError, match="not 3 values"):
        marlinq.run(total=(1e-3, 1e-3, 1e-3))
    # NumPy numbers and arrays are numbers.
    r = marlinq.run(method="dh-linear", total=np.array([1e-3, 1e-3]))
    assert r.total_plus == r.total_minus == 1e-3
    r = marlinq.run(method="dh-linear", total=np.float64(2e-3), charge_fraction=np.float32(0.5))
    assert r.total_plus == r.total_minus == 1e-3


def test_what_the_totals_leave_open_and_what_free_chains_imply_are_in_the_warnings():
    # Chains bound whole into (1, 1) pairs at equal totals (0.1 mM of each kind at a = 0.714 nm):
    # only c+ c- is fixed, and the distribution meets the totals to 1e-12.
    p = marlinq.Parameters(zp=100, zn=100, kiplus=2.857, kiminus=2.857, ka=0.2347, Np=100, Nm=100)
    total = 0.1 / 1000 * 0.714 ** 3 * 1e-24 * 6.02214076e23
    r = marlinq.run(p, total=(total, total))
    said = [w for w in r.warnings if w.startswith("Mass balance: the totals do not determine the free chains c+ and c-")]
    assert len(said) == 1, r.warnings
    assert "Determined are c+ c- = 6.7265e-320 and the distribution of the complexes" in said[0]
    assert r.mass_balance_residual <= 1e-12
    mp = np.asarray(r.mp)[:, None]
    assert (mp * r.abs_value).sum() == pytest.approx(total, rel=1e-12)
    # The start-up free chains imply far more than a solution holds.
    assert ("the free concentrations imply 492 chains per a³ of each kind in complexes: no solution holds that; "
            "use total mode") in marlinq.run(method="pb").warnings
    assert not any("imply" in w for w in marlinq.run(marlinq.Parameters(vc10=1e-6, vc01=1e-6), method="pb").warnings)
