#!/usr/bin/env bash
# Compiles Velotune.rc with the MinGW resource compiler and checks what lands
# in the .res: the 12-image application icon and the asInvoker manifest, all
# in US English. Exits 77 (skip) where no windres is installed.
#
# usage: check_winres.sh [Resources/GuiResources folder]
set -euo pipefail

dir=${1:-"$(cd "$(dirname "$0")/.." && pwd)/Resources/GuiResources"}
windres=${WINDRES:-}
if [[ -z $windres ]]; then
    for candidate in x86_64-w64-mingw32-windres windres; do
        if command -v "$candidate" >/dev/null 2>&1; then
            windres=$candidate
            break
        fi
    done
fi
if [[ -z $windres ]] || ! command -v "$windres" >/dev/null 2>&1; then
    echo "SKIP: windres not found (apt-get install binutils-mingw-w64-x86-64)"
    exit 77
fi

if ! command -v python3 >/dev/null 2>&1; then
    echo "SKIP: python3 not found, needed to read the compiled resources"
    exit 77
fi

# windres runs the target's gcc as preprocessor; a Linux host usually has only its own cpp.
pp_args=()
if ! command -v x86_64-w64-mingw32-gcc >/dev/null 2>&1 && command -v cpp >/dev/null 2>&1; then
    pp_args=(--preprocessor=cpp --preprocessor-arg=-DRC_INVOKED)
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$windres" "${pp_args[@]}" -O res -i "$dir/Velotune.rc" -o "$work/Velotune.res"

python3 - "$work/Velotune.res" "$dir/CorporateDesign/DefaultAppIcon.ico" <<'PY'
import struct
import sys
import xml.etree.ElementTree as ET

RT_ICON, RT_GROUP_ICON, RT_MANIFEST = 3, 14, 24
LANG_EN_US = 0x0409


def read_id(buf, pos):
    """A .res TYPE or NAME: 0xFFFF + ordinal, or a NUL-terminated UTF-16 string."""
    if struct.unpack_from("<H", buf, pos)[0] == 0xFFFF:
        return struct.unpack_from("<H", buf, pos + 2)[0], pos + 4
    end = pos
    while struct.unpack_from("<H", buf, end)[0] != 0:
        end += 2
    return buf[pos:end].decode("utf-16-le"), end + 2


def parse_res(buf):
    pos, out = 0, []
    while pos < len(buf):
        data_size, header_size = struct.unpack_from("<II", buf, pos)
        rtype, p = read_id(buf, pos + 8)
        name, p = read_id(buf, p)
        p = (p + 3) & ~3
        _, _, lang = struct.unpack_from("<IHH", buf, p)
        data = buf[pos + header_size:pos + header_size + data_size]
        if data_size or rtype != 0:  # the leading empty entry marks a 32-bit .res
            out.append((rtype, name, lang, data))
        pos = (pos + header_size + data_size + 3) & ~3
    return out


failures = []
passed = 0


def check(ok, what):
    global passed
    print(("PASS: " if ok else "FAIL: ") + what)
    if ok:
        passed += 1
    else:
        failures.append(what)


res = parse_res(open(sys.argv[1], "rb").read())
ico = open(sys.argv[2], "rb").read()

groups = [r for r in res if r[0] == RT_GROUP_ICON]
icons = {r[1]: r for r in res if r[0] == RT_ICON}
manifests = [r for r in res if r[0] == RT_MANIFEST]
others = [r[:3] for r in res if r[0] not in (RT_ICON, RT_GROUP_ICON, RT_MANIFEST)]

check(len(groups) == 1 and groups[0][1] == "IDI_ICON1" and groups[0][2] == LANG_EN_US,
      "one GROUP_ICON named IDI_ICON1 in language 0x0409: "
      + str([(g[1], hex(g[2])) for g in groups]))
check(len(icons) == 12 and all(r[2] == LANG_EN_US for r in icons.values()),
      f"12 ICON resources in language 0x0409 (found {len(icons)})")

if groups:
    grp = groups[0][3]
    _, gtype, count = struct.unpack_from("<HHH", grp)
    check(gtype == 1 and count == 12, f"group lists 12 icons (found {count})")
    _, _, ico_count = struct.unpack_from("<HHH", ico)
    for i in range(min(count, ico_count)):
        w, h, colors, _, planes, bits, size, nid = struct.unpack_from("<BBBBHHIH", grp, 6 + 14 * i)
        iw, ih, icolors, _, iplanes, ibits, isize, ioff = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
        same_dir = (w, h, colors, planes, bits, size) == (iw, ih, icolors, iplanes, ibits, isize)
        same_data = nid in icons and icons[nid][3] == ico[ioff:ioff + isize]
        check(same_dir and same_data,
              f"group entry {i + 1} ({w or 256}x{h or 256}, {bits} bit) -> ICON {nid} matches the .ico")

check(len(manifests) == 1 and manifests[0][1] == 1 and manifests[0][2] == LANG_EN_US,
      "one RT_MANIFEST with id 1 in language 0x0409")
if manifests:
    ns = "{urn:schemas-microsoft-com:asm.v3}"
    levels = ET.fromstring(manifests[0][3]).findall(
        f"./{ns}trustInfo/{ns}security/{ns}requestedPrivileges/{ns}requestedExecutionLevel")
    check(len(levels) == 1 and levels[0].get("level") == "asInvoker"
          and levels[0].get("uiAccess") == "false",
          "manifest requests asInvoker with uiAccess false")
check(not others, f"no other resources (found {others})")

print(f"windres check: {passed} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
PY
