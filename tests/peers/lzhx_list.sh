#!/usr/bin/env bash
# lzhx -l, the listing, against lhasa as an independent reader: on every file
# of the corpus the exit code that the engine's rules give (5 where no
# archive is found, else 0), and member for member the method, packed size,
# size, CRC-16, header level, base name and date that lhasa lists; the total
# line; a damaged later header (the members before it listed, then 6); names
# with control bytes; and a listing reads the headers alone.
#
# Usage: lzhx_list.sh PATH_TO_LZHX
source "$(dirname "$0")/lib/common.bash"
peer_init "$@" lhasa timeout strace
find_corpus
export TZ=UTC LC_ALL=C
LZHPACK=$(dirname "$LZHX")/lzhpack
[ -x "$LZHPACK" ] || fail "lzhpack not found beside lzhx: $LZHPACK"

# Where lhasa and the engine read a file differently, and why.
declare -A DIFFERENT=(
    [lha_amiga_122/lh0_dirs_bug.lzh]="lhasa stops at the third header, which has no name; the engine lists it and the two after it"
    [lha_amiga_122/sfx.run]="the scan takes the small archive in the program stub, lhasa the one behind it"
)

# lhasa_rows ARCHIVE: "METHOD PACKED SIZE CRC LEVEL NAME DATE" for each
# member that lhasa lists: the name after its last "/" in lower case (lhasa
# shows MS-DOS names so), the date as lhasa prints it ("Jul 16 2023", or
# "Dec 9 15:24" for the last half year; "?" where it shows none, as for an
# MS-DOS date of 0). A folder entry carries no data, so no CRC: "-" for the
# 0000 that lhasa shows.
lhasa_rows() {
    lhasa vv "$1" 2>/dev/null | awk '
        BEGIN { expect_name = 1 }
        /^----------/ { section++; next }
        section == 1 {
            if (expect_name) { name = $0; expect_name = 0; next }
            m = 0
            for (i = 1; i <= NF; i++) if ($i ~ /^-[a-z0-9][a-z0-9][a-z0-9]-$/) m = i
            base = name; sub(/.*\//, "", base)
            stamp = NF >= m + 5 ? $(m + 2) " " $(m + 3) " " $(m + 4) : "?"
            crc = $m == "-lhd-" && $(m + 1) == "0000" ? "-" : $(m + 1)
            print $m, $(m - 3), $(m - 2), crc, substr($NF, 2, 1), tolower(base), stamp
            expect_name = 1
        }'
}

# lzhx_rows: the same fields from the last listing, the date in lhasa's form
# and an escaped control byte as lhasa shows it, "?".
lzhx_rows() {
    local method packed size ratio day time crc level name stamp
    while read -r method packed size ratio day time crc level name; do
        [ "$method" != Method ] && [ "$method" != Total ] || continue
        if [ "$day" = - ]; then
            stamp=-
        elif [ $((NOW - $(date -d "$day $time" +%s))) -lt $((180 * 86400)) ]; then
            stamp=$(date -d "$day $time" '+%b %-d %H:%M')
        else
            stamp=$(date -d "$day $time" '+%b %-d %Y')
        fi
        printf '%s %s %s %s %s %s %s\n' "$method" "$packed" "$size" "$crc" "$level" \
            "$(printf '%s' "$name" | sed 's/\\x[0-9A-F][0-9A-F]/?/g' | tr 'A-Z' 'a-z')" "$stamp"
    done <"$WORK/lzhx.out"
}
NOW=$(date +%s)

# check_totals CONTEXT: the total line counts the members and adds up their
# sizes.
check_totals() {
    awk -v context="$1" '
        NR > 1 && $1 != "Total" { n++; p += $2; s += $3 }
        $1 == "Total" { tp = $2; ts = $3; tn = $5 }
        END {
            if (tp != p || ts != s || tn != n) {
                printf "%s: the total line says %s members, %s and %s bytes; the rows %d, %d and %d\n", context, tn, tp, ts, n, p, s
                exit 1
            }
        }' "$WORK/lzhx.out" >"$WORK/totals" || fail "$(cat "$WORK/totals")"
    passed
}

# The corpus, with the codes of its table: a listing fails where no archive
# is found (5) and where a later header is damaged (6); every other outcome
# of an extraction lies in the members' data or names, which a listing does
# not touch.
declare -A WANT_RC=()
while IFS=$'\t' read -r archive rc _; do
    case $archive in '#'* | '') continue ;; esac
    WANT_RC[$archive]=$rc
done <"$PEER_DIR/corpus_expected.tsv"

compared=0
different=0
while IFS= read -r file; do
    [ -n "${WANT_RC[$file]+x}" ] || fail "$file is not in corpus_expected.tsv"
    want=0
    case ${WANT_RC[$file]} in 5 | 6) want=${WANT_RC[$file]} ;; esac
    run_lzhx -l "$CORPUS/$file"
    expect_rc "$want" -- "lzhx -l $file"
    [ "$RC" -eq 0 ] || continue
    check_totals "$file"
    ours=$(lzhx_rows)
    theirs=$(lhasa_rows "$CORPUS/$file")
    [ -n "$theirs" ] || continue # lhasa cannot read it: nothing to compare
    # Where lhasa shows no date, none is compared.
    ours=$(paste -d '\n' <(echo "$theirs") <(echo "$ours") | awk '
        NR % 2 { unknown = $NF == "?"; next }
        unknown { NF = 7; $7 = "?" } { print }')
    if [ -n "${DIFFERENT[$file]+x}" ]; then
        [ "$ours" != "$theirs" ] || fail "$file: listed as lhasa lists it, though the table says: ${DIFFERENT[$file]}"
        different=$((different + 1))
        continue
    fi
    [ "$ours" = "$theirs" ] ||
        fail "$file: lzhx -l and lhasa differ (method packed size crc level name date): $(diff <(echo "$ours") <(echo "$theirs") | head -6 | tr '\n' '|')"
    passed
    compared=$((compared + 1))
done < <(cd "$CORPUS" && find . -type f ! -name 'README*' ! -name 'MANIFEST*' | sed 's|^\./||' | sort)
[ "$compared" -gt 50 ] || fail "only $compared corpus files compared with lhasa"
note "corpus: $compared listings equal to lhasa's, $different known differences"

# ---------------------------------------------------------------------------
# A damaged later header: the members before it are listed, then error 6.
SRC=$WORK/src
mkdir -p "$SRC"
gen_text 40000 1 >"$SRC/one.txt"
gen_bytes 3000 2 >"$SRC/two.bin"
gen_text 500 3 >"$SRC/three.txt"
"$LZHPACK" "$WORK/good.lzh" "$SRC/one.txt" "$SRC/two.bin" "$SRC/three.txt" >/dev/null ||
    fail "lzhpack failed"
cp "$WORK/good.lzh" "$WORK/bad.lzh"
flip_byte "$WORK/bad.lzh" $(($(member_field "$WORK/good.lzh" 2 1) + 15))
run_lzhx -l "$WORK/bad.lzh"
expect_rc 6 -- "lzhx -l with a damaged third header"
got=$(awk 'NR > 1 { print $1, $NF }' "$WORK/lzhx.out" | tr '\n' ' ')
[ "$got" = "-lh5- one.txt -lh0- two.bin " ] ||
    fail "lzhx -l with a damaged third header listed [$got], expected the first two members and no total"
grep -q 'error 6' "$WORK/lzhx.err" || fail "lzhx -l with a damaged third header said: $(cat "$WORK/lzhx.err")"
passed

# The listing reads the headers alone: of a 30 MB archive, far less than its
# data (strace counts the bytes read).
head -c 30000000 /dev/zero >"$SRC/zeros.bin"
"$LZHPACK" -0 "$WORK/large.lzh" "$SRC/zeros.bin" "$SRC/one.txt" >/dev/null || fail "lzhpack failed"
run_lzhx -l "$WORK/large.lzh"
expect_rc 0 -- "lzhx -l on a 30 MB archive"
[ "$(awk 'NR > 1 && $1 != "Total" { print $NF }' "$WORK/lzhx.out" | tr '\n' ' ')" = "zeros.bin one.txt " ] ||
    fail "lzhx -l on a 30 MB archive listed: $(cat "$WORK/lzhx.out")"
strace -f -e trace=read -o "$WORK/reads" "$LZHX" -l "$WORK/large.lzh" >/dev/null ||
    fail "lzhx -l under strace failed"
bytes=$(awk -F' = ' '/^[0-9]+ +read\(/ && $NF + 0 > 0 { n += $NF } END { print n + 0 }' "$WORK/reads")
[ "$bytes" -lt 1000000 ] || fail "lzhx -l read $bytes bytes of a 30 MB archive"
passed

# Names with control bytes are listed escaped, never raw.
run_lzhx -l "$CORPUS/regression/badterm.lzh"
expect_rc 0 -- "lzhx -l regression/badterm.lzh"
! LC_ALL=C grep -q $'[\x01-\x09\x0b-\x1f\x7f]' "$WORK/lzhx.out" ||
    fail "lzhx -l printed a control byte: $(od -c "$WORK/lzhx.out" | head -5)"
grep -q '\\x1B' "$WORK/lzhx.out" || fail "lzhx -l did not escape the ESC in the name: $(cat "$WORK/lzhx.out")"
passed

peer_done
