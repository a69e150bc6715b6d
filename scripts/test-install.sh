#!/usr/bin/env bash
# The install and the uninstall in a home of their own: BUILD_DIR must hold a built program.
#   scripts/test-install.sh BUILD_DIR
# Checks that a reinstall replaces the executable and leaves the data byte for byte, that the
# menu entry starts the installed copy (also from a folder whose name needs quoting), that a
# program folder inside the source tree is refused, and that the uninstall keeps the data.
set -euo pipefail
scripts=$(cd "$(dirname "$0")" && pwd)
build_dir=$(realpath -- "$1")
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
export HOME=$work/home XDG_DATA_HOME=$work/home/.local/share
mkdir -p "$HOME"

failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}
check() { # check DESCRIPTION COMMAND...
    local what=$1
    shift
    "$@" || fail "$what"
}
fingerprint() { # contents, names and modes of the data in a program folder
    (cd "$1" && find quorvane.mdb quorvane.mdb.lock Agd -printf '%p %m %s\n' | sort &&
        find quorvane.mdb quorvane.mdb.lock Agd -type f -exec md5sum {} + | sort)
}
# The command line of the menu entry, unquoted as the desktop's launcher does.
entry_command() {
    local line
    line=$(sed -n 's/^Exec=//p' "$XDG_DATA_HOME/applications/quorvane.desktop")
    line=${line//\\\\/\\}
    line=${line//%%/%}
    eval "printf '%s\n' $line"
}

do_install() { "$scripts/install-program.sh" "$build_dir" "$1" >"$work/install.log"; }

for folder in "$HOME/Quorvane" "$HOME/Studio dentistico \$Rossi & \"Bianchi\" 100%"; do
    echo "== $folder"
    check "first install" do_install "$folder"
    check "the executable is the build's" cmp -s "$build_dir/quorvane" "$folder/quorvane"
    check "the executable can be run" test -x "$folder/quorvane"
    for size in 16 32 48 64 128 256; do
        icon=$XDG_DATA_HOME/icons/hicolor/${size}x$size/apps/quorvane.png
        check "icon $size" test -s "$icon"
        if command -v identify >/dev/null 2>&1; then
            check "icon $size is ${size}x$size" test "$(identify -format '%wx%h' "$icon")" = "${size}x$size"
        fi
    done
    entry=$XDG_DATA_HOME/applications/quorvane.desktop
    check "menu entry" test -f "$entry"
    check "Italian comment" grep -qx 'Comment=Schede dei pazienti, note cliniche e agenda dello studio dentistico' "$entry"
    check "name" grep -qx 'Name=Quorvane' "$entry"
    check "icon name" grep -qx 'Icon=quorvane' "$entry"
    check "the entry starts the installed copy" test "$(entry_command)" = "$folder/quorvane"
    if command -v desktop-file-validate >/dev/null 2>&1; then
        check "the entry is valid" desktop-file-validate "$entry"
    fi

    # The program's data, as a running program leaves it.
    printf 'SQLite format 3\0patients' >"$folder/quorvane.mdb"
    echo 12345 >"$folder/quorvane.mdb.lock"
    mkdir -p "$folder/Agd"
    printf 'Rossi\r\n' >"$folder/Agd/lunedì 6 dicembre  2004"
    chmod 600 "$folder/quorvane.mdb"
    before=$(fingerprint "$folder")
    old_inode=$(stat -c %i "$folder/quorvane")
    exec 9<"$folder/quorvane" # a copy still running keeps the old file
    check "reinstall" do_install "$folder"
    exec 9<&-
    check "the reinstall put a new file in place" test "$(stat -c %i "$folder/quorvane")" != "$old_inode"
    check "the reinstall left the data untouched" test "$(fingerprint "$folder")" = "$before"
    check "no staging file left behind" test "$(ls -A "$folder" | tr '\n' ' ')" = "Agd quorvane quorvane.mdb quorvane.mdb.lock "

    check "uninstall" "$scripts/uninstall-program.sh" "$folder" >/dev/null
    check "the executable is gone" test ! -e "$folder/quorvane"
    check "the menu entry is gone" test ! -e "$entry"
    check "the icon is gone" test ! -e "$XDG_DATA_HOME/icons/hicolor/48x48/apps/quorvane.png"
    check "the uninstall kept the data" test "$(fingerprint "$folder")" = "$before"
done

echo "== an empty program folder goes with the uninstall"
check "install" do_install "$HOME/Vuota"
"$scripts/uninstall-program.sh" "$HOME/Vuota" >/dev/null
check "the empty folder is gone" test ! -e "$HOME/Vuota"

echo "== a program folder inside the source tree is refused"
inside=$(cd "$scripts/.." && pwd)/build-data-test
if "$scripts/install-program.sh" "$build_dir" "$inside" 2>"$work/refused.log"; then
    fail "a program folder inside the source tree was accepted"
fi
check "the refusal says why" grep -q "inside the source tree" "$work/refused.log"
check "nothing made inside the source tree" test ! -e "$inside"

echo "== an uninstall leaves another copy's menu entry alone"
check "install" do_install "$HOME/Quorvane"
mkdir -p "$HOME/Altro"
"$scripts/uninstall-program.sh" "$HOME/Altro" >/dev/null
check "the entry of the other copy stays" test -f "$XDG_DATA_HOME/applications/quorvane.desktop"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all install checks passed"
