"""The module in processes of their own, beside velotune-cli: faults, a busy controller, Ctrl+C,
threads, snapshot files both ways and the README's example."""

import json
import os
import re
import signal
import subprocess
import sys
import time

import pytest

import velotune
from conftest import LOCATOR, cli, cli_channels, python, slow_fleet


def wait_for(path, text, seconds=20):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if os.path.exists(path) and text in open(path, encoding="utf-8").read():
            return
        time.sleep(0.01)
    pytest.fail(f"{text} never reached {path}")


def result(process):
    out, err = process.communicate(timeout=60)
    assert process.returncode == 0, err
    return json.loads(out.splitlines()[-1])


WRITE = """
import json, velotune
with velotune.open("usb:id:31415926") as c:
    ch = c.channels[{channel}]
    before = ch.{name}
    try:
        ch.{name} = {value!r}
    except velotune.ControllerError as e:
        print(json.dumps([type(e).__name__, e.status, e.function, ch.{name} == before]))
"""

RESTORE = """
import json, velotune
with velotune.open("usb:id:31415926") as c:
    c.snapshot().save("lab.json")
    data = json.load(open("lab.json"))
    data["channels"][0]["speed"] += 1
    data["channels"][0]["acceleration"] += 1
    json.dump(data, open("lab.json", "w"))
    report = c.restore(velotune.Snapshot.load("lab.json"))
    print(json.dumps([[s.setting, s.outcome, s.status] for s in report.steps] + [report.matches]))
"""


@pytest.mark.parametrize("fault, code, expected", [
    ("fail TQ_SetClosedLoopMoveSpeed_S 2", WRITE.format(channel=0, name="speed", value=123),
     ["ControllerError", 2, "TQ_SetClosedLoopMoveSpeed_S", True]),
    ("fail TQ_Stop_S 1", WRITE.format(channel=1, name="low_vibration", value=False),
     ["ControllerError", 1, "TQ_Stop_S", True]),
    ("fail TQ_SetClosedLoopMoveSpeed_S 17", WRITE.format(channel=0, name="speed", value=5),
     ["Busy", 17, "TQ_SetClosedLoopMoveSpeed_S", True]),
    ("fail TQ_SetClosedLoopMoveSpeed_S 2", RESTORE,
     [["speed", "refused", 2], ["acceleration", "as asked", 0], False]),
])
def test_refused_write(tmp_path, fault, code, expected):
    env = {"NEXILCONTROL_LIBRARY": os.environ["VELOTUNE_FAULTS"], "NEXILSIM_TEST_FAULTS": fault,
           "NEXILCONTROL_SIM_STATE": str(tmp_path / "state.json"),
           "VELOTUNE_TRACE_FILE": str(tmp_path / "trace.log")}
    assert result(python(code, env, cwd=tmp_path)) == expected
    calls = [line.split("] ")[1] for line in open(tmp_path / "trace.log", encoding="utf-8")
             if "] TQ_" in line]
    refused = next(i for i, call in enumerate(calls) if call.startswith(fault.split()[1]))
    # The read-back of what the controller holds came before the exception.
    assert any(call.startswith("TQ_Get") for call in calls[refused + 1:])


def test_controller_held_by_velotune_cli_is_busy(tmp_path):
    env = slow_fleet(tmp_path, 200_000)
    holder = subprocess_cli(["save", LOCATOR, str(tmp_path / "held.json")], env)
    wait_for(env["VELOTUNE_TRACE_FILE"], "TQ_OpenSystem")
    code = ("import json, velotune\ntry:\n    velotune.open('%s')\nexcept velotune.Busy as e:\n"
            "    print(json.dumps([e.status, e.function, str(e)]))" % LOCATOR)
    status, function, message = result(python(code, env))
    assert (status, function) == (17, "TQ_OpenSystem")
    assert f"held open by another program (process {holder.pid})" in message
    assert holder.wait(timeout=60) == 0


def subprocess_cli(args, env):
    return subprocess.Popen([os.environ["VELOTUNE_CLI"], *args], env={**os.environ, **env},
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


INTERRUPTED = """
import json, sys, velotune
wanted = velotune.Snapshot.load(sys.argv[1])
with velotune.open("usb:id:31415926") as c:
    print("restoring", flush=True)
    try:
        c.restore(wanted)
    except KeyboardInterrupt as e:
        report = e.restore_report
        print(json.dumps([[s.channel, s.setting, s.outcome] for s in report.steps]
                         + [report.cancelled]), flush=True)
with velotune.open("usb:id:31415926") as c:
    print(json.dumps("released"))
"""


def test_ctrl_c_stops_a_restore_between_calls(tmp_path):
    env = slow_fleet(tmp_path, 100_000)
    wanted = tmp_path / "wanted.json"
    cli("save", LOCATOR, str(wanted), env=env)
    data = json.loads(wanted.read_text())
    for channel in data["channels"]:
        channel["speed"] += 7
        channel["acceleration"] += 7
    wanted.write_text(json.dumps(data))
    child = subprocess.Popen([sys.executable, "-c", INTERRUPTED, str(wanted)],
                             env={**os.environ, **env}, stdout=subprocess.PIPE, text=True)
    assert child.stdout.readline() == "restoring\n"
    wait_for(env["VELOTUNE_TRACE_FILE"], "TQ_SetClosedLoopMoveSpeed_S")
    child.send_signal(signal.SIGINT)
    steps = json.loads(child.stdout.readline())
    assert steps.pop() is True
    assert child.stdout.read().strip() == '"released"' and child.wait(timeout=30) == 0
    tried = [s for s in steps if s[2] != "not tried"]
    assert 0 < len(tried) < len(steps) == 6
    # The controller holds the file's value exactly where the report says it was written.
    now = cli_channels(env)
    for channel, setting, outcome in steps:
        written = now[channel][setting] == data["channels"][channel][setting]
        assert written == (outcome != "not tried"), (channel, setting, outcome)


THREADS = """
import json, threading, time, velotune
with velotune.open("usb:id:31415926") as c:
    errors, gaps, snapshots = [], [], []
    def writes(channel, base):
        try:
            for i in range(5):
                c.channels[channel].speed = base + i
            start = time.monotonic()
            c.snapshot()
            snapshots.append(time.monotonic() - start)
        except Exception as e:
            errors.append(repr(e))
    threads = [threading.Thread(target=writes, args=(n, 1_000_000 * (n + 1))) for n in (0, 1)]
    for t in threads:
        t.start()
    last = time.monotonic()
    while any(t.is_alive() for t in threads):
        now = time.monotonic()
        gaps.append(now - last)
        last = now
    print(json.dumps([errors, max(gaps), min(snapshots),
                      [c.channels[n].speed for n in (0, 1)]]))
"""


def test_two_threads_share_one_controller(tmp_path):
    # Calls slow enough that a loaded machine's scheduling stays well below one snapshot.
    env = slow_fleet(tmp_path, 20_000)
    errors, longest_gap, snapshot, speeds = result(python(THREADS, env))
    assert errors == [] and speeds == [1_000_004, 2_000_004]
    # The main thread ran while a snapshot's calls were made: with the GIL held through them it
    # would have waited for the whole snapshot.
    assert longest_gap < snapshot * 0.75
    calls = [line.split("] ")[1] for line in open(env["VELOTUNE_TRACE_FILE"], encoding="utf-8")
             if "] TQ_" in line]
    channel = re.compile(r"channel (\d+)")
    for i, call in enumerate(calls):
        if call.startswith("TQ_SetClosedLoopMoveSpeed_S"):
            # A write's read-backs follow it, not the other thread's calls.
            assert channel.search(calls[i + 1]).group(1) == channel.search(call).group(1)


@pytest.mark.parametrize("saver", ["python", "velotune-cli"])
def test_snapshot_files_shared_with_velotune_cli(controller, tmp_path, saver):
    path = str(tmp_path / "lab.json")
    controller.channels[2].speed = 3_141_592
    controller.close()
    if saver == "python":
        with velotune.open(LOCATOR) as c:
            c.snapshot().save(path)
    else:
        cli("save", LOCATOR, path)
    with velotune.open(LOCATOR) as c:
        c.channels[2].speed = 1_000
    if saver == "python":
        assert "matches" in cli("restore", LOCATOR, path).stdout
    else:
        with velotune.open(LOCATOR) as c:
            assert c.restore(velotune.Snapshot.load(path)).matches
    assert cli_channels()[2]["speed"] == 3_141_592


def readme_example():
    text = open(os.environ["VELOTUNE_README"], encoding="utf-8").read()
    section = text[text.index("\n## Python"):]
    code = re.search(r"```python\n(.*?)```", section, re.S).group(1)
    printed = re.search(r"```text\n(.*?)```", section, re.S).group(1)
    return code, printed


def test_readme_example_runs_as_written(tmp_path):
    code, printed = readme_example()
    env = {"NEXILCONTROL_SIM_STATE": str(tmp_path / "state.json")}
    child = python(code, env, cwd=tmp_path)
    out, err = child.communicate(timeout=60)
    assert (child.returncode, err) == (0, "")
    assert out == printed
