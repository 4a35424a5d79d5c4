#!/usr/bin/env bash
# -lh5- archives written by jlha with header levels 0, 1 and 2: members of
# every interesting size and kind of content extract byte-identically.
#
# Usage: jlha_lh5.sh PATH_TO_LZHX
source "$(dirname "$0")/lib/common.bash"
peer_init "$@" jlha lhasa timeout

SRC=$WORK/src
mkdir -p "$SRC"
export TZ=UTC

# name, expected method ("*" where jlha may store the member because it does
# not shrink), and how the content is made.
MEMBERS=(
    "empty.txt * empty"
    "one.txt * text:1"
    "five.txt * text:5"
    "t16383.txt -lh5- text:16383"
    "t16384.txt -lh5- text:16384"
    "t16385.txt -lh5- text:16385"
    "t32767.txt -lh5- text:32767"
    "t32768.txt -lh5- text:32768"
    "t32769.txt -lh5- text:32769"
    "numbers.txt -lh5- seq:620000"
    "words.txt -lh5- text:3700000"
    "random.bin * random:3145739"
    "base64.txt -lh5- base64:1500000"
    "zeros.bin -lh5- run:2097152"
    "abc.txt -lh5- pattern:abc:1048577"
    "period8191.bin -lh5- block:8191:70"
    "period8000.bin -lh5- block:8000:40"
    "mixed.bin -lh5- mixed"
)

make_member() { # NAME RECIPE SEED
    gen_file "$SRC/$1" "$2" "$3"
}

NAMES=()
EXPECTED_LIST=()
seed=11
for m in "${MEMBERS[@]}"; do
    read -r name method recipe <<<"$m"
    make_member "$name" "$recipe" "$seed"
    [ -f "$SRC/$name" ] || fail "could not generate $name"
    NAMES+=("$name")
    EXPECTED_LIST+=("$name:$method")
    seed=$((seed + 10))
done
for n in t16383 t16384 t16385 t32767 t32768 t32769; do
    [ "$(stat -c %s "$SRC/$n.txt")" -eq "${n#t}" ] || fail "test setup: $n.txt has the wrong size"
done

for level in 0 1 2; do
    archive=$WORK/lh5-$level.lzh
    jlha_create "${level}o5" "$archive" "$SRC" "${NAMES[@]}"
    expect_archive "$archive" "$level" "${EXPECTED_LIST[@]}"
    rm -rf "$WORK/out"
    run_lzhx "$archive" "$WORK/out"
    expect_rc 0 -- "level $level"
    expect_stdout_lines "level $level" "${NAMES[@]}"
    assert_entries "$WORK/out" "level $level" "${NAMES[@]}"
    for name in "${NAMES[@]}"; do
        assert_same_file "$SRC/$name" "$WORK/out/$name" "level $level"
    done

    # One member from the end, reached by skipping every -lh5- member before it.
    rm -rf "$WORK/out"
    run_lzhx "$archive" "$WORK/out" MIXED.BIN
    expect_rc 0 -- "level $level, member MIXED.BIN"
    assert_entries "$WORK/out" "level $level, member MIXED.BIN" mixed.bin
    assert_same_file "$SRC/mixed.bin" "$WORK/out/mixed.bin" "level $level, member MIXED.BIN"

    # One member from the middle, behind other bytes.
    gen_nodash $((2 * 16384 + 99)) 7 >"$WORK/embedded.bin"
    cat "$archive" >>"$WORK/embedded.bin"
    rm -rf "$WORK/out"
    run_lzhx "$WORK/embedded.bin" "$WORK/out" T32768.TXT
    expect_rc 0 -- "level $level embedded, member T32768.TXT"
    assert_entries "$WORK/out" "level $level embedded, member T32768.TXT" t32768.txt
    assert_same_file "$SRC/t32768.txt" "$WORK/out/t32768.txt" "level $level embedded, member T32768.TXT"
    note "level $level: ${#NAMES[@]} members ($(lha_members "$archive" | grep -c -- -lh5-) of them -lh5-) extract byte-identically"
done

peer_done
