"""An adapter pulled out after any frame: the call raises TransportError, never a stale value."""

import pytest
import vexa

GYROS = ["XGYRO_OUT", "YGYRO_OUT", "ZGYRO_OUT"]
CALLS = {
    "read_many": lambda s: s.read_many(GYROS),
    "pipelined": lambda s: s.read_many(GYROS, pipelined=True),
    "dump": lambda s: s.dump(),
}


def attempt(interface, call, unplug_after=None):
    fault = {} if unplug_after is None else dict(simulate_fault=f"unplug-after={unplug_after}")
    with vexa.open(interface=interface, simulate=True, virtual_time=True, **fault) as s:
        return CALLS[call](s)


@pytest.mark.parametrize("interface", ["usb", "ftdi", "spidev"])
@pytest.mark.parametrize("call", CALLS)
def test_every_lost_frame_raises_and_beyond_the_last_the_values_are_whole(interface, call):
    whole = attempt(interface, call)
    n = 1
    while True:
        assert n < 1000, "the call never completes"
        try:
            got = attempt(interface, call, n)
        except vexa.TransportError as e:
            assert str(e), "the error names its cause"
            n += 1
            continue
        break
    assert n > 4, "the open's sensor check and the call took frames"
    assert got == whole
    assert attempt(interface, call, n + 1000) == whole
