#!/bin/sh
# What journaling adds to velotune-cli restore of 3 channels on a 1 ms link: restores with the
# journal on and with VELOTUNE_JOURNAL=off, alternately in the same run, each writing three
# fields (two files swapped each time); the medians, and the median difference within pairs.
# Usage: bench/journal_restore.sh [VELOTUNE_CLI] [PAIRS]   (default build/cli/velotune-cli, 15)
set -eu
cli=${1:-build/cli/velotune-cli}
pairs=${2:-15}
# The simulator beside the build's velotune-cli, unless one is named.
: "${NEXILCONTROL_LIBRARY:=$(cd "$(dirname "$cli")/../simulator" && pwd)/libNexilControl.so}"
export NEXILCONTROL_LIBRARY
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
channel='{"type": 0, "sensorType": 1, "speed": 1000000, "acceleration": 100000}'
printf '{"latencyMicroseconds": 1000, "systems": [{"locator": "usb:id:1", "channels": [%s, %s, %s]}]}\n' \
    "$channel" "$channel" "$channel" >"$dir/fleet.json"
export NEXILCONTROL_SIM_CONFIG="$dir/fleet.json" NEXILCONTROL_SIM_STATE="$dir/state.json"
export VELOTUNE_JOURNAL="$dir/journal.jsonl"
"$cli" save usb:id:1 "$dir/a.json" >/dev/null
for c in 0 1 2; do "$cli" set usb:id:1 --channel $c --speed 2000000 >/dev/null; done
"$cli" save usb:id:1 "$dir/b.json" >/dev/null

python3 - "$cli" "$dir" "$pairs" <<'PY'
import os, statistics, subprocess, sys, time
cli, folder, pairs = sys.argv[1], sys.argv[2], int(sys.argv[3])
times = {"on": [], "off": []}
files = ["a.json", "b.json"]
run = 0
for _ in range(pairs):
    for journal in ("off", "on") if run % 4 == 0 else ("on", "off"):
        env = dict(os.environ)
        if journal == "off":
            env["VELOTUNE_JOURNAL"] = "off"
        started = time.perf_counter()
        done = subprocess.run([cli, "restore", "usb:id:1", os.path.join(folder, files[run % 2])],
                              env=env, stdout=subprocess.DEVNULL)
        times[journal].append(time.perf_counter() - started)
        if done.returncode != 0:
            sys.exit("exit status %d" % done.returncode)
        run += 1
on, off = statistics.median(times["on"]), statistics.median(times["off"])
# Each pair ran back to back: its difference is the least disturbed by the machine's load.
paired = statistics.median(a - b for a, b in zip(times["on"], times["off"]))
print("restore of 3 fields, median of %d: journal off %.1f ms, on %.1f ms, %+.2f %%; "
      "median paired difference %+.2f ms (%+.2f %%)"
      % (pairs, off * 1000, on * 1000, (on - off) / off * 100, paired * 1000,
         paired / off * 100))
PY
