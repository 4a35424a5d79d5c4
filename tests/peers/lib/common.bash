# Helpers for the black-box peer tests of lzhx. Sourced by tests/peers/*.sh,
# never run on its own (it lives below lib/ so that the *.sh glob that
# registers the tests does not pick it up).
#
# Conventions: every helper that checks something calls `fail` with a message
# that names what differed; `fail` exits 1. Nothing is skipped: a peer tool
# that scripts/install-deps.sh installs, or the corpus, missing is a failure,
# never a pass.

set -u -o pipefail

PEER_NAME=$(basename "$0" .sh)
PEER_DIR=$(cd "$(dirname "$0")" && pwd)
CHECKS=0

fail() {
    echo "FAIL [$PEER_NAME]: $*" >&2
    exit 1
}

note() { echo "[$PEER_NAME] $*"; }

# Counts one passed assertion.
passed() { CHECKS=$((CHECKS + 1)); }

# peer_init "$@": takes the lzhx path from $1, makes the temporary folder
# $WORK (removed on exit) and checks the peer tools named after the path.
peer_init() {
    [ $# -ge 1 ] || fail "usage: $0 PATH_TO_LZHX"
    LZHX=$1
    case $LZHX in /*) ;; *) LZHX=$PWD/$LZHX ;; esac
    [ -x "$LZHX" ] && [ -f "$LZHX" ] || fail "lzhx binary not found or not executable: $LZHX"
    LZHTEST=${LZHTEST:-$(dirname "$LZHX")/lzhtest}
    [ -x "$LZHTEST" ] || fail "lzhtest (the tests' archive tool) not found: $LZHTEST"
    shift
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 ||
            fail "peer tool '$tool' is not installed (scripts/install-deps.sh installs it)"
    done
    WORK=$(mktemp -d "${TMPDIR:-/tmp}/peer-$PEER_NAME.XXXXXX") || fail "mktemp failed"
    trap 'rm -rf "$WORK"' EXIT
    START_SECONDS=$SECONDS
}

# find_corpus: sets CORPUS to the conformance corpus of real archives,
# tests/corpus in the repository.
find_corpus() {
    local dir="$PEER_DIR/../corpus"
    [ -d "$dir" ] && [ -f "$dir/MANIFEST.tsv" ] || fail "corpus not found at $dir"
    CORPUS=$(cd "$dir" && pwd) || fail "cannot enter $dir"
}

peer_done() {
    note "passed: $CHECKS checks in $((SECONDS - START_SECONDS)) s"
    exit 0
}

# ---------------------------------------------------------------------------
# Running lzhx

# run_lzhx ARGS...: runs lzhx (with a time limit), keeping its exit code in
# RC, its standard output in $WORK/lzhx.out and its standard error in
# $WORK/lzhx.err. Never fails by itself.
run_lzhx() {
    RC=0
    timeout 120 "$LZHX" "$@" >"$WORK/lzhx.out" 2>"$WORK/lzhx.err" || RC=$?
    [ "$RC" -ne 124 ] || fail "lzhx $* did not finish within 120 s"
    [ "$RC" -lt 128 ] || fail "lzhx $* died from signal $((RC - 128)): $(head -c 2000 "$WORK/lzhx.err")"
}

# expect_rc WANTED... -- CONTEXT: the last run_lzhx exited with one of the
# wanted codes.
expect_rc() {
    local wanted=() code
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do
        wanted+=("$1")
        shift
    done
    shift
    for code in "${wanted[@]}"; do
        if [ "$RC" -eq "$code" ]; then
            passed
            return 0
        fi
    done
    fail "$*: lzhx exited with $RC, expected ${wanted[*]}; its stderr: $(head -c 2000 "$WORK/lzhx.err")"
}

# command_lines PROGRAM ROW...: each row "ARGS|EXIT|STREAM|FIRST LINE":
# PROGRAM run with ARGS (words; a word that is a key of PLACES stands for its
# value) exits with EXIT, prints a first line that matches the extended
# regular expression FIRST LINE on STREAM (out or err) and nothing on the
# other; then the caller's after_command_line CONTEXT checks the rest.
declare -A PLACES=()
command_lines() {
    local program=$1 row args code stream first a rc said quiet context
    shift
    for row in "$@"; do
        IFS='|' read -r args code stream first <<<"$row"
        local argv=()
        for a in $args; do argv+=("${PLACES[$a]-$a}"); done
        context="command line [$(basename "$program") $args]"
        rc=0
        timeout 60 "$program" "${argv[@]}" >"$WORK/cmd.out" 2>"$WORK/cmd.err" || rc=$?
        [ "$rc" -eq "$code" ] || fail "$context: exit $rc, expected $code: $(head -c 300 "$WORK/cmd.err")"
        if [ "$stream" = out ]; then said=$WORK/cmd.out quiet=$WORK/cmd.err; else said=$WORK/cmd.err quiet=$WORK/cmd.out; fi
        head -1 "$said" | grep -Eq -- "$first" ||
            fail "$context: the first line on std$stream is [$(head -1 "$said")], expected /$first/"
        [ ! -s "$quiet" ] || fail "$context: unexpected output: $(head -c 300 "$quiet")"
        after_command_line "$context"
        passed
    done
}

# expect_stderr CONTEXT PATTERN: the last run's standard error is one line
# that matches the extended regular expression PATTERN.
expect_stderr() {
    local context=$1 pattern=$2
    [ "$(wc -l <"$WORK/lzhx.err")" -eq 1 ] && grep -Eq -- "$pattern" "$WORK/lzhx.err" ||
        fail "$context: lzhx said [$(head -c 600 "$WORK/lzhx.err")], expected one line like /$pattern/"
    passed
}

# expect_stdout_lines CONTEXT LINE...: the last run printed exactly these lines.
expect_stdout_lines() {
    local context=$1
    shift
    local want
    want=$(printf '%s\n' "$@")
    [ $# -gt 0 ] || want=""
    local got
    got=$(cat "$WORK/lzhx.out")
    [ "$got" = "$want" ] ||
        fail "$context: lzhx printed [$(echo "$got" | tr '\n' ' ')], expected [$(echo "$want" | tr '\n' ' ')]"
    passed
}

# ---------------------------------------------------------------------------
# Assertions on files

# assert_same_file EXPECTED ACTUAL CONTEXT
assert_same_file() {
    local want=$1 got=$2 context=$3
    [ -f "$got" ] || fail "$context: $(basename "$got") was not extracted"
    if ! cmp -s "$want" "$got"; then
        local where
        where=$(cmp "$want" "$got" 2>&1 | head -1)
        fail "$context: $(basename "$got") differs from the original ($(stat -c %s "$got") bytes, expected $(stat -c %s "$want")): $where"
    fi
    passed
}

# assert_absent PATH CONTEXT
assert_absent() {
    [ ! -e "$1" ] || fail "$2: $(basename "$1") exists but must not ($(stat -c '%F, %s bytes' "$1"))"
    passed
}

# assert_entries DIR CONTEXT NAME...: DIR holds exactly these entries.
assert_entries() {
    local dir=$1 context=$2
    shift 2
    local got want
    got=$(ls -A "$dir" 2>/dev/null | LC_ALL=C sort | tr '\n' ' ')
    want=$(printf '%s\n' "$@" | sed '/^$/d' | LC_ALL=C sort | tr '\n' ' ')
    [ "$got" = "$want" ] || fail "$context: folder holds [$got], expected [$want]"
    passed
}

# assert_mtime FILE WANTED_EPOCH CONTEXT
assert_mtime() {
    local file=$1 want=$2 context=$3 got
    got=$(stat -c %Y "$file") || fail "$context: cannot stat $file"
    [ "$got" -eq "$want" ] ||
        fail "$context: $(basename "$file") has mtime $got ($(date -u -d "@$got" '+%F %T UTC')), expected $want ($(date -u -d "@$want" '+%F %T UTC')), off by $((got - want)) s (TZ=${TZ:-unset})"
    passed
}

# ---------------------------------------------------------------------------
# Test data (reproducible: the same seed gives the same bytes everywhere)

# gen_bytes COUNT SEED: COUNT pseudo-random bytes (xorshift32).
gen_bytes() { "$LZHTEST" bytes "$1" "$2"; }

# gen_nodash COUNT SEED: pseudo-random bytes without any "-" (0x2D), so that
# no position in them can start a member header (a header has "-" at offsets
# 2 and 6).
gen_nodash() {
    gen_bytes $(($1 + $1 / 64 + 256)) "$2" | tr -d '-' | head -c "$1"
}

# gen_text COUNT SEED: COUNT bytes of word-like text in lines.
gen_text() { "$LZHTEST" text "$1" "$2"; }

# ---------------------------------------------------------------------------
# Archives

# gen_file OUT RECIPE SEED: writes a test input made by RECIPE:
#   empty, literal:TEXT, bytes:N or random:N (random bytes), text:N (prose),
#   zeros:N or run:N (zero bytes), ff:N, seq:N (numbers 1 to N), base64:N,
#   pattern:TEXT:N (TEXT repeated to N bytes), block:SIZE:COUNT (one random
#   block COUNT times: every match lies at exactly SIZE bytes), mixed (text,
#   random bytes and runs in turn, so that a coder switches between literals
#   and matches of every length within one file).
gen_file() {
    local out=$1 recipe=$2 seed=$3
    case $recipe in
    empty) : >"$out" ;;
    literal:*) printf '%s' "${recipe#literal:}" >"$out" ;;
    bytes:*) gen_bytes "${recipe#bytes:}" "$seed" >"$out" ;;
    random:*) gen_bytes "${recipe#random:}" "$seed" >"$out" ;;
    text:*) gen_text "${recipe#text:}" "$seed" >"$out" ;;
    zeros:*) head -c "${recipe#zeros:}" /dev/zero >"$out" ;;
    run:*) head -c "${recipe#run:}" /dev/zero >"$out" ;;
    ff:*) head -c "${recipe#ff:}" /dev/zero | tr '\0' '\377' >"$out" ;;
    seq:*) seq 1 "${recipe#seq:}" >"$out" ;;
    base64:*) gen_bytes "${recipe#base64:}" "$seed" | base64 >"$out" ;;
    pattern:*)
        local rest=${recipe#pattern:}
        yes -- "${rest%%:*}" | tr -d '\n' | head -c "${rest#*:}" >"$out"
        ;;
    block:*)
        local rest=${recipe#block:} i
        gen_bytes "${rest%%:*}" "$seed" >"$out.block"
        for ((i = 0; i < ${rest#*:}; i++)); do cat "$out.block"; done >"$out"
        rm -f "$out.block"
        ;;
    mixed)
        {
            gen_text 50000 "$seed"
            gen_bytes 30000 "$((seed + 1))"
            head -c 5000 /dev/zero | tr '\0' 'x'
            gen_text 70000 "$((seed + 2))"
            gen_bytes 300 "$((seed + 3))"
            head -c 70000 /dev/zero
            gen_text 20001 "$((seed + 4))"
        } >"$out"
        ;;
    *) fail "unknown recipe $recipe" ;;
    esac
}

# lha_members ARCHIVE: one line per member as lhasa lists it:
# "METHOD LEVEL NAME". Fails when lhasa cannot list the archive.
lha_members() {
    local listing
    listing=$(lhasa vv "$1" 2>&1) || fail "lhasa cannot list $1: $listing"
    printf '%s\n' "$listing" | awk '
        /^----------/ { section++; next }
        section == 1 {
            if (expect_name) { name = $0; expect_name = 0; next }
            method = "?"; level = "?"
            for (i = 1; i <= NF; i++) if ($i ~ /^-l[a-z0-9][a-z0-9]-$/) method = $i
            if ($NF ~ /^\[[0-9]\]$/) level = substr($NF, 2, 1)
            print method, level, name
            expect_name = 1
        }
        BEGIN { expect_name = 1 }'
}

# expect_archive ARCHIVE LEVEL "NAME:METHOD"...: the archive lists exactly these
# members in this order, every one with this header level. A METHOD of "*"
# accepts any method.
expect_archive() {
    local archive=$1 level=$2
    shift 2
    [ -s "$archive" ] || fail "peer tool wrote no archive $archive"
    local listing
    listing=$(lha_members "$archive")
    local got_names want_names
    got_names=$(printf '%s\n' "$listing" | awk '{print $3}' | tr '\n' ' ')
    want_names=$(printf '%s\n' "$@" | sed 's/:[^:]*$//' | tr '\n' ' ')
    [ "$got_names" = "$want_names" ] ||
        fail "$(basename "$archive"): members are [$got_names], expected [$want_names]"
    local entry name method line
    for entry in "$@"; do
        name=${entry%:*}
        method=${entry##*:}
        line=$(printf '%s\n' "$listing" | awk -v n="$name" '$3 == n')
        [ "$(echo "$line" | awk '{print $2}')" = "$level" ] ||
            fail "$(basename "$archive"): member $name has header level [$(echo "$line" | awk '{print $2}')], expected $level"
        if [ "$method" != "*" ]; then
            [ "$(echo "$line" | awk '{print $1}')" = "$method" ] ||
                fail "$(basename "$archive"): member $name has method $(echo "$line" | awk '{print $1}'), expected $method"
        fi
    done
    passed
}

# jlha_create OPTIONS ARCHIVE SOURCE_DIR NAME...: runs "jlha c<OPTIONS>" inside
# SOURCE_DIR so that the members carry bare names. jlha exits 0 even when it
# fails, so the archive's presence is checked here.
jlha_create() {
    local options=$1 archive=$2 dir=$3
    shift 3
    rm -f "$archive"
    local log
    log=$(cd "$dir" && jlha "c$options" "$archive" "$@" 2>&1) || fail "jlha c$options failed: $log"
    [ -s "$archive" ] || fail "jlha c$options wrote no archive: $log"
}

# lzh_walk ARCHIVE: walks the member headers of a plain archive (the first
# header at offset 0) and prints one line per member:
# "HEADER_OFFSET LEVEL DATA_OFFSET PACKED_SIZE METHOD NAME_LENGTH NAME".
# Test tooling for placing damage; it trusts the archive it is given.
lzh_walk() { "$LZHTEST" walk "$1"; }

# fix_header FILE OFFSET: recomputes the checks of the member header at
# OFFSET after a patch: the byte sum of a level-0/1 base header and the
# header CRC of a type-0x00 extended header (levels 1 and 2).
fix_header() { "$LZHTEST" reseal "$1" "$2"; }

# crc16_file FILE: CRC-16/ARC of the file, as four lower-case hex digits.
crc16_file() { "$LZHTEST" crc16 "$1"; }

# member_field ARCHIVE INDEX FIELD: a field of lzh_walk's line for member
# INDEX (0-based): 1 header offset, 2 level, 3 data offset, 4 packed size.
member_field() {
    lzh_walk "$1" | awk -v i="$2" -v f="$3" 'NR == i + 1 { print $f }'
}

# patch_bytes FILE OFFSET HEX: overwrites bytes of FILE at OFFSET.
patch_bytes() { "$LZHTEST" patch "$1" "$2" "$3"; }

# flip_byte FILE OFFSET: inverts every bit of one byte.
flip_byte() { "$LZHTEST" flip "$1" "$2"; }

# byte_at FILE OFFSET: the byte as two hex digits.
byte_at() {
    od -An -tx1 -j "$2" -N1 "$1" | tr -d ' \n'
}
