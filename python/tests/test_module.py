"""The module in this process: reads, writes, errors, snapshots, diff and restore."""

import os

import pytest

import velotune
from conftest import LOCATOR, cli, cli_channels


@pytest.mark.parametrize("channel, sensor, speed_unit, acceleration_unit, low_vibration", [
    (0, 1, "nm/sec", "µm/sec²", False),
    (1, 40, "nm/sec", "µm/sec²", True),
    (2, 2, "µ°/sec", "m°/sec²", None),
])
def test_channel_reads(controller, channel, sensor, speed_unit, acceleration_unit, low_vibration):
    ch = controller.channels[channel]
    settings = ch.read()
    assert (ch.positioner, ch.sensor_type, ch.speed_unit, ch.acceleration_unit) == (
        True, sensor, speed_unit, acceleration_unit)
    assert ch.low_vibration is low_vibration is settings["low_vibration"]
    assert (ch.speed, ch.acceleration) == (settings["speed"], settings["acceleration"])
    controller.close()
    shown = cli_channels()[channel]
    assert (shown["speed"], shown["acceleration"]) == (settings["speed"], settings["acceleration"])


@pytest.mark.parametrize("channel, name, value, key, shown, calls", [
    (0, "speed", 1_500_000, "speed", 1_500_000, ["TQ_SetClosedLoopMoveSpeed_S"]),
    (0, "acceleration", 123_456, "acceleration", 123_456, ["TQ_SetClosedLoopMoveAcceleration_S"]),
    (1, "low_vibration", False, "lowVibration", "off", ["TQ_Stop_S", "TQ_SetChannelProperty_S"]),
])
def test_write_reaches_the_controller(controller, trace, channel, name, value, key, shown, calls):
    ch = controller.channels[channel]
    setattr(ch, name, value)
    made = [call.split("(")[0] for call in trace.calls()]
    assert [call for call in made if call in calls] == calls
    assert getattr(ch, name) == value
    with open(trace.path, encoding="utf-8") as f:
        assert f.read().splitlines()[-1].split("] ")[0].endswith(" python3[%d" % os.getpid())
    controller.close()
    assert cli_channels()[channel][key] == shown


@pytest.mark.parametrize("name, value, error", [
    ("speed", -1, ValueError),
    ("speed", 4_294_967_296, ValueError),
    ("acceleration", 1.5, TypeError),
    ("speed", True, TypeError),
    ("speed", "5", TypeError),
    ("low_vibration", 1, TypeError),
    ("low_vibration", None, TypeError),
])
def test_bad_value_raises_before_any_call(controller, trace, name, value, error):
    with pytest.raises(error, match=name):
        setattr(controller.channels[0], name, value)
    assert trace.calls() == []


@pytest.mark.parametrize("act, error, attributes", [
    (lambda snap: velotune.open("usb:id:1"), velotune.ControllerError,
     {"status": 16, "function": "TQ_OpenSystem", "text": "Unknown locator"}),
    (lambda snap: velotune.Snapshot.load("/nonexistent/lab.json"), velotune.SnapshotError,
     {"file": "/nonexistent/lab.json"}),
    (lambda snap: velotune.diff(snap, 3), TypeError, {}),
])
def test_errors(baseline, act, error, attributes):
    with pytest.raises(error) as raised:
        act(baseline)
    for name, value in attributes.items():
        assert getattr(raised.value, name) == value
    assert isinstance(raised.value, velotune.Error) or error is TypeError


def test_leaving_with_releases():
    with velotune.open(LOCATOR) as c:
        pass
    with pytest.raises(velotune.Error, match="released"):
        c.channels[0].speed
    # Released once the block is left, so another program may have it.
    assert cli("show", LOCATOR).returncode == 0


def test_held_controller_is_busy_for_velotune_cli(controller):
    run = cli("show", LOCATOR, check=False)
    assert run.returncode == 4 and "held open by another program" in run.stderr


def test_snapshot_diff_and_restore(controller, baseline, tmp_path):
    path = str(tmp_path / "lab-a.json")
    controller.snapshot().save(path)
    controller.channels[0].speed = 2_500_000
    controller.channels[1].low_vibration = False
    saved = velotune.Snapshot.load(path)
    found = velotune.diff(controller, saved)
    assert [(d.channel, d.setting, d.left, d.right, d.unit) for d in found] == [
        (0, "speed", 2_500_000, baseline.channels[0]["speed"], "nm/sec"),
        (1, "lowVibration", "off", "on", "")]
    assert "2.500.000 nm/sec" in found._repr_html_() and "2.500.000 nm/sec" in str(found)
    assert controller.restore(saved, dry_run=True).steps[0].outcome == "not tried"
    report = controller.restore(saved, fields=["speed"])
    assert [(s.channel, s.setting, s.old, s.new, s.outcome) for s in report.steps] == [
        (0, "speed", 2_500_000, baseline.channels[0]["speed"], "as asked")]
    assert report.matches and "<td>2.500.000 nm/sec</td>" in report._repr_html_()
    assert len(velotune.diff(controller, saved)) == 1
    assert controller.restore(saved).matches and not velotune.diff(saved, controller)


@pytest.mark.parametrize("kwargs, error", [
    ({"channels": [3]}, ValueError),
    ({"fields": ["speeed"]}, ValueError),
    ({"fields": "speed"}, TypeError),
])
def test_restore_arguments_checked_first(controller, baseline, trace, kwargs, error):
    with pytest.raises(error):
        controller.restore(baseline, **kwargs)
    assert trace.calls() == []


def test_library_and_find():
    info = velotune.library()
    assert info.loaded and info.simulated and info.version == velotune.__version__
    assert velotune.find() == cli("list").stdout.split()
