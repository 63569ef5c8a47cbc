#!/usr/bin/env bash
# Installs the .deb for real and checks it as a user would meet it: the simulator entry opens
# its window, plain velotune uses the maker's library from the system path (a stand-in here)
# and not the private simulator, and without any library it still starts and says why.
# Removes everything it installed on the way out, also when a step fails. Needs root.
#
# usage: check_package.sh PACKAGE.deb
set -euo pipefail

deb=$(readlink -f "${1:?usage: check_package.sh PACKAGE.deb}")
[[ -f $deb ]] || { echo "no such package: $deb" >&2; exit 1; }
[[ $(id -u) == 0 ]] || { echo "check_package.sh installs a package: run it as root" >&2; exit 1; }

standin=/usr/local/lib/libNexilControl.so
private=/usr/lib/velotune/libNexilControl.so
# Nothing of the user's is replaced or removed.
if dpkg-query -W -f='${Status}' velotune 2>/dev/null | grep -q 'ok installed'; then
    echo "velotune is installed already; remove it first" >&2
    exit 1
fi
if [[ -e $standin ]]; then
    echo "$standin exists already; it is not replaced" >&2
    exit 1
fi

scratch=$(mktemp -d)
xvfb_pid=""
started=""
installed=0
cleanup() {
    status=$?
    for pid in $started $xvfb_pid; do kill "$pid" 2>/dev/null || true; done
    if [[ -e $standin ]]; then
        rm -f "$standin"
        ldconfig
    fi
    if [[ $installed == 1 ]]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -q velotune >/dev/null || status=1
    fi
    rm -rf "$scratch"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

. "$(dirname "$0")/checks.sh"

# Starts "$@" with the trace on and stderr to $scratch/$name.err, and waits until the start-up
# discovery was traced (or 30 s passed). Leaves its pid (that of timeout, which hands a
# signal on) in $started.
start() {
    local name=$1
    shift
    mkdir -p "$scratch/$name/config" "$scratch/$name/runtime"
    chmod 700 "$scratch/$name/runtime"
    HOME="$scratch/$name" XDG_CONFIG_HOME="$scratch/$name/config" \
        XDG_RUNTIME_DIR="$scratch/$name/runtime" \
        QT_LOGGING_RULES="velotune.controller.debug=true" \
        timeout 60 "$@" 2>"$scratch/$name.err" &
    started=$!
    for _ in $(seq 300); do
        grep -q 'TQ_FindSystems(' "$scratch/$name.err" && return 0
        kill -0 "$started" 2>/dev/null || return 0
        sleep 0.1
    done
}
stop() { kill "$1" 2>/dev/null; wait "$1" 2>/dev/null || true; }
# The trace's first line names the library in use.
loaded() { grep -m1 -o 'Library .* loaded.*\|No library loaded.*' "$scratch/$1.err" || true; }

echo "installing $deb"
installed=1
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >"$scratch/apt.log" 2>&1 ||
    { cat "$scratch/apt.log"; exit 1; }

exported=$(nm -D --defined-only "$private" | awk '{print $3}' | sort | tr '\n' ' ')
check "the simulator exports the fifteen functions and its identity only" \
    "[[ '$exported' == 'TQ_CloseSystem TQ_EPK TQ_FindSystems TQ_GetChannelProperty_S TQ_GetChannelType TQ_GetClosedLoopMoveAcceleration_S TQ_GetClosedLoopMoveSpeed_S TQ_GetNumberOfChannels TQ_GetSensorType_S TQ_GetStatusInfo TQ_OpenSystem TQ_SetChannelProperty_S TQ_SetClosedLoopMoveAcceleration_S TQ_SetClosedLoopMoveSpeed_S TQ_Stop_S nexilsim_identity ' ]]"
check "the program is stripped" "file -b /usr/bin/velotune | grep -q ', stripped'"
check "the simulator is off the library search path" "! ldconfig -p | grep -q libNexilControl"
metainfo=/usr/share/metainfo/example.norvane.velotune.metainfo.xml
launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo" || true)
check "the metainfo validates" "appstreamcli validate --no-net '$metainfo'"
check "the metainfo's release is the package's version" \
    "grep -qF '<release version=\"$(dpkg-deb -f "$deb" Version)\"' '$metainfo'"
check "the metainfo launches an installed desktop entry" \
    "[[ -n '$launchable' && -f '/usr/share/applications/$launchable' ]]"

# The simulator's desktop entry, on an X server, as a desktop would start it.
command=$(sed -n 's/^Exec=//p' /usr/share/applications/velotune-simulator.desktop)
# -noreset: a reset when xdotool, the last client, leaves would refuse the program's connection.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$scratch/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s $scratch/display ]] && break; sleep 0.1; done
export DISPLAY=":$(cat "$scratch/display")"
start simulator env QT_QPA_PLATFORM=xcb $command
window=""
for _ in $(seq 100); do
    # Only this program is on that display.
    window=$(xdotool search --all --onlyvisible --name '^Nexil Velotune' 2>/dev/null || true)
    [[ -n $window ]] && break
    sleep 0.1
done
check "'$command' maps its window" "[[ -n '$window' ]]"
check "'$command' runs on the private simulator" \
    "[[ '$(loaded simulator)' == 'Library $private loaded (simulated controllers)' ]]"
check "'$command' prints no library error" "! grep -q 'No controller library' '$scratch/simulator.err'"
stop "$started"
kill "$xvfb_pid" 2>/dev/null || true
xvfb_pid=""
unset DISPLAY
export QT_QPA_PLATFORM=offscreen

# No maker's library on this machine: the window opens all the same, and one line says why.
if ! ldconfig -p | grep -q 'libNexilControl\.so '; then
    start nolibrary velotune
    check "without a library velotune keeps running" "kill -0 $started"
    check "without a library velotune says so in one line" \
        "[[ \$(grep -c 'No controller library loaded: .*libNexilControl.so: cannot open' '$scratch/nolibrary.err') == 1 ]]"
    stop "$started"
fi

# Debian's python3 finds the module and, on the installed simulator, reads a channel.
speed=$(NEXILCONTROL_LIBRARY=$private HOME=$scratch /usr/bin/python3 -I -c \
    'import velotune; c = velotune.open("usb:id:31415926"); print(c.channels[0].speed)' 2>&1 || true)
check "python3 imports velotune and reads a channel on the simulator" "[[ '$speed' == 2000000 ]]"
check "the type stub lies beside the module" \
    "ls /usr/lib/python3/dist-packages/velotune.pyi /usr/lib/python3/dist-packages/velotune*.so >/dev/null"

# A stand-in for the maker's library on the system path: plain velotune takes it.
cp "$private" "$standin"
ldconfig
start standin velotune
check "plain velotune uses $standin" \
    "[[ '$(loaded standin)' == 'Library $standin loaded (simulated controllers)' ]]"
stop "$started"

echo "package check: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
