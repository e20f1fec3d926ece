"""Runs: the result's arrays and log, options, errors, progress, stopping, threads."""

import os
import signal
import sys
import threading
import time

import numpy as np
import pytest

import marlinq

WIDE = marlinq.Parameters(mp_max=30, mm_max=30)  # 31 Poisson-Boltzmann rows


def crowded(chains):
    return ("the free concentrations imply %d chains per a³ of each kind in complexes: no solution holds that; "
            "use total mode" % chains)


def test_result_arrays_axes_and_log_of_a_pb_run():
    p = marlinq.Parameters(mp_min=2, mp_max=9, mm_min=1, mm_max=12)
    r = marlinq.run(p, method="pb")
    assert r.abs_value.shape == r.value.shape == (8, 12)
    assert list(r.mp) == list(range(2, 10)) and list(r.mm) == list(range(1, 13))
    # No lone chain lies in these ranges: value is abs_value normalised.
    assert r.value.sum() == pytest.approx(1.0, rel=1e-12)
    assert np.allclose(r.value, r.abs_value / r.abs_value.sum(), rtol=1e-12, atol=0)
    i, j = np.unravel_index(np.argmax(r.value), r.value.shape)
    assert r.most_probable == (r.mp[i], r.mm[j])
    assert r.most_probable_share == pytest.approx(r.value[i, j], rel=1e-12)
    assert r.most_probable_share == r.share(*r.most_probable)
    with pytest.raises(IndexError):
        r.share(0, 0)
    assert r.log == (["Solving for linear chains 'minus' and 'plus' in parallel ...... ",
                      "Calculation of the energy of single chains with '+' and '-' charge is finished"]
                     + ["Row %d is passed..." % m for m in range(2, 10)]
                     + [crowded(485), "Finished calculation of the spheres free energy"])
    assert not r.partial and r.rows_done == 8 and r.method == "pb" and r.parameters == p
    assert not r.abs_value.flags.writeable
    # The start-up free chains of 1e-3 put far more chains into complexes than a solution holds.
    assert r.warnings == [crowded(485)]
    # M+ and M- up to 3 cut off the start-up mixture's peak at (4, 4): said in the log and
    # among the warnings, once.
    edge = marlinq.run(marlinq.Parameters(mp_max=3, mm_max=3))
    said = "the most probable complex (3, 3) lies on the edge of the M+ and M- ranges; enlarge them"
    assert edge.warnings == [crowded(153), said] and edge.log.count(said) == 1


def test_dh_log_and_free_chain_cells():
    r = marlinq.run(marlinq.Parameters(vc10=2e-3, vc01=5e-4))
    assert r.log[-5] == "Starting calculation of the potential by Debye Huckel approximation"
    assert r.log[-4] == crowded(492)
    assert r.log[-3].startswith("2 complexes lie beyond the validity of Debye-Hueckel")
    assert r.log[-2:] == ["Finished calculation of the potential by Debye Huckel approximation",
                          "Finished calculation of the spheres free energy"]
    # The lone chains carry their concentrations, in abs_value and (as the map shows) in value.
    assert r.abs_value[1, 0] == 2e-3 * r.weight_scale and r.abs_value[0, 1] == 5e-4 * r.weight_scale
    assert r.value[1, 0] == 2e-3 and r.value[0, 1] == 5e-4
    assert r.share(1, 0) == pytest.approx(r.abs_value[1, 0] / r.abs_value.sum(), rel=1e-12)
    assert r.most_probable_share == pytest.approx(r.abs_value.max() / r.abs_value.sum(), rel=1e-12)


def test_solved_chains_agree_closely_with_the_tables():
    table = marlinq.run(chains="table")
    solved = marlinq.run(chains="solve")
    assert solved.chain_free_energy_plus == pytest.approx(table.chain_free_energy_plus, rel=1e-2)
    assert solved.most_probable == table.most_probable


def test_option_errors():
    with pytest.raises(ValueError, match="method must be 'pb'"):
        marlinq.run(method="PB")
    with pytest.raises(ValueError, match="chains must be"):
        marlinq.run(chains="tables")
    with pytest.raises(ValueError, match=r"^accuracy must be 'standard' or 'converged', not 'exact'$"):
        marlinq.run(accuracy="exact")
    with pytest.raises(ValueError, match="accuracy must be"):
        marlinq.profile(marlinq.Parameters(), 3, 5, accuracy="Converged")
    with pytest.raises(TypeError):
        marlinq.run({"ka": 0.2})
    # profile() takes what marlinq-batch --profile MP MM takes: integers from 1 to 100000.
    for mp, mm in ((0, 0), (0, 3), (100001, 1), (3, -1)):
        with pytest.raises(ValueError, match="from 1 to 100000"):
            marlinq.profile(marlinq.Parameters(), mp, mm)
    for mp in (1.5, 2.0, "2", True, None):
        with pytest.raises(TypeError, match="mp must be an integer"):
            marlinq.profile(marlinq.Parameters(), mp, 2)
    assert marlinq.profile(marlinq.Parameters(), np.int64(3), 5).mp == 3


def test_invalid_input_raises_the_program_message():
    with pytest.raises(ValueError, match=r"^Stable solution is only for ka between 0\.2 and 10$"):
        marlinq.run(marlinq.Parameters(ka=0.1), method="pb")
    with pytest.raises(ValueError, match=r"^Stable solution is only for ka between 0\.2 and 10$"):
        marlinq.profile(marlinq.Parameters(ka=10.5), 3, 5)


def test_missing_tables_raise_file_not_found(tmp_path):
    with pytest.raises(FileNotFoundError, match="can not open Chains_values01.dat") as e:
        marlinq.run(data_dir=tmp_path)
    assert e.value.filename == str(tmp_path / "Chains_values01.dat")
    (tmp_path / "Chains_values01.dat").write_text(open(marlinq.data_file("Chains_values01.dat")).read())
    with pytest.raises(FileNotFoundError, match="can not open Chains_values.dat"):
        marlinq.run(data_dir=tmp_path)
    with pytest.raises(FileNotFoundError):
        marlinq.run(data_dir=tmp_path / "absent")
    # Solved chains need no table.
    assert marlinq.run(chains="solve", data_dir=tmp_path).most_probable == (4, 4)


def test_progress_rows_and_stop():
    seen = []
    r = marlinq.run(WIDE, method="pb", progress=lambda row, rows: seen.append((row, rows)))
    assert seen == [(k, 31) for k in range(1, 32)]
    seen.clear()
    marlinq.run(WIDE, progress=lambda row, rows: seen.append((row, rows)))
    assert seen == [(31, 31)]

    stopped = marlinq.run(WIDE, method="pb", progress=lambda row, rows: row < 5)
    assert stopped.partial and stopped.rows_done == 5
    assert stopped.log[-1] == "Cancelled!"
    # The rows computed before the stop are those of the whole run.
    assert np.allclose(stopped.abs_value[:5] / stopped.abs_value[:5].sum(),
                       r.abs_value[:5] / r.abs_value[:5].sum(), rtol=1e-12, atol=0)
    assert not stopped.abs_value[5:].any()


def test_an_exception_in_progress_stops_the_run_and_propagates():
    rows = []

    def progress(row, total):
        rows.append(row)
        if row == 3:
            raise RuntimeError("enough")

    with pytest.raises(RuntimeError, match="enough"):
        marlinq.run(WIDE, method="pb", progress=progress)
    assert rows == [1, 2, 3]


def test_ctrl_c_stops_between_rows_with_keyboard_interrupt():
    rows = []

    def progress(row, total):
        rows.append(row)
        if row == 2:
            signal.raise_signal(signal.SIGINT)  # what Ctrl-C in the terminal does

    with pytest.raises(KeyboardInterrupt):
        marlinq.run(WIDE, method="pb", progress=progress)
    assert rows == [1, 2]
    # The interpreter is usable afterwards and the next run is whole.
    assert not marlinq.run(WIDE, method="pb").partial


def test_two_threads_at_once_give_identical_results():
    expected = marlinq.run(WIDE, method="pb")  # as many OpenMP threads as the machine has
    results, errors = {}, []
    inside = threading.Barrier(2, timeout=60)

    def work(name):
        try:
            inside.wait()
            # Both runs pass this point only while the other holds no GIL: they overlap.
            # Each shares the machine: one OpenMP thread per run, the same numbers.
            results[name] = marlinq.run(WIDE, method="pb", progress=lambda row, rows: None, threads=1)
        except BaseException as e:  # noqa: BLE001 - reported below
            errors.append(e)

    threads = [threading.Thread(target=work, args=(n,)) for n in ("a", "b")]
    for t in threads:
        t.start()
    for t in threads:
        t.join(120)
    assert not errors
    for r in results.values():
        assert np.array_equal(r.abs_value, expected.abs_value)
        assert np.array_equal(r.value, expected.value)
        assert r.log == expected.log


def test_a_kernel_failure_raises_runtime_error_and_the_interpreter_goes_on():
    # No physical input makes a radial Newton Jacobian singular. The private hook lets every
    # pivot count as vanishing, so the kernel fails where it would for a singular Jacobian:
    # inside the stages' OpenMP threads, in the single chains, the profile and a sweep.
    p = marlinq.Parameters(mp_max=4, mm_max=4)
    numerical = r"numerical error \(close to 0!\)"
    marlinq._core._set_vanishing_pivot_bound(1e300)
    try:
        with pytest.raises(RuntimeError, match=r"^The calculation stopped on a " + numerical):
            marlinq.run(p, method="pb")
        with pytest.raises(RuntimeError, match=numerical):
            marlinq.run(p, chains="solve", threads=2)
        with pytest.raises(RuntimeError, match=r"^The profile of the complex \(3, 2\) could not be computed"):
            marlinq.profile(p, 3, 2)
        table = marlinq.sweep(p, {"ka": [0.3, 0.5, 0.7]}, method="pb", workers=2)
        assert [s for s in table["status"] if "close to 0!" in s] == list(table["status"])
    finally:
        marlinq._core._set_vanishing_pivot_bound(1e-300)
    assert marlinq.run(p, method="pb").most_probable == (4, 4)


def test_threads_must_not_be_negative():
    with pytest.raises(ValueError, match="threads"):
        marlinq.run(threads=-1)


def test_a_run_releases_the_gil():
    # With a very long switch interval a thread only gets the GIL when its holder lets it go
    # (blocking calls, or C++ code releasing it). The other thread can only run during the
    # calculation if the calculation released the GIL.
    other_ran, go = threading.Event(), threading.Event()
    seen_during_run = []

    def other():
        go.wait(60)
        other_ran.set()

    def progress(row, rows):
        if row == rows:
            seen_during_run.append(other_ran.is_set())

    interval = sys.getswitchinterval()
    t = threading.Thread(target=other)
    t.start()
    sys.setswitchinterval(100.0)
    try:
        go.set()
        marlinq.run(WIDE, method="pb", progress=progress)
    finally:
        sys.setswitchinterval(interval)
        t.join(60)
    assert seen_during_run == [True]


def test_ctrl_c_reaches_a_long_debye_hueckel_pass_at_once():
    # One Debye-Hueckel pass over four million complexes reports no rows until its end (some
    # 200 s); Ctrl-C must still arrive at once, and leave the module usable.
    big = marlinq.Parameters(mp_max=1999, mm_max=1999)
    timer = threading.Timer(1.0, lambda: os.kill(os.getpid(), signal.SIGINT))
    start = time.monotonic()
    timer.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            marlinq.run(big, keep_energies=False)
    finally:
        timer.cancel()
    assert time.monotonic() - start < 30
    assert not marlinq.run(WIDE).partial


def test_the_wide_table_obeys_the_batch_commands_size_rule(tmp_path):
    far = marlinq.run(marlinq.Parameters(mp_min=99990, mp_max=100000, mm_min=99990, mm_max=100000))
    # Some 19 GiB of zeros from M = 0: refused before a byte is formatted or written.
    with pytest.raises(ValueError, match=r"would be up to \d+ MiB .*long=True"):
        far.distribution_text()
    target = tmp_path / "far.txt"
    with pytest.raises(ValueError, match="long=True"):
        far.save_distribution(str(target))
    assert not target.exists() and not list(tmp_path.iterdir())
    # The long export holds only the 121 computed cells.
    far.save_distribution(str(target), long=True)
    assert len(target.read_text().splitlines()) == 122
    # A device or a FIFO is written through, not replaced.
    small = marlinq.run(marlinq.Parameters(mp_max=3, mm_max=3))
    small.save_distribution("/dev/null")
    fifo = tmp_path / "pipe"
    os.mkfifo(fifo)
    received = []
    reader = threading.Thread(target=lambda: received.append(fifo.read_text()))
    reader.start()
    small.save_distribution(str(fifo))
    reader.join(30)
    assert received == [small.distribution_text()]
    assert fifo.is_fifo()
