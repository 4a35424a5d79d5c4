#!/usr/bin/env bash
# What it costs to put members on the disk: lzhx extracting an archive into a
# fresh folder and again over the files it made (every member then replaces
# one), on a disk. Run by hand, never by the test suite.
#
#   bench/replace-bench.sh [-n RUNS] [-a ARCHIVE] [-b OTHER_LZHX]
#
#   -n RUNS         timed runs of each kind per program, best and median count (default 9)
#   -a ARCHIVE      the archive to extract (default: 1,000 small members made here)
#   -b OTHER_LZHX   a second lzhx (another build, e.g. before a change), run
#                   in turn with this tree's, so that both see the same load
#
# The default archive: 1,000 members of word-like text, 500 to 8,499 bytes
# each (fixed seeds: the same bytes on every run), packed by lzhpack. Every
# output is checked against the first program's. Environment: BENCH_DIR
# names the folder in which the working folder is made (default /var/tmp, a
# disk; /dev/shm to leave the disk out).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

RUNS=9
ARCHIVE=
OTHER=
while getopts "n:a:b:" opt; do
    case $opt in
    n) RUNS=$OPTARG ;;
    a) ARCHIVE=$(realpath "$OPTARG") ;;
    b) OTHER=$(realpath "$OPTARG") ;;
    *)
        sed -n '6,12p' "$0" >&2
        exit 64
        ;;
    esac
done
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || { echo "replace-bench: RUNS must be a positive number" >&2; exit 64; }

BUILD=$ROOT/build/native
[ -f "$BUILD/build.ninja" ] || cmake --preset native >/dev/null
cmake --build --preset native --target lzhx lzhpack lzhtest >/dev/null
PROGRAMS=("$BUILD/lzhx")
[ -z "$OTHER" ] || PROGRAMS+=("$OTHER")

mkdir -p "${BENCH_DIR:-/var/tmp}"
WORK=$(mktemp -d "${BENCH_DIR:-/var/tmp}/replace-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
if [ -z "$ARCHIVE" ]; then
    mkdir "$WORK/members"
    for ((i = 0; i < 1000; i++)); do
        "$BUILD/lzhtest" text $((500 + i * 7919 % 8000)) "$i" >"$WORK/members/m$i.txt"
    done
    (cd "$WORK/members" && "$BUILD/lzhpack" "$WORK/small.lzh" m*.txt >/dev/null)
    ARCHIVE=$WORK/small.lzh
fi

echo "replace-bench: $(nproc) CPUs, $(df -T "$WORK" | awk 'NR == 2 { print $2 }') at $WORK"
echo "archive: $ARCHIVE, $(stat -c %s "$ARCHIVE") bytes"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

# Wall clock and CPU time (user + system) of each run, by program and kind.
declare -A WALL CPU
TIMEFORMAT='%3R %3U %3S'
time_run() { # KEY PROGRAM DEST
    local timing wall user sys
    timing=$( { time "$2" -q "$ARCHIVE" "$3" 2>"$WORK/err"; } 2>&1) ||
        { echo "replace-bench: $2 failed: $(cat "$WORK/err")" >&2; exit 1; }
    read -r wall user sys <<<"$timing"
    WALL[$1]+="$wall "
    CPU[$1]+="$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }') "
}
for ((run = 0; run < RUNS; run++)); do
    for ((k = 0; k < ${#PROGRAMS[@]}; k++)); do
        p=$(((run + k) % ${#PROGRAMS[@]}))
        dest=$WORK/out-$p
        rm -rf "$dest"
        sync
        time_run "$p fresh" "${PROGRAMS[p]}" "$dest"
        time_run "$p over" "${PROGRAMS[p]}" "$dest"
        [ "$p" -eq 0 ] || diff -rq "$WORK/out-0" "$dest" >/dev/null 2>&1 || [ ! -d "$WORK/out-0" ] ||
            { echo "replace-bench: the outputs differ" >&2; exit 1; }
    done
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

stats() { # "T1 T2 ...": best median
    tr ' ' '\n' <<<"$1" | sed '/^$/d' | sort -g | awk '
        { t[NR] = $1 }
        END { m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; print t[1], m }'
}
echo
printf '%-50s %-6s %9s %9s %9s %9s\n' program kind "best s" "median s" "cpu best" "median"
for ((p = 0; p < ${#PROGRAMS[@]}; p++)); do
    for kind in fresh over; do
        read -r best median <<<"$(stats "${WALL[$p $kind]}")"
        read -r cbest cmedian <<<"$(stats "${CPU[$p $kind]}")"
        printf '%-50s %-6s %9.3f %9.3f %9.3f %9.3f\n' "${PROGRAMS[p]}" "$kind" "$best" "$median" \
            "$cbest" "$cmedian"
    done
done
