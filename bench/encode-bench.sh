#!/usr/bin/env bash
# The encoding benchmark: archive sizes and packing times of lzhpack against
# jlha (-lh5-, level-2 headers), file by file on a reproducible corpus and on
# a mixed set of about 40 MB. Run by hand, never by the test suite.
#
#   bench/encode-bench.sh [-n RUNS]
#
#   -n RUNS  timed packings of the mixed set per program, best counts (default 1)
#
# Steps: builds lzhpack and lzhx in build/native when needed; makes the
# corpus (below); packs every file alone with both programs in their default
# mode (each stores a file that compressing would not shrink), checks that
# lzhx extracts lzhpack's archive byte-identically and lhasa jlha's; prints
# for each file the member data sizes, their difference, the archive sizes
# and the times; then packs the mixed set RUNS times with each program.
# Environment: BENCH_DIR overrides the working folder (removed at the end
# unless BENCH_KEEP=1); BENCH_BUILD names a build tree whose lzhpack and lzhx
# are used as they are, instead of building build/native.
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

RUNS=1
while getopts "n:" opt; do
    case $opt in
    n) RUNS=$OPTARG ;;
    *)
        sed -n '6,8p' "$0" >&2
        exit 64
        ;;
    esac
done
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || { echo "encode-bench: RUNS must be a positive number" >&2; exit 64; }

for tool in jlha lhasa perl gzip cmp sha256sum cmake ninja git; do
    command -v "$tool" >/dev/null ||
        { echo "encode-bench: $tool is not installed (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
[ -n "${EPOCHREALTIME:-}" ] || { echo "encode-bench: needs bash 5 (EPOCHREALTIME)" >&2; exit 1; }

if [ -n "${BENCH_BUILD:-}" ]; then
    BUILD=$BENCH_BUILD # a build tree of one's own, used as it is
else
    BUILD=$ROOT/build/native
    [ -f "$BUILD/build.ninja" ] || cmake --preset native >/dev/null
    cmake --build --preset native --target lzhpack lzhx >/dev/null
fi
LZHPACK=$BUILD/lzhpack
LZHX=$BUILD/lzhx

if [ -n "${BENCH_DIR:-}" ]; then
    WORK=$BENCH_DIR
    mkdir -p "$WORK"
else
    WORK=$(mktemp -d "${TMPDIR:-/tmp}/encode-bench.XXXXXX")
fi
[ "${BENCH_KEEP:-0}" = 1 ] || trap 'rm -rf "$WORK"' EXIT
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

now() { echo "${EPOCHREALTIME/[,.]/}"; } # microseconds

# pack_with TOOL ARCHIVE FOLDER NAME...: packs the files of FOLDER with bare
# names; prints the time in microseconds.
pack_with() {
    local tool=$1 archive=$2 dir=$3
    shift 3
    rm -f "$archive"
    local start end
    start=$(now)
    case $tool in
    lzhpack) (cd "$dir" && "$LZHPACK" "$archive" "$@" >/dev/null) ;;
    jlha) (cd "$dir" && jlha c2o5 "$archive" "$@" >/dev/null 2>&1) ;;
    esac
    end=$(now)
    [ -s "$archive" ] || { echo "encode-bench: $tool wrote no archive" >&2; exit 1; }
    echo $((end - start))
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

seconds() { printf '%d.%03d' $(($1 / 1000000)) $((($1 % 1000000) / 1000)); }
percent() { perl -e 'printf "%+.2f%%", ($ARGV[1] - $ARGV[0]) * 100 / $ARGV[0]' "$1" "$2"; }

echo "encode-bench: lzhpack $(git rev-parse --short HEAD), $(jlha 2>&1 | head -1 | tr -s ' ' | cut -c1-40)"
echo "corpus (sha256):"
(cd "$CORPUS" && sha256sum -- *) | sed 's/^/  /'
echo
printf '%-13s %10s %11s %11s %8s  %11s %11s  %8s %8s\n' file bytes jlha lzhpack diff \
    "jlha.lzh" "lzhpack.lzh" "jlha s" "lzhpack s"
for path in "$CORPUS"/*; do
    name=$(basename "$path")
    tj=$(pack_with jlha "$WORK/j.lzh" "$CORPUS" "$name")
    tl=$(pack_with lzhpack "$WORK/l.lzh" "$CORPUS" "$name")
    verify jlha "$WORK/j.lzh" "$CORPUS" "$name"
    verify lzhpack "$WORK/l.lzh" "$CORPUS" "$name"
    read -r _ pj mj <<<"$(members "$WORK/j.lzh")"
    read -r _ pl ml <<<"$(members "$WORK/l.lzh")"
    printf '%-13s %10d %11s %11s %8s  %11d %11d  %8s %8s\n' "$name" "$(stat -c %s "$path")" \
        "$pj$([ "$mj" = -lh0- ] && echo '*')" "$pl$([ "$ml" = -lh0- ] && echo '*')" "$(percent "$pj" "$pl")" \
        "$(stat -c %s "$WORK/j.lzh")" "$(stat -c %s "$WORK/l.lzh")" "$(seconds "$tj")" "$(seconds "$tl")"
done
echo "  (* stored as -lh0-: compressing would not shrink it; diff compares the member data)"
echo

mapfile -t MIXED_NAMES < <(cd "$MIXED" && ls)
total=0
for name in "${MIXED_NAMES[@]}"; do total=$((total + $(stat -c %s "$MIXED/$name"))); done
echo "mixed set: ${#MIXED_NAMES[@]} files, $total bytes (${MIXED_NAMES[*]})"
for tool in jlha lzhpack; do
    best=
    for ((run = 0; run < RUNS; run++)); do
        t=$(pack_with "$tool" "$WORK/$tool-mixed.lzh" "$MIXED" "${MIXED_NAMES[@]}")
        [ -n "$best" ] && [ "$best" -le "$t" ] || best=$t
    done
    verify "$tool" "$WORK/$tool-mixed.lzh" "$MIXED" "${MIXED_NAMES[@]}"
    size=$(stat -c %s "$WORK/$tool-mixed.lzh")
    printf '  %-8s %11d bytes  %8s s  (%s MB/s)\n' "$tool" "$size" "$(seconds "$best")" \
        "$(perl -e 'printf "%.1f", $ARGV[0] / $ARGV[1]' "$total" "$best")"
    eval "mixed_$tool=$size"
done
echo "  lzhpack against jlha: $(percent "$mixed_jlha" "$mixed_lzhpack")"
