#!/usr/bin/env bash
# Installs a build into a scratch prefix and checks what a package would carry: the program
# finds its library there (not in the build tree), the desktop entry validates and names an
# icon that is installed.
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

failed=0
passed=0
check() {
    if eval "$2"; then
        echo "PASS: $1"
        passed=$((passed + 1))
    else
        echo "FAIL: $1"
        failed=$((failed + 1))
    fi
}

for f in bin/velotune lib/velotune/libNexilControl.so share/applications/velotune.desktop \
         share/icons/hicolor/48x48/apps/velotune.png share/icons/hicolor/256x256/apps/velotune.png; do
    check "installs $f" "[[ -f '$prefix/$f' ]]"
done
check "bin/velotune is executable" "[[ -x '$prefix/bin/velotune' ]]"
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
check "desktop entry validates" \
    "desktop-file-validate '$prefix/share/applications/velotune.desktop'"
check "desktop entry starts velotune with icon velotune" \
    "grep -qx 'Exec=velotune' '$prefix/share/applications/velotune.desktop' &&
     grep -qx 'Icon=velotune' '$prefix/share/applications/velotune.desktop'"
for size in 48 256; do
    check "${size} px icon is ${size}x${size} PNG" \
        "[[ \$(file -b '$prefix/share/icons/hicolor/${size}x${size}/apps/velotune.png') == 'PNG image data, $size x $size'* ]]"
done

echo "install check: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
