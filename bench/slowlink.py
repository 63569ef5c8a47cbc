#!/usr/bin/env python3
"""The window on a slow link, as a user meets it: the simulator answers every call after
200 ms, and xdotool types into the real window under an X server (run it under xvfb-run).

    xvfb-run -a -s "-screen 0 1280x1024x24" python3 bench/slowlink.py BUILD

Prints how long each action froze the window (first call's start to last call's end, from the
time-stamped call trace), and for Up held one second in the speed field: the writes that
started after the key was released and whether the controller ended up holding the value
shown (one more Up afterwards writes the shown value + 1).

Then bench_longactions (bench/bench_longactions.cpp) at 150 ms a call on 6 channels: the longest
gap between repaints of the main window during an overview fill and a 6-field restore, the
fill's time against calls x latency, and the calls started after a Cancel click."""

import datetime
import json
import os
import re
import subprocess
import sys
import tempfile
import time

LATENCY_US = 200000
LINE = re.compile(r"^(\S+Z) (TQ_\w+)\((.*)\) = (\d+).*\[(\d+) us\]$")


def utc_now():
    return datetime.datetime.now(datetime.timezone.utc)


def parse_stamp(text):
    return datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%S.%fZ").replace(
        tzinfo=datetime.timezone.utc)


def calls(trace):
    """(start, end, function, arguments) of every traced call."""
    out = []
    if not os.path.exists(trace):
        return out
    with open(trace, encoding="utf-8") as f:
        for line in f:
            m = LINE.match(line.strip())
            if m:
                end = parse_stamp(m.group(1))
                start = end - datetime.timedelta(microseconds=int(m.group(5)))
                out.append((start, end, m.group(2), m.group(3)))
    return out


def wait_quiet(trace, quiet_s=1.5, limit_s=60):
    """Until the trace has not grown for quiet_s."""
    deadline = time.monotonic() + limit_s
    size = -1
    stable_since = time.monotonic()
    while time.monotonic() < deadline:
        now_size = os.path.getsize(trace) if os.path.exists(trace) else 0
        if now_size != size:
            size = now_size
            stable_since = time.monotonic()
        elif time.monotonic() - stable_since >= quiet_s:
            return
        time.sleep(0.05)


def xdo(*args):
    subprocess.run(["xdotool", *args], check=True)


def frozen(trace, since):
    made = [c for c in calls(trace) if c[0] >= since]
    if not made:
        return 0.0, 0
    return (made[-1][1] - made[0][0]).total_seconds(), len(made)


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    tmp = tempfile.mkdtemp(prefix="slowlink.")
    fleet = os.path.join(tmp, "fleet.json")
    trace = os.path.join(tmp, "trace.txt")
    with open(fleet, "w", encoding="utf-8") as f:
        json.dump({"latencyMicroseconds": LATENCY_US,
                   "systems": [{"locator": "usb:id:1001",
                                "channels": [{"speed": 5000}, {"speed": 80000}]}]}, f)
    env = dict(os.environ,
               NEXILCONTROL_LIBRARY=os.path.join(build, "simulator", "libNexilControl.so"),
               NEXILCONTROL_SIM_CONFIG=fleet, VELOTUNE_TRACE_FILE=trace,
               XDG_CONFIG_HOME=os.path.join(tmp, "config"), QT_QPA_PLATFORM="xcb")
    program = subprocess.Popen([os.path.join(build, "velotune")], env=env)
    try:
        window = subprocess.run(["xdotool", "search", "--sync", "--name", "Nexil Velotune"],
                                check=True, capture_output=True, text=True).stdout.split()[0]
        wait_quiet(trace)
        xdo("windowfocus", "--sync", window)
        time.sleep(0.5)

        figures = {}
        since = utc_now()
        xdo("key", "ctrl+space")
        wait_quiet(trace)
        figures["Connect"] = frozen(trace, since)

        # Focus moves on from the disabled locator to the button; then the channel, the speed.
        xdo("key", "Tab")
        since = utc_now()
        xdo("key", "Up")
        wait_quiet(trace)
        figures["Channel change"] = frozen(trace, since)

        xdo("key", "Tab")
        since = utc_now()
        xdo("key", "Up")
        wait_quiet(trace)
        figures["Speed write"] = frozen(trace, since)

        held_from = utc_now()
        xdo("keydown", "Up")
        time.sleep(1.0)
        xdo("keyup", "Up")
        released = utc_now()
        wait_quiet(trace, quiet_s=3.0, limit_s=120)
        writes = [c for c in calls(trace)
                  if c[2] == "TQ_SetClosedLoopMoveSpeed_S" and c[0] >= held_from]
        after = [c for c in writes if c[0] > released]
        last_value = int(writes[-1][3].rsplit(" ", 1)[1]) if writes else None

        xdo("key", "Up")
        wait_quiet(trace)
        probe = [c for c in calls(trace) if c[2] == "TQ_SetClosedLoopMoveSpeed_S"][-1]
        shown = int(probe[3].rsplit(" ", 1)[1]) - 1

        for action, (seconds, count) in figures.items():
            print(f"{action}: frozen {seconds:.2f} s, {count} calls")
        print(f"Up held 1 s: {len(writes)} writes in all, {len(after)} started after release"
              + (f", the last {(after[-1][0] - released).total_seconds():.2f} s after it"
                 if after else ""))
        print(f"controller holds {last_value}, the field shows {shown}: "
              + ("same" if last_value == shown else "DIFFERENT"))
    finally:
        program.terminate()
        program.wait(10)
    long_actions = os.path.join(build, "bench", "bench_longactions")
    if os.path.exists(long_actions):
        subprocess.run([long_actions], check=True)


if __name__ == "__main__":
    main()
