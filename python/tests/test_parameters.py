"""Parameter sets: start-up values, keywords and aliases, the file format both ways."""

import copy
import errno
import os
import pickle

import numpy as np
import pytest

import marlinq

STARTUP_FILE = ("vc01 0.001\nvc10 0.001\nzp 18\nzn 18\nkiplus 0.25\nkiminus 0.25\nka 0.2\nNp 1\nNm 200\n"
                "mpMin 0\nmpMax 10\nmmMin 0\nmmMax 10\n")


def test_startup_values_and_their_file():
    p = marlinq.Parameters()
    assert (p.vc01, p.vc10, p.zp, p.zn, p.ka) == (1e-3, 1e-3, 18, 18, 0.2)
    assert (p.kiplus, p.kiminus, p.plen, p.mlen) == (0.25, 0.25, 72, 72)
    assert (p.Np, p.Nm, p.mpMin, p.mpMax, p.mmMin, p.mmMax) == (1, 200, 0, 10, 0, 10)
    assert p.to_text() == STARTUP_FILE
    assert repr(p) == ("Parameters(vc01=0.001, vc10=0.001, zp=18, zn=18, ka=0.2, Np=1, Nm=200, mpMin=0, mpMax=10, "
                       "mmMin=0, mmMax=10, plen=72, mlen=72)")
    assert eval(repr(p), {"Parameters": marlinq.Parameters}) == p


def test_aliases_name_the_same_values():
    p = marlinq.Parameters(mp_min=1, mp_max=20, mm_min=2, mm_max=30, n_plus=4, n_minus=50, c_plus=2e-3,
                           c_minus=3e-3, q_plus=20, q_minus=16)
    assert (p.mpMin, p.mpMax, p.mmMin, p.mmMax, p.Np, p.Nm) == (1, 20, 2, 30, 4, 50)
    assert (p.vc10, p.vc01, p.zp, p.zn) == (2e-3, 3e-3, 20, 16)
    p.xi_minus = 0.5
    assert p.kiminus == 0.5 and p.mlen == 32
    with pytest.raises(TypeError, match="mpMin and mp_min"):
        marlinq.Parameters(mpMin=1, mp_min=2)


def test_densities_and_lengths_as_a_parameter_file_relates_them():
    # Setting a density gives the length as a parameter file does, whatever the keyword order:
    # 66.67 truncated; 71.99999999999995 (40 / 0.555555555555556) is 72 segments, not 71.
    for kw in ({"zp": 20, "kiplus": 0.3}, {"kiplus": 0.3, "zp": 20}):
        p = marlinq.Parameters(**kw)
        assert p.plen == 66 and p.kiplus == 20 / 66
    forty = marlinq.Parameters(zp=40, kiplus=0.555555555555556)
    assert forty.plen == 72
    q = marlinq.Parameters(zp=40)
    q.xi_plus = 0.555555555555556
    assert q.plen == 72 and q == forty
    with pytest.raises(TypeError, match="either kiplus or plen"):
        marlinq.Parameters(kiplus=0.3, plen=60)
    with pytest.raises(ValueError, match="kiplus"):
        marlinq.Parameters(kiplus=0.0)


def test_a_charge_keeps_the_density_unless_the_length_is_given():
    p = marlinq.Parameters()  # 18 charges on 72 segments
    longer = p.replace(zp=24)  # same density, longer chain
    assert (longer.plen, longer.kiplus) == (96, 0.25)
    same_chain = p.replace(zp=24, plen=72)  # same chain, more charge
    assert (same_chain.plen, same_chain.kiplus) == (72, 24 / 72)
    p.zp = 36
    assert (p.plen, p.kiplus) == (144, 0.25)
    # A length or a density keeps the charge.
    assert (p.replace(plen=72).zp, p.replace(plen=72).kiplus) == (36, 0.5)
    assert (p.replace(kiplus=0.5).zp, p.replace(kiplus=0.5).plen) == (36, 72)


def test_reals_keep_fifteen_digits_so_a_saved_set_reads_back_equal(tmp_path):
    p = marlinq.Parameters(ka=1 / 3, vc10=2 / 3 * 1e-5)
    assert p.ka == 0.333333333333333
    assert "ka 0.333333333333333\n" in p.to_text() and "vc10 6.66666666666667E-06\n" in p.to_text()
    path = tmp_path / "p.txt"
    p.save(str(path))
    assert marlinq.Parameters.load(str(path)) == p
    assert path.read_text() == p.to_text()


def test_saving_a_length_the_file_cannot_keep_warns(tmp_path, batch):
    # The file keeps kiplus = 18 / 72.5; a reader recovers whole segments from it.
    p = marlinq.Parameters(plen=72.5)
    path = tmp_path / "p.in"
    with pytest.warns(UserWarning, match=r"plen = 72, mlen = 72 \(not 72\.5, 72\)"):
        p.save(str(path))
    loaded = marlinq.Parameters.load(str(path))
    assert (loaded.plen, loaded.mlen) == (72, 72)
    code, out, err = batch(path)
    assert code == 0, err
    assert marlinq.run(loaded).distribution_text() == out
    assert marlinq.run(p).distribution_text() != out


def test_load_applies_the_file_over_the_startup_values(param_file):
    loaded = marlinq.Parameters.load(str(param_file([("mmMax", "12"), ("ka", "2e-1"), ("Np", "3.7")])))
    assert loaded == marlinq.Parameters(mm_max=12, Np=3)
    crlf = param_file([("ka", "0.5\r"), ("kiplus", "0.3\r")], name="crlf.in")
    assert marlinq.Parameters.load(str(crlf)) == marlinq.Parameters(ka=0.5, kiplus=0.3)


def test_load_errors_carry_the_program_messages(tmp_path, param_file):
    with pytest.raises(FileNotFoundError, match="can not open file") as e:
        marlinq.Parameters.load(str(tmp_path / "missing.in"))
    assert e.value.filename == str(tmp_path / "missing.in")
    wrong = param_file([("ka", "0.5"), ("foo", "1")])
    with pytest.raises(ValueError, match=r"^Some input parameters are wrong, please check it\.$"):
        marlinq.Parameters.load(str(wrong))
    with pytest.raises(OSError):
        marlinq.Parameters().save(str(tmp_path / "no-such-folder" / "p.in"))
    # Each file problem as the OSError subclass of its errno, with the reason.
    with pytest.raises(IsADirectoryError, match="can not open file: is a folder"):
        marlinq.Parameters.load(str(tmp_path))
    fifo = tmp_path / "fifo.in"
    os.mkfifo(fifo)
    with pytest.raises(OSError, match="can not open file: is a pipe") as e:
        marlinq.Parameters.load(str(fifo))
    assert not isinstance(e.value, FileNotFoundError) and e.value.errno == errno.EINVAL
    huge = tmp_path / "huge.in"
    with open(huge, "wb") as f:
        f.truncate(1 << 30)
    with pytest.raises(OSError, match="can not open file: larger than") as e:
        marlinq.Parameters.load(str(huge))
    assert e.value.errno == errno.EFBIG


def test_copies_are_independent():
    p = marlinq.Parameters()
    for q in (p.copy(), copy.copy(p), copy.deepcopy(p), pickle.loads(pickle.dumps(p)), p.replace()):
        assert q == p
        q.ka = 0.5
        assert p.ka == 0.2
    assert p.replace(ka=0.5).ka == 0.5 and p.ka == 0.2
    assert p.to_dict()["kiplus"] == 0.25 and p != p.replace(mlen=70)


def test_validate_reports_the_first_failing_check():
    marlinq.Parameters().validate()
    with pytest.raises(ValueError, match=r"^Stable solution is only for ka between 0\.2 and 10$"):
        marlinq.Parameters(ka=0.1).validate()
    with pytest.raises(ValueError, match="charge density of \\+ polymer"):
        marlinq.Parameters(zp=18, plen=200, ka=0.1).validate()
    with pytest.raises(TypeError, match="unexpected keyword argument 'kb'"):
        marlinq.Parameters(kb=1)


def test_wrong_types_are_type_errors_wrong_values_value_errors():
    for kw in ({"ka": "0.5"}, {"ka": True}, {"ka": None}, {"kiplus": "0.25"}, {"plen": b"72"}):
        with pytest.raises(TypeError, match="must be a number"):
            marlinq.Parameters(**kw)
    for kw in ({"mp_max": 2.5}, {"mp_max": True}, {"mpMax": "20"}, {"Np": 1.0}):
        with pytest.raises(TypeError, match="must be an integer"):
            marlinq.Parameters(**kw)
    p = marlinq.Parameters()
    with pytest.raises(TypeError, match="must be a number"):
        p.ka = "0.5"
    with pytest.raises(TypeError, match="must be an integer"):
        p.mp_max = False
    with pytest.raises(ValueError, match="32-bit"):
        marlinq.Parameters(mp_max=2**40)
    # Python and NumPy numbers alike.
    q = marlinq.Parameters(ka=np.float32(0.5), mp_max=np.int16(20), zp=18)
    assert (q.ka, q.mp_max, q.zp) == (0.5, 20, 18.0) and p.ka == 0.2


def test_every_parameter_by_keyword_alias_attribute_file_and_sweep(tmp_path):
    start = marlinq.Parameters()
    for key, alias, integer in marlinq._core._parameter_names():
        value = getattr(start, key) + 1 if integer else {"kiplus": 0.3, "kiminus": 0.3, "plen": 60, "mlen": 60,
                                                         "total_plus": 2e-3, "total_minus": 2e-3,
                                                         }.get(key, getattr(start, key) * 1.5)
        p = marlinq.Parameters(**{key: value})
        assert getattr(p, key) == pytest.approx(value, rel=1e-14), key
        assert isinstance(getattr(p, key), int) == integer, key
        assert marlinq.Parameters(**{alias: value}) == p, alias
        q = marlinq.Parameters()
        setattr(q, alias, value)
        assert q == p, alias
        path = tmp_path / (key + ".in")
        p.save(str(path))
        assert marlinq.Parameters.load(str(path)) == p, key
        point = marlinq.sweep(start, {alias: [value]}, keep_results=True)
        assert point["status"][0] == "ok", key
        assert point.results[0].parameters == p, key


def test_replace_and_sweep_agree_on_a_charge(batch):
    # The same rule in replace, in the engine's sweep and in the batch sweep: N+ becomes 96.
    p = marlinq.Parameters()
    swept = marlinq.sweep(p, {"zp": [24]}, keep_results=True)
    single = marlinq.run(p.replace(zp=24))
    assert swept.results[0].parameters == p.replace(zp=24)
    assert (swept["most_probable_mp"][0], swept["most_probable_mm"][0]) == single.most_probable
    code, out, err = batch("--sweep", "zp=24")
    assert code == 0, err
    assert out.splitlines()[2].split(",")[2:4] == [str(m) for m in single.most_probable]
    # Naming the length keeps the chain: a different complex.
    kept = marlinq.sweep(p, {"zp": [24], "plen": [72]}, keep_results=True)
    assert kept.results[0].parameters == p.replace(zp=24, plen=72)
    assert kept.results[0].most_probable == marlinq.run(p.replace(zp=24, plen=72)).most_probable


def test_messages_name_the_values_as_the_caller_did(tmp_path):
    # Keywords in Python's names, file keys, attributes: each message speaks the caller's names.
    with pytest.raises(ValueError, match=r"^mp_min should be less than mp_max$"):
        marlinq.Parameters(mp_min=5, mp_max=2).validate()
    with pytest.raises(ValueError, match=r"^mpMin should be less than mpMax$"):
        marlinq.Parameters(mpMin=5, mpMax=2).validate()
    with pytest.raises(ValueError, match=r"^mm_min should be less than mm_max$"):
        marlinq.run(marlinq.Parameters(mm_max=-3))
    with pytest.raises(TypeError, match=r"^mp_max must be an integer, not float$"):
        marlinq.Parameters(mp_max=2.5)
    p = marlinq.Parameters()
    p.mpMax = -1
    with pytest.raises(ValueError, match=r"^mp_min should be less than mpMax$"):
        p.validate()
    path = tmp_path / "set.in"
    path.write_text("mpMin 5\nmpMax 2\n")
    loaded = marlinq.Parameters.load(str(path))
    with pytest.raises(ValueError, match=r"^mpMin should be less than mpMax$"):
        loaded.validate()
    with pytest.raises(ValueError, match=r"^mp_min should be less than mpMax$"):
        loaded.replace(mp_min=4).validate()
