#!/usr/bin/env bash
# lzhx killed at random moments while it reinstalls over an installed folder:
# a hundred kills in a row (SIGKILL, at a moment drawn from the length of a
# whole run; the runs install the new and the old version in turn, so that
# every run replaces files), then one complete run. After every kill each member's file is
# its old version or its new one, byte for byte, and the folder holds nothing
# else but the user's own files, unchanged (names like the engine's among
# them), and at most a file that a kill between keeping a member and moving
# it leaves, named by its own inode; after the complete run every member is
# new and no temporary file is left. Then interrupts: on SIGINT, SIGTERM and
# SIGHUP lzhx ends the job, the member being written goes and lzhx exits with
# 128 + the signal; lzhpack removes its part file, keeps the old archive and
# exits the same way; a signal that is ignored from the start (nohup) stays
# ignored.
#
# QM_KILLS sets the number of kills (default 100).
#
# Usage: killed.sh PATH_TO_LZHX
source "$(dirname "$0")/lib/common.bash"
peer_init "$@" timeout
LZHPACK=$(dirname "$LZHX")/lzhpack
[ -x "$LZHPACK" ] || fail "lzhpack not found beside lzhx: $LZHPACK"
KILLS=${QM_KILLS:-100}
RANDOM=17

# Two versions of every member, of other sizes, so that a file cut short or
# mixed reads as neither: text (-lh5-), random bytes (stored), large and small.
MEMBERS=(big1.txt big2.txt big3.txt random.bin)
for ((i = 0; i < 16; i++)); do MEMBERS+=("small$i.txt"); done
mkdir -p "$WORK/old" "$WORK/new"
for version in old new; do
    seed=$([ "$version" = old ] && echo 1 || echo 1001)
    for name in "${MEMBERS[@]}"; do
        case $name in
        big*) size=$((1500000 + seed * 97)) ;;
        random.bin) size=$((400000 + seed)) ;;
        *) size=$((1000 + (seed + ${#name} * 7919) % 30000)) ;;
        esac
        case $name in
        random.bin) gen_bytes "$size" "$seed" ;;
        *) gen_text "$size" "$seed" ;;
        esac >"$WORK/$version/$name"
        seed=$((seed + 1))
    done
    (cd "$WORK/$version" && "$LZHPACK" "$WORK/$version.lzh" "${MEMBERS[@]}" >/dev/null) ||
        fail "lzhpack cannot pack the $version version"
done

DEST=$WORK/installed
run_lzhx -q "$WORK/old.lzh" "$DEST"
expect_rc 0 -- "the first install"
# The user's own files, of names like the engine's: the first name it tries,
# one whose number is not its own inode, an earlier engine's name.
printf 'mine' >"$DEST/~qm0000000000000000.tmp"
printf 'mine too' >"$DEST/made"
mv "$DEST/made" "$DEST/$(printf '~qm%016x.tmp' $(($(stat -c %i "$DEST/made") + 1)))"
printf 'an old one' >"$DEST/~qm0000.tmp"
mkdir -p "$WORK/mine"
cp -p "$DEST"/~qm* "$WORK/mine/"

# check_folder CONTEXT: every member old or new, the user's files as they
# were, and nothing else but files named by their own inode. Sets NEW to the
# number of members that are new and LEFT to the number of such files.
check_folder() {
    local context=$1 entry name
    NEW=0 LEFT=0
    for entry in "$DEST"/* "$DEST"/.[!.]*; do
        [ -e "$entry" ] || continue
        name=$(basename "$entry")
        if [ -f "$WORK/mine/$name" ]; then
            cmp -s "$WORK/mine/$name" "$entry" || fail "$context: the user's $name changed"
        elif [ -f "$WORK/new/$name" ]; then
            if cmp -s "$WORK/new/$name" "$entry"; then
                NEW=$((NEW + 1))
            else
                cmp -s "$WORK/old/$name" "$entry" ||
                    fail "$context: $name is neither its old nor its new version ($(stat -c %s "$entry") bytes)"
            fi
        elif [[ $name =~ ^~qm[0-9a-f]{16}\.tmp$ ]] &&
            [ "$name" = "$(printf '~qm%016x.tmp' "$(stat -c %i "$entry")")" ]; then
            LEFT=$((LEFT + 1))
        else
            fail "$context: $name was left in the folder ($(stat -c '%F, %s bytes' "$entry"))"
        fi
    done
    for name in "${MEMBERS[@]}"; do
        [ -f "$DEST/$name" ] || fail "$context: $name is gone"
    done
    passed
}

# The length of a whole run, which the moments of the kills are drawn from.
started=$(date +%s%N)
run_lzhx -q "$WORK/new.lzh" "$WORK/timed"
expect_rc 0 -- "a timed run"
run_ms=$((($(date +%s%N) - started) / 1000000 + 1))
rm -rf "$WORK/timed"

killed_new=0 killed_left=0
for ((k = 1; k <= KILLS; k++)); do
    version=$([ $((k % 2)) -eq 1 ] && echo new || echo old)
    "$LZHX" -q "$WORK/$version.lzh" "$DEST" >/dev/null 2>"$WORK/lzhx.err" &
    pid=$!
    at=$(((RANDOM * 32768 + RANDOM) % run_ms))
    sleep "$(printf '%d.%03d' $((at / 1000)) $((at % 1000)))"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    check_folder "kill $k (after $at ms, the $version version)"
    killed_new=$((killed_new + NEW))
    killed_left=$((killed_left + LEFT))
done
note "$KILLS kills within runs of about $run_ms ms: $killed_new new and $((KILLS * ${#MEMBERS[@]} - killed_new)) old files seen, $killed_left files named by their own inode"

run_lzhx -q "$WORK/new.lzh" "$DEST"
expect_rc 0 -- "the complete run after $KILLS kills"
check_folder "the complete run"
[ "$NEW" -eq "${#MEMBERS[@]}" ] || fail "after the complete run only $NEW of ${#MEMBERS[@]} members are new"
[ "$LEFT" -eq 0 ] || fail "after the complete run $LEFT temporary files are left"
passed

# --- Interrupts. lzhx prints each member's name as it starts: it is stopped
# once the first large member is under way, and the signal comes as it goes
# on. A job in the background of a script ignores SIGINT unless told not to
# (env --default-signal); under nohup (--ignore-signal=HUP) SIGHUP stays
# ignored and the job goes on to its end.
for row in "INT default" "TERM default" "HUP default" "HUP ignore"; do
    read -r signal how <<<"$row"
    run_lzhx -q "$WORK/old.lzh" "$DEST"
    expect_rc 0 -- "back to the old version"
    rm -f "$WORK/lzhx.out"
    env "--$how-signal=$signal" "$LZHX" "$WORK/new.lzh" "$DEST" >"$WORK/lzhx.out" 2>"$WORK/lzhx.err" &
    pid=$!
    for ((wait = 0; wait < 500; wait++)); do
        grep -qx big1.txt "$WORK/lzhx.out" 2>/dev/null && break
        sleep 0.01
    done
    kill -STOP "$pid"
    kill "-$signal" "$pid"
    kill -CONT "$pid"
    RC=0
    wait "$pid" || RC=$?
    code=$(kill -l "$signal")
    check_folder "SIG$signal ($how)"
    [ "$LEFT" -eq 0 ] || fail "SIG$signal left $LEFT temporary files"
    if [ "$how" = ignore ]; then
        [ "$RC" -eq 0 ] && [ "$NEW" -eq "${#MEMBERS[@]}" ] ||
            fail "SIG$signal, ignored from the start, ended the job ($RC): $(head -c 500 "$WORK/lzhx.err")"
    else
        [ "$RC" -eq $((128 + code)) ] || fail "lzhx exited with $RC on SIG$signal, expected $((128 + code))"
        grep -q "interrupted (signal $code)" "$WORK/lzhx.err" ||
            fail "SIG$signal did not end the job: $(head -c 500 "$WORK/lzhx.err")"
        [ "$NEW" -lt "${#MEMBERS[@]}" ] || fail "SIG$signal came after the job had ended"
    fi
    passed
done

# lzhpack writes ARCHIVE.part; an interrupt removes it and keeps the archive.
gen_text 30000000 7 >"$WORK/large.txt"
for signal in INT TERM HUP; do
    cp "$WORK/old.lzh" "$WORK/archive.lzh"
    env --default-signal=INT,TERM,HUP "$LZHPACK" -5 "$WORK/archive.lzh" "$WORK/large.txt" \
        >/dev/null 2>"$WORK/lzhpack.err" &
    pid=$!
    for ((wait = 0; wait < 500; wait++)); do
        [ -e "$WORK/archive.lzh.part" ] && break
        sleep 0.01
    done
    [ -e "$WORK/archive.lzh.part" ] || fail "lzhpack made no part file"
    kill "-$signal" "$pid"
    RC=0
    wait "$pid" || RC=$?
    code=$(kill -l "$signal")
    [ "$RC" -eq $((128 + code)) ] || fail "lzhpack exited with $RC on SIG$signal, expected $((128 + code))"
    assert_absent "$WORK/archive.lzh.part" "lzhpack on SIG$signal"
    cmp -s "$WORK/old.lzh" "$WORK/archive.lzh" || fail "lzhpack on SIG$signal changed the archive"
    passed
done
peer_done
