#!/usr/bin/env bash
# Starts the program installed in PROGRAM_DIR, as the desktop's menu entry does:
#   scripts/start-program.sh PROGRAM_DIR
set -euo pipefail
. "$(dirname "$0")/program-folder.sh"

[ $# -eq 1 ] || die "usage: $0 PROGRAM_DIR"
program_dir=$(resolve_program_dir "$1")
[ -x "$program_dir/quorvane" ] || die "no program in $program_dir: run make install first"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    die "Quorvane is installed in $program_dir, but this session has no graphical display" \
        "(neither DISPLAY nor WAYLAND_DISPLAY is set): start it from the desktop's menu."
fi
echo "Starting $program_dir/quorvane"
exec "$program_dir/quorvane"
