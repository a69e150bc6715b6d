#!/usr/bin/env bash
# Runs the fuzz targets of a build made with -DQUORVANE_FUZZ=ON (make hardening does so):
#   scripts/fuzz.sh BUILD_DIR [SECONDS [TARGET...]]
# each for SECONDS (default 30), starting from its seeds in fuzz/corpus/<name>/ (fuzz_rtf reads
# fuzz/corpus/rtf/, with fuzz/rtf.dict). What a run adds to the corpus stays in
# BUILD_DIR/fuzz-corpus/; a crash, a hang (over 5 s for one input) or memory beyond 512 MB is
# kept in BUILD_DIR/fuzz-findings/ and fails the run. Runs longer than ten minutes allow 2 GB:
# under AddressSanitizer fuzz_rtf grows to some 400 MB in a million inputs (the corpus,
# libFuzzer's tables and the allocator's caches; nothing leaks), which is past 512 MB in an hour.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: fuzz.sh BUILD_DIR [SECONDS [TARGET...]]}" && pwd)
seconds=${2:-30}
shift $(( $# < 2 ? $# : 2 ))
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for program in "$build"/fuzz/fuzz_*; do
        [ -x "$program" ] && targets+=("$(basename "$program")")
    done
fi
if [ ${#targets[@]} -eq 0 ]; then
    echo "fuzz.sh: no fuzz target in $build/fuzz (configure with -DQUORVANE_FUZZ=ON and clang)" >&2
    exit 1
fi

# Sets an AddressSanitizer option unless the caller's ASAN_OPTIONS set it already.
asan_default() {
    case ":${ASAN_OPTIONS:-}:" in
        *:"$1"=*) ;;
        *) export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}$1=$2 ;;
    esac
}
# AddressSanitizer keeps 256 MB of freed blocks by default; with the allocator's own caches a
# target that allocates on every input then grows past the 512 MB limit in a few million runs
# without leaking anything. A smaller quarantine still catches a use after free.
asan_default quarantine_size_mb 32
# Recording where each block was allocated and freed (30 frames by default, on every
# allocation) takes some 15 % of fuzz_rtf's time. Without it a report still names the faulty
# access, not those two places: run the target on the input kept in the findings folder
# (build-hardening/fuzz/fuzz_rtf FILE) to see them.
asan_default malloc_context_size 0

rss_limit=512
[ "$seconds" -gt 600 ] && rss_limit=2048

failed=0
for target in "${targets[@]}"; do
    name=${target#fuzz_}
    corpus=$build/fuzz-corpus/$name
    findings=$build/fuzz-findings/$name
    log=$build/fuzz-findings/$name.log
    mkdir -p "$corpus" "$findings"
    options=(-max_total_time="$seconds" -rss_limit_mb="$rss_limit" -timeout=5 -print_final_stats=1
             -artifact_prefix="$findings/")
    [ -f "$repo/fuzz/$name.dict" ] && options+=(-dict="$repo/fuzz/$name.dict")
    echo "== $target, $seconds s"
    if "$build/fuzz/$target" "${options[@]}" "$corpus" "$repo/fuzz/corpus/$name" >"$log" 2>&1; then
        grep -E '^stat::number_of_executed_units|^Done ' "$log" || true
    else
        tail -n 60 "$log"
        echo "== $target FOUND A FAULT: the input is in $findings/, the log in $log" >&2
        failed=1
    fi
done
exit $failed
