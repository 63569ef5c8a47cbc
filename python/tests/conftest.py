"""The velotune module against the simulator, as lab scripts use it.

ctest sets NEXILCONTROL_LIBRARY (the simulator), VELOTUNE_CLI, VELOTUNE_FAULTS (the simulator
with the faults NEXILSIM_TEST_FAULTS names) and PYTHONPATH. This process and the velotune-cli
runs share one state file, so both see the same controllers."""

import json
import os
import subprocess
import sys
import tempfile

import pytest

_shared = tempfile.mkdtemp(prefix="velotune-pytest-")
os.environ["NEXILCONTROL_SIM_STATE"] = os.path.join(_shared, "state.json")
os.environ["VELOTUNE_TRACE_FILE"] = os.path.join(_shared, "trace.log")

import velotune  # noqa: E402  (after the environment it reads)

LOCATOR = "usb:id:31415926"


class Trace:
    """The lines this process adds to the trace from now on."""

    def __init__(self):
        self.path = os.environ["VELOTUNE_TRACE_FILE"]
        self.start = os.path.getsize(self.path) if os.path.exists(self.path) else 0

    def calls(self):
        with open(self.path, encoding="utf-8") as f:
            f.seek(self.start)
            return [line.split("] ", 1)[1] for line in f.read().splitlines() if " TQ_" in line]


@pytest.fixture
def trace():
    return Trace()


@pytest.fixture(scope="session")
def baseline():
    with velotune.open(LOCATOR) as c:
        return c.snapshot()


@pytest.fixture
def controller(baseline):
    """The first simulated controller, given back its settings afterwards."""
    with velotune.open(LOCATOR) as c:
        yield c
    with velotune.open(LOCATOR) as c:
        assert c.restore(baseline).matches


def cli(*args, env=None, check=True):
    run = subprocess.run([os.environ["VELOTUNE_CLI"], *args], env={**os.environ, **(env or {})},
                         capture_output=True, text=True, timeout=60)
    if check:
        assert run.returncode == 0, run.stderr
    return run


def cli_channels(env=None):
    return json.loads(cli("show", LOCATOR, "--json", env=env).stdout)["channels"]


def python(code, env=None, **kwargs):
    """Another Python process running `code` with the module, as a lab script would."""
    return subprocess.Popen([sys.executable, "-c", code], env={**os.environ, **(env or {})},
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kwargs)


def slow_fleet(tmp_path, microseconds):
    """A simulator environment of its own: the default controller, each call delayed."""
    config = tmp_path / "fleet.json"
    config.write_text(json.dumps({"latencyMicroseconds": microseconds, "systems": [
        {"locator": LOCATOR, "listed": True, "channels": [
            {"sensorType": 1}, {"sensorType": 40, "lowVibration": "on"}, {"sensorType": 2}]}]}))
    return {"NEXILCONTROL_SIM_CONFIG": str(config),
            "NEXILCONTROL_SIM_STATE": str(tmp_path / "state.json"),
            "VELOTUNE_TRACE_FILE": str(tmp_path / "trace.log")}
