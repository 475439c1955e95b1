import json

import numpy as np
import pytest
import vexa

from conftest import cli_error


@pytest.fixture
def still_record(cli):
    status, _, _ = cli("--simulate-still", "--simulate-virtual-time", "--interface", "usb", "log",
                       "--dir", ".", "--samples", "3000", "--files", "2", "--delay", "15",
                       "--name", "STILL", "XGYRO_OUT", "XACCL_OUT")
    assert status == 0
    return ["STILL_2.csv", "STILL_1.csv"]


def test_read_log_joins_a_session_with_its_facts(still_record):
    a = vexa.read_log(still_record)
    assert len(a) == 6000 and np.array_equal(a["sample"], np.arange(1, 6001))
    assert a.channels == ["XGYRO_OUT", "XACCL_OUT"]
    assert a.units == {"XGYRO_OUT": "deg/sec", "XACCL_OUT": "g"}
    assert a.titles == {"XGYRO_OUT": "X Gryo", "XACCL_OUT": "X acc"}
    assert [f.split("/")[-1] for f in a.files] == ["STILL_1.csv", "STILL_2.csv"]
    assert a.date == "07/12/2026" and a.begin_seconds < a.end_seconds
    assert a["time"][1] == pytest.approx(a.sample_interval) and a.rate == pytest.approx(1 / a.sample_interval)
    assert a[10:20].units == a.units  # slices keep the facts


def test_stats_are_vexa_cli_stats(cli, still_record):
    status, out, _ = cli("stats", *still_record)
    assert status == 0
    a = vexa.read_log(still_record)
    lines = {line.split("\t")[0]: line.split("\t") for line in out.splitlines()}
    for field in a.channels:
        row = lines[a.titles[field]]
        s = vexa.stats(a[field])
        assert s["count"] == int(row[2])
        for key, column in [("mean", 3), ("std", 4), ("min", 5), ("max", 6)]:
            assert s[key] == pytest.approx(float(row[column]), rel=2e-6, abs=1e-12)


def test_adev_is_vexa_cli_adev(cli, still_record):
    status, out, _ = cli("adev", "--csv", *still_record)
    assert status == 0
    a = vexa.read_log(still_record)
    rows = [line.split(",") for line in out.splitlines()[1:]]
    for field in a.channels:
        expected = np.array([[float(v) for v in r[1:]] for r in rows if r[0] == a.titles[field]])
        taus, devs, bounds = vexa.adev(a[field], a.rate, a[field + "_new"])
        np.testing.assert_allclose(taus, expected[:, 0], rtol=2e-6)
        np.testing.assert_allclose(devs, expected[:, 1], rtol=2e-6)
        np.testing.assert_allclose(bounds.T, expected[:, 2:], rtol=2e-6)


def test_read_offs_name_the_customary_units(still_record):
    a = vexa.read_log(still_record)
    r = vexa.read_offs(a["XGYRO_OUT"], a.rate, a["XGYRO_OUT_new"], units=a.units["XGYRO_OUT"])
    assert r["random_walk_name"] == "angle random walk" and r["bias_units"] == "deg/h"
    assert r["random_walk"] > 0


@pytest.mark.parametrize("text", ["", "File Name,X.csv\r\nnot a log\r\n"])
def test_damaged_log_raises_vexa_cli_message(cli, own_folder, text):
    (own_folder / "BAD_1.csv").write_text(text)
    status, _, err = cli("stats", "BAD_1.csv")
    assert status == 1
    with pytest.raises(vexa.LogFileError) as raised:
        vexa.read_log("BAD_1.csv")
    assert str(raised.value) == cli_error(err)


@pytest.mark.parametrize("call", [
    lambda: vexa.adev([1.0, 2.0], 10.0),
    lambda: vexa.adev(np.ones(100), 0.0),
    lambda: vexa.adev(np.ones(100), 10.0, np.ones(99)),
    lambda: vexa.stats(np.ones((2, 2))),
    lambda: vexa.mag_fit(np.ones((5, 2))),
    lambda: vexa.noise(np.ones(1000), 10.0, kind="baro"),
])
def test_unusable_input_raises_usage_error(call):
    with pytest.raises(vexa.UsageError):
        call()


@pytest.mark.parametrize("call", [
    lambda: vexa.adev(["a", "b"], 10),
    lambda: vexa.stats("not numbers"),
    lambda: vexa.noise([object()] * 100, 10.0),
])
def test_samples_that_are_not_numbers_raise_type_error(call):
    with pytest.raises(TypeError):
        call()


def test_mag_fit_finds_the_hard_iron_of_a_shifted_sphere():
    rng = np.random.default_rng(1)
    directions = rng.normal(size=(400, 3))
    directions /= np.linalg.norm(directions, axis=1)[:, None]
    centre = np.array([100.0, -50.0, 20.0])  # mG
    fit = vexa.mag_fit(centre + 500.0 * directions)
    assert fit["trusted"], fit["problems"]
    assert fit["hard_iron"] == (-200, 100, -40)  # counts of 0.5 mG
    assert fit["soft_iron"] == pytest.approx((2048, 2048, 2048), abs=2)


def test_noise_is_vexa_cli_noise_json(cli, still_record):
    status, out, _ = cli("noise", "--json", *still_record)
    assert status == 0
    expected = {c["title"]: c for c in json.loads(out)["channels"]}
    a = vexa.read_log(still_record)
    for field in a.channels:
        r = vexa.noise(a[field], a.rate, a[field + "_new"], units=a.units[field],
                       title=a.titles[field])
        e = expected[a.titles[field]]
        assert (r["kind"], r["units"], r["samples"]) == (e["kind"], e["units"], e["samples"])
        for t in "QNBKR":
            assert (r["terms"][t]["unit"], r["terms"][t]["resolved"]) == \
                (e["terms"][t]["unit"], e["terms"][t]["resolved"])
            assert r["terms"][t]["value"] == pytest.approx(e["terms"][t]["value"], rel=2e-6)
            assert r["terms"][t]["sigma"] == pytest.approx(e["terms"][t]["sigma"], rel=2e-6)
        assert r["density"]["white"] == pytest.approx(e["density"]["white"], rel=2e-6)
    assert vexa.noise(a["XGYRO_OUT"], a.rate, kind="other")["kind"] == "other"
