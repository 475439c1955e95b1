"""The sensor, its logs and their analysis, on the core of vexa-eval and vexa-cli."""

import os
from typing import Any, Callable, Iterable, Literal, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

__version__: str

PathLike = Union[str, os.PathLike]
Channels = Union[str, Sequence[str]]
# progress(taken, total), or progress(taken, total, figures) when the run has live noise.
Progress = Optional[Union[Callable[[int, int], Any], Callable[[int, int, dict[str, Any]], Any]]]


class Error(Exception):
    """Base of every error the module raises."""


class UsageError(Error):
    """Bad usage: an unknown register, interface or channel, a malformed value."""


class TransportError(Error):
    """The device could not be reached, or a transfer failed. Raised by a log run, it carries
    the samples taken before as `result`."""
    result: Any


class SensorError(TransportError):
    """No known sensor answered the check at open (PROD_ID), and the call needs one: log and
    log_to_files raise it before the first sample unless sensor_check=False."""


class SensorWarning(UserWarning):
    """No known sensor answered the check at open: nothing on the bus, or an SPI mode the
    sensor does not use. Given through warnings.warn on reads; the values may be meaningless."""


class LogFileError(Error):
    """A log file could not be read back: missing, not a log of this program, or damaged."""


class FileError(Error):
    """A log file could not be opened or written; `result` holds what the run took."""
    result: Any


class StoreError(Error):
    """The results store could not be read: the message names its address and the cause."""


class StoreWarning(UserWarning):
    """A record was not taken by the results store now (it waits, or was lost); the message
    says why."""


class LogArray(np.ndarray):
    """A log's samples: fields 'sample' (int64), 'time' (float64 s from the first sample), and
    per channel its register name (float32) and that name with '_new' (bool new-data flag)."""
    files: list[str]
    date: str
    time_of_day: str
    begin_seconds: float
    end_seconds: float
    sample_interval: float
    rate: float
    units: dict[str, str]
    titles: dict[str, str]
    lsb: bool
    interrupted: bool
    live_noise: dict[str, LiveFigures]  # empty unless live_noise or until_resolved was given
    ended_by: Optional[EndedBy]

    @property
    def channels(self) -> list[str]: ...


DumpRow = Tuple[str, int, int, float]

# One live channel's figures so far: 'caption', 'seconds' (of record), 'samples', 'fitted';
# per term Q N B K R its value under the letter and 'N_sigma', 'N_resolved', 'N_unit' likewise;
# 'estimated_from_tau' (cluster times from there on are estimates, or None), 'warm_up' (text or
# None), 'percent' and 'time_left' (seconds of record; 0 once reached, None while unresolved)
# per until_resolved target of the channel.
LiveFigures = dict[str, Any]
# What ended a run with until_resolved targets: every figure resolved, the sample limit, or
# Ctrl-C/the callback.
EndedBy = Literal["resolved", "samples", "interrupted"]
LiveTargets = Union[str, Sequence[str], None]


class LogFiles(list[str]):
    """The paths log_to_files wrote, with what its live noise analysis found."""
    live_noise: dict[str, LiveFigures]
    ended_by: Optional[EndedBy]
    noise_json: Optional[str]  # NAME-noise.json beside the files, when live noise was asked


class Session:
    """One sensor, opened by open(); a context manager that closes the device on exit. A failed
    transfer raises TransportError, and the session stays failed."""

    closed: bool
    interface: Literal["usb", "parallel", "ftdi", "spidev", "none"]

    def __enter__(self) -> "Session": ...
    def __exit__(self, *args: Any) -> None: ...
    def close(self) -> None:
        """Closes the device. Further calls raise UsageError."""
    def read(self, name: str) -> float:
        """Reads one register; its scaled value, as the main window shows it."""
    def read_raw(self, name: str) -> int:
        """Reads one register; its raw value, masked and sign-extended."""
    def read_many(self, names: Sequence[str], pipelined: bool = False) -> list[float]:
        """Reads the registers in order; their scaled values (pipelined: N + 1 frames)."""
    def write(self, name: str, value: Union[int, str]) -> None:
        """Writes one register: an int 0..0xFFFF, or hexadecimal text such as '0x1234'."""
    def dump(self) -> list[DumpRow]:
        """Every register: (name, address, raw, scaled) per row 0..45."""
    def command(self, command: Literal["auto_null", "precision_auto_null", "factory_restore",
                                       "flash_update"]) -> None:
        """Runs a sensor command and waits its time (the precision auto null 33 s)."""
    def product(self) -> int:
        """The product ID register (PROD_ID)."""
    def log(self, channels: Channels, samples: int, delay_ms: float = 0, pipelined: bool = False,
            sync: bool = False, units: Literal["scaled", "lsb"] = "scaled",
            progress: Progress = None, sensor_check: bool = True,
            live_noise: LiveTargets = None, until_resolved: LiveTargets = None) -> LogArray:
        """Logs into memory, as vexa-cli log without its files. Ctrl-C ends the run after the
        current sample; the KeyboardInterrupt carries the samples taken as `result`.
        live_noise: channels analysed while logged (progress(taken, total, figures) then);
        until_resolved: "CAPTION/TERM:PERCENT" targets ending the run once all are met."""
    def log_to_files(self, channels: Channels, samples: int = 1000, files: int = 1,
                     delay_ms: float = 0, name: str = "DATALOG",
                     units: Literal["scaled", "lsb"] = "scaled",
                     directory: Optional[PathLike] = None, pipelined: bool = False,
                     sync: bool = False, overwrite: bool = False,
                     progress: Progress = None, sensor_check: bool = True,
                     live_noise: LiveTargets = None,
                     until_resolved: LiveTargets = None) -> LogFiles:
        """Logs to the files vexa-cli log writes; returns their paths. live_noise and
        until_resolved as for log(); NAME-noise.json is then written beside the files."""


def open(*, interface: Optional[Literal["usb", "parallel", "ftdi", "spidev"]] = None,
         simulate: bool = False, still: bool = False, virtual_time: bool = False,
         port: Union[int, str, None] = None, ftdi_serial: Optional[str] = None,
         ftdi_interface: Optional[str] = None, spi_device: Optional[str] = None,
         spi_speed: Union[int, str, None] = None, spi_mode: Union[int, str, None] = None,
         vendor: Union[int, str, None] = None, simulate_fault: Optional[str] = None,
         unit: Optional[str] = None, db: Optional[PathLike] = None) -> Session:
    """Opens the sensor as vexa-cli does with the same options; with unit or db, each log run
    and calibration command is kept in the results store."""


def calibrations(*, unit: Optional[str] = None, db: Optional[PathLike] = None
                 ) -> list[dict[str, Any]]:
    """The calibration writes in the results store: at, unit, kind, registers
    [(label, before, after)], oldest first."""


def read_log(path_or_paths: Union[PathLike, Iterable[PathLike]]) -> LogArray:
    """Reads a log file, or the files of one session joined in order."""


def adev(x: npt.ArrayLike, rate: float, new_data: Optional[npt.ArrayLike] = None
         ) -> Tuple[npt.NDArray[np.float64], npt.NDArray[np.float64], npt.NDArray[np.float64]]:
    """Overlapping Allan deviation: (taus, deviations, bounds) with bounds[0] low, bounds[1]
    high (68 %)."""


def read_offs(x: npt.ArrayLike, rate: float, new_data: Optional[npt.ArrayLike] = None,
              units: str = "") -> dict[str, Any]:
    """Random walk and bias instability read off the Allan deviation, in customary units."""


def stats(x: npt.ArrayLike) -> dict[str, float]:
    """count, mean, std (n - 1), min and max."""


def mag_fit(readings: npt.ArrayLike, hard_iron: Sequence[int] = (0, 0, 0),
            soft_iron: Sequence[int] = (2048, 2048, 2048)) -> dict[str, Any]:
    """The magnetometer fit of vexa-cli magcal on readings (N x 3, mG)."""


def noise(x: npt.ArrayLike, rate: float, new_data: Optional[npt.ArrayLike] = None,
          kind: Optional[Literal["gyro", "accelerometer", "other"]] = None, units: str = "",
          title: str = "", *, unit: Optional[str] = None,
          db: Optional[PathLike] = None) -> dict[str, Any]:
    """The noise model of vexa-cli noise: one channel of its --json form (terms Q N B K R with
    value/sigma/unit/resolved, density white level); kind None is told from units."""
