#!/usr/bin/env bash
# Stored (-lh0-) members written by jlha with header levels 0, 1 and 2:
# byte-identical extraction, modification times, archives embedded at odd
# offsets inside larger files, selection of one member by name, and folder
# trees, whose folder entries (-lhd-) come between the files.
#
# Usage: jlha_stored.sh PATH_TO_LZHX
source "$(dirname "$0")/lib/common.bash"
peer_init "$@" jlha lhasa timeout

SRC=$WORK/src
mkdir -p "$SRC"

# name, size, modification time (seconds since 1970, UTC). The times mix odd
# and even seconds, winter and summer dates and several decades.
MEMBERS=(
    "empty.dat 0 1614834367"
    "one.bin 1 1627817426"
    "edge16383.bin 16383 946684799"
    "Mid16384.Bin 16384 1234567890"
    "edge16385.bin 16385 2000000001"
    "big3m.bin 3158353 1000000000"
)
NAMES=()
seed=1
for m in "${MEMBERS[@]}"; do
    read -r name size mtime <<<"$m"
    gen_bytes "$size" "$seed" >"$SRC/$name"
    [ "$(stat -c %s "$SRC/$name")" -eq "$size" ] || fail "could not generate $name"
    touch -d "@$mtime" "$SRC/$name"
    NAMES+=("$name")
    seed=$((seed + 1))
done

# check_members DIR LEVEL CONTEXT [NAME...]: the named members (all of them by
# default) and nothing else are in DIR, byte-identical, with the times that
# the header level gives: levels 0 and 1 hold MS-DOS local time in 2-second
# steps (jlha drops an odd second), level 2 holds UTC seconds, set unchanged.
check_members() {
    local dir=$1 level=$2 context=$3
    shift 3
    local wanted=("$@")
    [ ${#wanted[@]} -gt 0 ] || wanted=("${NAMES[@]}")
    assert_entries "$dir" "$context" "${wanted[@]}"
    local m name size mtime want_time
    for m in "${MEMBERS[@]}"; do
        read -r name size mtime <<<"$m"
        printf '%s\n' "${wanted[@]}" | grep -qxF "$name" || continue
        assert_same_file "$SRC/$name" "$dir/$name" "$context"
        if [ "$level" -eq 2 ]; then
            want_time=$mtime
        else
            want_time=$((mtime / 2 * 2))
        fi
        assert_mtime "$dir/$name" "$want_time" "$context (level $level)"
    done
}

all_stored() {
    local n
    for n in "${NAMES[@]}"; do printf '%s:-lh0-\n' "$n"; done
}
mapfile -t STORED_LIST < <(all_stored)

# --- Plain archives of each level, under several time zones ----------------
# Europe/Berlin adds daylight saving time (one.bin's date is in summer).
for tz in Asia/Tokyo UTC Europe/Berlin; do
    export TZ=$tz
    for level in 0 1 2; do
        archive=$WORK/stored$level.lzh
        jlha_create "z$level" "$archive" "$SRC" "${NAMES[@]}"
        expect_archive "$archive" "$level" "${STORED_LIST[@]}"
        dest=$WORK/out/$level/missing/parents
        rm -rf "$WORK/out"
        run_lzhx "$archive" "$dest"
        expect_rc 0 -- "TZ=$tz level $level"
        expect_stdout_lines "TZ=$tz level $level" "${NAMES[@]}"
        check_members "$dest" "$level" "TZ=$tz level $level"
    done
    # Keep this zone's archives for the checks below.
    mkdir -p "$WORK/${tz//\//_}"
    cp "$WORK"/stored?.lzh "$WORK/${tz//\//_}/"
done
note "plain archives: 3 levels x 3 time zones extract byte-identically with their times"

# --- Archives inside larger files --------------------------------------------
export TZ=UTC
ARCH=$WORK/UTC

method_table() {
    local i
    for i in $(seq 1 "$1"); do
        printf -- '-lh0--lh1--lh2--lh3--lh4--lh5--lzs--lz5--lz4-'
        head -c $((19 + i % 7)) /dev/zero
    done
}

gen_nodash $((3 * 16384 + 7)) 101 >"$WORK/prefix-3buf"
gen_nodash $((5 * 16384 - 3)) 102 >"$WORK/prefix-5buf"
gen_nodash $((16384 - 20)) 103 >"$WORK/prefix-straddle"
yes -- '-lh0-' | tr -d '\n' | head -c 40001 >"$WORK/prefix-methods"
method_table 900 >"$WORK/prefix-table"
gen_nodash 1000 104 >"$WORK/suffix"

for prefix in 3buf 5buf straddle methods table; do
    # The prefix alone holds no archive: nothing in it may pass for a header.
    run_lzhx "$WORK/prefix-$prefix" "$WORK/none"
    expect_rc 5 -- "prefix $prefix alone"
    assert_entries "$WORK/none" "prefix $prefix alone"
    rm -rf "$WORK/none"
done

embedded_case() { # PREFIX LEVEL [SUFFIX]
    local prefix=$1 level=$2 suffix=${3:-}
    local file=$WORK/embedded.bin
    cat "$WORK/prefix-$prefix" "$ARCH/stored$level.lzh" ${suffix:+"$WORK/$suffix"} >"$file"
    local context="level $level behind prefix $prefix ($(stat -c %s "$WORK/prefix-$prefix") bytes)${suffix:+ with trailing bytes}"
    rm -rf "$WORK/out"
    run_lzhx "$file" "$WORK/out"
    expect_rc 0 -- "$context"
    expect_stdout_lines "$context" "${NAMES[@]}"
    check_members "$WORK/out" "$level" "$context"
}

for level in 0 1 2; do
    for prefix in 3buf 5buf straddle methods table; do
        embedded_case "$prefix" "$level"
    done
done
embedded_case 5buf 2 suffix
embedded_case table 0 suffix

# A file of fewer than 512 bytes: the archive's header lies within the last
# bytes of the file, which the scan must still try.
mkdir -p "$WORK/tiny"
printf 'abc' >"$WORK/tiny/t.txt"
touch -d @1300000000 "$WORK/tiny/t.txt"
for level in 0 1 2; do
    jlha_create "z$level" "$WORK/tiny$level.lzh" "$WORK/tiny" t.txt
    expect_archive "$WORK/tiny$level.lzh" "$level" "t.txt:-lh0-"
    gen_nodash 100 105 >"$WORK/small.bin"
    cat "$WORK/tiny$level.lzh" >>"$WORK/small.bin"
    size=$(stat -c %s "$WORK/small.bin")
    [ "$size" -lt 512 ] || fail "test setup: small file has $size bytes"
    rm -rf "$WORK/out"
    run_lzhx "$WORK/small.bin" "$WORK/out"
    expect_rc 0 -- "level $level archive in a $size-byte file"
    assert_entries "$WORK/out" "level $level archive in a $size-byte file" t.txt
    assert_same_file "$WORK/tiny/t.txt" "$WORK/out/t.txt" "level $level archive in a $size-byte file"
done
note "embedded archives: found behind 5 kinds of prefix, at every level, and in a small file"

# --- One member chosen by name (ASCII case ignored) --------------------------
select_case() { # FILE LEVEL ASKED EXPECTED_NAME
    local file=$1 level=$2 asked=$3 name=$4
    local context="level $level, member $asked"
    rm -rf "$WORK/out"
    run_lzhx "$file" "$WORK/out" "$asked"
    expect_rc 0 -- "$context"
    expect_stdout_lines "$context" "$name"
    check_members "$WORK/out" "$level" "$context" "$name"
}

for level in 0 1 2; do
    select_case "$ARCH/stored$level.lzh" "$level" mID16384.bIN Mid16384.Bin
    select_case "$ARCH/stored$level.lzh" "$level" BIG3M.BIN big3m.bin
    select_case "$ARCH/stored$level.lzh" "$level" empty.dat empty.dat
    cat "$WORK/prefix-3buf" "$ARCH/stored$level.lzh" >"$WORK/embedded.bin"
    select_case "$WORK/embedded.bin" "$level" EDGE16385.BIN edge16385.bin
done
note "member selection: case-insensitive names extract that one member only"

# --- A folder tree: a file, then folder entries between the files -----------
mkdir -p "$WORK/tree/dir/sub"
cp "$SRC/one.bin" "$WORK/tree/"
cp "$SRC/edge16383.bin" "$WORK/tree/dir/"
cp "$SRC/Mid16384.Bin" "$WORK/tree/dir/sub/"
for level in 0 1 2; do
    jlha_create "z$level" "$WORK/tree$level.lzh" "$WORK/tree" one.bin dir
    [ "$(lha_members "$WORK/tree$level.lzh" | awk '{ print $1 }' | tr '\n' ' ')" = "-lh0- -lhd- -lh0- -lhd- -lh0- " ] ||
        fail "test setup: jlha's level-$level tree is [$(lha_members "$WORK/tree$level.lzh" | tr '\n' '|')]"
    rm -rf "$WORK/out"
    run_lzhx "$WORK/tree$level.lzh" "$WORK/out"
    expect_rc 0 -- "level-$level folder tree"
    expect_stdout_lines "level-$level folder tree" one.bin edge16383.bin Mid16384.Bin
    for name in one.bin edge16383.bin Mid16384.Bin; do
        assert_same_file "$SRC/$name" "$WORK/out/$name" "level-$level folder tree"
    done
    assert_entries "$WORK/out" "level-$level folder tree, flattened" one.bin edge16383.bin Mid16384.Bin
    rm -rf "$WORK/out"
    run_lzhx -q "$WORK/tree$level.lzh" "$WORK/out" mid16384.bin
    expect_rc 0 -- "level-$level folder tree, the member below the folder entries"
    assert_entries "$WORK/out" "level-$level folder tree, one member" Mid16384.Bin
done
note "folder trees: the folder entries extract to nothing, the files land flat in the destination"

peer_done
