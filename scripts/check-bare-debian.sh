#!/usr/bin/env bash
# Tries the README's quick start as a new user would, on a bare Debian 12, as root:
#   scripts/check-bare-debian.sh [--keep] [OUT_DIR]
#
# Makes a minimal root with debootstrap from the mirror this machine's apt already uses
# (MIRROR=... overrides it), clones this repository's current commit into it, and runs there
# with chroot, timing each:
#   1. ./setup.sh run    on this machine's Xvfb, until the start screen shows; checks that the
#                        data landed in the program folder ~/Quorvane, then closes the program
#   2. ./setup.sh test
# then reinstalls (the data must stay byte for byte), starts the program through its menu
# entry, and uninstalls (the data must stay). Logs, a screenshot and the times go to OUT_DIR
# (default /var/tmp/quorvane-bare-check); the root is deleted at the end unless --keep.
# It builds everything inside the root: expect several minutes.
set -euo pipefail

keep=0
if [ "${1:-}" = --keep ]; then
    keep=1
    shift
fi
out=$(realpath -m -- "${1:-/var/tmp/quorvane-bare-check}")
repo=$(cd "$(dirname "$0")/.." && pwd -P)

[ "$(id -u)" -eq 0 ] || {
    echo "$0: debootstrap and chroot need root" >&2
    exit 1
}

say() { printf '\n== %s\n' "$*"; }
fail() {
    echo "CHECK FAILED: $*" >&2
    exit 1
}

# The host's own tools for the check.
need=()
for tool in debootstrap:debootstrap Xvfb:xvfb xdotool:xdotool git:git; do
    command -v "${tool%%:*}" >/dev/null 2>&1 || need+=("${tool#*:}")
done
if [ ${#need[@]} -gt 0 ]; then
    say "installing on this machine: ${need[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

if [ -z "${MIRROR:-}" ]; then
    MIRROR=$(apt-get indextargets --format '$(CODENAME) $(COMPONENT) $(IDENTIFIER) $(REPO_URI)' |
        awk '$1 == "bookworm" && $2 == "main" && $3 == "Packages" { print $4; exit }')
fi
[ -n "$MIRROR" ] || fail "no bookworm main mirror in this machine's apt sources: set MIRROR"

commit=$(git -C "$repo" rev-parse HEAD)
branch=$(git -C "$repo" rev-parse --abbrev-ref HEAD)
if [ -n "$(git -C "$repo" status --porcelain --untracked-files=no)" ]; then
    echo "Note: the work tree has uncommitted changes; the check uses the commit $commit only."
fi

mkdir -p "$out"
rm -f "$out"/*.log "$out"/*.png "$out"/times.txt
root=$(mktemp -d /var/tmp/quorvane-bare-root.XXXXXX)
chmod 755 "$root" # the root's "/", which every user must be able to enter
xvfb_pid=
run_pid=
mounts=()

descendants() { # every process below PID, deepest first
    local child
    for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do
        descendants "$child"
        echo "$child"
    done
}
stop_run() { # ends the started command and what it started, by their ids
    [ -n "$run_pid" ] || return 0
    if kill -0 "$run_pid" 2>/dev/null; then
        local pids
        pids=$(descendants "$run_pid")
        # shellcheck disable=SC2086
        kill $pids "$run_pid" 2>/dev/null || true
        wait "$run_pid" 2>/dev/null || true
    fi
    run_pid=
}
cleanup() {
    set +e
    stop_run
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount -R "${mounts[i]}" 2>/dev/null || umount -R -l "${mounts[i]}"
    done
    if findmnt -rn -o TARGET | grep -q "^$root/"; then
        echo "Something is still mounted under $root: it is left in place." >&2
    elif [ "$keep" -eq 1 ]; then
        echo "The root is kept in $root"
    else
        rm -rf --one-file-system -- "$root"
    fi
}
trap cleanup EXIT

seconds_since() { echo $(($(date +%s) - $1)); }
in_root() { # runs a login shell in the root, with the environment of a fresh root login
    chroot "$root" /usr/bin/env -i HOME=/root USER=root LOGNAME=root SHELL=/bin/bash TERM=dumb \
        LANG=C.UTF-8 DISPLAY="$display" \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        /bin/bash -lc "$1"
}
start_window() { # waits up to $1 seconds for the start screen; prints its window id
    local deadline=$(($(date +%s) + $1)) w
    while [ "$(date +%s)" -lt "$deadline" ]; do
        w=$(DISPLAY=$display xdotool search --onlyvisible --name '^Quorvane$' 2>/dev/null | head -n 1 || true)
        if [ -n "$w" ]; then
            echo "$w"
            return 0
        fi
        kill -0 "$run_pid" 2>/dev/null || return 1
        sleep 0.5
    done
    return 1
}
close_program() { # "Chiudi" from the keyboard, as the user would: Aggiungi, Cerca, Elenco, Chiudi
    local w=$1 i
    DISPLAY=$display xdotool windowfocus --sync "$w"
    sleep 0.5
    DISPLAY=$display xdotool key Tab Tab Tab space
    for i in $(seq 40); do
        kill -0 "$run_pid" 2>/dev/null || break
        sleep 0.5
    done
    if kill -0 "$run_pid" 2>/dev/null; then
        echo "The program did not end on Chiudi: ending it." >&2
        stop_run
        return 1
    fi
    wait "$run_pid"
    local rc=$?
    run_pid=
    return $rc
}

say "debootstrap --variant=minbase bookworm $root $MIRROR"
t=$(date +%s)
debootstrap --variant=minbase bookworm "$root" "$MIRROR" >"$out/debootstrap.log" 2>&1 ||
    fail "debootstrap failed, see $out/debootstrap.log"
echo "done in $(seconds_since "$t") s"
[ -s "$root/etc/resolv.conf" ] || cp /etc/resolv.conf "$root/etc/resolv.conf"

say "cloning $repo at $commit into the root"
git clone -q --no-checkout "$repo" "$root/root/quorvane"
git -C "$root/root/quorvane" checkout -q -B "$branch" "$commit"

for fs in proc sys dev; do
    mount --rbind "/$fs" "$root/$fs"
    mount --make-rslave "$root/$fs"
    mounts+=("$root/$fs")
done
display=
for n in $(seq 90 120); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
        display=:$n
        break
    fi
done
[ -n "$display" ] || fail "no free X display number"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
    [ -S "/tmp/.X11-unix/X${display#:}" ] && break
    sleep 0.1
done
[ -S "/tmp/.X11-unix/X${display#:}" ] || fail "Xvfb did not start, see $out/xvfb.log"
mkdir -p "$root/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
mounts+=("$root/tmp/.X11-unix")

folder=$root/root/Quorvane
clone=$root/root/quorvane

say "1. ./setup.sh run (in the root, display $display)"
t=$(date +%s)
in_root 'cd ~/quorvane && ./setup.sh run' >"$out/run.log" 2>&1 </dev/null &
run_pid=$!
window=$(start_window 5400) || {
    tail -n 30 "$out/run.log"
    fail "the start screen did not show, see $out/run.log"
}
run_time=$(seconds_since "$t")
echo "the start screen showed after $run_time s"
sleep 1
if command -v import >/dev/null 2>&1; then
    DISPLAY=$display import -window root "$out/start-screen.png" || true
fi
[ -f "$folder/quorvane" ] || fail "no program in the program folder"
[ -f "$folder/quorvane.mdb" ] || fail "no quorvane.mdb in the program folder"
[ -f "$folder/quorvane.mdb.lock" ] || fail "no lock in the program folder while the program runs"
if find "$clone" -name 'quorvane.mdb*' -o -name Agd | grep -q .; then
    fail "data was made inside the clone"
fi
entry=$root/root/.local/share/applications/quorvane.desktop
grep -qx 'Exec=/root/Quorvane/quorvane' "$entry" || fail "the menu entry does not start /root/Quorvane/quorvane"
[ -s "$root/root/.local/share/icons/hicolor/48x48/apps/quorvane.png" ] || fail "no icon for the menu"
echo "data in the program folder: $(ls -A "$folder" | tr '\n' ' ')"
close_program "$window" || fail "the program did not end in order on Chiudi, see $out/run.log"
[ ! -e "$folder/quorvane.mdb.lock" ] || fail "the lock stayed after an orderly end"
echo "closed with Chiudi; the command ended after $(seconds_since "$t") s in all"

say "2. ./setup.sh test (in the root)"
t=$(date +%s)
if ! in_root 'cd ~/quorvane && ./setup.sh test' >"$out/test.log" 2>&1 </dev/null; then
    tail -n 40 "$out/test.log"
    fail "the tests failed, see $out/test.log"
fi
test_time=$(seconds_since "$t")
grep -E 'tests passed|tests failed' "$out/test.log" | tail -n 1
if grep -q '\*\*\*Skipped' "$out/test.log"; then
    grep '\*\*\*Skipped' "$out/test.log"
fi
echo "done in $test_time s"

say "3. a reinstall leaves the data, the menu entry starts the program, the uninstall keeps the data"
mkdir -p "$folder/Agd"
printf 'Rossi\r\n' >"$folder/Agd/lunedì 6 dicembre  2004"
fingerprint() { (cd "$folder" && find quorvane.mdb Agd -type f -exec md5sum {} + | sort); }
before=$(fingerprint)
old=$(stat -c %i "$folder/quorvane")
t=$(date +%s)
in_root 'cd ~/quorvane && ./setup.sh install' >"$out/reinstall.log" 2>&1 </dev/null ||
    fail "the reinstall failed, see $out/reinstall.log"
reinstall_time=$(seconds_since "$t")
[ "$(stat -c %i "$folder/quorvane")" != "$old" ] || fail "the reinstall did not replace the executable"
[ "$(fingerprint)" = "$before" ] || fail "the reinstall changed the data"
exec_line=$(sed -n 's/^Exec=//p' "$entry")
in_root "$exec_line" >"$out/menu-start.log" 2>&1 </dev/null &
run_pid=$!
window=$(start_window 60) || fail "the menu entry's command did not show the start screen"
close_program "$window" || fail "the program started from the menu did not end in order"
[ "$(fingerprint)" = "$before" ] || fail "starting and closing changed the data"
in_root 'cd ~/quorvane && ./setup.sh uninstall' >"$out/uninstall.log" 2>&1 </dev/null ||
    fail "the uninstall failed, see $out/uninstall.log"
[ ! -e "$folder/quorvane" ] && [ ! -e "$entry" ] || fail "the uninstall left the program or its entry"
[ "$(fingerprint)" = "$before" ] || fail "the uninstall changed the data"
echo "reinstall in $reinstall_time s; data untouched throughout"

{
    echo "commit:              $commit"
    echo "mirror:              $MIRROR"
    echo "./setup.sh run:      $run_time s until the start screen showed"
    echo "./setup.sh test:     $test_time s"
    echo "./setup.sh install:  $reinstall_time s (a reinstall of a built tree)"
} | tee "$out/times.txt"
echo "All checks passed. Logs and the screenshot are in $out"
