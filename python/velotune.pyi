"""Speed, acceleration and Low Vibration Mode of Nexil controllers, through the same channel
model as the Velotune window and velotune-cli."""

from typing import Any, Dict, Iterable, List, Literal, Optional, Union

__version__: str

class Error(Exception):
    """The base of every error the velotune module raises."""

class ControllerError(Error):
    """The controller library refused a call."""
    status: int
    """The library's status number."""
    text: str
    """The library's text for the status."""
    function: str
    """The library function that failed, e.g. "TQ_SetClosedLoopMoveSpeed_S"."""
    def __init__(self, message: str, status: int, text: str, function: str) -> None: ...

class Busy(ControllerError):
    """Status 17: the controller is held open by another program or object."""

class SnapshotError(Error):
    """A snapshot file could not be read, written or restored."""
    file: str
    reason: str
    def __init__(self, file: str, reason: str) -> None: ...

class LibraryInfo:
    """The controller library in use."""
    @property
    def path(self) -> str: ...
    @property
    def loaded(self) -> bool: ...
    @property
    def simulated(self) -> bool: ...
    @property
    def version(self) -> str: ...
    @property
    def error(self) -> str: ...

ChannelSettings = Dict[str, Any]
"""channel, positioner; on a positioner channel also sensor_type, speed, speed_unit,
acceleration, acceleration_unit and low_vibration (True, False or None)."""

class Channel:
    """One channel of an open controller; every property is read when asked for."""
    @property
    def index(self) -> int: ...
    @property
    def positioner(self) -> bool: ...
    @property
    def sensor_type(self) -> int: ...
    @property
    def speed_unit(self) -> str: ...
    @property
    def acceleration_unit(self) -> str: ...
    speed: int
    """Closed-loop move speed, 0 to 4294967295; setting it writes and reads back."""
    acceleration: int
    """Closed-loop move acceleration, 0 to 4294967295; setting it writes and reads back."""
    low_vibration: Optional[bool]
    """None when the channel has no such mode; setting it stops the channel first."""
    def read(self) -> ChannelSettings:
        """Every setting of the channel, in one pass of reads."""

class Controller:
    """An open controller; leaving its with block releases it. Safe to share between threads."""
    @property
    def locator(self) -> str: ...
    @property
    def channels(self) -> List[Channel]: ...
    @property
    def is_open(self) -> bool: ...
    def snapshot(self) -> Snapshot:
        """Reads every channel. Ctrl+C raises KeyboardInterrupt between two library calls."""
    def restore(self, snapshot: Snapshot, channels: Optional[Iterable[int]] = None,
                fields: Optional[Iterable[Literal["speed", "acceleration", "lowVibration"]]] = None,
                dry_run: bool = False) -> RestoreReport:
        """Writes what differs from `snapshot`, then reads the channels back. Ctrl+C raises
        KeyboardInterrupt, whose restore_report lists what was written."""
    def close(self) -> None:
        """Releases the controller; later calls raise velotune.Error."""
    def __enter__(self) -> Controller: ...
    def __exit__(self, *args: Any) -> Literal[False]: ...

class Snapshot:
    """The settings of every channel of one controller; the window's and velotune-cli's files."""
    @staticmethod
    def load(path: str) -> Snapshot:
        """Reads a snapshot file; raises SnapshotError."""
    def save(self, path: str) -> None:
        """Writes the file, replacing `path` only once complete; raises SnapshotError."""
    @property
    def locator(self) -> str: ...
    @property
    def saved_at(self) -> str: ...
    @property
    def program(self) -> str: ...
    @property
    def path(self) -> str: ...
    @property
    def channels(self) -> List[ChannelSettings]: ...
    def __len__(self) -> int: ...
    def _repr_html_(self) -> str: ...

class Difference:
    """One setting that differs between the two sides of diff()."""
    @property
    def channel(self) -> Optional[int]:
        """None when the channel counts differ."""
    @property
    def setting(self) -> str:
        """The key in a snapshot file: "speed", "acceleration", "lowVibration", "sensorType"..."""
    @property
    def left(self) -> Union[int, bool, str, None]: ...
    @property
    def right(self) -> Union[int, bool, str, None]: ...
    @property
    def unit(self) -> str: ...
    @property
    def note(self) -> str: ...

class Differences(List[Difference]):
    """What diff() found, left -> right."""
    def _repr_html_(self) -> str: ...

class RestoreStep:
    """One planned write of a restore."""
    @property
    def channel(self) -> int: ...
    @property
    def setting(self) -> str: ...
    @property
    def old(self) -> Union[int, bool]: ...
    @property
    def new(self) -> Union[int, bool]: ...
    @property
    def outcome(self) -> Literal["as asked", "refused", "not read back", "differs", "not tried"]: ...
    @property
    def status(self) -> int: ...
    @property
    def text(self) -> str: ...

class RestoreReport:
    """What Controller.restore() wrote and found."""
    @property
    def steps(self) -> List[RestoreStep]: ...
    @property
    def matches(self) -> bool: ...
    @property
    def dry_run(self) -> bool: ...
    @property
    def cancelled(self) -> bool: ...
    @property
    def summary(self) -> str: ...
    def _repr_html_(self) -> str: ...

def library() -> LibraryInfo:
    """The controller library: NEXILCONTROL_LIBRARY (an absolute path), else the maker's."""
def find() -> List[str]:
    """The USB-attached controllers' locators, as velotune-cli list prints them."""
def open(locator: str) -> Controller:
    """Opens a controller; raises Busy when another program holds it."""
def diff(left: Union[Controller, Snapshot], right: Union[Controller, Snapshot]) -> Differences:
    """Compares two sides; a Controller is read now."""
