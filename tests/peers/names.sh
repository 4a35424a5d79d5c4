#!/usr/bin/env bash
# Japanese names on Linux as on Windows: lzhx gives the files the names that
# Windows gives them (code page 932 in the archive, UTF-8 on the disk; bytes
# outside the code page as cp932_names.tsv says, which the Wine test checks
# against Windows), prints them in the terminal's encoding, takes a member
# and paths named in it; lzhpack stores names in code page 932, which jlha
# reads back, and refuses a name that has none or that the engine would cut.
#
# Usage: names.sh PATH_TO_LZHX   (lzhpack is taken from beside it)
source "$(dirname "$0")/lib/common.bash"
peer_init "$@" jlha timeout
export LC_ALL=C.UTF-8
LZHPACK=$(dirname "$LZHX")/lzhpack
[ -x "$LZHPACK" ] || fail "lzhpack not found beside lzhx: $LZHPACK"

source "$PEER_DIR/lib/cp932_names.bash"

# --- The table: names in code page 932 and their files ------------------------
read_cp932_names "$PEER_DIR/cp932_names.tsv"
[ "$n" -gt 10 ] || fail "test setup: cp932_names.tsv holds $n names"
"$LZHTEST" names "$WORK/names.lzh" "${hex_names[@]}" || fail "test setup: lzhtest names failed"

run_lzhx "$WORK/names.lzh" "$WORK/out"
expect_rc 0 -- "names of the table"
assert_entries "$WORK/out" "names of the table" "${expected[@]}"
for i in "${!expected[@]}"; do
    [ "$(cat "$WORK/out/${expected[$i]}")" = "${hex_names[$i]}" ] ||
        fail "names of the table: ${expected[$i]} does not hold the member ${hex_names[$i]}"
done
passed
# lzhx prints each name as the file is named, the C1 control U+0080 escaped.
printed=()
for e in "${expected[@]}"; do printed+=("${e//$'\xc2\x80'/\\x80}"); done
expect_stdout_lines "names of the table, printed" "${printed[@]}"
run_lzhx -l "$WORK/names.lzh"
expect_rc 0 -- "lzhx -l, names of the table"
got=$(awk 'NR > 1 && $1 != "Total" { name = $0; for (i = 0; i < 8; i++) sub(/^ *[^ ]+/, "", name); sub(/^  /, "", name); print name }' "$WORK/lzhx.out")
[ "$got" = "$(printf '%s\n' "${printed[@]}")" ] || fail "lzhx -l listed the names [$got]"
passed
note "$n names in code page 932 extracted and printed as Windows names them"

# --- Archives of a Japanese archiver -----------------------------------------
SRC=$WORK/src
mkdir -p "$SRC"
gen_text 3000 1 >"$SRC/表示.txt"
gen_bytes 2000 2 >"$SRC/ソフト.dat"
gen_text 100 3 >"$SRC/plain.txt"
# jlha writes names in Shift_JIS (code page 932) in a Japanese locale.
(cd "$SRC" && LC_ALL=ja_JP.UTF-8 jlha c2 "$WORK/jlha.lzh" 表示.txt ソフト.dat plain.txt) >"$WORK/jlha.log" 2>&1 ||
    fail "jlha failed: $(cat "$WORK/jlha.log")"
# first_name_hex ARCHIVE: the first member's name as stored, in hex.
first_name_hex() { "$LZHTEST" walk "$1" | head -1 | cut -d' ' -f7- | tr -d '\n' | od -An -tx1 | tr -d ' \n'; }
[ "$(first_name_hex "$WORK/jlha.lzh")" = 955c8ea62e747874 ] ||
    fail "test setup: jlha did not write the name 表示.txt in code page 932: $(first_name_hex "$WORK/jlha.lzh")"
run_lzhx "$WORK/jlha.lzh" "$WORK/jlha-out"
expect_rc 0 -- "jlha's archive"
for f in 表示.txt ソフト.dat plain.txt; do assert_same_file "$SRC/$f" "$WORK/jlha-out/$f" "jlha's archive"; done
assert_entries "$WORK/jlha-out" "jlha's archive" 表示.txt ソフト.dat plain.txt
expect_stdout_lines "jlha's archive, printed" 表示.txt ソフト.dat plain.txt

# A member, a destination and an archive named in Japanese on the command line.
cp "$WORK/jlha.lzh" "$WORK/書庫.lzh"
run_lzhx -q "$WORK/書庫.lzh" "$WORK/出力先" ソフト.DAT
expect_rc 0 -- "a member named on the command line"
assert_entries "$WORK/出力先" "a member named on the command line" ソフト.dat
assert_same_file "$SRC/ソフト.dat" "$WORK/出力先/ソフト.dat" "a member named on the command line"
# What has no form in code page 932 reaches no file: as Windows, which could
# not hand the engine such a name either.
for row in "A|$WORK/café|2" "$WORK/jlha-é.lzh|$WORK/x|1" "A|$WORK/x|5|café.txt"; do
    IFS='|' read -r file dest code member <<<"$row"
    [ "$file" != A ] || file=$WORK/jlha.lzh
    cp "$WORK/jlha.lzh" "$WORK/jlha-é.lzh"
    run_lzhx "$file" "$dest" ${member:+"$member"}
    expect_rc "$code" -- "a name without a code-page-932 form ($file $dest $member)"
    grep -q 'no form in code page 932' "$WORK/lzhx.err" || fail "lzhx said: $(cat "$WORK/lzhx.err")"
    assert_absent "$dest" "a name without a code-page-932 form"
done

# Printed in the terminal's encoding: EUC-JP, in a locale made for the test.
# localedef and the locale sources come with the package locales.
mkdir -p "$WORK/locale"
localedef -i ja_JP -f EUC-JP "$WORK/locale/ja_JP.eucJP" >"$WORK/localedef.log" 2>&1 ||
    fail "no EUC-JP locale could be made (scripts/install-deps.sh installs locales): $(head -c 300 "$WORK/localedef.log")"
LOCPATH=$WORK/locale LC_ALL=ja_JP.eucJP "$LZHX" -l "$WORK/jlha.lzh" >"$WORK/euc.out" ||
    fail "lzhx -l in EUC-JP failed"
grep -q "$(printf '表示.txt' | iconv -f UTF-8 -t EUC-JP)" "$WORK/euc.out" ||
    fail "lzhx -l in an EUC-JP locale did not print 表示.txt in EUC-JP: $(od -c "$WORK/euc.out" | head -8)"
passed

# --- lzhpack: names in code page 932 -----------------------------------------
"$LZHPACK" "$WORK/packed.lzh" "$SRC/表示.txt" "$SRC/plain.txt" >"$WORK/pack.out" 2>&1 ||
    fail "lzhpack failed: $(cat "$WORK/pack.out")"
grep -q '^表示.txt: ' "$WORK/pack.out" || fail "lzhpack printed: $(cat "$WORK/pack.out")"
got=$(first_name_hex "$WORK/packed.lzh")
[ "$got" = 955c8ea62e747874 ] || fail "lzhpack stored 表示.txt as the bytes $got, not in code page 932"
passed
mkdir -p "$WORK/jlha-x"
(cd "$WORK/jlha-x" && LC_ALL=ja_JP.UTF-8 jlha x "$WORK/packed.lzh") >"$WORK/jlha.log" 2>&1 ||
    fail "jlha x failed: $(cat "$WORK/jlha.log")"
assert_same_file "$SRC/表示.txt" "$WORK/jlha-x/表示.txt" "jlha reads lzhpack's name"
run_lzhx -q "$WORK/packed.lzh" "$WORK/packed-out"
expect_rc 0 -- "lzhpack's archive"
assert_same_file "$SRC/表示.txt" "$WORK/packed-out/表示.txt" "lzhpack's archive"

# Refused: a name without a code-page-932 form, and names that the engine
# would cut at a byte that Linux does not take for a separator (it would
# extract them as b.txt).
for row in 'café.txt|the name has no form in code page 932' \
    'a\b.txt|the name holds \, : or the byte 0xFF' 'a:b.txt|the name holds \, : or the byte 0xFF'; do
    IFS='|' read -r name said <<<"$row"
    cp "$SRC/plain.txt" "$SRC/$name"
    rc=0
    "$LZHPACK" "$WORK/refused.lzh" "$SRC/plain.txt" "$SRC/$name" >/dev/null 2>"$WORK/pack.err" || rc=$?
    [ "$rc" -eq 1 ] || fail "lzhpack with $name exited with $rc, expected 1"
    grep -qF "$name: $said" "$WORK/pack.err" || fail "lzhpack with $name said: $(cat "$WORK/pack.err")"
    [ ! -e "$WORK/refused.lzh" ] && [ ! -e "$WORK/refused.lzh.part" ] || fail "lzhpack with $name left an archive"
done
passed

peer_done
