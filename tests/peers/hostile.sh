#!/usr/bin/env bash
# Archives made to mislead the engine, through lzhx: a last match that runs
# past the member's size (cut there, as lhasa does), a member that declares
# 2 GiB and holds no data (bad data at once), a member named like the
# archive being read, members named like Windows devices, a reinstall whose
# member fails (the installed file stays), and names full of terminal
# control codes (printed escaped).
#
# Usage: hostile.sh PATH_TO_LZHX
source "$(dirname "$0")/lib/common.bash"
peer_init "$@" jlha lhasa timeout
export TZ=UTC
LZHPACK=$(dirname "$LZHX")/lzhpack
[ -x "$LZHPACK" ] || fail "lzhpack not found beside lzhx: $LZHPACK"

SRC=$WORK/src
mkdir -p "$SRC"

# set_level0_size ARCHIVE SIZE CRC_OF: gives the level-0 header at offset 0 a
# new uncompressed size and the CRC-16 of the file CRC_OF.
set_level0_size() {
    local name_length
    name_length=$((0x$(byte_at "$1" 21)))
    patch_bytes "$1" 11 "$(printf '%08x' "$2" | sed 's/\(..\)\(..\)\(..\)\(..\)/\4\3\2\1/')"
    patch_bytes "$1" $((22 + name_length)) "$(crc16_file "$3" | sed 's/\(..\)\(..\)/\2\1/')"
    fix_header "$1" 0
}

# --- A last match past the size: the file ends at the size, as lhasa's does.
gen_file "$SRC/abc.txt" pattern:abc:300 1
jlha_create 0o5q "$WORK/abc.lzh" "$SRC" abc.txt
expect_archive "$WORK/abc.lzh" 0 abc.txt:-lh5-
head -c 295 "$SRC/abc.txt" >"$WORK/abc295"
cp "$WORK/abc.lzh" "$WORK/cut.lzh"
set_level0_size "$WORK/cut.lzh" 295 "$WORK/abc295"
run_lzhx "$WORK/cut.lzh" "$WORK/out-cut"
expect_rc 0 -- "a match past the size"
assert_same_file "$WORK/abc295" "$WORK/out-cut/abc.txt" "a match past the size"
mkdir -p "$WORK/lhasa-cut"
(cd "$WORK/lhasa-cut" && lhasa xq "$WORK/cut.lzh") || fail "lhasa cannot extract cut.lzh"
assert_same_file "$WORK/lhasa-cut/abc.txt" "$WORK/out-cut/abc.txt" "the same as lhasa's"

# --- 2 GiB declared, the data run out: bad data within a moment, no file.
cp "$WORK/abc.lzh" "$WORK/starved.lzh"
set_level0_size "$WORK/starved.lzh" 2147483647 "$SRC/abc.txt"
started=$SECONDS
run_lzhx -q "$WORK/starved.lzh" "$WORK/out-starved"
expect_rc 7 -- "2 GiB declared, 27 bytes of data"
[ $((SECONDS - started)) -le 5 ] || fail "the starved member took $((SECONDS - started)) s"
assert_entries "$WORK/out-starved" "2 GiB declared"

# --- A member named like the archive, extracted beside it: refused, the
# archive intact, the member before it complete.
mkdir -p "$WORK/self" "$SRC/self"
gen_text 5000 2 >"$SRC/self/first.txt"
gen_text 9000 3 >"$SRC/self/self.lzh"
(cd "$SRC/self" && "$LZHPACK" "$WORK/self/self.lzh" first.txt self.lzh >/dev/null) ||
    fail "lzhpack cannot pack self.lzh"
cp "$WORK/self/self.lzh" "$WORK/self.copy"
cd "$WORK/self" || fail "cannot enter $WORK/self"
run_lzhx self.lzh .
cd "$WORK" || fail "cannot leave $WORK/self"
expect_rc 3 -- "a member named like the archive"
cmp -s "$WORK/self/self.lzh" "$WORK/self.copy" || fail "the archive being read was changed"
assert_same_file "$SRC/self/first.txt" "$WORK/self/first.txt" "the member before"
assert_entries "$WORK/self" "a member named like the archive" first.txt self.lzh

# --- Windows device names, in any case, with an extension or a dot.
for name in NUL nul.txt Com1 CON. lpt9.log CONOUT\$; do
    rm -rf "$SRC/dev" "$WORK/out-dev"
    mkdir -p "$SRC/dev"
    printf 'data' >"$SRC/dev/$name"
    (cd "$SRC/dev" && "$LZHPACK" "$WORK/dev.lzh" "$name" >/dev/null) || fail "lzhpack cannot pack $name"
    run_lzhx -q "$WORK/dev.lzh" "$WORK/out-dev"
    expect_rc 3 -- "a member named $name"
    assert_entries "$WORK/out-dev" "a member named $name"
done

# --- A reinstall whose second member is damaged: the installed copy of it
# stays as it was, and no temporary file is left.
mkdir -p "$SRC/app"
gen_text 30000 4 >"$SRC/app/one.txt"
gen_text 40000 5 >"$SRC/app/two.txt"
(cd "$SRC/app" && "$LZHPACK" "$WORK/app.lzh" one.txt two.txt >/dev/null) || fail "lzhpack cannot pack app.lzh"
run_lzhx -q "$WORK/app.lzh" "$WORK/installed"
expect_rc 0 -- "the first install"
printf 'the installed two\n' >"$WORK/installed/two.txt"
cp "$WORK/installed/two.txt" "$WORK/two.before"
cp "$WORK/app.lzh" "$WORK/app-damaged.lzh"
flip_byte "$WORK/app-damaged.lzh" $(($(member_field "$WORK/app.lzh" 1 3) + 100))
run_lzhx -q "$WORK/app-damaged.lzh" "$WORK/installed"
expect_rc 7 9 -- "a reinstall with a damaged member"
assert_same_file "$SRC/app/one.txt" "$WORK/installed/one.txt" "the member before"
assert_same_file "$WORK/two.before" "$WORK/installed/two.txt" "the installed file"
assert_entries "$WORK/installed" "a failed reinstall" one.txt two.txt

# --- Control codes in names reach the terminal escaped, in the member's
# line and in the error line.
mkdir -p "$SRC/ctl"
evil=$'\e]0;owned\a\e[2J\x7f\r.txt'
printf 'x' >"$SRC/ctl/$evil"
(cd "$SRC/ctl" && "$LZHPACK" -0 "$WORK/ctl.lzh" "$evil" >/dev/null) || fail "lzhpack cannot pack the name"
run_lzhx "$WORK/ctl.lzh" "$WORK/out-ctl"
expect_rc 0 -- "a name of control codes"
expect_stdout_lines "a name of control codes" '\x1B]0;owned\x07\x1B[2J\x7F\x0D.txt'
flip_byte "$WORK/ctl.lzh" $(($(member_field "$WORK/ctl.lzh" 0 3)))
run_lzhx "$WORK/ctl.lzh" "$WORK/out-ctl2"
expect_rc 9 -- "a damaged member of that name"
grep -qF 'lzhx: \x1B]0;owned\x07\x1B[2J\x7F\x0D.txt: error 9' "$WORK/lzhx.err" ||
    fail "the error line does not name the member escaped: $(od -c "$WORK/lzhx.err" | head -3)"
if LC_ALL=C grep -q $'[\x01-\x09\x0b-\x1f\x7f]' "$WORK/lzhx.out" "$WORK/lzhx.err"; then
    fail "a control code reached the output"
fi
passed

peer_done
