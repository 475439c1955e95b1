import pytest
import vexa

from conftest import INTERFACES, cli_error

OUTPUTS = ["SUPPLY_OUT", "XGYRO_OUT", "YGYRO_OUT", "ZGYRO_OUT", "XACCL_OUT", "YACCL_OUT",
           "ZACCL_OUT", "XMAGN_OUT", "YMAGN_OUT", "ZMAGN_OUT", "TEMP_OUT", "AUX_ADC"]
SETTINGS = ["SMPL_PRD", "SENS_AVG", "PROD_ID", "XGYRO_OFF", "STATUS"]


def parse_read(stdout):
    rows = [line.split("\t") for line in stdout.splitlines()]
    return [(name, int(raw, 16), float(scaled)) for name, raw, scaled in rows]


def raw16(value):
    return value & 0xFFFF


@pytest.mark.parametrize("interface", INTERFACES)
@pytest.mark.parametrize("pipelined", [False, True])
def test_read_many_gives_what_vexa_cli_read_prints(cli, interface, pipelined):
    # On virtual time both worlds take the same steps, so even the moving outputs agree.
    names = OUTPUTS + SETTINGS
    status, out, _ = cli("--simulate-virtual-time", "--interface", interface, "read",
                         *(["--pipelined"] if pipelined else []), *names)
    assert status == 0
    expected = parse_read(out)
    with vexa.open(interface=interface, simulate=True, virtual_time=True) as s:
        values = s.read_many(names, pipelined=pipelined)
    assert [e[0] for e in expected] == names
    assert values == pytest.approx([e[2] for e in expected], rel=1e-6, abs=1e-9)


@pytest.mark.parametrize("interface", INTERFACES)
def test_read_read_raw_and_product_agree_with_vexa_cli(cli, interface):
    status, out, _ = cli("--simulate", "--interface", interface, "read", *SETTINGS)
    assert status == 0
    with vexa.open(interface=interface, simulate=True) as s:
        for name, raw, scaled in parse_read(out):
            assert raw16(s.read_raw(name)) == raw
            assert s.read(name) == pytest.approx(scaled, rel=1e-6)
        assert s.product() == s.read_raw("PROD_ID") == 27150


@pytest.mark.parametrize("interface", INTERFACES)
def test_dump_rows_are_vexa_cli_dump_lines(cli, interface):
    status, out, _ = cli("--simulate-virtual-time", "--interface", interface, "dump")
    assert status == 0
    lines = [line.split("\t") for line in out.splitlines()[2:]]
    with vexa.open(interface=interface, simulate=True, virtual_time=True) as s:
        rows = s.dump()
    assert len(rows) == len(lines) == 46
    for (name, address, raw, scaled), fields in zip(rows, lines):
        assert name == fields[0].strip()
        assert address == int(fields[1], 16)
        assert raw16(raw) == int(fields[2], 16)
        assert scaled == pytest.approx(float(fields[3]), abs=1e-5 * max(1, abs(scaled)))


@pytest.mark.parametrize("interface", INTERFACES)
def test_write_then_read_back_and_commands(interface):
    with vexa.open(interface=interface, simulate=True, virtual_time=True) as s:
        s.write("SMPL_PRD", 0x0A)
        assert s.read_raw("SMPL_PRD") == 0x0A
        s.write("SMPL_PRD", "0x0b")
        assert s.read_raw("SMPL_PRD") == 0x0B
        for command in ["auto_null", "factory_restore", "flash_update", "precision auto null"]:
            s.command(command)
        assert s.read_raw("SMPL_PRD") == 0x0B


@pytest.mark.parametrize("options, args", [
    (dict(interface="serial", simulate=True), ["--simulate", "--interface", "serial"]),
    (dict(interface="usb", simulate=True, port="zz"), ["--simulate", "--interface", "usb", "--port", "zz"]),
    (dict(interface="spidev", simulate=True, spi_mode=7), ["--simulate", "--interface", "spidev", "--spi-mode", "7"]),
    (dict(interface="ftdi", simulate=True, spi_speed="fast"), ["--simulate", "--interface", "ftdi", "--spi-speed", "fast"]),
    (dict(interface="usb", simulate_fault="unplug-after=1"), ["--interface", "usb", "--simulate-fault", "unplug-after=1"]),
])
def test_bad_options_raise_usage_error_with_vexa_cli_message(cli, options, args):
    status, _, err = cli(*args, "dump")
    assert status == 2
    with pytest.raises(vexa.UsageError) as raised:
        vexa.open(**options)
    assert str(raised.value) == cli_error(err)


@pytest.mark.parametrize("options, args", [
    (dict(interface="usb", vendor=0x0001), ["--interface", "usb", "--vendor", "0001"]),
    (dict(interface="spidev", spi_device="/nonexistent/spidev9.9"), ["--interface", "spidev", "--spi-device", "/nonexistent/spidev9.9"]),
    (dict(interface="ftdi", ftdi_serial="NO-SUCH-BOARD"), ["--interface", "ftdi", "--ftdi-serial", "NO-SUCH-BOARD"]),
])
def test_unreachable_device_raises_transport_error_with_vexa_cli_message(cli, options, args):
    status, _, err = cli(*args, "dump")
    assert status == 1
    with pytest.raises(vexa.TransportError) as raised:
        vexa.open(**options)
    assert str(raised.value) == cli_error(err)


@pytest.mark.parametrize("interface", ["usb", "ftdi", "spidev"])
def test_failed_transfer_raises_and_the_session_stays_failed(cli, interface):
    fault = ["--simulate-fault", "unplug-after=30"]
    status, _, err = cli("--simulate", "--interface", interface, *fault, "dump")
    assert status == 1
    with vexa.open(interface=interface, simulate=True, simulate_fault="unplug-after=30") as s:
        with pytest.raises(vexa.TransportError) as raised:
            s.dump()
        assert str(raised.value) == cli_error(err)
        for call in [lambda: s.read("SUPPLY_OUT"), lambda: s.read_many(OUTPUTS, pipelined=True),
                     lambda: s.write("SMPL_PRD", 1), s.product]:
            with pytest.raises(vexa.TransportError):
                call()


@pytest.mark.parametrize("call, message", [
    (lambda s: s.read("NO_SUCH"), "unknown register name 'NO_SUCH'"),
    (lambda s: s.read_raw("COMMAND"), "register COMMAND cannot be read"),
    (lambda s: s.read_many(["XGYRO_OUT", "nope"]), "unknown register name 'nope'"),
    (lambda s: s.write("SUPPLY_OUT", 1), "register SUPPLY_OUT cannot be written"),
    (lambda s: s.write("SMPL_PRD", "12x"), "malformed value '12x': give one to four hexadecimal digits, such as 0x1234"),
    (lambda s: s.command("reboot"), "unknown command 'reboot': use auto_null, precision_auto_null, factory_restore or flash_update"),
])
def test_bad_calls_raise_usage_error(call, message):
    with vexa.open(interface="usb", simulate=True) as s:
        with pytest.raises(vexa.UsageError) as raised:
            call(s)
        assert str(raised.value) == message
        assert s.read_raw("PROD_ID") == 27150  # the session goes on


def test_closed_session_refuses_calls():
    s = vexa.open(interface="usb", simulate=True)
    with s:
        assert not s.closed
    assert s.closed
    with pytest.raises(vexa.UsageError, match="closed"):
        s.read("XGYRO_OUT")


def test_threads_sharing_a_session_take_turns_on_the_bus():
    import threading
    with vexa.open(interface="usb", simulate=True) as s:
        got = []

        def work():
            for _ in range(40):
                got.extend(s.read_many(["PROD_ID", "SMPL_PRD"]))

        threads = [threading.Thread(target=work) for _ in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    assert got == [27150.0, 1.0] * 160


@pytest.mark.parametrize("options", [
    dict(interface="spidev", spi_device="/dev/spidev0.1"),  # nothing on that chip select
    dict(interface="spidev", spi_mode=0),
    dict(interface="ftdi", spi_mode=1),
])
def test_no_known_sensor_warns_on_reads_and_refuses_to_log(options, own_folder):
    with vexa.open(simulate=True, virtual_time=True, **options) as s:
        with pytest.warns(vexa.SensorWarning, match="PROD_ID reads"):
            s.read("XGYRO_OUT")
        with pytest.warns(vexa.SensorWarning):
            s.read_many(["XGYRO_OUT"])
        with pytest.raises(vexa.SensorError, match="sensor_check=False"):
            s.log(["XGYRO_OUT"], 2)
        with pytest.raises(vexa.TransportError):
            s.log_to_files(["XGYRO_OUT"], 2, directory=own_folder)
        assert list(own_folder.iterdir()) == []
        assert len(s.log(["XGYRO_OUT"], 2, sensor_check=False)) == 2


def test_a_known_sensor_gives_no_warning():
    import warnings
    with vexa.open(interface="usb", simulate=True, virtual_time=True) as s:
        with warnings.catch_warnings():
            warnings.simplefilter("error")
            s.read("XGYRO_OUT")
            s.log(["XGYRO_OUT"], 2)


@pytest.mark.parametrize("sens_avg, deg_per_lsb", [(0x0102, 0.0125), (0x0202, 0.025), (0x0402, 0.05)])
def test_gyro_scale_follows_a_write_of_the_range(sens_avg, deg_per_lsb):
    # The register documentation's sensitivity per range; raw and scaled of one read (a dump row).
    with vexa.open(interface="usb", simulate=True, virtual_time=True) as s:
        s.write("SENS_AVG", sens_avg)
        name, _, raw, scaled = next(r for r in s.dump() if r[0] == "XGYRO_OUT")
        assert raw != 0
        assert scaled == pytest.approx(raw * deg_per_lsb, rel=1e-6)
