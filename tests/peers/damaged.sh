#!/usr/bin/env bash
# Damaged, cut-short and unsupported archives, and wrong use of lzhx: the
# exit code the engine's rules give, the members completed before the failure
# stay, the failing member leaves no file and nothing after it is written.
#
# Usage: damaged.sh PATH_TO_LZHX
source "$(dirname "$0")/lib/common.bash"
peer_init "$@" jlha lhasa timeout
export TZ=UTC

# drop_file_crc FILE OFFSET: removes the data CRC from the level-0 header at
# OFFSET (the header shrinks by two bytes), so that the header carries none.
drop_file_crc() { "$LZHTEST" drop-crc "$1" "$2"; }

SRC=$WORK/src
mkdir -p "$SRC"
# Stored members (random bytes that do not shrink, and hold no "-") and
# -lh5- members (text that shrinks).
gen_nodash 20000 1 >"$SRC/first.bin"
gen_nodash 40000 2 >"$SRC/second.bin"
gen_nodash 3000 3 >"$SRC/third.bin"
gen_text 30000 4 >"$SRC/first.txt"
gen_text 70000 5 >"$SRC/second.txt"
gen_text 5000 6 >"$SRC/third.txt"

declare -A NAMES=([stored]="first.bin second.bin third.bin" [lh5]="first.txt second.txt third.txt")
declare -A METHOD=([stored]=-lh0- [lh5]=-lh5-)

for kind in stored lh5; do
    for level in 0 1 2; do
        read -r -a names <<<"${NAMES[$kind]}"
        archive=$WORK/$kind$level.lzh
        if [ "$kind" = stored ]; then opts="z$level"; else opts="${level}o5"; fi
        jlha_create "$opts" "$archive" "$SRC" "${names[@]}"
        expect_archive "$archive" "$level" "${names[0]}:${METHOD[$kind]}" \
            "${names[1]}:${METHOD[$kind]}" "${names[2]}:${METHOD[$kind]}"
        [ "$(lzh_walk "$archive" | wc -l)" -eq 3 ] || fail "test setup: cannot walk $archive"
        # The header tool recomputes exactly what jlha wrote.
        cp "$archive" "$WORK/check.lzh"
        for i in 0 1 2; do fix_header "$WORK/check.lzh" "$(member_field "$archive" "$i" 1)"; done
        cmp -s "$archive" "$WORK/check.lzh" || fail "test setup: fix_header changes an intact $kind level-$level header"
    done
done

# extract_case FILE CONTEXT CODES [MEMBER]: runs lzhx into a fresh folder
# $OUT and checks the exit code (one of CODES, a space-separated list).
OUT=$WORK/out
extract_case() {
    local file=$1 context=$2 codes=$3
    shift 3
    rm -rf "$OUT"
    run_lzhx "$file" "$OUT" "$@"
    # shellcheck disable=SC2086
    expect_rc $codes -- "$context"
    [ -z "${PEER_VERBOSE:-}" ] || note "$context: exit $RC"
}

# only_members CONTEXT KIND INDEX...: $OUT holds exactly the members with
# these indexes, byte-identical to their sources.
only_members() {
    local context=$1 kind=$2
    shift 2
    local names wanted=() i
    read -r -a names <<<"${NAMES[$kind]}"
    for i in "$@"; do wanted+=("${names[$i]}"); done
    assert_entries "$OUT" "$context" "${wanted[@]}"
    for i in "$@"; do
        assert_same_file "$SRC/${names[$i]}" "$OUT/${names[$i]}" "$context"
    done
}

# --- Damage inside the second member -----------------------------------------
for kind in stored lh5; do
    if [ "$kind" = stored ]; then bad_data="9"; else bad_data="7 9"; fi
    for level in 0 1 2; do
        archive=$WORK/$kind$level.lzh
        header=$(member_field "$archive" 1 1)
        data=$(member_field "$archive" 1 3)
        packed=$(member_field "$archive" 1 4)
        next=$((data + packed))
        tag="$kind level $level"

        for at in $((data + packed / 2)) $((data + 2)) $((next - 1)); do
            cp "$archive" "$WORK/bad.lzh"
            flip_byte "$WORK/bad.lzh" "$at"
            extract_case "$WORK/bad.lzh" "$tag, second member's data byte $((at - data)) flipped" "$bad_data"
            only_members "$tag, second member's data flipped" "$kind" 0
        done

        cp "$archive" "$WORK/cut.lzh"
        truncate -s $((data + packed / 2)) "$WORK/cut.lzh"
        extract_case "$WORK/cut.lzh" "$tag, cut inside the second member's data" "$bad_data"
        only_members "$tag, cut inside the second member's data" "$kind" 0

        # Cut right after the second member: no end marker, the archive just ends.
        cp "$archive" "$WORK/cut.lzh"
        truncate -s "$next" "$WORK/cut.lzh"
        extract_case "$WORK/cut.lzh" "$tag, cut after the second member" 0
        only_members "$tag, cut after the second member" "$kind" 0 1

        # Fewer than 22 bytes of the second header left: the end of the archive.
        cp "$archive" "$WORK/cut.lzh"
        truncate -s $((header + 21)) "$WORK/cut.lzh"
        extract_case "$WORK/cut.lzh" "$tag, 21 bytes of the second header left" 0
        only_members "$tag, 21 bytes of the second header left" "$kind" 0

        # 22 bytes or more, but not the whole header: a damaged later header.
        cp "$archive" "$WORK/cut.lzh"
        truncate -s $((header + 22)) "$WORK/cut.lzh"
        [ "$((data - header))" -gt 22 ] || fail "test setup: header too small"
        extract_case "$WORK/cut.lzh" "$tag, 22 bytes of the second header left" 6
        only_members "$tag, 22 bytes of the second header left" "$kind" 0

        # A changed time field fails the header's byte sum or header CRC.
        cp "$archive" "$WORK/bad.lzh"
        flip_byte "$WORK/bad.lzh" $((header + 15))
        extract_case "$WORK/bad.lzh" "$tag, second header damaged" 6
        only_members "$tag, second header damaged" "$kind" 0

        # A damaged first header is not the archive's start: the scan goes on
        # and the archive is taken to start at the second member.
        cp "$archive" "$WORK/bad.lzh"
        flip_byte "$WORK/bad.lzh" 15
        extract_case "$WORK/bad.lzh" "$tag, first header damaged" 0
        only_members "$tag, first header damaged" "$kind" 1 2
    done
done
note "damaged data, headers and cut-short archives give the rules' codes and keep earlier members"

# --- Methods ----------------------------------------------------------------
# set_method FILE INDEX METHOD: rewrites a member's method string and fixes
# the header's checks, so that only the method differs.
set_method() {
    local at
    at=$(member_field "$1" "$2" 1)
    patch_bytes "$1" $((at + 2)) "$(printf '%s' "$3" | od -An -tx1 | tr -d ' \n')"
    fix_header "$1" "$at"
}

for level in 0 1 2; do
    archive=$WORK/stored$level.lzh
    for method in -lh1- -lh2- -lh3- -lh4- -lzs- -lz5-; do
        cp "$archive" "$WORK/m.lzh"
        set_method "$WORK/m.lzh" 1 "$method"
        extract_case "$WORK/m.lzh" "level $level, second member $method" 8
        only_members "level $level, second member $method" stored 0
    done
    cp "$archive" "$WORK/m.lzh"
    set_method "$WORK/m.lzh" 0 -lh1-
    extract_case "$WORK/m.lzh" "level $level, first member -lh1-" 8
    only_members "level $level, first member -lh1-" stored

    # -lz4- is stored data too.
    cp "$archive" "$WORK/m.lzh"
    set_method "$WORK/m.lzh" 1 -lz4-
    extract_case "$WORK/m.lzh" "level $level, second member -lz4-" 0
    only_members "level $level, second member -lz4-" stored 0 1 2

    # An unknown method string is no header: later, a damaged header; first,
    # not the start of the archive.
    cp "$archive" "$WORK/m.lzh"
    set_method "$WORK/m.lzh" 1 -lh6-
    extract_case "$WORK/m.lzh" "level $level, second member -lh6-" 6
    only_members "level $level, second member -lh6-" stored 0
    expect_stderr "level $level, second member -lh6-" \
        "^lzhx: $WORK/m.lzh: error 6: a later member is of -lh6-, a method that is not supported\$"
    cp "$archive" "$WORK/m.lzh"
    set_method "$WORK/m.lzh" 0 -lh7-
    extract_case "$WORK/m.lzh" "level $level, first member -lh7-" 0
    only_members "level $level, first member -lh7-" stored 1 2
    # Nothing but methods that are not read: no archive, and why.
    for i in 1 2; do set_method "$WORK/m.lzh" "$i" -lh6-; done
    extract_case "$WORK/m.lzh" "level $level, members of -lh7- and -lh6- only" 5
    expect_stderr "level $level, members of -lh7- and -lh6- only" \
        "^lzhx: error 5: no LZH archive in $WORK/m.lzh: it holds members of -lh7- and -lh6-, methods that are not supported\$"
    assert_absent "$OUT" "level $level, members of -lh7- and -lh6- only"
done
note "unsupported methods give 8 and leave no file; -lz4- extracts; unknown methods are no header"

# --- A level-0 header without a data CRC ---------------------------------------
archive=$WORK/stored0.lzh
cp "$archive" "$WORK/nocrc.lzh"
drop_file_crc "$WORK/nocrc.lzh" "$(member_field "$archive" 1 1)"
extract_case "$WORK/nocrc.lzh" "second header without a CRC" 0
only_members "second header without a CRC" stored 0 1 2

# Without a CRC, damaged stored data cannot be noticed: it is extracted as is.
data=$(member_field "$WORK/nocrc.lzh" 1 3)
cp "$WORK/nocrc.lzh" "$WORK/bad.lzh"
flip_byte "$WORK/bad.lzh" $((data + 1000))
cp "$SRC/second.bin" "$WORK/second.flipped"
flip_byte "$WORK/second.flipped" 1000
extract_case "$WORK/bad.lzh" "second header without a CRC, data flipped" 0
assert_entries "$OUT" "second header without a CRC, data flipped" first.bin second.bin third.bin
assert_same_file "$WORK/second.flipped" "$OUT/second.bin" "second header without a CRC, data flipped"
assert_same_file "$SRC/third.bin" "$OUT/third.bin" "second header without a CRC, data flipped"

# ... but data cut short is.
cp "$WORK/nocrc.lzh" "$WORK/cut.lzh"
truncate -s $((data + 12345)) "$WORK/cut.lzh"
extract_case "$WORK/cut.lzh" "second header without a CRC, data cut short" 7
only_members "second header without a CRC, data cut short" stored 0
note "a header without a data CRC: no CRC test, but a cut-short member still fails"

# --- Files and folders -------------------------------------------------------
archive=$WORK/stored2.lzh

rm -rf "$OUT"
run_lzhx "$WORK/does-not-exist.lzh" "$OUT"
expect_rc 1 -- "archive path that does not exist"
assert_absent "$OUT" "archive path that does not exist"
expect_stderr "archive path that does not exist" "^lzhx: $WORK/does-not-exist.lzh: error 1: "

mkdir -p "$WORK/a-folder"
run_lzhx "$WORK/a-folder" "$OUT"
expect_rc 1 -- "archive path that is a folder"
assert_absent "$OUT" "archive path that is a folder"

gen_nodash 100000 9 >"$WORK/noarchive.bin"
run_lzhx "$WORK/noarchive.bin" "$OUT"
expect_rc 5 -- "file without an archive"
assert_absent "$OUT" "file without an archive"
expect_stderr "file without an archive" "^lzhx: error 5: no LZH archive in $WORK/noarchive.bin\$"

: >"$WORK/empty.bin"
run_lzhx "$WORK/empty.bin" "$OUT"
expect_rc 5 -- "empty file"
head -c 21 "$archive" >"$WORK/short.bin"
run_lzhx "$WORK/short.bin" "$OUT"
expect_rc 5 -- "file of the first 21 bytes of an archive"

for asked in fourth.bin second third.bin.x 'second .bin'; do
    extract_case "$archive" "member '$asked' that is not in the archive" 5 "$asked"
    assert_entries "$OUT" "member '$asked' that is not in the archive"
    expect_stderr "member '$asked' that is not in the archive" \
        "^lzhx: error 5: no member named ${asked//./\\.} in $archive\$"
done

printf 'keep me\n' >"$WORK/plain-file"
cp "$WORK/plain-file" "$WORK/plain-file.orig"
run_lzhx "$archive" "$WORK/plain-file"
expect_rc 2 -- "destination that is a regular file"
expect_stderr "destination that is a regular file" "^lzhx: $WORK/plain-file: error 2: "
assert_same_file "$WORK/plain-file.orig" "$WORK/plain-file" "destination that is a regular file (left unchanged)"
run_lzhx "$archive" "$WORK/plain-file/sub"
expect_rc 2 -- "destination below a regular file"

# A folder in the way of the second member's file.
rm -rf "$OUT"
mkdir -p "$OUT/second.bin"
run_lzhx "$archive" "$OUT"
expect_rc 3 -- "folder in the way of an output file"
assert_entries "$OUT" "folder in the way of an output file" first.bin second.bin
assert_same_file "$SRC/first.bin" "$OUT/first.bin" "folder in the way of an output file"
[ -d "$OUT/second.bin" ] || fail "folder in the way of an output file: the folder was replaced"

# A file of a member's name that is already there is replaced.
rm -rf "$OUT"
mkdir -p "$OUT"
gen_bytes 50000 10 >"$OUT/first.bin"
printf 'old' >"$OUT/third.bin"
run_lzhx "$archive" "$OUT"
expect_rc 0 -- "existing files in the destination"
only_members "existing files in the destination" stored 0 1 2
note "missing archive 1, no archive 5, unknown member 5, bad destination 2, blocked file 3"

# --- Command lines ---------------------------------------------------------
# "ARGS|EXIT|STREAM|FIRST LINE": lzhx with these arguments (A stands for the
# archive, O for the destination) exits with EXIT, prints FIRST LINE (a
# pattern) first on STREAM and nothing on the other one, and writes nothing.
# Help and version are asked for: standard output and 0; a wrong command
# line gives the usage on standard error and 64.
COMMAND_LINES=(
    "-h|0|out|^usage: lzhx "
    "--help|0|out|^usage: lzhx "
    "-q --help A O|0|out|^usage: lzhx "
    "--version|0|out|^lzhx [0-9]+\\.[0-9]+\$"
    "|64|err|^usage: lzhx "
    "A|64|err|^usage: lzhx "
    "A O first.bin extra|64|err|^usage: lzhx "
    "-q|64|err|^usage: lzhx "
    "-q A|64|err|^usage: lzhx "
    "-q A O first.bin extra|64|err|^usage: lzhx "
    "-x A O|64|err|^usage: lzhx "
    "--verbose A O|64|err|^usage: lzhx "
    "-l|64|err|^usage: lzhx "
    "-l A O|64|err|^usage: lzhx "
    "-l -q A|64|err|^usage: lzhx "
    "-t|64|err|^usage: lzhx "
    "-t A first.bin O|64|err|^usage: lzhx "
    "-l -t A|64|err|^usage: lzhx "
    "-t --help A|0|out|^usage: lzhx "
)
rm -rf "$OUT"
PLACES=([A]=$archive [O]=$OUT)
after_command_line() { assert_absent "$OUT" "$1"; }
command_lines "$LZHX" "${COMMAND_LINES[@]}"
note "help and version on standard output with 0; wrong command lines: usage on standard error, 64"

peer_done
