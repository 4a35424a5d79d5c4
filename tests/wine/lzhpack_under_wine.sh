#!/usr/bin/env bash
# lzhpack_under_wine.sh PATH_TO_LZHPACK_EXE PATH_TO_LZHX_EXE
#
# The Windows build of lzhpack, run under Wine in code page 932, on names
# whose last character ends in the byte of a backslash (ソ is 0x83 0x5C): such
# a file is packed and comes back from lzhx.exe unchanged, and such a folder
# is refused as no regular file, as is a name that the engine would cut at
# its byte 0xFF. Ctrl-C (SIGINT, which Wine turns into it)
# while a large file is packed removes the part file, leaves the archive as
# it was and ends lzhpack.exe with 130.
set -u -o pipefail
WINE_RUN=$(cd "$(dirname "$0")" && pwd)/wine-run.sh

fail() {
    echo "FAIL [lzhpack_under_wine]: $*" >&2
    exit 1
}

[ $# -eq 2 ] || fail "usage: $0 PATH_TO_LZHPACK_EXE PATH_TO_LZHX_EXE"
LZHPACK=$(realpath "$1") && LZHX=$(realpath "$2") || fail "no such programs: $*"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/lzhpack_under_wine.XXXXXX") || fail "mktemp failed"
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || fail "cannot enter $WORK"

printf 'Quillometer\r\n' >データソ && mkdir フォルダ表 || fail "cannot make the inputs"
"$WINE_RUN" "$LZHPACK" packed.lzh データソ >pack.out 2>&1 ||
    fail "the file データソ was not packed: $(iconv -f CP932 -t UTF-8 pack.out)"
"$WINE_RUN" "$LZHX" -q packed.lzh out >lzhx.out 2>&1 || fail "lzhx.exe: $(iconv -f CP932 -t UTF-8 lzhx.out)"
cmp -s データソ out/データソ || fail "データソ did not come back unchanged: $(ls out)"

# Refused: the folder, and a name holding U+F8F3, which Windows gives as the
# byte 0xFF, where the engine would cut the name (to y.txt).
private=$(printf 'x\xef\xa3\xb3y.txt')
printf 'Quillometer\r\n' >"$private" || fail "cannot make the inputs"
for row in "フォルダ表|not a regular file" "$private|the name holds"; do
    IFS='|' read -r name said <<<"$row"
    rc=0
    "$WINE_RUN" "$LZHPACK" refused.lzh "$name" >refuse.out 2>&1 || rc=$?
    [ $rc -eq 1 ] || fail "$name: exit code $rc, expected 1"
    grep -q "$said" refuse.out || fail "$name was refused for another reason: $(iconv -f CP932 -t UTF-8 -c refuse.out)"
    [ ! -e refused.lzh ] || fail "$name: an archive was written"
done
head -c 20000000 /dev/urandom >large.bin || fail "cannot make large.bin"
cp packed.lzh kept.lzh
"$WINE_RUN" "$LZHPACK" packed.lzh large.bin >interrupt.out 2>&1 &
pid=$!
for ((wait = 0; wait < 1000; wait++)); do
    [ -e packed.lzh.part ] && break
    sleep 0.01
done
[ -e packed.lzh.part ] || fail "lzhpack.exe made no part file"
kill -INT $pid
rc=0
wait $pid || rc=$?
[ $rc -eq 130 ] || fail "Ctrl-C: lzhpack.exe exited with $rc, expected 130"
for ((wait = 0; wait < 50; wait++)); do
    [ -e packed.lzh.part ] || break
    sleep 0.1
done
[ ! -e packed.lzh.part ] || fail "Ctrl-C left packed.lzh.part ($(stat -c %s packed.lzh.part) bytes)"
cmp -s kept.lzh packed.lzh || fail "Ctrl-C changed the archive"
echo "lzhpack_under_wine: a file ending in ソ packed, a folder ending in 表 and a name holding 0xFF refused, Ctrl-C removes the part file"
