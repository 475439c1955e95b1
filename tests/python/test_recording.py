"""Python sessions keep their work in the results store as vexa-cli does, and refuse what the
command line refuses."""

import math
import warnings

import numpy as np
import pytest
import vexa


def test_a_session_with_a_unit_records_its_runs_and_calibration_commands(cli, own_folder):
    db = str(own_folder / "lab.db")
    with vexa.open(interface="usb", simulate=True, virtual_time=True, unit="LOT7-014", db=db) as s:
        with warnings.catch_warnings():
            warnings.simplefilter("error")  # an online store gives no warning
            s.log(["XGYRO_OUT"], 5)
            s.log_to_files(["XGYRO_OUT"], 4, directory=own_folder)
            s.command("auto_null")
            s.command("precision_auto_null")
    status, out, err = cli("--db", db, "runs", "--unit", "LOT7-014")
    assert status == 0, err
    lines = out.splitlines()
    assert len(lines) == 2
    assert all("\tLOT7-014\t" in line and "\tcompleted\t" in line for line in lines)
    assert lines[0].split("\t")[5] == "5 samples" and lines[1].split("\t")[5] == "4 samples"
    assert lines[1].endswith(":" + str(own_folder / "DATALOG_1.csv"))  # HOST:absolute path
    kinds = [c["kind"] for c in vexa.calibrations(unit="LOT7-014", db=db)]
    assert kinds == ["auto null", "precision auto null"]
    labels = [r[0] for r in vexa.calibrations(db=db)[0]["registers"]]
    assert "XGYRO_OFF" in labels
    status, out, _ = cli("--db", db, "calibrations", "--unit", "LOT7-014")
    assert status == 0 and len(out.splitlines()) == 2


def test_a_session_without_unit_or_db_records_nothing(own_folder, monkeypatch):
    monkeypatch.setenv("XDG_DATA_HOME", str(own_folder))
    with vexa.open(interface="usb", simulate=True, virtual_time=True) as s:
        s.log(["XGYRO_OUT"], 2)
    assert not (own_folder / "vexa-eval").exists()


def test_noise_figures_are_kept_under_a_unit_named(cli, own_folder):
    db = str(own_folder / "lab.db")
    x = np.random.default_rng(7).normal(0.0, 0.1, 20000)
    vexa.noise(x, 100.0, kind="gyro", units="deg/sec", title="X Gryo", unit="LOT7-015", db=db)
    status, out, err = cli("--db", db, "figures", "--figure", "X Gyro/N")
    assert status == 0, err
    assert out.startswith("LOT7-015\t")


def test_a_store_that_cannot_be_reached_warns_with_its_cause(own_folder, monkeypatch):
    monkeypatch.setenv("XDG_DATA_HOME", str(own_folder))
    db = "postgresql://bench@127.0.0.1:1/results"  # nothing listens on port 1
    with vexa.open(interface="usb", simulate=True, virtual_time=True, db=db) as s:
        with pytest.warns(vexa.StoreWarning, match="1 record waiting.*127.0.0.1"):
            s.log(["XGYRO_OUT"], 2)


@pytest.mark.parametrize("call, error, message", [
    (lambda: vexa.open(simulate=True, unit="LOT7\n FAKE\t27150"), ValueError, "unit: .*control"),
    (lambda: vexa.open(simulate=True, db="mysql://x@y/z"), ValueError, "db: malformed"),
    (lambda: vexa.stats([]), ValueError, "at least one sample"),
    (lambda: vexa.adev([math.nan] * 1000, 100.0), ValueError, "sample 0 is NaN"),
    (lambda: vexa.stats([1.0, math.inf]), ValueError, "sample 1 is infinite"),
])
def test_calls_that_have_no_answer_are_refused(call, error, message):
    with pytest.raises(error, match=message):
        call()


def test_register_values_beyond_16_bits_raise_overflow_error():
    with vexa.open(interface="usb", simulate=True, virtual_time=True) as s:
        for value in [2**80, 0x10000, -1]:
            with pytest.raises(OverflowError, match="does not fit 16 bits"):
                s.write("SMPL_PRD", value)


def test_a_log_that_cannot_fit_in_memory_is_refused_before_its_first_sample():
    with vexa.open(interface="usb", simulate=True, virtual_time=True) as s:
        with pytest.raises(MemoryError, match=r"samples x channels need \d+ MiB"):
            s.log("all", 2**31 - 1)


def test_scaled_log_is_raw_counts_times_the_documented_scale():
#The same simulated run twice(virtual time : the same values), once in counts and once
#scaled; the scales are the register documentation 's, not the program' s table.
    documented = {"XACCL_OUT": 0.00333, "SUPPLY_OUT": 0.002417582, "XMAGN_OUT": 0.5}
    channels = list(documented)
    runs = {}
    for units in ["lsb", "scaled"]:
        with vexa.open(interface="usb", still=True, virtual_time=True) as s:
            runs[units] = s.log(channels, 200, delay_ms=2, units=units)
    for name, scale in documented.items():
        counts = np.asarray(runs["lsb"][name], dtype=np.float64)
        assert np.count_nonzero(counts) > 0
        np.testing.assert_allclose(runs["scaled"][name], counts * scale, rtol=1e-6, atol=1e-9)
