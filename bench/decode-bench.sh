#!/usr/bin/env bash
# The decoding benchmark: how fast lzhx extracts a -lh5- archive compared
# with 7z (and lhasa), into a fresh folder and over the files of the run
# before; how long single engine steps take; and whether lzhx's memory and
# time per megabyte stay the same as the input grows. Run by hand, never by
# the test suite.
#
#   bench/decode-bench.sh [-n RUNS] [-m "MEGABYTES..."] [-s MEGABYTES] [-L]
#
#   -n RUNS       timed extractions per program and mode, in turn (default 9)
#   -m MEGABYTES  sizes of the corpora on which lzhx's peak memory and time
#                 per megabyte are measured (default "4 40 400"; "" leaves it out)
#   -s MEGABYTES  size of the main corpus (default 40)
#   -L            leaves lhasa out (it takes about five times as long as lzhx)
#
# Steps: builds lzhx, make_corpus and step_profile in build/native when
# needed; makes the corpus (fixed seed: the same bytes on every run, see
# bench/MakeCorpus.cpp); packs it with jlha as -lh5- with level-2 headers
# and checks that with lhasa. Then it extracts the archive RUNS times with
# each program in turn (lzhx, 7z, lhasa, the one that starts rotating), first
# into a fresh folder (removed before each run), then over the files of the
# run before (the same folder, its files in place); checks after every run,
# outside the timing, that the folder holds the corpus byte for byte and,
# over the files before, that every file was written again; and prints per
# program and mode the min, median and max wall-clock and CPU (user +
# system) seconds, the median and max peak memory (ru_maxrss), the MB/s of
# the median and the ratios of the medians. It runs step_profile on the
# archive (the worst step and its kind). Last, for each size of -m, it makes
# and packs a corpus the same way, extracts it with lzhx five times into a
# fresh folder and prints the peak memory and the time per megabyte.
# Environment (bench/lib.sh): BENCH_DIR names the folder in which the
# working folder is made (default /dev/shm, else /tmp; a corpus of -m that
# does not fit there is measured in /tmp); the working folder is removed at
# the end unless BENCH_KEEP=1; BENCH_BUILD names a build tree whose lzhx,
# bench/make_corpus and bench/step_profile are used as they are, instead of
# building build/native.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BENCH_NAME=decode-bench
SCALE_RUNS=5 # runs of lzhx on each corpus of -m
# shellcheck source=bench/lib.sh
. bench/lib.sh

RUNS=9
SCALES="4 40 400"
MEGABYTES=40
PROGRAMS=(lzhx 7z lhasa)
while getopts "n:m:s:L" opt; do
    case $opt in
    n) RUNS=$OPTARG ;;
    m) SCALES=$OPTARG ;;
    s) MEGABYTES=$OPTARG ;;
    L) PROGRAMS=(lzhx 7z) ;;
    *)
        sed -n '8,14p' "$0" >&2
        exit 64
        ;;
    esac
done
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || { echo "decode-bench: RUNS must be a positive number" >&2; exit 64; }
for m in $MEGABYTES $SCALES; do
    if ! [[ $m =~ ^[1-9][0-9]*$ ]] || [ "$m" -gt 1000 ]; then
        echo "decode-bench: MEGABYTES must be 1 to 1000" >&2
        exit 64
    fi
done

bench_require jlha lhasa 7z cmp sha256sum cmake ninja git /usr/bin/time
bench_build lzhx bench/make_corpus bench/step_profile
LZHX=$BUILD/lzhx
MAKE_CORPUS=$BUILD/bench/make_corpus
STEP_PROFILE=$BUILD/bench/step_profile

bench_workdir /dev/shm /tmp

# make_archive FOLDER ARCHIVE MEGABYTES: a corpus in FOLDER, packed by jlha
# into ARCHIVE, every member -lh5- with a level-2 header.
make_archive() {
    local dir=$1 archive=$2 files listing bad
    rm -rf "$dir" "$archive"
    mkdir -p "$dir"
    "$MAKE_CORPUS" "$dir" "$3"
    mapfile -t files < <(cd "$dir" && ls)
    # jlha's exit status tells nothing; the archive and its listing do.
    (cd "$dir" && jlha c2o5 "$archive" "${files[@]}" >"$WORK/jlha.log" 2>&1) || true
    [ -s "$archive" ] || bench_fail "jlha wrote no archive: $(cat "$WORK/jlha.log")"
    listing=$(lhasa vv "$archive")
    bad=$(printf '%s\n' "$listing" | awk -v want="${#files[@]}" '
        /^----------/ { section++; next }
        section == 1 && /^\[/ { members++; if ($0 !~ /-lh5- / || $NF != "[2]") bad++ }
        END { if (members != want || bad) print members + 0, bad + 0 }')
    [ -z "$bad" ] || bench_fail "$archive is not all -lh5- level 2 (members, wrong: $bad)"
}

# same_tree CORPUS OUT: OUT holds exactly the files of CORPUS, byte for byte.
same_tree() {
    local f
    [ "$(find "$2" -mindepth 1 -printf '%P\n' | sort)" = "$(find "$1" -mindepth 1 -printf '%P\n' | sort)" ] ||
        return 1
    for f in "$1"/*; do
        cmp -s "$f" "$2/${f##*/}" || return 1
    done
}

# extract_command PROGRAM ARCHIVE DEST: sets COMMAND to the program's
# command line; each overwrites files that are there without asking.
extract_command() {
    case $1 in
    lzhx) COMMAND=("$LZHX" -q "$2" "$3") ;;
    7z) COMMAND=(7z x -y -aoa -o"$3" "$2") ;;
    lhasa) COMMAND=(lhasa xqfw="$3" "$2") ;;
    esac
}

# per_mb SECONDS BYTES: milliseconds per megabyte (10^6 bytes).
per_mb() { awk -v t="$1" -v n="$2" 'BEGIN { printf "%.3f", t * 1e9 / n }'; }

make_archive "$WORK/corpus" "$WORK/corpus.lzh" "$MEGABYTES"
CORPUS=$WORK/corpus
ARCHIVE=$WORK/corpus.lzh
OUT=$WORK/out
BYTES=$(cat "$CORPUS"/* | wc -c)

if [ -n "${BENCH_BUILD:-}" ]; then
    version="lzhx of $BENCH_BUILD"
else
    version="lzhx $(git rev-parse --short HEAD)$(git diff --quiet HEAD -- extract tools || echo ' (changed)')"
fi
echo "decode-bench: $version, $(7z | sed -n 2p | cut -d: -f1 | sed 's/ *$//'), $(lhasa 2>&1 | head -1 | cut -d' ' -f1-2)"
bench_machine
echo "working folder: $WORK ($(bench_fs "$WORK"))"
echo "corpus: $(find "$CORPUS" -type f | wc -l) files, $BYTES bytes (manifest sha256 $(cd "$CORPUS" && sha256sum -- * | sha256sum | cut -c1-16)...)"
echo "archive: $(stat -c %s "$ARCHIVE") bytes, -lh5-, level-2 headers (jlha c2o5)"
bench_load before

# measure MODE: RUNS runs of every program in turn into $OUT, checked;
# MODE fresh removes the folder before each run, over leaves the files of
# the run before in it. Adds to WALL, CPU and PEAK.
declare -A WALL CPU PEAK
measure() {
    local mode=$1 run k program wall cpu peak
    for ((run = 0; run < RUNS; run++)); do
        for ((k = 0; k < ${#PROGRAMS[@]}; k++)); do
            program=${PROGRAMS[(run + k) % ${#PROGRAMS[@]}]}
            if [ "$mode" = fresh ]; then
                rm -rf "$OUT"
            else
                # Files changed from here on are newer than the mark, even
                # where the file system's clock moves in ticks.
                touch "$WORK/mark"
                sleep 0.02
            fi
            extract_command "$program" "$ARCHIVE" "$OUT"
            bench_time "$WORK/run.log" "${COMMAND[@]}" >"$WORK/run.times" ||
                bench_fail "$program failed: $(cat "$WORK/run.log")"
            same_tree "$CORPUS" "$OUT" || bench_fail "$program's output differs from the corpus"
            [ "$mode" = fresh ] || [ -z "$(find "$OUT" -type f ! -cnewer "$WORK/mark")" ] ||
                bench_fail "$program left files of the run before as they were"
            read -r wall cpu peak <"$WORK/run.times"
            WALL[$mode.$program]+="$wall "
            CPU[$mode.$program]+="$cpu "
            PEAK[$mode.$program]+="$peak "
        done
    done
}

# report MODE TITLE: the figures of one mode.
report() {
    local mode=$1 program wb wm ww cb cm cw pm px ratios=
    declare -A median_wall median_cpu
    echo
    echo "$2, $RUNS runs of each program in turn:"
    printf '  %-6s  %24s  %24s  %19s  %7s\n' "" "wall s min/median/max" "CPU s min/median/max" \
        "peak KB median/max" "MB/s"
    for program in "${PROGRAMS[@]}"; do
        read -r wb wm ww <<<"$(bench_stats "${WALL[$mode.$program]}")"
        read -r cb cm cw <<<"$(bench_stats "${CPU[$mode.$program]}")"
        read -r _ pm px <<<"$(bench_stats "${PEAK[$mode.$program]}")"
        median_wall[$program]=$wm
        median_cpu[$program]=$cm
        printf '  %-6s  %6.3f / %6.3f / %6.3f  %6.3f / %6.3f / %6.3f  %8d / %8d  %7.1f\n' "$program" \
            "$wb" "$wm" "$ww" "$cb" "$cm" "$cw" "$pm" "$px" \
            "$(awk -v n="$BYTES" -v t="$wm" 'BEGIN { print n / t / 1e6 }')"
    done
    for program in "${PROGRAMS[@]:1}"; do
        ratios+=$(awk -v p="$program" -v w="${median_wall[$program]}" -v lw="${median_wall[lzhx]}" \
            -v c="${median_cpu[$program]}" -v lc="${median_cpu[lzhx]}" \
            'BEGIN { printf "; %s / lzhx: wall %.2f, CPU %.2f", p, w / lw, c / lc }')
    done
    echo "  medians${ratios/#;/,} (above 1: lzhx is faster)"
}

measure fresh
measure over
echo
echo "checked: all $((2 * RUNS * ${#PROGRAMS[@]})) outputs are identical to the corpus, and every run over"
echo "the files of the run before wrote all of them again"
report fresh "into a fresh folder (removed before each run)"
report over "over the files of the run before (the same folder, files in place)"
echo "  (times of the whole program, its start included; MB/s of the median wall-clock time)"
bench_load after

echo
echo "== step_profile on the ${MEGABYTES} MB archive"
rm -rf "$OUT"
"$STEP_PROFILE" "$ARCHIVE" "$WORK/out-profile"
rm -rf "$WORK/out-profile"

# scale_folder MEGABYTES: sets SCALE to a fresh folder with room for a
# corpus of MEGABYTES, its archive and one output (three times the corpus);
# on tmpfs the memory must hold them too, with 512 MB to spare. Fails when
# neither the working folder nor /tmp has the room.
scale_folder() {
    local need=$(($1 * 3000)) parent room memory
    for parent in "$WORK" /tmp; do
        room=$(df -Pk "$parent" | awk 'NR == 2 { print $4 }')
        if [ "$(bench_fs "$parent")" = tmpfs ]; then
            memory=$(awk '/^MemAvailable:/ { print $2 - 524288 }' /proc/meminfo)
            [ "$memory" -ge "$room" ] || room=$memory
        fi
        [ "$room" -ge "$need" ] || continue
        bench_mktemp "$parent"
        SCALE=$BENCH_MADE
        return 0
    done
    return 1
}

if [ -n "$SCALES" ]; then
    rm -rf "$CORPUS" "$ARCHIVE" # room for the corpora to come
    echo
    # What a run costs whatever the size: the program's start and end, the
    # timing itself, a member's file. Measured on a one-member archive of
    # two bytes, it is taken off the times of each size in the last column.
    mkdir -p "$WORK/start/in"
    printf 'x\n' >"$WORK/start/in/start.txt"
    (cd "$WORK/start/in" && jlha c2o5 ../start.lzh start.txt >/dev/null 2>&1) || true
    [ -s "$WORK/start/start.lzh" ] || bench_fail "jlha wrote no archive of one member"
    walls=''
    for run in 1 2 3 4 5 6 7 8 9; do
        rm -rf "$WORK/start/out"
        bench_time "$WORK/run.log" "$LZHX" -q "$WORK/start/start.lzh" "$WORK/start/out" >"$WORK/run.times" ||
            bench_fail "lzhx failed: $(cat "$WORK/run.log")"
        read -r wall _ _ <"$WORK/run.times"
        walls+="$wall "
    done
    read -r _ START _ <<<"$(bench_stats "$walls")"
    rm -rf "$WORK/start"
    echo "scaling: lzhx on corpora of make_corpus packed by jlha c2o5, $SCALE_RUNS runs each into a fresh folder"
    printf '  a run of one two-byte member: %s ms of wall-clock time (median of 9)\n' \
        "$(awk -v t="$START" 'BEGIN { printf "%.1f", t * 1000 }')"
    printf '  %5s %11s %11s  %-6s  %19s  %10s %10s %10s\n' MB bytes archive "on" "peak KB median/max" \
        "wall ms/MB" "CPU ms/MB" "less start"
    for m in $SCALES; do
        if ! scale_folder "$m"; then
            printf '  %5d  left out: neither %s nor /tmp has room for %d MB\n' "$m" "$WORK" $((m * 3))
            continue
        fi
        make_archive "$SCALE/corpus" "$SCALE/corpus.lzh" "$m"
        bytes=$(cat "$SCALE"/corpus/* | wc -c)
        walls='' cpus='' peaks=''
        for ((run = 0; run < SCALE_RUNS; run++)); do
            rm -rf "$SCALE/out"
            bench_time "$WORK/run.log" "$LZHX" -q "$SCALE/corpus.lzh" "$SCALE/out" >"$WORK/run.times" ||
                bench_fail "lzhx failed: $(cat "$WORK/run.log")"
            same_tree "$SCALE/corpus" "$SCALE/out" || bench_fail "lzhx's output differs from the $m MB corpus"
            read -r wall cpu peak <"$WORK/run.times"
            walls+="$wall " cpus+="$cpu " peaks+="$peak "
        done
        read -r _ wm _ <<<"$(bench_stats "$walls")"
        read -r _ cm _ <<<"$(bench_stats "$cpus")"
        read -r _ pm px <<<"$(bench_stats "$peaks")"
        printf '  %5d %11d %11d  %-6s  %8d / %8d  %10s %10s %10s\n' "$m" "$bytes" "$(stat -c %s "$SCALE/corpus.lzh")" \
            "$(bench_fs "$SCALE")" "$pm" "$px" "$(per_mb "$wm" "$bytes")" "$(per_mb "$cm" "$bytes")" \
            "$(per_mb "$(awk -v a="$wm" -v b="$START" 'BEGIN { print a - b }')" "$bytes")"
        rm -rf "$SCALE"
    done
    echo "  (peak: ru_maxrss of the $SCALE_RUNS runs; times per MB: of the medians; less start: the"
    echo "   wall-clock time per MB less that of the run of one two-byte member)"
    bench_load after
fi
