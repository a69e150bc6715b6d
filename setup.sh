#!/usr/bin/env bash
# Quick start on Debian 12, with nothing but the shell (as root, or as a user with sudo):
#   ./setup.sh run         install what is missing, build, install into ~/Quorvane and start
#   ./setup.sh test        install what is missing, build and run every test
#   ./setup.sh uninstall   remove the program and its menu entry, keep the data
# Anything else is handed to make (see the Makefile), e.g. ./setup.sh run PROGRAM_DIR=/srv/studio
set -euo pipefail
repo=$(cd "$(dirname "$0")" && pwd)

if [ $# -eq 0 ]; then
    sed -n '2,6s/^# \{0,1\}//p' "$0"
    exit 2
fi

# A program folder named relative to where the user stands, not to the source tree.
args=()
for arg in "$@"; do
    case "$arg" in
    PROGRAM_DIR=/*) ;;
    PROGRAM_DIR=*) arg="PROGRAM_DIR=$PWD/${arg#PROGRAM_DIR=}" ;;
    esac
    args+=("$arg")
done

# The uninstall needs no package; everything else needs make and the compiler first.
if [ "${args[0]}" = uninstall ]; then
    program_dir=$HOME/Quorvane
    for arg in "${args[@]:1}"; do
        case "$arg" in
        PROGRAM_DIR=*) program_dir=${arg#PROGRAM_DIR=} ;;
        *) echo "setup.sh: uninstall takes only PROGRAM_DIR=..." >&2; exit 2 ;;
        esac
    done
    exec "$repo/scripts/uninstall-program.sh" "$program_dir"
fi
"$repo/scripts/install-deps.sh"
exec make -C "$repo" --no-print-directory "${args[@]}"
