#!/usr/bin/env bash
# Removes the program from PROGRAM_DIR and, when it starts that copy, the menu entry and the
# icon; the data (quorvane.mdb, Agd/ and anything else in the folder) stays:
#   scripts/uninstall-program.sh PROGRAM_DIR
set -euo pipefail
. "$(dirname "$0")/program-folder.sh"

[ $# -eq 1 ] || die "usage: $0 PROGRAM_DIR"
program_dir=$(resolve_program_dir "$1")
target=$program_dir/quorvane

if [ -f "$target" ]; then
    rm -f -- "$target"
    echo "Removed $target"
else
    echo "No program in $program_dir"
fi

entry_target=$(desktop_value "$desktop_file" TryExec)
if [ -n "$entry_target" ] && [ "$entry_target" = "${target//\\/\\\\}" ]; then
    rm -f -- "$desktop_file"
    for size in "${icon_sizes[@]}"; do
        rm -f -- "$data_home/icons/hicolor/${size}x${size}/apps/quorvane.png"
    done
    if command -v update-desktop-database >/dev/null 2>&1; then
        update-desktop-database -q "$data_home/applications" || true
    fi
    echo "Removed the menu entry $desktop_file and the icon"
elif [ -n "$entry_target" ]; then
    echo "The menu entry starts $entry_target, not this copy: left as it is"
fi

if [ -d "$program_dir" ]; then
    if rmdir -- "$program_dir" 2>/dev/null; then
        echo "Removed the empty folder $program_dir"
    else
        echo "Kept the data in $program_dir:"
        ls -A -- "$program_dir" | sed 's/^/  /'
    fi
fi
