#!/usr/bin/env bash
# Checks that every C++ file of the repository is formatted with its .clang-format
# (clang-format 14, as CI runs it):  scripts/check-format.sh [--fix]
# --fix formats the files in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
tool=$(command -v clang-format-14 || command -v clang-format || true)
[ -n "$tool" ] || {
    echo "check-format.sh: clang-format 14 is needed (scripts/install-deps.sh hardening installs it)" >&2
    exit 1
}
mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
    "$tool" -i "${files[@]}"
else
    "$tool" --dry-run --Werror "${files[@]}"
fi
