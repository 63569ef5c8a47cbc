#!/usr/bin/env bash
# Fails when an ELF file of the build has an empty RUNPATH or RPATH entry, or one that is
# relative to the working directory: the loader would then take libraries from whatever folder
# the program is started in. Absolute entries and $ORIGIN-based ones are fine.
#
# usage: check_runpath.sh BUILD_DIR
set -euo pipefail

build=${1:?usage: check_runpath.sh BUILD_DIR}
checked=0
bad=0
while IFS= read -r -d '' file; do
    [[ $(head -c 4 "$file" | od -An -c | tr -d ' ') == 177ELF ]] || continue
    checked=$((checked + 1))
    dynamic=$(readelf -d "$file" 2>/dev/null) || continue
    while IFS= read -r paths; do
        # The added colon keeps a trailing empty entry, which read would drop.
        IFS=: read -r -a entries <<<"$paths:"
        for entry in "${entries[@]}"; do
            if [[ -z $entry || ( $entry != /* && $entry != '$ORIGIN'* ) ]]; then
                echo "FAIL: ${file#"$build"/}: run path [$paths] has entry '$entry'"
                bad=$((bad + 1))
            fi
        done
    done < <(sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]$/\2/p' <<<"$dynamic")
done < <(find "$build" -type f ! -name '*.o' -print0)

echo "run path check: $checked ELF files, $bad bad entries"
[[ $checked -gt 0 && $bad -eq 0 ]]
