#!/usr/bin/env bash
# lzhx -t, the test, against lhasa as an independent reader: on every file
# of the corpus the exit code that the engine's rules give and a line per
# member; on damaged copies of jlha's archives (every header level, stored
# and -lh5-) the same verdict as "lhasa t" for every member, the test going
# on past a member whose data fail; a damaged header ends it; one member by
# name; and nothing is written anywhere.
#
# Usage: lzhx_test.sh PATH_TO_LZHX
source "$(dirname "$0")/lib/common.bash"
peer_init "$@" jlha lhasa timeout
find_corpus
export TZ=UTC LC_ALL=C

# lhasa_verdicts ARCHIVE: "NAME ok" or "NAME bad" per member, in order, as
# "lhasa t" tests them (its last word on each member's line), the name after
# its last "/".
lhasa_verdicts() {
    lhasa t "$1" 2>&1 | tr '\r' '\n' | awk -F'\t' '
        $2 ~ /^- (Tested|CRC error)/ || $2 ~ /error/ {
            name = $1; sub(/.*\//, "", name)
            print name, ($2 ~ /^- Tested/ ? "ok" : "bad")
        }'
}

# lzhx_verdicts: the same from the last run of lzhx -t: "NAME: ok" on
# standard output, "lzhx: NAME: error N: ..." on standard error, in order
# (the test writes them one at a time, each stream flushed before the
# other).
lzhx_verdicts() {
    sed -n 's/^\(.*\): ok$/\1 ok/p; s/^lzhx: \(.*\): error [789]: .*/\1 bad/p' "$WORK/lzhx.all"
}

run_test() { # ARGS...: lzhx -t, both streams also in one file in order
    RC=0
    timeout 120 "$LZHX" -t "$@" >"$WORK/lzhx.all" 2>&1 || RC=$?
    timeout 120 "$LZHX" -t "$@" >"$WORK/lzhx.out" 2>"$WORK/lzhx.err" || true
}

# Nothing may appear anywhere: the test runs in an empty folder, next to its
# archive's folder, which must stay as it was.
mkdir -p "$WORK/cwd"
cd "$WORK/cwd" || fail "cannot enter $WORK/cwd"

# --- The corpus ----------------------------------------------------------------
# The extraction's code, but for an output file that cannot be created (3):
# a test makes no file.
declare -A WANT_RC=()
while IFS=$'\t' read -r archive rc _; do
    case $archive in '#'* | '') continue ;; esac
    [ "$rc" -ne 3 ] || rc=0
    WANT_RC[$archive]=$rc
done <"$PEER_DIR/corpus_expected.tsv"
before=$(cd "$CORPUS" && find . -type f -printf '%p %s %T@\n' | sort | sha256sum)
tested=0
while IFS= read -r file; do
    run_test "$CORPUS/$file"
    expect_rc "${WANT_RC[$file]}" -- "lzhx -t $file"
    [ "$RC" -ne 5 ] || continue
    # A line per member (the folder entries aside), and the total.
    members=$("$LZHX" -l "$CORPUS/$file" | awk 'NR > 1 && $1 != "Total" && $1 != "-lhd-"' | wc -l)
    lines=$(lzhx_verdicts | wc -l)
    [ "$lines" -eq "$members" ] || fail "lzhx -t $file: $lines verdicts for $members members"
    grep -Eq "^$members members? tested(, all ok|, [0-9]+ failed|)\$" "$WORK/lzhx.out" ||
        fail "lzhx -t $file: no total line for $members members: $(tail -1 "$WORK/lzhx.out")"
    passed
    tested=$((tested + 1))
done < <(cd "$CORPUS" && find . -type f ! -name 'README*' ! -name 'MANIFEST*' | sed 's|^\./||' | sort)
[ "$(cd "$CORPUS" && find . -type f -printf '%p %s %T@\n' | sort | sha256sum)" = "$before" ] ||
    fail "lzhx -t changed the corpus"
[ -z "$(ls -A "$WORK/cwd")" ] || fail "lzhx -t wrote into the current folder: $(ls -A "$WORK/cwd")"
passed
note "corpus: $tested files tested, the codes of the rules, a verdict per member"

# --- Damaged copies, against lhasa ---------------------------------------------
SRC=$WORK/src
mkdir -p "$SRC"
gen_nodash 20000 1 >"$SRC/first.bin"
gen_text 60000 2 >"$SRC/second.txt"
gen_text 30000 3 >"$SRC/third.txt"
gen_nodash 5000 4 >"$SRC/fourth.bin"
for level in 0 1 2; do
    for kind in stored lh5; do
        if [ "$kind" = stored ]; then opts="z$level"; else opts="${level}o5"; fi
        archive=$WORK/$kind$level.lzh
        jlha_create "$opts" "$archive" "$SRC" first.bin second.txt third.txt fourth.bin
        # The data of the second and third members damaged: the test goes
        # on to the fourth.
        cp "$archive" "$WORK/bad.lzh"
        for i in 1 2; do
            data=$(member_field "$archive" "$i" 3)
            packed=$(member_field "$archive" "$i" 4)
            flip_byte "$WORK/bad.lzh" $((data + packed / 2))
        done
        context="$kind level $level, two members damaged"
        run_test "$WORK/bad.lzh"
        [ "$RC" -eq 7 ] || [ "$RC" -eq 9 ] || fail "$context: lzhx -t exited with $RC, expected 7 or 9"
        passed
        ours=$(lzhx_verdicts)
        [ "$ours" = "$(printf '%s\n' "first.bin ok" "second.txt bad" "third.txt bad" "fourth.bin ok")" ] ||
            fail "$context: lzhx -t says [$(echo "$ours" | tr '\n' '|')]"
        theirs=$(lhasa_verdicts "$WORK/bad.lzh")
        [ "$ours" = "$theirs" ] || fail "$context: lzhx -t says [$(echo "$ours" | tr '\n' '|')], lhasa t [$(echo "$theirs" | tr '\n' '|')]"
        grep -q '^4 members tested, 2 failed$' "$WORK/lzhx.out" || fail "$context: $(tail -1 "$WORK/lzhx.out")"
        passed
        # Cut inside the third member: it fails, and nothing comes after it.
        cp "$archive" "$WORK/cut.lzh"
        truncate -s $(($(member_field "$archive" 2 3) + 100)) "$WORK/cut.lzh"
        run_test "$WORK/cut.lzh"
        [ "$RC" -eq 7 ] || [ "$RC" -eq 9 ] || fail "$kind level $level, cut: lzhx -t exited with $RC"
        ours=$(lzhx_verdicts | tr '\n' '|')
        [ "$ours" = "first.bin ok|second.txt ok|third.txt bad|" ] || fail "$kind level $level, cut: lzhx -t says [$ours]"
        passed
    done
done
note "damaged data: every member's verdict as lhasa's, the test going on past each failure"

# --- A damaged header ends the test; one member by name; quiet -------------------
archive=$WORK/lh52.lzh
cp "$archive" "$WORK/header.lzh"
flip_byte "$WORK/header.lzh" $(($(member_field "$archive" 2 1) + 15))
run_test "$WORK/header.lzh"
expect_rc 6 -- "lzhx -t, third header damaged"
[ "$(lzhx_verdicts | tr '\n' '|')" = "first.bin ok|second.txt ok|" ] ||
    fail "lzhx -t, third header damaged: $(lzhx_verdicts | tr '\n' '|')"
expect_stderr "lzhx -t, third header damaged" "^lzhx: $WORK/header.lzh: error 6: a member header is damaged\$"

run_test "$WORK/bad.lzh" THIRD.TXT
expect_rc 9 7 -- "lzhx -t, the damaged third member by name"
[ "$(lzhx_verdicts)" = "third.txt bad" ] || fail "lzhx -t THIRD.TXT: $(cat "$WORK/lzhx.all")"
run_test "$WORK/bad.lzh" fourth.bin
expect_rc 0 -- "lzhx -t, the fourth member by name"
expect_stdout_lines "lzhx -t fourth.bin" "fourth.bin: ok" "1 member tested, all ok"
run_test "$WORK/bad.lzh" fifth.bin
expect_rc 5 -- "lzhx -t, a member that is not there"
expect_stderr "lzhx -t fifth.bin" "^lzhx: error 5: no member named fifth.bin in "

run_test -q "$WORK/bad.lzh"
expect_rc 9 7 -- "lzhx -t -q"
expect_stdout_lines "lzhx -t -q"
[ "$(wc -l <"$WORK/lzhx.err")" -eq 2 ] || fail "lzhx -t -q said: $(cat "$WORK/lzhx.err")"
passed
[ -z "$(ls -A "$WORK/cwd")" ] || fail "lzhx -t wrote into the current folder: $(ls -A "$WORK/cwd")"
passed

peer_done
