#!/usr/bin/env bash
# -lh5- members written by jlha and by lzhpack, of many sizes, decode within
# their compressed data: the engine ends a member whose codes go on past its
# data by more than a few bits (bad data, 7), so every size must still
# extract byte-identically. Each size ends its last code at another bit of
# the last byte, and each tool flushes its last block in its own way.
#
# Sizes: 0 to 300 bytes and every 61st size up to 70,000 (about 1,450 of
# each tool); QM_DATA_END_FULL=1 tries every size from 0 to 70,000 (about 20
# minutes on two cores).
#
# Usage: lh5_data_end.sh PATH_TO_LZHX
source "$(dirname "$0")/lib/common.bash"
peer_init "$@" jlha lhasa
LZHPACK=$(dirname "$LZHX")/lzhpack
[ -x "$LZHPACK" ] || fail "lzhpack not found beside lzhx: $LZHPACK"

SIZES=()
if [ "${QM_DATA_END_FULL:-0}" = 1 ]; then
    for ((n = 0; n <= 70000; n++)); do SIZES+=("$n"); done
else
    for ((n = 0; n <= 300; n++)); do SIZES+=("$n"); done
    for ((n = 361; n < 70000; n += 61)); do SIZES+=("$n"); done
    SIZES+=(70000)
fi

gen_text 70000 5 >"$WORK/text"
[ "$(stat -c %s "$WORK/text")" -eq 70000 ] || fail "test setup: the source text is not 70,000 bytes"

# check_batch TOOL SIZE...: packs a file of each size (the first SIZE bytes
# of the text) with the tool, then extracts the archive and compares.
check_batch() {
    local tool=$1
    shift
    rm -rf "$WORK/src" "$WORK/out" "$WORK/batch.lzh"
    mkdir -p "$WORK/src"
    local n names=()
    for n in "$@"; do
        head -c "$n" "$WORK/text" >"$WORK/src/s$n"
        names+=("s$n")
    done
    case $tool in
    jlha) jlha_create 2o5q "$WORK/batch.lzh" "$WORK/src" "${names[@]}" ;;
    lzhpack)
        (cd "$WORK/src" && "$LZHPACK" -5 "$WORK/batch.lzh" "${names[@]}" >/dev/null) ||
            fail "lzhpack could not pack sizes $1 to ${*: -1}"
        ;;
    esac
    run_lzhx -q "$WORK/batch.lzh" "$WORK/out"
    expect_rc 0 -- "$tool, sizes $1 to ${*: -1}"
    local differ
    differ=$(diff -rq "$WORK/src" "$WORK/out" 2>&1) ||
        fail "$tool, sizes $1 to ${*: -1}: the extracted files differ: $(echo "$differ" | head -3)"
    passed
    # Every member of 64 bytes and more is -lh5- (a tool may store the
    # smallest ones), so the sizes test the decoder.
    local stored
    stored=$(lha_members "$WORK/batch.lzh" | awk '$1 != "-lh5-" && substr($3, 2) + 0 >= 64 { print $3 }')
    [ -z "$stored" ] || fail "$tool stored, not compressed: $(echo "$stored" | head -3 | tr '\n' ' ')"
    passed
}

for tool in jlha lzhpack; do
    for ((i = 0; i < ${#SIZES[@]}; i += 500)); do
        check_batch "$tool" "${SIZES[@]:i:500}"
    done
done
note "${#SIZES[@]} sizes from 0 to 70,000 bytes, packed by jlha and by lzhpack -5, extract byte-identically"
peer_done
