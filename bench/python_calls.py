#!/usr/bin/env python3
"""The velotune module's own cost per call, on the simulator of a build (best a Release build):

    python3 bench/python_calls.py BUILD

1. 10,000 reads of ch.speed against 10,000 calls of TQ_GetClosedLoopMoveSpeed_S through ctypes,
   no latency: the module's time per call over ctypes' (goal: at most 1.5).
2. c.snapshot() of three channels with every call delayed 1 ms, against the number of calls
   times 1 ms (goal: at most 1.05), and against as many delayed calls through ctypes (what the
   simulator's wait really takes). The calls are counted from the trace of one more snapshot.

Each figure is the best of five runs, each part in a process of its own (the simulator reads
its latency once per process)."""

import ctypes
import json
import os
import subprocess
import sys
import tempfile
import time

CALLS = 10_000
RUNS = 5
LATENCY_US = 1000
LOCATOR = b"usb:id:31415926"


def best(run):
    return min(run() for _ in range(RUNS))


def ctypes_reads(library, calls=CALLS):
    lib = ctypes.CDLL(library)
    system = ctypes.c_uint32()
    assert lib.TQ_OpenSystem(ctypes.byref(system), LOCATOR, b"sync") == 0
    get = lib.TQ_GetClosedLoopMoveSpeed_S
    get.argtypes = [ctypes.c_uint32, ctypes.c_uint32, ctypes.POINTER(ctypes.c_uint32)]
    get.restype = ctypes.c_uint32
    speed = ctypes.c_uint32()
    index, out = system.value, ctypes.byref(speed)

    def run():
        start = time.perf_counter()
        for _ in range(calls):
            get(index, 0, out)
        return time.perf_counter() - start
    seconds = best(run)
    lib.TQ_CloseSystem(system.value)
    return seconds


def module_reads():
    import velotune
    with velotune.open(LOCATOR.decode()) as c:
        ch = c.channels[0]

        def run():
            start = time.perf_counter()
            for _ in range(CALLS):
                ch.speed
            return time.perf_counter() - start
        return best(run)


def snapshot_time():
    import velotune
    with velotune.open(LOCATOR.decode()) as c:
        def run():
            start = time.perf_counter()
            c.snapshot()
            return time.perf_counter() - start
        return best(run)


def snapshot_calls(folder, env):
    """The library calls of one snapshot, from the trace of a process of its own."""
    trace = os.path.join(folder, "trace.log")
    code = ("import velotune\nwith velotune.open('%s') as c:\n    print('-', flush=True)\n"
            "    open(%r, 'a').write('--- snapshot\\n')\n    c.snapshot()" % (LOCATOR.decode(), trace))
    subprocess.run([sys.executable, "-c", code], check=True, stdout=subprocess.DEVNULL,
                   env={**env, "VELOTUNE_TRACE_FILE": trace})
    lines = open(trace, encoding="utf-8").read().split("--- snapshot\n", 1)[1].splitlines()
    return sum(1 for line in lines if "] TQ_" in line)


def child(part, library):
    if part == "calls":
        print(json.dumps([ctypes_reads(library), module_reads()]))
    else:
        # What the simulator itself takes per delayed call, with nothing of the module.
        print(json.dumps([snapshot_time(), ctypes_reads(library, 50) / 50]))


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--child":
        return child(sys.argv[2], sys.argv[3])
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build-release")
    library = os.path.join(build, "simulator", "libNexilControl.so")
    env = {**os.environ, "NEXILCONTROL_LIBRARY": library,
           "PYTHONPATH": os.path.join(build, "python")}
    env.pop("VELOTUNE_TRACE_FILE", None)

    def run(part, extra):
        out = subprocess.run([sys.executable, __file__, "--child", part, library],
                             env={**env, **extra}, check=True, capture_output=True, text=True)
        return json.loads(out.stdout)

    with tempfile.TemporaryDirectory() as folder:
        ctypes_s, module_s = run("calls", {})
        print(f"ch.speed, {CALLS} reads: module {module_s / CALLS * 1e9:.0f} ns per call, "
              f"ctypes {ctypes_s / CALLS * 1e9:.0f} ns per call: {module_s / ctypes_s:.2f} x "
              f"ctypes (goal <= 1.5)")
        config = os.path.join(folder, "fleet.json")
        with open(config, "w") as f:
            json.dump({"latencyMicroseconds": LATENCY_US, "systems": [
                {"locator": LOCATOR.decode(), "listed": True, "channels": [
                    {"sensorType": 1}, {"sensorType": 40, "lowVibration": "on"},
                    {"sensorType": 2, "lowVibration": "unsupported"}]}]}, f)
        slow = {"NEXILCONTROL_SIM_CONFIG": config}
        seconds, per_call = run("snapshot", slow)
        env.update(slow)
        calls = snapshot_calls(folder, env)
        floor = calls * LATENCY_US / 1e6
        print(f"c.snapshot(), 3 channels at {LATENCY_US} us: {seconds * 1e3:.2f} ms for {calls} "
              f"calls = {seconds / floor:.3f} x calls x latency (goal <= 1.05); the simulator "
              f"alone takes {per_call * 1e3:.3f} ms per call through ctypes, so "
              f"{seconds / (calls * per_call):.3f} x that")


if __name__ == "__main__":
    main()
