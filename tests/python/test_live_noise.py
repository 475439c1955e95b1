"""Session.log with live noise: figures while the run records, and a run that ends once the
figures asked for are known, on the still simulation and virtual time."""

import json

import pytest

import vexa

LIMIT = 400_000  # samples: far more than the target needs (some 5000 at 15 ms)


def test_until_resolved_ends_the_run_early_and_its_files_give_the_figure():
    calls = []
    with vexa.open(interface="usb", still=True, virtual_time=True) as s:
        files = s.log_to_files(["XGYRO_OUT"], samples=LIMIT, delay_ms=15,
                               live_noise=["X Gyro"], until_resolved=["X Gyro/N:5"],
                               progress=lambda *a: calls.append(a))
    assert files.ended_by == "resolved"
    a = vexa.read_log(list(files))
    assert 0 < len(a) < LIMIT
    offline = vexa.noise(a["XGYRO_OUT"], a.rate, a["XGYRO_OUT_new"], units=a.units["XGYRO_OUT"])
    n = offline["terms"]["N"]
    assert n["resolved"] and n["sigma"] / n["value"] <= 0.05
    live = files.live_noise["X Gyro"]
    assert live["N_resolved"] and live["time_left"] == {"X Gyro/N:5": 0.0}
    assert live["N"] == pytest.approx(n["value"], rel=0.1)
    # The callback saw the figures while the run went on, the same figures as the result's.
    figures = [c[2] for c in calls if len(c) == 3 and c[2]]
    assert figures and figures[-1]["X Gyro"]["caption"] == "X Gyro"
    saved = json.loads(open(files.noise_json).read())["channels"][0]
    assert saved["terms"]["N"]["value"] == pytest.approx(live["N"], rel=1e-9)


def test_a_target_out_of_reach_runs_to_the_sample_limit_in_memory():
    with vexa.open(interface="usb", still=True, virtual_time=True) as s:
        a = s.log(["XGYRO_OUT"], samples=3000, delay_ms=15, until_resolved="X Gyro/B:1")
    assert len(a) == 3000 and a.ended_by == "samples"
    assert a.live_noise["X Gyro"]["samples"] > 0


@pytest.mark.parametrize("keywords, words", [
    ({"until_resolved": "X Gyro/B:10"}, "live channel X Gyro is not among the channels logged"),
    ({"until_resolved": "X Gyro"}, "until_resolved"),
    ({"until_resolved": "Nowhere/B:10"}, "until_resolved names 'Nowhere'"),
    ({"live_noise": "NO_SUCH_OUT"}, "unknown live_noise channel"),
])
def test_live_noise_refusals_name_the_keyword(keywords, words):
    with vexa.open(interface="usb", still=True, virtual_time=True) as s:
        with pytest.raises(vexa.UsageError, match=words):
            s.log_to_files(["YGYRO_OUT"], samples=100, **keywords)


def test_live_figures_are_kept_under_the_sessions_unit(cli, own_folder):
    db = str(own_folder / "lab.db")
    with vexa.open(interface="usb", still=True, virtual_time=True, unit="LOT9-001", db=db) as s:
        files = s.log_to_files(["XGYRO_OUT"], samples=LIMIT, delay_ms=15,
                               until_resolved="X Gyro/N:10")
    status, out, err = cli("--db", db, "figures", "--figure", "X Gyro/N")
    assert status == 0, err
    assert out.startswith("LOT9-001\t")
    assert files.ended_by == "resolved"
