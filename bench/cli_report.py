#!/usr/bin/env python3
"""velotune-cli figures for docs/performance.md (Release build in BUILD, default build-release).

(f) start-up to exit of `velotune-cli show` on the simulator's default fleet against
bench_cli_bare, a QCoreApplication that does nothing: median wall time of 31 runs each,
alternating.
(g) `save` with 1000 us of simulated latency per call, measured from outside: the whole
process untraced, against calls x 1000 us and a bare start-up; the time spent inside the calls
from the --trace output (each call's line ends with its "[N us]"), which also counts them.
Median of 11 runs each.
"""
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

build = sys.argv[1] if len(sys.argv) > 1 else "build-release"
cli = os.path.join(build, "cli", "velotune-cli")
bare = os.path.join(build, "bench", "bench_cli_bare")
library = os.path.abspath(os.path.join(build, "simulator", "libNexilControl.so"))

env = dict(os.environ, NEXILCONTROL_LIBRARY=library)
for key in ("NEXILCONTROL_SIM_STATE", "NEXILCONTROL_SIM_CONFIG", "QT_LOGGING_RULES"):
    env.pop(key, None)


def wall(command, environment):
    start = time.perf_counter()
    subprocess.run(command, env=environment, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   check=True)
    return (time.perf_counter() - start) * 1000.0


show = [cli, "show", "usb:id:31415926"]
runs = {"bare": [], "show": []}
for _ in range(31):
    runs["bare"].append(wall([bare], env))
    runs["show"].append(wall(show, env))
bare_ms = statistics.median(runs["bare"])
show_ms = statistics.median(runs["show"])
print(f"(f) bare QCoreApplication {bare_ms:.1f} ms, velotune-cli show {show_ms:.1f} ms, "
      f"ratio {show_ms / bare_ms:.2f} (target <= 1.5), fastest {min(runs['bare']):.1f} / "
      f"{min(runs['show']):.1f} ms")

with tempfile.TemporaryDirectory() as folder:
    config = os.path.join(folder, "fleet.json")
    with open(config, "w") as f:
        f.write('{"latencyMicroseconds": 1000, "systems": [{"locator": "usb:id:1", '
                '"channels": [{}, {"sensorType": 40, "lowVibration": "on"}, '
                '{"sensorType": 2, "lowVibration": "unsupported"}]}]}')
    slow = dict(env, NEXILCONTROL_SIM_CONFIG=config)
    target = os.path.join(folder, "s.json")
    save = [cli, "save", "usb:id:1", target]
    call = re.compile(r"^velotune\.controller: TQ_\w+\(.*\[(\d+) us\]$", re.M)
    calls, inside, whole = 0, [], []
    for _ in range(11):
        traced = subprocess.run([cli, "--trace"] + save[1:], env=slow, capture_output=True,
                                text=True, check=True)
        micros = [int(m) for m in call.findall(traced.stderr)]
        calls = len(micros)
        inside.append(sum(micros) / 1000.0)
        whole.append(wall(save, slow))
    ideal = calls * 1.0
    inside_ms = statistics.median(inside)
    whole_ms = statistics.median(whole)
    print(f"(g) save: {calls} calls x 1 ms = {ideal:.1f} ms; inside the calls (traced) "
          f"{inside_ms:.2f} ms (+{(inside_ms - ideal) / ideal * 100:.2f} %); whole process "
          f"{whole_ms:.1f} ms, fastest {min(whole):.1f} ms; beyond the calls' latency and a bare "
          f"start-up {whole_ms - ideal - bare_ms:.1f} ms")
