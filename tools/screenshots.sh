#!/usr/bin/env bash
# Retakes docs/screenshot-main.png, docs/screenshot-channels.png, docs/screenshot-restore.png and
# docs/screenshot-about.png on a virtual X display, with the real style and fonts, against the
# simulator's default fleet.
#
# usage: tools/screenshots.sh [BUILD_DIR]   (default: build)
# Build the helper first: cmake --build BUILD_DIR --target velotune_screenshot
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
helper=$build/velotune_screenshot
if [[ ! -x $helper ]]; then
    echo "missing $helper: run 'cmake --build $build --target velotune_screenshot' first" >&2
    exit 1
fi
command -v xvfb-run >/dev/null || { echo "xvfb-run missing (apt-get install xvfb xauth)" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/runtime"
mkdir -p "$root/docs"

# A fresh settings folder, so a saved window size of the user's does not leak in.
env -u NEXILCONTROL_SIM_CONFIG -u NEXILCONTROL_SIM_STATE \
    NEXILCONTROL_LIBRARY="$build/simulator/libNexilControl.so" \
    XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/runtime" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$helper" "$root/docs"
