#!/usr/bin/env bash
# Start-up of the real program on generated program folders, against plain SQLite reading the
# recall-date column of the same archive in the same run.
#
#   bench/startup.sh [BUILD_DIR] [PATIENTS...]      (default: build 10000 100000 1000000)
#
# For each size, a program folder with that many realistic patients (recall dates all in the
# future, the reminder's longest walk) is generated once under $BENCH_FOLDERS (default $BUILD_DIR/bench-folders), the
# program is copied into it and started on an X display (Xvfb on $BENCH_DISPLAY, default :99,
# started here when none answers), and the time until its start screen's window is visible is
# taken (the first top-level window mapped: the start screen, or the reminder's box). The peak memory is the program's VmHWM just before it is stopped.
set -euo pipefail

build_dir=${1:-build}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 100000 1000000)
display=${BENCH_DISPLAY:-:99}
runs=${BENCH_RUNS:-3}
folders=${BENCH_FOLDERS:-$build_dir/bench-folders}
program="$build_dir/quorvane"
tool="$build_dir/bench/quorvane_bench"
[ -x "$program" ] && [ -x "$tool" ] || { echo "build quorvane and quorvane_bench in $build_dir first" >&2; exit 1; }
command -v xev >/dev/null && command -v xdotool >/dev/null || { echo "xev and xdotool are needed" >&2; exit 1; }

xvfb_pid=
if ! DISPLAY=$display xdotool getmouselocation >/dev/null 2>&1; then
    Xvfb "$display" -screen 0 1280x800x24 >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do DISPLAY=$display xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.05; done
fi
cleanup() { [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT

now_ns() { date +%s%N; }

# One start: prints "milliseconds peak-kB", or fails when no window showed within 120 s. The
# window's mapping is seen as it happens by xev listening on the root window, so that nothing
# polls the display while the program starts.
start_once() {
    local folder=$1 began pid xev_pid ms peak=0 line fifo shown=
    rm -f "$folder/quorvane.mdb.lock"
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    DISPLAY=$display stdbuf -oL xev -root -event substructure >"$fifo" 2>/dev/null &
    xev_pid=$!
    exec 3<"$fifo"
    rm -f "$fifo"
    sleep 0.5 # xev is listening
    began=$(now_ns)
    DISPLAY=$display QT_QPA_PLATFORM=xcb "$folder/quorvane" >/dev/null 2>&1 &
    pid=$!
    while read -r -t 120 line <&3; do
        if [[ $line == MapNotify* ]]; then
            shown=yes
            break
        fi
    done
    ms=$(( ($(now_ns) - began) / 1000000 ))
    kill "$xev_pid" 2>/dev/null || true
    exec 3<&-
    if [ -z "$shown" ]; then
        kill "$pid" 2>/dev/null || true
        echo "no window" >&2
        return 1
    fi
    peak=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || echo 0)
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 200); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    wait "$xev_pid" 2>/dev/null || true
    echo "$ms $peak"
}

printf '%-40s %10s %12s %8s %10s\n' "start-up of the program" "program" "plain SQLite" "ratio" "peak"
for n in "${sizes[@]}"; do
    folder="$folders/p$n"
    if [ ! -f "$folder/quorvane.mdb" ]; then
        echo "generating $n patients in $folder ..." >&2
        "$tool" generate "$n" "$folder" >/dev/null 2>&1
    fi
    cp "$program" "$folder/quorvane"
    "$tool" plain "$folder" >/dev/null 2>&1 # the file in the page cache, as for the program
    best_ms=; best_plain=; peak=0
    for _ in $(seq "$runs"); do
        read -r ms kb < <(start_once "$folder")
        plain_ns=$("$tool" plain "$folder" 2>/dev/null)
        plain_ms=$(( plain_ns / 1000000 ))
        [ -z "$best_ms" ] || [ "$ms" -lt "$best_ms" ] && best_ms=$ms
        [ -z "$best_plain" ] || [ "$plain_ms" -lt "$best_plain" ] && best_plain=$plain_ms
        [ "$kb" -gt "$peak" ] && peak=$kb
    done
    ratio=$(awk -v a="$best_ms" -v b="$best_plain" 'BEGIN { printf "%.2fx", (b > 0 ? a / b : 0) }')
    printf '%-40s %7d ms %9d ms %8s %7d MB\n' "$n realistic patients (best of $runs)" "$best_ms" "$best_plain" \
        "$ratio" $(( peak / 1024 ))
done
