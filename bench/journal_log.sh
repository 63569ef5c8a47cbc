#!/bin/sh
# velotune-cli log over a journal of 16 MiB (its size before rotation): the best of three runs
# of each output form and of a filter that matches one line in a hundred.
# Usage: bench/journal_log.sh [VELOTUNE_CLI]   (default build-release/cli/velotune-cli)
set -eu
cli=${1:-build-release/cli/velotune-cli}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export VELOTUNE_JOURNAL="$dir/journal.jsonl"

python3 - "$VELOTUNE_JOURNAL" <<'PY'
import json, sys, datetime
limit = 16 * 1024 * 1024
start = datetime.datetime(2026, 1, 5, 8, 0, 0, tzinfo=datetime.timezone.utc)
sources = ["form", "overview", "restore", "cli set", "cli restore"]
settings = [("speed", "nm/sec"), ("acceleration", "nm/sec²"), ("lowVibration", "")]
size = 0
with open(sys.argv[1], "w", encoding="utf-8") as out:
    i = 0
    while True:
        t = start + datetime.timedelta(seconds=7 * i)
        setting, unit = settings[i % 3]
        line = {"time": t.strftime("%Y-%m-%dT%H:%M:%S.") + "%03dZ" % (i % 1000),
                "program": "velotune-cli", "pid": 4000 + i % 97, "event": "write",
                "locator": "usb:id:%d" % (31415926 + i % 100), "channel": i % 6,
                "setting": setting}
        if setting == "lowVibration":
            line.update({"old": "off", "new": "on"})
        else:
            line.update({"old": 1000000 + i, "new": 2000000 + i, "unit": unit})
        line.update({"outcome": "taken", "source": sources[i % 5]})
        text = json.dumps(line, ensure_ascii=False) + "\n"
        size += len(text.encode())
        if size > limit:
            break
        out.write(text)
        i += 1
    print("journal: %d lines, %d bytes" % (i, size - len(text.encode())))
PY

best() {
    python3 - "$@" <<'PY'
import subprocess, sys, time
runs = []
for _ in range(3):
    started = time.perf_counter()
    done = subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL)
    runs.append(time.perf_counter() - started)
    if done.returncode not in (0, 1):
        sys.exit("exit status %d" % done.returncode)
print("%-45s %6.0f ms" % (" ".join(sys.argv[2:]), min(runs) * 1000))
PY
}
best "$cli" log
best "$cli" log --json
best "$cli" log --csv
best "$cli" log --controller usb:id:31415927
best "$cli" log --since 2026-01-10 --until 2026-01-11
