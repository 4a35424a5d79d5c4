#!/usr/bin/env bash
# The encoding benchmark: archive sizes, packing times and peak memory of
# lzhpack against jlha (-lh5-, level-2 headers), file by file on a
# reproducible corpus, on a mixed set of about 40 MB packed in turn by both
# programs, and on single files of growing size. Run by hand, never by the
# test suite.
#
#   bench/encode-bench.sh [-n RUNS] [-m "MEGABYTES..."]
#
#   -n RUNS       timed packings of the mixed set per program, in turn (default 9)
#   -m MEGABYTES  sizes of the single files that show how lzhpack's memory and
#                 time per megabyte scale (default "4 40 400"; "" leaves it out)
#
# Steps: builds lzhpack, lzhx and make_corpus in build/native when needed;
# makes the corpus (below); packs every file alone with both programs in
# their default mode (each stores a file that compressing would not shrink),
# checks that lzhx extracts lzhpack's archive byte-identically and lhasa
# jlha's, and prints for each file the member data sizes, their ratio, the
# archive sizes and the times of that one run; then packs the mixed set RUNS
# times with each program, lzhpack and jlha in turn (the one that starts
# alternates), and prints the best, median and worst wall-clock and CPU
# (user + system) time, the peak memory (ru_maxrss) and the ratios of the
# medians; last it packs single files of make_corpus text and binary
# (bench/MakeCorpus.cpp, all its files joined) three times each and prints
# lzhpack's peak memory and time per megabyte for each size. The load
# average before and after is printed: other work on the machine shows as
# noise in the wall-clock times.
# Environment (bench/lib.sh): BENCH_DIR names the folder in which the
# working folder is made (default $TMPDIR, else /tmp); the working folder is
# removed at the end unless BENCH_KEEP=1; BENCH_BUILD names a build tree
# whose lzhpack, lzhx and bench/make_corpus are used as they are, instead of
# building build/native.
#
# The corpus: text generated with a fixed seed (word-like, 2 MB and 8 MB);
# the license texts of Debian's base-files package (real English); the C++
# sources of the repository's first commit; 32-bit Windows programs and
# libraries from Debian's Wine package (notepad.exe, regedit.exe, shell32.dll,
# msxml3.dll); the perl executable; and the 2 MB text compressed with
# gzip -9 -n (already compressed data). The SHA-256 of every file is printed,
# so runs on other machines can be told apart.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BENCH_NAME=encode-bench
# shellcheck source=bench/lib.sh
. bench/lib.sh

RUNS=9
SCALES="4 40 400"
while getopts "n:m:" opt; do
    case $opt in
    n) RUNS=$OPTARG ;;
    m) SCALES=$OPTARG ;;
    *)
        sed -n '8,12p' "$0" >&2
        exit 64
        ;;
    esac
done
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || { echo "encode-bench: RUNS must be a positive number" >&2; exit 64; }
for m in $SCALES; do
    if ! [[ $m =~ ^[1-9][0-9]*$ ]] || [ "$m" -gt 1000 ]; then
        echo "encode-bench: MEGABYTES must be 1 to 1000" >&2
        exit 64
    fi
done

bench_require jlha lhasa perl gzip cmp sha256sum cmake ninja git /usr/bin/time

bench_build lzhpack lzhx bench/make_corpus
LZHPACK=$BUILD/lzhpack
LZHX=$BUILD/lzhx
MAKE_CORPUS=$BUILD/bench/make_corpus

bench_workdir "${TMPDIR:-/tmp}"
CORPUS=$WORK/corpus
MIXED=$WORK/mixed
mkdir -p "$CORPUS" "$MIXED"

# ---------------------------------------------------------------------------
# The corpus

# words COUNT SEED: word-like text in lines, the same bytes for the same
# arguments everywhere.
words() {
    perl -e '
        my ($n, $s) = @ARGV;
        my @w = qw(the of and to in is was that for it with as his on be at by this had
            not are but from or have an they which one you were her all she there would
            their we him been has when who will more no if out so said what up its about
            into than them can only other new some could time these two may then do first
            any my now such like our over man me even most made after also did many before
            must through back years where much your way well down should because each just
            those people quill meter ink paper Quillometer setup archive member header);
        my $x = ($s * 2654435761 + 777) & 0xffffffff;
        my ($out, $col) = ("", 0);
        while (length($out) < $n) {
            $x ^= ($x << 13) & 0xffffffff; $x ^= $x >> 17; $x ^= ($x << 5) & 0xffffffff;
            my $t = $w[$x % @w];
            $t = ucfirst $t if ($x >> 20) % 11 == 0;
            $out .= $t;
            $col += length($t) + 1;
            if ($col > 60 + ($x >> 27)) { $out .= (($x >> 8) % 5) ? "\n" : ".\r\n"; $col = 0 }
            else { $out .= " " }
        }
        binmode STDOUT; print substr($out, 0, $n);' "$1" "$2"
}

WINE_PE=/usr/lib/i386-linux-gnu/wine/i386-windows
pick() { # SOURCE NAME FOLDER: copies a file of the system, or says it is missing
    if [ -f "$1" ]; then
        cp "$1" "$3/$2"
    else
        echo "encode-bench: $1 is missing; $2 left out" >&2
    fi
}

words 2000000 1 >"$CORPUS/words.txt"
cat /usr/share/common-licenses/{GPL-3,LGPL-2.1,Apache-2.0,GFDL-1.3,MPL-2.0,Artistic} \
    >"$CORPUS/licenses.txt"
first=$(git rev-list --max-parents=0 HEAD | tail -1)
for f in $(git ls-tree -r --name-only "$first" -- extract tools | grep -E '\.(cpp|h)$'); do
    git show "$first:$f"
done >"$CORPUS/sources.cpp"
pick "$WINE_PE/notepad.exe" notepad.exe "$CORPUS"
pick "$WINE_PE/regedit.exe" regedit.exe "$CORPUS"
pick "$(command -v perl)" perl.elf "$CORPUS"
gzip -9 -n -c "$CORPUS/words.txt" >"$CORPUS/words.txt.gz"

words 8000000 2 >"$MIXED/words8.txt"
gzip -9 -n -c "$MIXED/words8.txt" >"$MIXED/words8.txt.gz"
pick "$WINE_PE/shell32.dll" shell32.dll "$MIXED"
pick "$WINE_PE/msxml3.dll" msxml3.dll "$MIXED"
cp "$CORPUS/perl.elf" "$CORPUS/regedit.exe" "$CORPUS/licenses.txt" "$MIXED/" 2>/dev/null || true

# ---------------------------------------------------------------------------
# Measuring

# members ARCHIVE: "NAME PACKED METHOD" per level-2 member.
members() {
    perl -e '
        open(my $f, "<:raw", $ARGV[0]) or die "open: $!"; local $/; my $d = <$f>;
        for (my $at = 0; $at + 22 <= length $d && ord(substr($d, $at, 1)); ) {
            die "not a level-2 header\n" unless ord(substr($d, $at + 20, 1)) == 2;
            my ($h, $packed) = (unpack("v", substr($d, $at, 2)), unpack("V", substr($d, $at + 7, 4)));
            my $name = "?";
            for (my $c = 24; my $e = unpack("v", substr($d, $at + $c, 2)); $c += $e) {
                $name = substr($d, $at + $c + 3, $e - 3) if ord(substr($d, $at + $c + 2, 1)) == 1;
            }
            print "$name $packed ", substr($d, $at + 2, 5), "\n";
            $at += $h + $packed;
        }' "$1"
}

# pack_with TOOL ARCHIVE FOLDER NAME...: packs the files of FOLDER with bare
# names; sets TIMES to "WALL CPU PEAK" (seconds, seconds, KB of ru_maxrss).
pack_with() {
    local tool=$1 archive=$2 dir=$3
    shift 3
    local -a command=("$LZHPACK" "$archive")
    [ "$tool" = lzhpack ] || command=(jlha c2o5 "$archive")
    rm -f "$archive"
    (cd "$dir" && bench_time "$WORK/pack.log" "${command[@]}" "$@") >"$WORK/pack.times" ||
        bench_fail "$tool failed: $(cat "$WORK/pack.log")"
    [ -s "$archive" ] || bench_fail "$tool wrote no archive: $(cat "$WORK/pack.log")"
    TIMES=$(awk '{ printf "%.2f %.2f %d", $1, $2, $3 }' "$WORK/pack.times")
}

# verify TOOL ARCHIVE FOLDER NAME...: the archive extracts to the files.
verify() {
    local tool=$1 archive=$2 dir=$3 out=$WORK/out name
    shift 3
    rm -rf "$out"
    case $tool in
    lzhpack) "$LZHX" -q "$archive" "$out" ;;
    jlha) mkdir -p "$out" && (cd "$out" && lhasa xq "$archive") ;;
    esac
    for name in "$@"; do
        cmp -s "$dir/$name" "$out/$name" || { echo "encode-bench: $tool's archive gives another $name" >&2; exit 1; }
    done
    rm -rf "$out"
}

ratio() { perl -e 'printf "%.4f", $ARGV[1] / $ARGV[0]' "$1" "$2"; }

if [ -n "${BENCH_BUILD:-}" ]; then
    echo "encode-bench: lzhpack of $BENCH_BUILD, $(jlha 2>&1 | head -1 | tr -s ' ' | cut -c1-40)"
else
    echo "encode-bench: lzhpack $(git rev-parse --short HEAD)$(git diff --quiet HEAD -- tools || echo ' (changed)'), $(jlha 2>&1 | head -1 | tr -s ' ' | cut -c1-40)"
fi
bench_machine
bench_load before
echo "corpus (sha256):"
(cd "$CORPUS" && sha256sum -- *) | sed 's/^/  /'
echo
printf '%-13s %10s %11s %11s %7s  %11s %11s %7s  %7s %9s\n' file bytes jlha lzhpack ratio \
    "jlha.lzh" "lzhpack.lzh" ratio "jlha s" "lzhpack s"
for path in "$CORPUS"/*; do
    name=$(basename "$path")
    pack_with jlha "$WORK/j.lzh" "$CORPUS" "$name"
    read -r tj _ _ <<<"$TIMES"
    pack_with lzhpack "$WORK/l.lzh" "$CORPUS" "$name"
    read -r tl _ _ <<<"$TIMES"
    verify jlha "$WORK/j.lzh" "$CORPUS" "$name"
    verify lzhpack "$WORK/l.lzh" "$CORPUS" "$name"
    read -r _ pj mj <<<"$(members "$WORK/j.lzh")"
    read -r _ pl ml <<<"$(members "$WORK/l.lzh")"
    aj=$(stat -c %s "$WORK/j.lzh")
    al=$(stat -c %s "$WORK/l.lzh")
    printf '%-13s %10d %11s %11s %7s  %11d %11d %7s  %7s %9s\n' "$name" "$(stat -c %s "$path")" \
        "$pj$([ "$mj" = -lh0- ] && echo '*')" "$pl$([ "$ml" = -lh0- ] && echo '*')" "$(ratio "$pj" "$pl")" \
        "$aj" "$al" "$(ratio "$aj" "$al")" "$tj" "$tl"
done
echo "  (* stored as -lh0-: compressing would not shrink it; ratio = lzhpack / jlha, of the"
echo "   member data and of the archives; times of one run each)"
echo

mapfile -t MIXED_NAMES < <(cd "$MIXED" && ls)
total=0
for name in "${MIXED_NAMES[@]}"; do total=$((total + $(stat -c %s "$MIXED/$name"))); done
echo "mixed set: ${#MIXED_NAMES[@]} files, $total bytes (${MIXED_NAMES[*]})"
echo "  packed $RUNS times by each program in turn, both in their default mode: -lh5-, stored"
echo "  where compressing does not shrink a file (here words8.txt.gz)"
declare -A WALL CPU PEAK
for ((run = 0; run < RUNS; run++)); do
    order=(lzhpack jlha)
    [ $((run % 2)) -eq 0 ] || order=(jlha lzhpack)
    for tool in "${order[@]}"; do
        pack_with "$tool" "$WORK/$tool-mixed.lzh" "$MIXED" "${MIXED_NAMES[@]}"
        read -r wall cpu peak <<<"$TIMES"
        WALL[$tool]+="$wall "
        CPU[$tool]+="$cpu "
        PEAK[$tool]+="$peak "
    done
done
declare -A MEDIAN_WALL MEDIAN_CPU SIZE
printf '  %-8s %12s  %22s  %22s  %18s\n' "" "archive" "wall s best/median/worst" \
    "CPU s best/median/worst" "peak KB median/max"
for tool in lzhpack jlha; do
    verify "$tool" "$WORK/$tool-mixed.lzh" "$MIXED" "${MIXED_NAMES[@]}"
    SIZE[$tool]=$(stat -c %s "$WORK/$tool-mixed.lzh")
    read -r wb wm ww <<<"$(bench_stats "${WALL[$tool]}")"
    read -r cb cm cw <<<"$(bench_stats "${CPU[$tool]}")"
    read -r _ pm px <<<"$(bench_stats "${PEAK[$tool]}")"
    MEDIAN_WALL[$tool]=$wm
    MEDIAN_CPU[$tool]=$cm
    printf '  %-8s %12d  %6.2f / %6.2f / %6.2f  %6.2f / %6.2f / %6.2f  %8d / %8d\n' "$tool" "${SIZE[$tool]}" \
        "$wb" "$wm" "$ww" "$cb" "$cm" "$cw" "$pm" "$px"
done
perl -e 'printf "  medians, jlha / lzhpack: wall %.2f, CPU %.2f (above 1: lzhpack is faster); archive lzhpack / jlha: %.4f\n",
    $ARGV[0] / $ARGV[1], $ARGV[2] / $ARGV[3], $ARGV[5] / $ARGV[4]' "${MEDIAN_WALL[jlha]}" "${MEDIAN_WALL[lzhpack]}" \
    "${MEDIAN_CPU[jlha]}" "${MEDIAN_CPU[lzhpack]}" "${SIZE[jlha]}" "${SIZE[lzhpack]}"
bench_load "after the mixed set"

if [ -n "$SCALES" ]; then
    echo
    echo "scaling: one file of make_corpus text and binary (its files joined), packed 3 times each"
    printf '  %6s %12s  %9s %9s  %12s %12s\n' MB bytes "peak KB" "(min)" "wall s/MB" "CPU s/MB"
    for m in $SCALES; do
        rm -rf "$WORK/scale" "$WORK/scale.bin"
        mkdir -p "$WORK/scale"
        "$MAKE_CORPUS" "$WORK/scale" "$m"
        cat "$WORK/scale"/* >"$WORK/scale.bin"
        rm -rf "$WORK/scale"
        walls='' cpus='' peaks=''
        for run in 1 2 3; do
            pack_with lzhpack "$WORK/scale.lzh" "$WORK" scale.bin
            read -r wall cpu peak <<<"$TIMES"
            walls+="$wall " cpus+="$cpu " peaks+="$peak "
        done
        verify lzhpack "$WORK/scale.lzh" "$WORK" scale.bin
        read -r _ wm _ <<<"$(bench_stats "$walls")"
        read -r _ cm _ <<<"$(bench_stats "$cpus")"
        read -r pn _ px <<<"$(bench_stats "$peaks")"
        printf '  %6d %12d  %9d %9d  %12.4f %12.4f\n' "$m" "$(stat -c %s "$WORK/scale.bin")" "$px" "$pn" \
            "$(perl -e 'print $ARGV[0] / $ARGV[1]' "$wm" "$m")" "$(perl -e 'print $ARGV[0] / $ARGV[1]' "$cm" "$m")"
        rm -f "$WORK/scale.bin" "$WORK/scale.lzh"
    done
    echo "  (peak: the largest and smallest ru_maxrss of the three runs; times per MB: medians)"
    bench_load after
fi
