import os
import signal
import threading

import numpy as np
import pytest
import vexa

from conftest import INTERFACES, cli_error

CHANNELS = ["XGYRO_OUT", "ZACCL_OUT", "TEMP_OUT"]


def interrupt_after(seconds):
    """Ctrl-C from a timer, as a person at the keyboard would give it."""
    timer = threading.Timer(seconds, lambda: os.kill(os.getpid(), signal.SIGINT))
    timer.start()
    return timer


@pytest.mark.parametrize("interface", INTERFACES)
@pytest.mark.parametrize("extra, options", [
    ([], {}),
    (["--pipelined", "--units", "lsb"], dict(pipelined=True, units="lsb")),
    (["--sync"], dict(sync=True)),
])
def test_log_to_files_writes_vexa_cli_log_files_byte_for_byte(cli, own_folder, interface, extra,
                                                               options):
    (own_folder / "cli").mkdir()
    args = ["--samples", "150", "--files", "2", "--delay", "7", *extra, *CHANNELS]
    status, out, _ = cli("--simulate-still", "--simulate-virtual-time", "--interface", interface,
                         "log", "--dir", ".", *args, cwd=own_folder / "cli")
    assert status == 0
    with vexa.open(interface=interface, still=True, virtual_time=True) as s:
        files = s.log_to_files(CHANNELS, samples=150, files=2, delay_ms=7, directory=".",
                               **options)
    assert [os.path.basename(f) for f in files] == ["DATALOG_1.csv", "DATALOG_2.csv"]
    assert out.split() == files
    for f in files:
        assert (own_folder / f).read_bytes() == (own_folder / "cli" / f).read_bytes()


@pytest.mark.parametrize("interface", INTERFACES)
def test_log_in_memory_holds_the_samples_vexa_cli_log_writes(cli, interface):
    status, _, _ = cli("--simulate-still", "--simulate-virtual-time", "--interface", interface,
                       "log", "--dir", ".", "--samples", "400", "--delay", "5", *CHANNELS)
    assert status == 0
    expected = vexa.read_log("DATALOG_1.csv")
    with vexa.open(interface=interface, still=True, virtual_time=True) as s:
        got = s.log(CHANNELS, 400, delay_ms=5)
    assert isinstance(got, vexa.LogArray)
    assert got.dtype.names == expected.dtype.names
    assert np.array_equal(got["sample"], np.arange(1, 401))
    for name in CHANNELS:
        np.testing.assert_allclose(got[name], expected[name], rtol=1e-6)
        assert np.array_equal(got[name + "_new"], expected[name + "_new"])
    assert got.units == expected.units
    assert got.date == expected.date
    assert got.begin_seconds == pytest.approx(expected.begin_seconds, abs=0.01)
    assert got.rate == pytest.approx(expected.rate, rel=0.01)
    assert got.files == [] and not got.interrupted


def test_log_memory_grows_past_its_first_rows_and_ends_at_its_count():
    with vexa.open(interface="spidev", simulate=True, virtual_time=True) as s:
        got = s.log("TEMP_OUT", (1 << 20) + 3)
    assert len(got) == (1 << 20) + 3
    assert got["sample"][-1] == len(got)


@pytest.mark.parametrize("to_files", [False, True])
def test_ctrl_c_ends_a_log_with_what_was_taken(to_files):
    with vexa.open(interface="usb", simulate=True) as s:
        timer = interrupt_after(0.3)
        with pytest.raises(KeyboardInterrupt) as raised:
            if to_files:
                s.log_to_files("all", samples=10**6)
            else:
                s.log("all", 10**6)
        timer.join()
        taken = raised.value.result
        if to_files:
            taken = vexa.read_log(taken)
        else:
            assert taken.interrupted
        assert 0 < len(taken) < 10**6
        assert s.read_raw("PROD_ID") == 27150  # the session goes on after the interrupt


@pytest.mark.parametrize("interface", ["usb", "ftdi", "spidev"])
@pytest.mark.parametrize("to_files", [False, True])
def test_device_lost_during_a_log_raises_with_the_samples_read(cli, interface, to_files):
    fault = "unplug-after=200"
    status, _, err = cli("--simulate-virtual-time", "--simulate-fault", fault, "--interface",
                         interface, "log", "--dir", ".", "--name", "CLI", *CHANNELS)
    assert status == 1
    cli_rows = len(vexa.read_log("CLI_1.csv"))
    with vexa.open(interface=interface, simulate=True, virtual_time=True,
                   simulate_fault=fault) as s:
        with pytest.raises(vexa.TransportError) as raised:
            if to_files:
                s.log_to_files(CHANNELS)
            else:
                s.log(CHANNELS, 1000)
        result = raised.value.result
        rows = len(vexa.read_log(result)) if to_files else len(result)
        assert rows == cli_rows
        if to_files:
            assert str(raised.value) == cli_error(err).replace("CLI_1", "DATALOG_1")
        else:  # no file: the samples are in the error's result
            assert "DATALOG" not in str(raised.value) and ".csv" not in str(raised.value)
            assert f"result holds the {rows} samples" in str(raised.value)
        with pytest.raises(vexa.TransportError):
            s.read("XGYRO_OUT")


def test_progress_is_reported_and_an_error_in_it_ends_the_run():
    seen = []
    with vexa.open(interface="parallel", simulate=True, virtual_time=True) as s:
        s.log("TEMP_OUT", 2000, progress=lambda taken, total: seen.append((taken, total)))
        assert seen[-1] == (2000, 2000)

        def stop(taken, total):
            raise RuntimeError("enough")

        with pytest.raises(RuntimeError, match="enough") as raised:
            s.log("TEMP_OUT", 2000, progress=stop)
        # What was taken before the callback raised comes with its exception, as with Ctrl-C.
        assert 0 < len(raised.value.result) < 2000


def test_log_checks_are_vexa_cli_checks(cli, own_folder):
    with vexa.open(interface="usb", simulate=True, virtual_time=True) as s:
        with pytest.raises(vexa.UsageError) as raised:
            s.log(["XGYRO_OUT", "PROD_ID"], 10)
        status, _, err = cli("--simulate", "log", "XGYRO_OUT", "PROD_ID")
        assert status == 2 and str(raised.value) == cli_error(err)

        # The run's own limits, in the keywords' names.
        for keywords, words in [
            ({"samples": 0}, "samples needs a whole number from 1 to 2147483647, not '0'"),
            ({"samples": 2.5}, "samples needs a whole number from 1 to 2147483647, not '2.5'"),
            ({"samples": 3, "delay_ms": 40000},
             "delay_ms needs milliseconds from 0 to 32000, not '40000'"),
        ]:
            with pytest.raises(vexa.UsageError) as raised:
                s.log("XGYRO_OUT", **keywords)
            assert str(raised.value) == words
        with pytest.raises(vexa.UsageError, match="files needs a whole number"):
            s.log_to_files("XGYRO_OUT", samples=3, files=0)
        with pytest.raises(TypeError, match="samples must be a number"):
            s.log("XGYRO_OUT", "10")

        s.log_to_files("XGYRO_OUT", samples=3)
        status, _, err = cli("--simulate", "--interface", "usb", "log", "--samples", "3",
                             "--dir", str(own_folder), "XGYRO_OUT")
        with pytest.raises(vexa.FileError) as raised:
            s.log_to_files("XGYRO_OUT", samples=3, directory=str(own_folder))
        assert status == 1
        assert str(raised.value) == cli_error(err).replace("--overwrite", "overwrite=True").replace(
            "another --name", "another name")
        assert "--" not in str(raised.value)
        assert len(s.log_to_files("XGYRO_OUT", samples=5, overwrite=True)) == 1
        assert len(vexa.read_log("DATALOG_1.csv")) == 5
