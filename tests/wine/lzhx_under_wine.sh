#!/usr/bin/env bash
# lzhx_under_wine.sh PATH_TO_LZHX_EXE PATH_TO_LZHTEST PATH_TO_LZHPACK
#
# The Windows build of lzhx, run under Wine through wine-run.sh as on a
# Japanese Windows system (code page 932, TZ=Asia/Tokyo), on archives written
# by jlha: stored members with header levels 0 and 2, and -lh5- members with
# levels 0, 1 and 2. Checks that every member comes out byte-identical under
# its name (also names whose second byte is 0x5C, a backslash, in code page
# 932), with the time stamps of its header level, into a destination folder
# whose parents are missing; that one member can be picked by name; that an
# archive behind a Windows executable is found; that a damaged member
# leaves no file behind while the members before it stay; that read-only
# files are replaced; that lzhx.exe killed or interrupted (Ctrl-C) while
# it writes a member leaves the installed file as it was and no temporary
# file (the build machine's lzhpack packs the archives of these two); and
# that names in code page 932, bytes outside it too, give the files the
# names that the engine's stand-in gives them on Linux.
#
# Exit status: 0 passed, 1 failed (also when a tool that
# scripts/install-deps.sh installs is missing).
set -u -o pipefail

NAME=lzhx_under_wine
HERE=$(cd "$(dirname "$0")" && pwd)
WINE_RUN=$HERE/wine-run.sh
CHECKS=0
RUNS=0
WINE_MS=0
START_SECONDS=$SECONDS

fail() {
    echo "FAIL [$NAME]: $*" >&2
    exit 1
}

passed() { CHECKS=$((CHECKS + 1)); }

[ $# -eq 3 ] || fail "usage: $0 PATH_TO_LZHX_EXE PATH_TO_LZHTEST PATH_TO_LZHPACK"
LZHX=$1
case $LZHX in /*) ;; *) LZHX=$PWD/$LZHX ;; esac
[ -f "$LZHX" ] || fail "lzhx.exe not found: $LZHX"
LZHTEST=$2
[ -x "$LZHTEST" ] || fail "lzhtest (the tests' archive tool, built for this machine) not found: $LZHTEST"
LZHPACK=$3
[ -x "$LZHPACK" ] || fail "lzhpack (built for this machine) not found: $LZHPACK"
for tool in jlha iconv timeout; do
    command -v "$tool" >/dev/null 2>&1 ||
        fail "'$tool' is not installed (scripts/install-deps.sh installs it)"
done

# Both jlha and the program under Wine see Japan Standard Time: jlha writes
# the MS-DOS times of levels 0 and 1 in it, and lzhx reads them back in it.
# jlha writes names in Shift_JIS (code page 932) only in a Japanese locale.
export TZ=Asia/Tokyo
export LC_ALL=ja_JP.UTF-8

WORK=$(mktemp -d "${TMPDIR:-/tmp}/$NAME.XXXXXX") || fail "mktemp failed"
trap 'rm -rf "$WORK"' EXIT
SRC=$WORK/src
mkdir -p "$SRC"

# The Windows form of an absolute host path: Wine's drive Z: is the host's
# root folder.
winpath() {
    local p=${1//\//\\}
    echo "Z:$p"
}

# run_lzhx ARGS...: lzhx.exe under Wine; exit code in RC, standard output (CRLF
# made LF, code page 932 made UTF-8) in $WORK/lzhx.out, standard error in
# $WORK/lzhx.err.
run_lzhx() {
    RC=0
    local started
    started=$(date +%s%N)
    timeout 300 "$WINE_RUN" "$LZHX" "$@" >"$WORK/lzhx.raw" 2>"$WORK/lzhx.err" || RC=$?
    RUNS=$((RUNS + 1))
    WINE_MS=$((WINE_MS + ($(date +%s%N) - started) / 1000000))
    [ "$RC" -ne 124 ] || fail "lzhx $* did not finish within 300 s"
    [ "$RC" -ne 125 ] || fail "wine-run.sh could not run lzhx: $(cat "$WORK/lzhx.err")"
    tr -d '\r' <"$WORK/lzhx.raw" | iconv -f CP932 -t UTF-8 >"$WORK/lzhx.out" ||
        fail "lzhx $* printed text that is not code page 932: $(od -An -tx1 "$WORK/lzhx.raw" | head -5)"
}

expect_rc() {
    local want=$1 context=$2
    [ "$RC" -eq "$want" ] ||
        fail "$context: lzhx exited with $RC, expected $want; stdout: $(head -c 1500 "$WORK/lzhx.out"); stderr: $(head -c 1500 "$WORK/lzhx.err")"
    passed
}

# expect_printed CONTEXT NAME...: lzhx printed exactly these member names.
expect_printed() {
    local context=$1 got want
    shift
    got=$(cat "$WORK/lzhx.out")
    want=$(printf '%s\n' "$@")
    [ "$got" = "$want" ] ||
        fail "$context: lzhx printed [$(echo "$got" | tr '\n' ' ')], expected [$(echo "$want" | tr '\n' ' ')]"
    passed
}

# expect_entries DIR CONTEXT NAME...: DIR holds exactly these entries.
expect_entries() {
    local dir=$1 context=$2 got want
    shift 2
    got=$(ls -A "$dir" 2>/dev/null | LC_ALL=C sort | tr '\n' '|')
    want=$(printf '%s\n' "$@" | sed '/^$/d' | LC_ALL=C sort | tr '\n' '|')
    [ "$got" = "$want" ] || fail "$context: $dir holds [$got], expected [$want]"
    passed
}

# ---------------------------------------------------------------------------
# Test data: name, size, kind, modification time (seconds since 1970, UTC).
# The times have odd seconds (levels 0 and 1 keep two-second steps) and
# include one whose date in Japan differs from its date in UTC.
MEMBERS=(
    "readme.txt 13 text 1623720031"
    "random.bin 40000 random 946684799"
    "words.txt 120000 text 1234567891"
    "empty.dat 0 text 1614834367"
    "表.txt 777 text 1000000001"
    "ソフト.dat 20000 random 1700000003"
)
NAMES=()

gen_data() { # SIZE KIND SEED
    if [ "$2" = random ]; then "$LZHTEST" bytes "$1" "$3"; else "$LZHTEST" text "$1" "$3"; fi
}

seed=1
for m in "${MEMBERS[@]}"; do
    read -r name size kind mtime <<<"$m"
    gen_data "$size" "$kind" "$seed" >"$SRC/$name"
    [ "$(stat -c %s "$SRC/$name")" -eq "$size" ] || fail "could not write $name"
    touch -d "@$mtime" "$SRC/$name"
    NAMES+=("$name")
    seed=$((seed + 1))
done

# lzh_members ARCHIVE: "LEVEL METHOD NAME" for every member of a plain archive
# (names turned from code page 932 into UTF-8).
lzh_members() {
    "$LZHTEST" walk "$1" | cut -d ' ' -f 2,5,7- | iconv -f CP932 -t UTF-8
}

# lzh_data_offset ARCHIVE INDEX: "OFFSET PACKED" of the INDEX-th member's data.
lzh_data_offset() {
    "$LZHTEST" walk "$1" | awk -v i="$2" 'NR == i + 1 { print $3, $4 }'
}

flip_byte() { "$LZHTEST" flip "$1" "$2"; }

# check_archive FILE OPTIONS LEVEL METHODS: the archive that "jlha cOPTIONS"
# wrote holds every member in order with this header level; METHODS gives
# each member's method ("-lh0-" or "-lh5-") in the same order.
check_archive() {
    local file=$1 options=$2 level=$3 methods=$4 got want i m
    [ -s "$file" ] || fail "jlha c$options wrote no archive: $(cat "$file.log")"
    got=$(lzh_members "$file")
    want=
    read -ra m <<<"$methods"
    for i in "${!NAMES[@]}"; do want+="$level ${m[i]} ${NAMES[i]}"$'\n'; done
    [ "$got"$'\n' = "$want" ] ||
        fail "jlha c$options wrote [$(echo "$got" | tr '\n' '|')], expected [$(echo -n "$want" | tr '\n' '|')]"
    passed
}

# check_members DIR LEVEL CONTEXT [NAME...]: DIR holds exactly these members
# (all by default), byte-identical and with the right times. Level 2 holds UTC
# seconds, which the file gets unchanged; levels 0 and 1 hold MS-DOS local
# time in two-second steps, read back in the same zone, so the file gets the
# source's time with an odd second dropped. The last-access time is set to the
# same value, and is read before anything reads the file.
check_members() {
    local dir=$1 level=$2 context=$3 m name size kind mtime want got
    shift 3
    local wanted=("$@")
    [ ${#wanted[@]} -gt 0 ] || wanted=("${NAMES[@]}")
    expect_entries "$dir" "$context" "${wanted[@]}"
    for m in "${MEMBERS[@]}"; do
        read -r name size kind mtime <<<"$m"
        printf '%s\n' "${wanted[@]}" | grep -qxF "$name" || continue
        want=$mtime
        [ "$level" -eq 2 ] || want=$((mtime / 2 * 2))
        got=$(stat -c '%X %Y' "$dir/$name") || fail "$context: cannot stat $name"
        [ "$got" = "$want $want" ] ||
            fail "$context: $name has access and modification times [$got] ($(date -d "@${got#* }" '+%F %T %Z')), expected $want ($(date -d "@$want" '+%F %T %Z')), level $level"
        passed
        cmp -s "$SRC/$name" "$dir/$name" ||
            fail "$context: $name differs from the original ($(stat -c %s "$dir/$name") bytes, expected $size): $(cmp "$SRC/$name" "$dir/$name" 2>&1 | head -1)"
        passed
    done
}

# ---------------------------------------------------------------------------
# Whole archives: every member into a folder whose parents do not exist yet.

ARCHIVES=(
    "l0_stored z0 0 -lh0- -lh0- -lh0- -lh0- -lh0- -lh0-"
    "l2_stored z2 2 -lh0- -lh0- -lh0- -lh0- -lh0- -lh0-"
    "l0_lh5 0o5 0 -lh0- -lh0- -lh5- -lh0- -lh5- -lh0-"
    "l1_lh5 1o5 1 -lh0- -lh0- -lh5- -lh0- -lh5- -lh0-"
    "l2_lh5 2o5 2 -lh0- -lh0- -lh5- -lh0- -lh5- -lh0-"
)
# jlha (Java) is slow to start, so it writes the archives side by side, while
# a first run of lzhx, without arguments, starts Wine (and makes the prefix if
# there is none yet). lzhx then prints its usage and exits with 64, which
# must come through Wine unchanged.
timeout 900 "$WINE_RUN" "$LZHX" >"$WORK/usage.out" 2>"$WORK/usage.err" &
usage_pid=$!
jlha_pids=()
for a in "${ARCHIVES[@]}"; do
    read -r id options _ <<<"$a"
    (cd "$SRC" && exec jlha "c$options" "$WORK/$id.lzh" "${NAMES[@]}") >"$WORK/$id.lzh.log" 2>&1 &
    jlha_pids+=($!)
done
wait "${jlha_pids[@]}"
RC=0
wait "$usage_pid" || RC=$?
grep -q '^usage: lzhx' "$WORK/usage.err" ||
    fail "lzhx without arguments (exit $RC) did not print its usage: $(head -c 1500 "$WORK/usage.err")"
passed
[ "$RC" -eq 64 ] || fail "lzhx without arguments exited with $RC under Wine, expected 64"
passed
for a in "${ARCHIVES[@]}"; do
    read -r id options level methods <<<"$a"
    check_archive "$WORK/$id.lzh" "$options" "$level" "$methods"
    # One destination without a trailing backslash, one with.
    dest=$WORK/out/$id/new/deep
    arg=$(winpath "$dest")
    [ "$id" = l2_lh5 ] && arg+='\'
    run_lzhx "$(winpath "$WORK/$id.lzh")" "$arg"
    expect_rc 0 "$id"
    expect_printed "$id" "${NAMES[@]}"
    expect_entries "$WORK/out/$id" "$id" new
    expect_entries "$WORK/out/$id/new" "$id" deep
    check_members "$dest" "$level" "$id"
done

# The MS-DOS time of levels 0 and 1 must really be Japan time, or the level-0
# checks above would prove nothing about the zone.
read -r _ _ _ mtime <<<"${MEMBERS[0]}"
read -r t d <<<"$(od -An -tu2 -j15 -N4 "$WORK/l0_stored.lzh")"
got=$(printf '%04d-%02d-%02d %02d:%02d:%02d' $(((d >> 9) + 1980)) $(((d >> 5) & 15)) $((d & 31)) \
    $((t >> 11)) $(((t >> 5) & 63)) $(((t & 31) * 2)))
want=$(TZ=Asia/Tokyo date -d "@$((mtime / 2 * 2))" '+%F %T')
[ "$got" = "$want" ] || fail "jlha wrote the MS-DOS time $got for ${MEMBERS[0]%% *}, expected Japan time $want"
passed

# ---------------------------------------------------------------------------
# One member by name: ASCII letters in another case, and a name whose second
# byte in code page 932 is 0x5C, given on the command line.

for pick in "WORDS.TXT:words.txt" "表.txt:表.txt" "ソフト.DAT:ソフト.dat"; do
    ask=${pick%%:*}
    file=${pick#*:}
    dest=$WORK/pick/$file
    run_lzhx -q "$(winpath "$WORK/l2_lh5.lzh")" "$(winpath "$dest")" "$ask"
    expect_rc 0 "member $ask"
    expect_printed "member $ask (-q)"
    check_members "$dest" 2 "member $ask" "$file"
done
run_lzhx "$(winpath "$WORK/l0_lh5.lzh")" "$(winpath "$WORK/pick/none")" "nosuch.txt"
expect_rc 5 "a member that is not in the archive"
expect_entries "$WORK/pick/none" "a member that is not in the archive"

# ---------------------------------------------------------------------------
# Names in code page 932, also bytes outside it: Windows gives the files the
# names of tests/peers/cp932_names.tsv, which the engine's stand-in gives them
# on Linux (peers.names).

source "$HERE/../peers/lib/cp932_names.bash"
read_cp932_names "$HERE/../peers/cp932_names.tsv"
"$LZHTEST" names "$WORK/names.lzh" "${hex_names[@]}" || fail "lzhtest names failed"
run_lzhx -q "$(winpath "$WORK/names.lzh")" "$(winpath "$WORK/names")"
expect_rc 0 "names in code page 932"
expect_entries "$WORK/names" "names in code page 932" "${expected[@]}"

# ---------------------------------------------------------------------------
# The archive behind a Windows executable (lzhx.exe itself, whose data may
# hold method names), as in a setup program.

cat "$LZHX" "$WORK/l2_lh5.lzh" >"$WORK/setup.exe"
run_lzhx "$(winpath "$WORK/setup.exe")" "$(winpath "$WORK/setup")"
expect_rc 0 "archive behind an executable"
check_members "$WORK/setup" 2 "archive behind an executable"

# ---------------------------------------------------------------------------
# Damage. A stored member with a wrong byte fails its CRC: the members before
# it stay, complete; it is deleted (closed first: Windows cannot delete an
# open file); nothing after it is written.

cp "$WORK/l0_stored.lzh" "$WORK/bad_stored.lzh"
read -r at packed <<<"$(lzh_data_offset "$WORK/bad_stored.lzh" 2)"
flip_byte "$WORK/bad_stored.lzh" $((at + packed / 2))
run_lzhx "$(winpath "$WORK/bad_stored.lzh")" "$(winpath "$WORK/bad_stored")"
expect_rc 9 "stored member with a wrong byte"
check_members "$WORK/bad_stored" 0 "stored member with a wrong byte" readme.txt random.bin

cp "$WORK/l2_lh5.lzh" "$WORK/bad_lh5.lzh"
entries_before=$(($(ls -A "$WORK" | grep -c .) + 1)) # and the folder below
read -r at packed <<<"$(lzh_data_offset "$WORK/bad_lh5.lzh" 4)"
flip_byte "$WORK/bad_lh5.lzh" $((at + packed / 2))
run_lzhx "$(winpath "$WORK/bad_lh5.lzh")" "$(winpath "$WORK/bad_lh5")"
[ "$RC" -eq 7 ] || [ "$RC" -eq 9 ] ||
    fail "-lh5- member with a wrong byte: lzhx exited with $RC, expected 7 or 9; stderr: $(head -c 1500 "$WORK/lzhx.err")"
passed
check_members "$WORK/bad_lh5" 2 "-lh5- member with a wrong byte" \
    readme.txt random.bin words.txt empty.dat

# The test on the same damaged archive goes on past the damaged member, and
# the listing names every member, in code page 932 as the console shows it.
run_lzhx -t "$(winpath "$WORK/bad_lh5.lzh")"
[ "$RC" -eq 7 ] || [ "$RC" -eq 9 ] || fail "lzhx -t on a damaged member: exit $RC"
passed
expect_printed "lzhx -t on a damaged member" "readme.txt: ok" "random.bin: ok" "words.txt: ok" \
    "empty.dat: ok" "ソフト.dat: ok" "6 members tested, 1 failed"
grep -q "error [79]" "$WORK/lzhx.err" || fail "lzhx -t on a damaged member said: $(cat "$WORK/lzhx.err")"
passed
[ "$(ls -A "$WORK" | grep -c .)" -eq "$entries_before" ] || fail "lzhx -t wrote into $WORK"
passed
run_lzhx -l "$(winpath "$WORK/l1_lh5.lzh")"
expect_rc 0 "lzhx -l"
[ "$(awk 'NR > 1 && $1 != "Total" { print $1, $NF }' "$WORK/lzhx.out" | tr '\n' '|')" = \
    "-lh0- readme.txt|-lh0- random.bin|-lh5- words.txt|-lh0- empty.dat|-lh5- 表.txt|-lh0- ソフト.dat|" ] ||
    fail "lzhx -l listed: $(cat "$WORK/lzhx.out")"
passed

# Failures before any member.
touch "$WORK/plain_file"
run_lzhx "$(winpath "$WORK/l2_lh5.lzh")" "$(winpath "$WORK/plain_file")"
expect_rc 2 "destination that is a file"
run_lzhx "$(winpath "$WORK/missing.lzh")" "$(winpath "$WORK/never")"
expect_rc 1 "archive that does not exist"
[ ! -e "$WORK/never" ] || fail "archive that does not exist: the destination was created"
passed

# ---------------------------------------------------------------------------
# Read-only files (files copied from a CD keep the attribute, which Wine keeps
# as the lack of any write permission) are replaced and writable afterwards;
# a member that fails its CRC leaves its old file as it was, read-only.

writable() { [ $((0$(stat -c %a "$1") & 0222)) -ne 0 ]; }

dest=$WORK/readonly
run_lzhx -q "$(winpath "$WORK/l0_stored.lzh")" "$(winpath "$dest")"
expect_rc 0 "read-only: the first install"
chmod a-w "$dest"/*
run_lzhx -q "$(winpath "$WORK/bad_stored.lzh")" "$(winpath "$dest")"
expect_rc 9 "read-only: a member that fails its CRC"
writable "$dest/random.bin" || fail "read-only: random.bin was replaced but is not writable"
! writable "$dest/words.txt" || fail "read-only: words.txt, whose member failed, lost its attribute"
passed
run_lzhx -q "$(winpath "$WORK/l0_stored.lzh")" "$(winpath "$dest")"
expect_rc 0 "read-only: the reinstall"
check_members "$dest" 0 "read-only: the reinstall"
for name in "${NAMES[@]}"; do
    writable "$dest/$name" || fail "read-only: $name is still read-only after the reinstall"
done
passed

# ---------------------------------------------------------------------------
# lzhx.exe killed (SIGKILL) and interrupted (SIGINT, which Wine turns into
# Ctrl-C) while it writes a large member over an installed one, as soon as it
# prints that member's name (a stopped process would not take the Ctrl-C
# from Wine when it goes on). The file it was writing
# goes once Wine has seen the process end (the system deletes it), the
# installed file stays as it was, and a complete run then replaces it.

mkdir -p "$WORK/kill/old" "$WORK/kill/new"
for version in old new; do
    seed=$([ "$version" = old ] && echo 11 || echo 12)
    "$LZHTEST" text 300 "$seed" >"$WORK/kill/$version/small.txt"
    "$LZHTEST" text $((6000000 + seed)) "$seed" >"$WORK/kill/$version/large.txt"
    (cd "$WORK/kill/$version" && "$LZHPACK" "$WORK/kill/$version.lzh" small.txt large.txt >/dev/null) ||
        fail "lzhpack cannot pack the $version version"
done
dest=$WORK/kill/installed
for signal in KILL INT; do
    run_lzhx -q "$(winpath "$WORK/kill/old.lzh")" "$(winpath "$dest")"
    expect_rc 0 "SIG$signal: the old version"
    rm -f "$WORK/kill/lzhx.out"
    "$WINE_RUN" "$LZHX" "$(winpath "$WORK/kill/new.lzh")" "$(winpath "$dest")" \
        >"$WORK/kill/lzhx.out" 2>"$WORK/kill/lzhx.err" &
    pid=$!
    for ((wait = 0; wait < 1000; wait++)); do
        grep -q large.txt "$WORK/kill/lzhx.out" 2>/dev/null && break
        sleep 0.01
    done
    kill "-$signal" "$pid"
    RC=0
    wait "$pid" 2>/dev/null || RC=$?
    code=$(kill -l "$signal")
    [ "$RC" -eq $((128 + code)) ] ||
        fail "SIG$signal: lzhx.exe exited with $RC, expected $((128 + code)): $(head -c 500 "$WORK/kill/lzhx.err")"
    [ "$signal" = KILL ] || grep -q "interrupted (signal 2)" "$WORK/kill/lzhx.err" ||
        fail "SIG$signal did not end the job: $(head -c 500 "$WORK/kill/lzhx.err")"
    passed
    for ((wait = 0; wait < 50; wait++)); do
        [ "$(ls -A "$dest" | wc -l)" -eq 2 ] && break
        sleep 0.1
    done
    expect_entries "$dest" "SIG$signal, after Wine has seen the process end" small.txt large.txt
    cmp -s "$WORK/kill/old/large.txt" "$dest/large.txt" ||
        fail "SIG$signal: large.txt is not its old version"
    passed
    run_lzhx -q "$(winpath "$WORK/kill/new.lzh")" "$(winpath "$dest")"
    expect_rc 0 "SIG$signal: the complete run"
    cmp -s "$WORK/kill/new/large.txt" "$dest/large.txt" || fail "SIG$signal: large.txt is not new"
    expect_entries "$dest" "SIG$signal: the complete run" small.txt large.txt
done

echo "[$NAME] passed: $CHECKS checks, $RUNS runs of lzhx.exe ($WINE_MS ms under Wine), $((SECONDS - START_SECONDS)) s in all"
