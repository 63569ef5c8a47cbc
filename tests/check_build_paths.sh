#!/usr/bin/env bash
# Every path into the build tree (`build/...`) that the README and the manual pages give exists
# in the build under test, so a moved file cannot leave the documentation behind.
#
# usage: check_build_paths.sh SOURCE_DIR BUILD_DIR
set -euo pipefail

source=${1:?usage: check_build_paths.sh SOURCE_DIR BUILD_DIR}
build=${2:?usage: check_build_paths.sh SOURCE_DIR BUILD_DIR}

# `build/` as a word of its own (not build-qt6/ nor rebuild/), up to the first character that
# cannot be part of a path; a sentence's full stop or comma after it is not part of it.
mapfile -t paths < <(cat "$source/README.md" "$source"/packaging/*.1* |
    grep -oE '(^|[^[:alnum:]_.-])build/[[:alnum:]_./+-]*' | sed -E 's/^[^b]//; s/[.,]+$//' |
    sort -u)

failed=0
for path in "${paths[@]}"; do
    if [[ -e $build/${path#build/} ]]; then
        echo "PASS: $path"
    else
        echo "FAIL: $path: no ${build%/}/${path#build/}"
        failed=$((failed + 1))
    fi
done
echo "build paths: ${#paths[@]} checked, $failed missing"
[[ ${#paths[@]} -gt 0 && $failed -eq 0 ]]
