#!/usr/bin/env bash
# Makes the seed corpora of the two fuzz targets:
#   OUTDIR/extract  whole files for fuzz_extract: the corpus of real archives
#                   (tests/corpus; files cut to 64 KiB), small archives written by
#                   jlha (stored and -lh5-, header levels 0, 1 and 2, plain and
#                   behind filler so that a header straddles the 16 KiB scan
#                   buffer), and the hand-made archives of "lzhtest seeds";
#   OUTDIR/header   header windows for fuzz_parse_header: up to 4 KiB from
#                   every position of those files that looks like a header
#                   start ("-l??-" at offset 2).
# Everything is made anew and is reproducible; nothing here is committed. A
# missing corpus or jlha (scripts/install-deps.sh installs it) is an error.
#
# Usage: make-seeds.sh OUTDIR LZHTEST   (LZHTEST: the tests' archive tool,
#                                        built beside the fuzz targets)
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 OUTDIR LZHTEST" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
out=$1
lzhtest=$2
[ -x "$lzhtest" ] || { echo "make-seeds: no lzhtest at $lzhtest" >&2; exit 2; }
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -rf "$out/extract" "$out/header"
mkdir -p "$out/extract" "$out/header"
work=$(mktemp -d "${TMPDIR:-/tmp}/qm-seeds.XXXXXX")
trap 'rm -rf "$work"' EXIT

max_extract=65536

# --- The corpus --------------------------------------------------------------
corpus=$repo/tests/corpus
[ -f "$corpus/MANIFEST.tsv" ] || { echo "make-seeds: no corpus at $corpus" >&2; exit 1; }
count_corpus=0
while IFS= read -r -d '' f; do
    rel=${f#"$corpus"/}
    name=corpus_$(printf '%s' "$rel" | tr '/ ' '__')
    head -c "$max_extract" "$f" >"$out/extract/$name"
    count_corpus=$((count_corpus + 1))
done < <(find "$corpus" -type f ! -name '*.md' ! -name '*.tsv' ! -name 'README*' -print0 | sort -z)

# --- Archives written by jlha ------------------------------------------------
count_jlha=0
command -v jlha >/dev/null 2>&1 ||
    { echo "make-seeds: jlha is not installed (scripts/install-deps.sh installs it)" >&2; exit 1; }
src=$work/src
mkdir -p "$src"
# Reproducible member contents.
"$lzhtest" text 1800 1 >"$src/ReadMe.txt"
"$lzhtest" bytes 300 2 >"$src/random.bin"
: >"$src/empty.txt"
printf 'x' >"$src/one.txt"
"$lzhtest" text 40000 3 >"$src/words.txt"
head -c 30000 /dev/zero >"$src/zeros.bin"
"$lzhtest" bytes 17000 4 >"$src/stored.bin"
touch -d @981475132 "$src"/*
small=(ReadMe.txt random.bin empty.txt one.txt)
for level in 0 1 2; do
    (
        cd "$src"
        export TZ=UTC
        jlha "cz$level" "$work/stored$level.lzh" "${small[@]}" >/dev/null 2>&1 || true
        jlha "c${level}o5" "$work/lh5-$level.lzh" "${small[@]}" >/dev/null 2>&1 || true
        jlha "c${level}o5" "$work/lh5big-$level.lzh" words.txt zeros.bin one.txt >/dev/null 2>&1 || true
        jlha "cz$level" "$work/storedbig-$level.lzh" stored.bin one.txt >/dev/null 2>&1 || true
    )
done
# Filler without any '-', so that no header can start inside it.
filler() { printf '%*s' "$1" '' | tr ' ' 'Q'; }
for a in "$work"/*.lzh; do
    [ -s "$a" ] || continue
    base=$(basename "$a" .lzh)
    cp "$a" "$out/extract/jlha_$base.lzh"
    count_jlha=$((count_jlha + 1))
    case $base in stored?|lh5-?) ;; *) continue ;; esac
    # Behind a stub, and with the first header across the first and
    # second loads of the 16 KiB scan buffer.
    for skip in 100 16300 32760; do
        { filler "$skip"; cat "$a"; } >"$out/extract/jlha_${base}_at$skip.bin"
        count_jlha=$((count_jlha + 1))
    done
done

# --- Hand-made archives ------------------------------------------------------
mkdir -p "$work/handmade"
"$lzhtest" seeds "$work/handmade"
for f in "$work"/handmade/*; do
    cp "$f" "$out/extract/handmade_$(basename "$f")"
done

# --- Header windows ----------------------------------------------------------
"$lzhtest" windows "$out/header" "$out"/extract/*

echo "make-seeds: $(ls "$out/extract" | wc -l) extraction seeds ($count_corpus from the corpus, $count_jlha from jlha), $(ls "$out/header" | wc -l) header seeds in $out"
