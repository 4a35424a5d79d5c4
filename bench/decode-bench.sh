#!/usr/bin/env bash
# The decoding benchmark: how fast lzhx extracts a -lh5- archive compared with
# 7z and lhasa, how long single engine steps take, and how much memory a job
# needs. Run by hand, never by the test suite.
#
#   bench/decode-bench.sh [-n RUNS] [-m MEGABYTES]
#
#   -n RUNS       timed extractions per program, best counts (default 5)
#   -m MEGABYTES  size of the main corpus (default 40); a corpus of a tenth
#                 of it is made as well, to compare the peak memory
#
# Steps: builds lzhx, make_corpus and step_profile in build/native when
# needed; makes the corpus (fixed seed: the same bytes on every run, see
# bench/MakeCorpus.cpp); packs it with jlha as -lh5- with level-2 headers and
# checks that with lhasa; extracts it RUNS times with each program into a
# fresh folder (on /dev/shm when there is one), rotating the order; checks
# that every output equals the corpus; prints the figures; then runs
# step_profile on the main archive and on the small one.
# Environment: BENCH_DIR names the folder in which the working folder is made
# (default /dev/shm, else /tmp); the working folder is removed at the end
# unless BENCH_KEEP=1.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

RUNS=5
MEGABYTES=40
while getopts "n:m:" opt; do
    case $opt in
    n) RUNS=$OPTARG ;;
    m) MEGABYTES=$OPTARG ;;
    *)
        sed -n '6,11p' "$0" >&2
        exit 64
        ;;
    esac
done
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || { echo "decode-bench: RUNS must be a positive number" >&2; exit 64; }
[[ $MEGABYTES =~ ^[1-9][0-9]*$ ]] && [ "$MEGABYTES" -ge 10 ] ||
    { echo "decode-bench: MEGABYTES must be 10 or more" >&2; exit 64; }
SMALL_MEGABYTES=$((MEGABYTES / 10))

for tool in jlha lhasa 7z cmp sha256sum cmake ninja; do
    command -v "$tool" >/dev/null ||
        { echo "decode-bench: $tool is not installed (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
[ -n "${EPOCHREALTIME:-}" ] || { echo "decode-bench: needs bash 5 (EPOCHREALTIME)" >&2; exit 1; }

# Build what is needed, Release (-O3) as the native preset configures it.
BUILD=$ROOT/build/native
[ -f "$BUILD/build.ninja" ] || cmake --preset native >/dev/null
cmake --build --preset native --target lzhx make_corpus step_profile >/dev/null
LZHX=$BUILD/lzhx
MAKE_CORPUS=$BUILD/bench/make_corpus
STEP_PROFILE=$BUILD/bench/step_profile

if [ -n "${BENCH_DIR:-}" ]; then
    mkdir -p "$BENCH_DIR"
    WORK=$(mktemp -d "$BENCH_DIR/decode-bench.XXXXXX")
elif [ -d /dev/shm ] && [ -w /dev/shm ]; then
    WORK=$(mktemp -d /dev/shm/decode-bench.XXXXXX)
else
    WORK=$(mktemp -d /tmp/decode-bench.XXXXXX)
fi
[ "${BENCH_KEEP:-0}" = 1 ] || trap 'rm -rf "$WORK"' EXIT
FS=$(df -T "$WORK" | awk 'NR == 2 { print $2 }')

# make_archive NAME MEGABYTES: corpus in $WORK/NAME, archive $WORK/NAME.lzh.
make_archive() {
    local name=$1 megabytes=$2 dir=$WORK/$1 archive=$WORK/$1.lzh
    rm -rf "$dir" "$archive"
    mkdir -p "$dir"
    "$MAKE_CORPUS" "$dir" "$megabytes"
    local files
    mapfile -t files < <(cd "$dir" && ls)
    (cd "$dir" && jlha c2o5 "$archive" "${files[@]}" >"$WORK/jlha.log" 2>&1) || true
    [ -s "$archive" ] || { echo "decode-bench: jlha wrote no archive: $(cat "$WORK/jlha.log")" >&2; exit 1; }
    # Every member must be -lh5- with a level-2 header.
    local listing bad
    listing=$(lhasa vv "$archive")
    bad=$(printf '%s\n' "$listing" | awk '
        /^----------/ { section++; next }
        section == 1 && /^\[/ { members++; if ($0 !~ /-lh5- / || $NF != "[2]") bad++ }
        END { if (members == 0 || bad) print members + 0, bad + 0 }')
    [ -z "$bad" ] || { echo "decode-bench: $archive is not all -lh5- level 2 (members, wrong: $bad)" >&2; exit 1; }
}

# same_tree DIR: DIR holds exactly the corpus files, byte for byte.
same_tree() {
    local out=$1 f
    [ "$(cd "$out" && ls | sort)" = "$(cd "$WORK/corpus" && ls | sort)" ] || return 1
    for f in "$WORK"/corpus/*; do
        cmp -s "$f" "$out/$(basename "$f")" || return 1
    done
}

make_archive corpus "$MEGABYTES"
make_archive small "$SMALL_MEGABYTES"
ARCHIVE=$WORK/corpus.lzh
BYTES=$(cat "$WORK"/corpus/* | wc -c)
CORPUS_SHA=$(cd "$WORK/corpus" && sha256sum -- * | sha256sum | cut -c1-16)
MEMBERS=$(ls "$WORK/corpus" | wc -l)

echo "decode-bench: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')"
echo "corpus: $MEMBERS files, $BYTES bytes (manifest sha256 $CORPUS_SHA...)"
echo "archive: $(stat -c %s "$ARCHIVE") bytes, -lh5-, level-2 headers (jlha c2o5)"
echo "extracting into fresh folders on $FS, $RUNS runs each, order rotated"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg) (other work on the machine shows as noise)"

PROGRAMS=(lzhx 7z lhasa)
extract() { # PROGRAM DEST
    case $1 in
    lzhx) "$LZHX" -q "$ARCHIVE" "$2" ;;
    7z) 7z x -y -o"$2" "$ARCHIVE" >/dev/null ;;
    lhasa) lhasa xqw="$2" "$ARCHIVE" ;;
    esac
}

# Wall clock and CPU time (user + system) of each run; the CPU time is less
# disturbed by other work on the machine.
declare -A WALL CPU
TIMEFORMAT='%3R %3U %3S'
for ((run = 0; run < RUNS; run++)); do
    for ((k = 0; k < ${#PROGRAMS[@]}; k++)); do
        program=${PROGRAMS[(run + k) % ${#PROGRAMS[@]}]}
        dest=$WORK/out-$program
        rm -rf "$dest"
        if ! timing=$( { time extract "$program" "$dest" 2>"$WORK/err"; } 2>&1); then
            echo "decode-bench: $program failed: $(cat "$WORK/err")" >&2
            exit 1
        fi
        same_tree "$dest" || { echo "decode-bench: $program's output differs from the corpus" >&2; exit 1; }
        read -r wall user sys <<<"$timing"
        WALL[$program]+="$wall "
        CPU[$program]+="$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }') "
        rm -rf "$dest"
    done
done
echo "all $((RUNS * ${#PROGRAMS[@]})) outputs are identical to the corpus"

# stats "T1 T2 ...": best median worst (seconds).
stats() {
    tr ' ' '\n' <<<"$1" | sed '/^$/d' | sort -g | awk '
        { t[NR] = $1 }
        END { m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; print t[1], m, t[NR] }'
}

declare -A BEST MEDIAN CPU_BEST CPU_MEDIAN
echo
printf '%-6s %8s %8s %8s %8s %7s   %8s %8s %8s\n' program "best s" "MB/s" "median" "worst" spread \
    "cpu best" "median" "worst"
for program in "${PROGRAMS[@]}"; do
    read -r best median worst <<<"$(stats "${WALL[$program]}")"
    read -r cbest cmedian cworst <<<"$(stats "${CPU[$program]}")"
    BEST[$program]=$best
    MEDIAN[$program]=$median
    CPU_BEST[$program]=$cbest
    CPU_MEDIAN[$program]=$cmedian
    awk -v p="$program" -v b="$best" -v m="$median" -v w="$worst" -v n="$BYTES" \
        -v cb="$cbest" -v cm="$cmedian" -v cw="$cworst" 'BEGIN {
        printf "%-6s %8.3f %8.1f %8.3f %8.3f %6.1f%%   %8.3f %8.3f %8.3f\n",
            p, b, n / b / 1e6, m, w, (w - b) / b * 100, cb, cm, cw }'
done
ratios() { # LABEL ARRAY-VALUES...: lzhx 7z lhasa best, then medians
    awk -v what="$1" -v l="$2" -v s="$3" -v h="$4" -v lm="$5" -v sm="$6" -v hm="$7" 'BEGIN {
        printf "speed ratio (%s) lzhx/7z: %.2f best, %.2f median; lzhx/lhasa: %.2f best, %.2f median\n",
            what, s / l, sm / lm, h / l, hm / lm }'
}
ratios "wall clock" "${BEST[lzhx]}" "${BEST[7z]}" "${BEST[lhasa]}" \
    "${MEDIAN[lzhx]}" "${MEDIAN[7z]}" "${MEDIAN[lhasa]}"
ratios "CPU time" "${CPU_BEST[lzhx]}" "${CPU_BEST[7z]}" "${CPU_BEST[lhasa]}" \
    "${CPU_MEDIAN[lzhx]}" "${CPU_MEDIAN[7z]}" "${CPU_MEDIAN[lhasa]}"
echo "(a ratio above 1: lzhx is faster; spread = (worst - best) / best of the wall clock over"
echo " the $RUNS runs; times are those of the whole program, start-up and writing included)"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

echo
echo "== step_profile on the ${MEGABYTES} MB archive"
"$STEP_PROFILE" "$ARCHIVE" "$WORK/out-profile" | tee "$WORK/profile-big.txt"
echo
echo "== step_profile on the ${SMALL_MEGABYTES} MB archive"
"$STEP_PROFILE" "$WORK/small.lzh" "$WORK/out-profile" | tee "$WORK/profile-small.txt"
echo
big=$(sed -n 's/.* \([0-9]*\) KB after the plain runs/\1/p' "$WORK/profile-big.txt")
small=$(sed -n 's/.* \([0-9]*\) KB after the plain runs/\1/p' "$WORK/profile-small.txt")
echo "peak memory: ${big} KB for the ${MEGABYTES} MB archive, ${small} KB for the ${SMALL_MEGABYTES} MB archive"
