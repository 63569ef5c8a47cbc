#!/usr/bin/env bash
# Installs a build into a scratch prefix and checks what a package would carry: the program
# does not link the controller library, the simulator sits in a private folder where only the
# velotune-simulator wrapper points the program at it, and both desktop entries validate and
# name an icon that is installed.
#
# usage: check_install.sh BUILD_DIR
set -euo pipefail

build=${1:?usage: check_install.sh BUILD_DIR}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
# Captured first: with pipefail, "tool | grep -q" fails whenever grep stops reading early.
dynamic=$(readelf -d "$prefix/bin/velotune")
libraries=$(ldd "$prefix/bin/velotune")
cli_libraries=$(ldd "$prefix/bin/velotune-cli")

. "$(dirname "$0")/checks.sh"

for f in bin/velotune bin/velotune-simulator lib/velotune/libNexilControl.so \
         share/applications/velotune.desktop share/applications/velotune-simulator.desktop \
         share/icons/hicolor/48x48/apps/velotune.png share/icons/hicolor/256x256/apps/velotune.png \
         share/doc/velotune/copyright share/doc/velotune/changelog.gz \
         share/man/man1/velotune.1.gz share/man/man1/velotune-simulator.1.gz \
         share/metainfo/example.norvane.velotune.metainfo.xml; do
    check "installs $f" "[[ -f '$prefix/$f' ]]"
done
check "installs the Python module with its type stub beside it" \
    "ls '$prefix'/lib/python3/dist-packages/velotune.cpython-*.so '$prefix/lib/python3/dist-packages/velotune.pyi' >/dev/null"
check "bin/velotune and bin/velotune-simulator are executable" \
    "[[ -x '$prefix/bin/velotune' && -x '$prefix/bin/velotune-simulator' ]]"
check "bin/velotune-cli is executable" "[[ -x '$prefix/bin/velotune-cli' ]]"
check "velotune-cli needs no Qt Gui or Widgets library" \
    "grep -q 'Qt[56]Core' <<<\"\$cli_libraries\" && ! grep -qE 'Qt[56](Gui|Widgets)' <<<\"\$cli_libraries\""
check "velotune-cli --version runs from the prefix" \
    "[[ \$('$prefix/bin/velotune-cli' --version) == 'velotune-cli '* ]]"
check "the program has no run path" "! grep -q 'R.*PATH' <<<\"\$dynamic\""
check "no build-tree path left in the program" \
    "! grep -qF '$(cd "$build" && pwd)' <<<\"\$dynamic\""
check "the program does not link the controller library" \
    "! grep -qF 'libNexilControl' <<<\"\$libraries\""
check "nothing of the simulator on the system's library path" "[[ ! -e '$prefix/lib/libNexilControl.so' ]]"
for entry in velotune velotune-simulator; do
    check "desktop entry $entry validates" \
        "desktop-file-validate '$prefix/share/applications/$entry.desktop'"
    check "desktop entry $entry starts $entry with icon velotune" \
        "grep -qx 'Exec=$entry' '$prefix/share/applications/$entry.desktop' &&
         grep -qx 'Icon=velotune' '$prefix/share/applications/$entry.desktop'"
done

# The wrapper, started through a link from elsewhere as a desktop might, points the program at
# the simulator beside it: the trace's first line names the file.
ln -s "$prefix/bin/velotune-simulator" "$prefix/link"
QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="velotune.controller.debug=true" \
    XDG_CONFIG_HOME="$prefix/config" timeout 60 "$prefix/link" 2>"$prefix/err" &
started=$!
for _ in $(seq 300); do
    grep -q 'TQ_FindSystems(' "$prefix/err" && break
    sleep 0.1
done
kill "$started" 2>/dev/null || true
wait "$started" 2>/dev/null || true
check "velotune-simulator runs on the simulator installed beside it" \
    "grep -qxF 'velotune.controller: Library $prefix/lib/velotune/libNexilControl.so loaded (simulated controllers)' '$prefix/err'"
for size in 48 256; do
    check "${size} px icon is ${size}x${size} PNG" \
        "[[ \$(file -b '$prefix/share/icons/hicolor/${size}x${size}/apps/velotune.png') == 'PNG image data, $size x $size'* ]]"
done

echo "install check: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
