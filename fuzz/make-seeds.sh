#!/usr/bin/env bash
# Makes the seed corpora of the two fuzz targets:
#   OUTDIR/extract  whole files for fuzz_extract: the shared corpus of real
#                   archives (../shared/corpus/lzh beside the repository, when
#                   present; files cut to 64 KiB), small archives written by
#                   jlha (stored and -lh5-, header levels 0, 1 and 2, plain and
#                   behind filler so that a header straddles the 16 KiB scan
#                   buffer), and the hand-made archives of fuzz/seeds/;
#   OUTDIR/header   header windows for fuzz_parse_header: up to 4 KiB from
#                   every position of those files that looks like a header
#                   start ("-l??-" at offset 2), and the hex seeds of
#                   fuzz/seeds/*.hex.
# Everything is made anew and is reproducible; nothing here is committed.
#
# Usage: make-seeds.sh OUTDIR
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 OUTDIR" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
out=$1
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -rf "$out/extract" "$out/header"
mkdir -p "$out/extract" "$out/header"
work=$(mktemp -d "${TMPDIR:-/tmp}/qm-seeds.XXXXXX")
trap 'rm -rf "$work"' EXIT

max_extract=65536

# --- The shared corpus -------------------------------------------------------
corpus=$repo/../shared/corpus/lzh
count_corpus=0
if [ -d "$corpus" ]; then
    while IFS= read -r -d '' f; do
        rel=${f#"$corpus"/}
        name=corpus_$(printf '%s' "$rel" | tr '/ ' '__')
        head -c "$max_extract" "$f" >"$out/extract/$name"
        count_corpus=$((count_corpus + 1))
    done < <(find "$corpus" -type f ! -name '*.md' ! -name '*.tsv' ! -name 'README*' -print0 | sort -z)
else
    echo "make-seeds: no shared corpus at $corpus; using generated seeds only" >&2
fi

# --- Archives written by jlha ------------------------------------------------
count_jlha=0
if command -v jlha >/dev/null 2>&1; then
    src=$work/src
    mkdir -p "$src"
    # Reproducible member contents.
    perl -e '
        my ($dir) = @ARGV;
        my $x = 2463534242;
        sub rnd { $x ^= ($x << 13) & 0xffffffff; $x ^= $x >> 17; $x ^= ($x << 5) & 0xffffffff; $x }
        my @w = qw(quill meter ink paper setup archive member header the of and to in is);
        sub text { my $n = shift; my $s = ""; $s .= $w[rnd() % @w] . ((rnd() % 9) ? " " : "\n") while length $s < $n; substr($s, 0, $n) }
        sub bytes { my $n = shift; join "", map { chr(rnd() & 0xFF) } 1 .. $n }
        my %files = (
            "ReadMe.txt" => text(1800),
            "random.bin" => bytes(300),
            "empty.txt"  => "",
            "one.txt"    => "x",
            "words.txt"  => text(40000),
            "zeros.bin"  => "\0" x 30000,
            "stored.bin" => bytes(17000),
        );
        for my $name (keys %files) {
            open(my $f, ">:raw", "$dir/$name") or die "$name: $!";
            print $f $files{$name};
            close $f;
        }' "$src"
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
    filler() { perl -e 'print join "", map { chr(0x41 + ($_ * 7) % 26) } 1 .. $ARGV[0]' "$1"; }
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
else
    echo "make-seeds: jlha not installed; no jlha archives" >&2
fi

# --- Hand-made archives ------------------------------------------------------
perl "$here/seeds/handmade.pl" "$work/handmade"
for f in "$work"/handmade/*; do
    cp "$f" "$out/extract/handmade_$(basename "$f")"
done

# --- Header windows ----------------------------------------------------------
perl -e '
    my ($dir, @files) = @ARGV;
    my %seen;
    for my $path (@files) {
        open(my $f, "<:raw", $path) or die "$path: $!";
        local $/; my $d = <$f>; close $f;
        my $taken = 0;
        for (my $i = 0; $i + 22 <= length $d && $taken < 16; ++$i) {
            next unless substr($d, $i + 2, 1) eq "-" && substr($d, $i + 6, 1) eq "-"
                && substr($d, $i + 3, 1) eq "l";
            my $w = substr($d, $i, 4096);
            next if $seen{$w}++;
            my $name = sprintf("%s/%s_%d", $dir, ($path =~ m{([^/]+)$})[0], $i);
            open(my $o, ">:raw", $name) or die "$name: $!";
            print $o $w; close $o;
            ++$taken;
        }
    }' "$out/header" "$out"/extract/*
for f in "$here"/seeds/*.hex; do
    [ -f "$f" ] || continue
    perl -ne 'next if /^#/; s/\s+//g; print pack("H*", $_)' "$f" >"$out/header/hex_$(basename "$f" .hex)"
done

echo "make-seeds: $(ls "$out/extract" | wc -l) extraction seeds ($count_corpus from the corpus, $count_jlha from jlha), $(ls "$out/header" | wc -l) header seeds in $out"
