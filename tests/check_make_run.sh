#!/usr/bin/env bash
# The README's first command as a new user types it: `make run` from the project's root, here on
# the build under test. Passes when the Velotune window is visible and its program still runs;
# then ends everything make started and checks nothing is left. Needs an X server (xvfb-run).
#
# usage: check_make_run.sh SOURCE_DIR BUILD_DIR
set -uo pipefail

source=${1:?usage: check_make_run.sh SOURCE_DIR BUILD_DIR}
# Links resolved, as the running program's /proc entry names its file.
build=$(cd "${2:?usage: check_make_run.sh SOURCE_DIR BUILD_DIR}" && pwd -P) || exit 1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cd "$source" || exit 1
# A leader of its own process group, so the program and anything make left can be ended at
# once. Settings go to a scratch folder; the make of a `make check` around ctest is not passed on.
XDG_CONFIG_HOME="$scratch" setsid env -u MAKEFLAGS -u MAKELEVEL -u MFLAGS \
    make run BUILD="$build" </dev/null &
group=$!

window=""
for _ in $(seq 1200); do
    window=$(xdotool search --onlyvisible --name '^Nexil Velotune' 2>/dev/null | head -n1)
    [[ -n $window ]] && break
    kill -0 "$group" 2>/dev/null || break
    sleep 0.1
done

status=0
program=$(pgrep -g "$group" -x velotune | head -n1)
if [[ -z $window ]]; then
    echo "FAIL: no visible Velotune window after make run"
    status=1
elif [[ -z $program || $(readlink -f "/proc/$program/exe") != "$build/app/velotune" ]]; then
    echo "FAIL: the window is up but $build/app/velotune is not running"
    status=1
else
    echo "PASS: make run shows window $window of $build/app/velotune (pid $program)"
fi

kill -TERM -- "-$group" 2>/dev/null
for _ in $(seq 100); do
    pgrep -g "$group" >/dev/null || break
    sleep 0.1
done
if left=$(pgrep -a -g "$group"); then
    echo "FAIL: still running 10 s after SIGTERM:"$'\n'"$left"
    kill -KILL -- "-$group" 2>/dev/null
    status=1
fi
wait "$group" 2>/dev/null
exit "$status"
