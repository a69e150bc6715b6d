#!/usr/bin/env bash
# The real program, installed into a program folder of its own, on an X display of its own, walked
# through a typical request with real input events:
#   start (the reminder names the overdue patient; answered), "Cerca", the Cognome option, "ros",
#   "Cerca", the line, "Scheda", a new address, "Note", a note, "&Scheda", "Menu", "Chiudi";
# a second copy started meanwhile is refused. Afterwards the archive holds the address and the
# note on the right patient and nothing else changed. A screenshot of every screen passed through
# goes to ARTIFACTS.
#   tests/e2e/typical_request.sh BUILD_DIR E2E_TOOL ARTIFACTS
# Exit status 77 (skipped) only when Xvfb is not installed.
set -euo pipefail

build_dir=$1
tool=$2
artifacts=$3
repo_root=$(cd "$(dirname "$0")/../.." && pwd)

if ! command -v Xvfb >/dev/null 2>&1; then
    echo "Xvfb is not installed (scripts/install-deps.sh installs it): skipped"
    exit 77
fi
command -v xdotool >/dev/null 2>&1 || { echo "xdotool is missing: run scripts/install-deps.sh" >&2; exit 1; }

# Without symbolic links: the program names its folder as the system resolves it.
work=$(cd "$(mktemp -d)" && pwd -P)
xvfb_pid=
program_pid=
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf -- "$work"
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*" >&2
    shot "failure" || true
    exit 1
}

# ---- the display: Xvfb picks a free number and tells it ----
rm -rf -- "$artifacts"
mkdir -p -- "$artifacts"
exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; fail "Xvfb did not start"; }
    sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb gave no display number"
export DISPLAY=":$(head -n1 "$work/display")"
export QT_QPA_PLATFORM=xcb
unset QT_QPA_PLATFORMTHEME SESSION_MANAGER
# The menu entry and the icons of the install go into a home of their own.
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p -- "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 -- "$XDG_RUNTIME_DIR"

shots=0
shot() {
    shots=$((shots + 1))
    "$tool" grab "$artifacts/$(printf '%02d' "$shots")-$1.png"
}

# The visible window of `pid` whose title is exactly `title`, waited for.
window() {
    local pid=$1 title=$2 id
    id=$(timeout 20 xdotool search --all --sync --onlyvisible --pid "$pid" --name "^${title}\$" 2>/dev/null | head -n1) ||
        fail "no window \"$title\""
    [ -n "$id" ] || fail "no window \"$title\""
    echo "$id"
}

# Waits until window `id` is gone (closed or hidden).
gone() {
    local id=$1
    for _ in $(seq 200); do
        xdotool search --onlyvisible --name '.*' 2>/dev/null | grep -qx "$id" || return 0
        sleep 0.05
    done
    fail "window $id is still there"
}

# Gives window `id` the keyboard (there is no window manager to do it).
focus() {
    xdotool windowfocus --sync "$1"
    sleep 0.2
}

# A left click at x, y inside window `id`.
click() {
    xdotool mousemove --window "$1" "$2" "$3" click 1
}

# Whether message box `id` shows this icon and text, with the icon theme named by the card or
# Qt's own (the box is drawn again as the program draws it and the pictures compared: X offers
# no way to read a window's text).
box_shows() {
    "$tool" same-box "$1" "$2" "$3" "$4"
}

# ---- the program folder, installed as the README says, with a few patients ----
folder="$work/Quorvane"
"$repo_root/scripts/install-program.sh" "$build_dir" "$folder" >/dev/null
"$tool" prepare "$folder"
"$tool" dump "$folder/quorvane.mdb" >"$work/before.txt"

# ---- start: the reminder names the overdue patient ----
"$folder/quorvane" &
program_pid=$!
reminder=$(window "$program_pid" Quorvane)
shot reminder
box_shows "$reminder" none card 'Devi aprire la scheda relativa a:   \nAnna\nBianchi\nInsegnante\nScuola Media Pascoli' ||
    fail "the reminder does not name Anna Bianchi"
focus "$reminder"
xdotool key Return
gone "$reminder"
start=$(window "$program_pid" Quorvane)
shot start-screen

# ---- a second copy on the same folder is refused, the first goes on ----
"$folder/quorvane" &
second_pid=$!
refusal=$(window "$second_pid" Quorvane)
shot second-copy-refused
box_shows "$refusal" exclamation qt "Quorvane è già aperto sugli stessi dati (cartella $folder).\\nSi può usare una sola copia del programma alla volta: chiudere l'altra finestra di Quorvane e riprovare." ||
    fail "the second copy's refusal is not the one expected"
focus "$refusal"
xdotool key Return
status=0
wait "$second_pid" || status=$?
[ "$status" -eq 1 ] || fail "the second copy ended with status $status"
kill -0 "$program_pid" 2>/dev/null || fail "the first copy ended with the second"
[ "$(window "$program_pid" Quorvane)" = "$start" ] || fail "the start screen went away"

# ---- "Cerca", Cognome, ros, "Cerca", the Rossi line, "Scheda" ----
# Places in pixels (15 twips each) from the screens' layouts; no window manager, no frames.
click "$start" 383 96 # CandyHCommand6 "Cerca"
search=$(window "$program_pid" "Cerca ")
focus "$search"
click "$search" 50 41  # OptionCogno
click "$search" 100 73 # TXTCerca
xdotool type --delay 50 ros
shot search-typed
click "$search" 45 105 # lblCerca "Cerca"
sleep 0.5
click "$search" 260 73 # the first line of List1: Rossi (Grossi comes after)
shot search-results
click "$search" 45 137 # Label1 "Scheda"

# ---- the card: a new address, then "Note" ----
card=$(window "$program_pid" Scheda)
gone "$search"
focus "$card"
# The focus starts on Cognome; Nome, Attività, Società, then Indirizzo.
xdotool key Tab Tab Tab Tab ctrl+a
xdotool type --delay 30 "Via Garibaldi 7, Bologna"
shot card-edited
xdotool key alt+n # the menu's "&Note"

# ---- the notes: typed, then "&Scheda" ----
notes=$(window "$program_pid" Note)
gone "$card"
focus "$notes"
xdotool type --delay 30 "Controllo tra sei mesi, otturazione sul 36"
shot notes-typed
xdotool key alt+s
card=$(window "$program_pid" Scheda)
gone "$notes"
shot card-again

# ---- "Menu", then "Chiudi" ----
focus "$card"
# The card's client area starts below its menu bar and toolbar, 57 pixels down.
click "$card" 440 106 # lblMnu "Menu"
start=$(window "$program_pid" Quorvane)
shot start-screen-again
click "$start" 383 272 # CandyHCommand3 "Chiudi"
status=0
wait "$program_pid" || status=$?
program_pid=
[ "$status" -eq 0 ] || fail "the program ended with status $status"
[ ! -e "$folder/quorvane.mdb.lock" ] || fail "the lock file is left behind"

# ---- the archive: the address and the note on Rossi (ID 2), nothing else changed ----
"$tool" dump "$folder/quorvane.mdb" >"$work/after.txt"
changes=$(diff "$work/before.txt" "$work/after.txt" | grep '^[<>]' || true)
expected_address="> Pazienti|2|Indirizzo|Via Garibaldi 7, Bologna"
grep -qxF -- "$expected_address" <<<"$changes" || fail "the address is not stored on Rossi: $changes"
grep -q '^> Pazienti|2|Note|{\\\\rtf.*Controllo tra sei mesi, otturazione sul 36' <<<"$changes" ||
    fail "the note is not stored on Rossi: $changes"
others=$(grep -v -e '^[<>] Pazienti|2|Indirizzo|' -e '^[<>] Pazienti|2|Note|' <<<"$changes" || true)
[ -z "$others" ] || fail "other values changed: $others"
[ "$(grep -c '^<' <<<"$changes")" -eq 2 ] || fail "unexpected changes: $changes"
echo "typical request walked; $shots screenshots in $artifacts"
