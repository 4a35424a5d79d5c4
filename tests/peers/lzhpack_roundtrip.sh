#!/usr/bin/env bash
# Archives written by lzhpack: lhasa, 7z and lzhx extract every member
# byte-identically in each of its three modes; lhasa and 7z list the names,
# sizes, methods, CRCs and times of the level-2 headers; the headers carry the
# extended headers, the Windows times and a valid CRC, never a size divisible
# by 256; the same files give the same bytes; SOURCE_DATE_EPOCH caps times.
#
# Usage: lzhpack_roundtrip.sh PATH_TO_LZHX   (lzhpack is taken from beside it)
source "$(dirname "$0")/lib/common.bash"
peer_init "$@" lhasa 7z timeout
export TZ=UTC
LZHPACK=$(dirname "$LZHX")/lzhpack
[ -x "$LZHPACK" ] || fail "lzhpack not found beside lzhx: $LZHPACK"

SRC=$WORK/src
mkdir -p "$SRC"
NOW=$(date +%s)

# ---------------------------------------------------------------------------
# Inputs

# name and recipe; every file gets its own modification time below.
INPUTS=(
    "empty.txt empty"
    "one.bin bytes:1"
    "two.bin bytes:2"
    "three.txt literal:abc"
    "t16383.txt text:16383"
    "t16384.txt text:16384"
    "t16385.txt text:16385"
    "t32767.txt text:32767"
    "t32768.txt text:32768"
    "t32769.txt text:32769"
    "words.txt text:9500000"
    "random.bin bytes:3145739"
    "zeros.bin zeros:2097152"
    "ones.bin ff:70001"
    "abc.txt pattern:abc:1048577"
    "abcd5.txt pattern:abcd5:300000"
    "period8192.bin block:8192:40"
    "period8193.bin block:8193:40"
    "period60.bin block:60:5000"
    "numbers.txt seq:400000"
    "mixed.bin mixed"
)

make_input() { # NAME RECIPE SEED
    gen_file "$SRC/$1" "$2" "$3"
}

NAMES=()
declare -A MTIME
seed=21
i=0
for entry in "${INPUTS[@]}"; do
    read -r name recipe <<<"$entry"
    make_input "$name" "$recipe" "$seed"
    [ -f "$SRC/$name" ] || fail "test setup: could not make $name"
    # Distinct times, all to the second, in the last few weeks (lhasa then
    # shows hours and minutes) except one from 2001 (shown with its year).
    t=$((NOW - 86400 * (i + 1) - 3607 * i - 13))
    [ "$name" != "three.txt" ] || t=981475132
    touch -d "@$t" "$SRC/$name"
    MTIME[$name]=$t
    NAMES+=("$name")
    seed=$((seed + 10))
    i=$((i + 1))
done
for n in 16383 16384 16385 32767 32768 32769; do
    [ "$(stat -c %s "$SRC/t$n.txt")" -eq "$n" ] || fail "test setup: t$n.txt has the wrong size"
done
PATHS=()
for name in "${NAMES[@]}"; do PATHS+=("$SRC/$name"); done

# The CRC-16 of each source, computed once (the helper is slow on megabytes).
declare -A CRC
for name in "${NAMES[@]}"; do CRC[$name]=$(crc16_file "$SRC/$name"); done
crc_of() {
    if [ -n "${CRC[$1]:-}" ]; then echo "${CRC[$1]}"; else crc16_file "$SRC/$1"; fi
}

# ---------------------------------------------------------------------------
# Helpers

# pack ARCHIVE OPTIONS... -- FILES...: runs lzhpack, which must succeed.
pack() {
    local archive=$1 rc=0
    shift
    timeout 300 "$LZHPACK" "$@" >"$WORK/pack.out" 2>"$WORK/pack.err" || rc=$?
    [ "$rc" -eq 0 ] || fail "lzhpack $* exited with $rc: $(head -c 2000 "$WORK/pack.err")"
    [ -s "$archive" ] || fail "lzhpack wrote no archive $archive"
}

# headers ARCHIVE: walks the archive from offset 0 and prints one line per
# member: "OFFSET SIZE METHOD PACKED ORIGINAL TIME DATACRC OS CRC_OK TYPES
# CREATE WRITE ACCESS UNIXTIME NAME" (times of the 0x41 record as FILETIMEs,
# "-" where a record is missing), then "END OFFSET" for the end marker and
# "TAIL N" for the bytes after it. Any header that is not level 2 fails.
headers() {
    "$LZHTEST" headers "$1" || fail "cannot walk the headers of $(basename "$1")"
}

# filetime SECONDS: the Windows FILETIME of a Unix time.
filetime() { echo $((($1 + 11644473600) * 10000000)); }

# check_headers ARCHIVE [EPOCH]: every member header is what lzhpack
# promises, with the times of the source files (capped at EPOCH if given).
check_headers() {
    local archive=$1 epoch=${2:-} listing
    listing=$(headers "$archive")
    local count=0 line offset size method packed orig time datacrc os ok types cr wr ac ut name
    while read -r offset size method packed orig time datacrc os ok types cr wr ac ut name; do
        [ "$offset" != END ] || {
            [ "$size" -eq "$(($(stat -c %s "$archive") - 1))" ] ||
                fail "$(basename "$archive"): the end marker is at $size, not at the last byte"
            continue
        }
        [ "$offset" != TAIL ] || continue
        count=$((count + 1))
        local want=${MTIME[$name]:-}
        [ -n "$want" ] || fail "$(basename "$archive"): unexpected member name [$name]"
        [ -z "$epoch" ] || [ "$want" -le "$epoch" ] || want=$epoch
        [ $((size % 256)) -ne 0 ] || fail "$(basename "$archive"): $name has a header of $size bytes, a multiple of 256"
        [ "$ok" = 1 ] || fail "$(basename "$archive"): header CRC of $name does not match"
        case $types in
        01,41,00 | 01,41,54,00) ;;
        *) fail "$(basename "$archive"): $name has the extended headers [$types], expected 01,41,00" ;;
        esac
        [ "$orig" -eq "$(stat -c %s "$SRC/$name")" ] || fail "$(basename "$archive"): $name has original size $orig"
        [ "$datacrc" = "$(crc_of "$name")" ] || fail "$(basename "$archive"): $name has data CRC $datacrc, expected $(crc_of "$name")"
        [ "$time" -eq "$want" ] || fail "$(basename "$archive"): $name has the time $time, expected $want"
        local ft
        ft=$(filetime "$want")
        [ "$wr" = "$ft" ] || fail "$(basename "$archive"): $name has the Windows last-write time $wr, expected $ft"
        [ "$cr" = "$ft" ] && [ "$ac" = "$ft" ] ||
            fail "$(basename "$archive"): $name has the Windows creation/access times $cr/$ac, expected $ft"
        [ "$ut" = - ] || [ "$ut" -eq "$want" ] || fail "$(basename "$archive"): $name has the Unix time $ut"
        [ "$os" = W ] || fail "$(basename "$archive"): $name names the system [$os]"
    done <<<"$listing"
    [ "$count" -gt 0 ] || fail "$(basename "$archive"): no member header found"
    passed
}

# extract_all ARCHIVE CONTEXT NAME...: lhasa, 7z and lzhx each extract
# exactly these members, every one byte-identical to its source.
extract_all() {
    local archive=$1 context=$2
    shift 2
    local log
    rm -rf "$WORK/x-lhasa" "$WORK/x-7z" "$WORK/x-lzhx"
    mkdir -p "$WORK/x-lhasa"
    log=$(cd "$WORK/x-lhasa" && timeout 300 lhasa xq "$archive" 2>&1) || fail "$context: lhasa failed: $log"
    log=$(timeout 300 7z x -y -o"$WORK/x-7z" "$archive" 2>&1) || fail "$context: 7z failed: $(echo "$log" | tail -5)"
    run_lzhx -q "$archive" "$WORK/x-lzhx"
    expect_rc 0 -- "$context: lzhx"
    local tool name
    for tool in lhasa 7z lzhx; do
        assert_entries "$WORK/x-$tool" "$context: $tool" "$@"
        for name in "$@"; do
            assert_same_file "$SRC/$name" "$WORK/x-$tool/$name" "$context: $tool"
        done
    done
}

# methods ARCHIVE: "NAME:METHOD" for every member, as lhasa lists them.
methods() { lha_members "$1" | awk '{print $3 ":" $1}'; }

# ---------------------------------------------------------------------------
# The three modes

pack "$WORK/auto.lzh" "$WORK/auto.lzh" "${PATHS[@]}"
pack "$WORK/lh5.lzh" -5 "$WORK/lh5.lzh" "${PATHS[@]}"
pack "$WORK/lh0.lzh" -0 "$WORK/lh0.lzh" "${PATHS[@]}"

for mode in auto lh5 lh0; do
    archive=$WORK/$mode.lzh
    check_headers "$archive"
    extract_all "$archive" "$mode" "${NAMES[@]}"
    got=$(methods "$archive")
    for name in "${NAMES[@]}"; do
        m=$(echo "$got" | awk -F: -v n="$name" '$1 == n {print $2}')
        size=$(stat -c %s "$SRC/$name")
        case $mode in
        lh0) want=-lh0- ;;
        lh5) [ "$size" -eq 0 ] && want=-lh0- || want=-lh5- ;;
        auto)
            # Compressible data is compressed; what would grow is stored:
            # random bytes, and random blocks repeated just out of reach.
            case $name in
            empty.txt | one.bin | two.bin | three.txt | random.bin | period8193.bin) want=-lh0- ;;
            *) want=-lh5- ;;
            esac
            ;;
        esac
        [ "$m" = "$want" ] || fail "$mode: $name was written with method [$m], expected $want"
    done
    passed
    note "$mode: ${#NAMES[@]} members extract byte-identically with lhasa, 7z and lzhx"
done

# In the default mode no -lh5- member is larger than its file.
while read -r offset size method packed orig rest; do
    [ "$offset" = END ] || [ "$offset" = TAIL ] || [ "$method" != -lh5- ] || [ "$packed" -lt "$orig" ] ||
        fail "auto: a -lh5- member of $orig bytes takes $packed"
done <<<"$(headers "$WORK/auto.lzh")"
passed

# The compressed members shrink what compresses well.
packed_of() { headers "$1" | awk -v n="$2" '$NF == n {print $4}'; }
[ "$(packed_of "$WORK/auto.lzh" zeros.bin)" -lt 2000 ] || fail "zeros.bin packs to $(packed_of "$WORK/auto.lzh" zeros.bin) bytes"
[ "$(packed_of "$WORK/auto.lzh" period8192.bin)" -lt 12000 ] ||
    fail "period8192.bin (a block repeated at the farthest reach) packs to $(packed_of "$WORK/auto.lzh" period8192.bin) bytes"
[ "$(packed_of "$WORK/auto.lzh" words.txt)" -lt 4000000 ] || fail "words.txt packs to $(packed_of "$WORK/auto.lzh" words.txt) bytes"
passed

# ---------------------------------------------------------------------------
# Listings: names, sizes, methods, CRCs and times as the peers show them

# lhasa l: size, time and name. Recent times show hours and minutes, older
# ones the year.
listing=$(lhasa l "$WORK/auto.lzh") || fail "lhasa l failed"
for name in "${NAMES[@]}"; do
    line=$(printf '%s\n' "$listing" | awk -v n="$name" '$NF == n')
    [ -n "$line" ] || fail "lhasa l does not list $name"
    t=${MTIME[$name]}
    if [ $((NOW - t)) -lt $((180 * 86400)) ]; then
        stamp=$(LC_ALL=C date -u -d "@$t" '+%b %e %H:%M')
    else
        stamp=$(LC_ALL=C date -u -d "@$t" '+%b %e  %Y')
    fi
    want="$(stat -c %s "$SRC/$name") * $stamp $name"
    got=$(echo "$line" | awk '{ $1 = ""; $3 = "*"; sub(/^ /, ""); print }')
    want=$(echo "$want" | awk '{$1 = $1; print}')
    [ "$got" = "$want" ] || fail "lhasa l lists [$got], expected [$want]"
done
passed

# lhasa v: packed and original size, method and CRC.
listing=$(lhasa v "$WORK/auto.lzh") || fail "lhasa v failed"
walk=$(headers "$WORK/auto.lzh")
for name in "${NAMES[@]}"; do
    line=$(printf '%s\n' "$listing" | awk -v n="$name" '$NF == n')
    read -r _ packed size _ method crc _ <<<"$line"
    want_packed=$(echo "$walk" | awk -v n="$name" '$NF == n {print $4}')
    [ "$size" = "$(stat -c %s "$SRC/$name")" ] && [ "$packed" = "$want_packed" ] ||
        fail "lhasa v lists $name with sizes $packed/$size, expected $want_packed/$(stat -c %s "$SRC/$name")"
    [ "$crc" = "$(crc_of "$name")" ] || fail "lhasa v lists $name with CRC $crc, expected $(crc_of "$name")"
    [ "$method" = "$(methods "$WORK/auto.lzh" | awk -F: -v n="$name" '$1 == n {print $2}')" ] ||
        fail "lhasa v lists $name with method $method"
done
passed

# 7z: times to the second.
listing=$(7z l -slt "$WORK/auto.lzh") || fail "7z l failed"
for name in "${NAMES[@]}"; do
    got=$(printf '%s\n' "$listing" | awk -v n="$name" '/^Path = / {p = substr($0, 8)} /^Modified = / && p == n {print substr($0, 12); exit}')
    want=$(LC_ALL=C date -u -d "@${MTIME[$name]}" '+%F %T')
    [ "$got" = "$want" ] || fail "7z lists $name modified [$got], expected [$want]"
done
passed

# Extracted files carry the member's time (lzhx sets it from the header).
for name in "${NAMES[@]}"; do
    assert_mtime "$WORK/x-lzhx/$name" "${MTIME[$name]}" "lzhx times"
done

# ---------------------------------------------------------------------------
# Names that would put a header's size on a multiple of 256

# The header grows one byte per byte of name; a probe gives the rest.
mkdir -p "$WORK/probe"
printf 'p' >"$WORK/probe/p.txt"
pack "$WORK/probe.lzh" "$WORK/probe.lzh" "$WORK/probe/p.txt"
read -r _ probe_size _ <<<"$(headers "$WORK/probe.lzh")"
fixed=$((probe_size - 5))
critical=$((256 - fixed))
[ "$critical" -ge 1 ] && [ "$critical" -le 255 ] || fail "test setup: a $critical-byte name cannot exist"
note "a name of $critical bytes would give a header of 256 bytes"
LONG=()
for len in $((critical - 1)) "$critical" $((critical + 1)); do
    name=$(printf 'n%.0s' $(seq 1 $((len - 4)))).txt
    [ "${#name}" -eq "$len" ] || fail "test setup: name of ${#name} bytes"
    gen_text $((len * 10)) "$len" >"$SRC/$name"
    touch -d "@$((NOW - 777 - len))" "$SRC/$name"
    MTIME[$name]=$((NOW - 777 - len))
    LONG+=("$name")
done
for first in "${LONG[@]}"; do
    # The long name first, so that a header misread as the end marker would
    # hide the members after it.
    order=("$first" t16385.txt three.txt)
    pack "$WORK/long.lzh" "$WORK/long.lzh" "${order[@]/#/$SRC/}"
    check_headers "$WORK/long.lzh"
    read -r _ size _ <<<"$(headers "$WORK/long.lzh")"
    [ ${#first} -ne "$critical" ] || [ "$size" -gt 256 ] ||
        fail "the header for a $critical-byte name is $size bytes"
    extract_all "$WORK/long.lzh" "name of ${#first} bytes" "${order[@]}"
    got=$(lha_members "$WORK/long.lzh" | awk '{print $3}' | tr '\n' ' ')
    [ "$got" = "${order[*]} " ] || fail "lhasa lists [$got] for the archive with a ${#first}-byte name"
    passed
done
note "names of $((critical - 1)) to $((critical + 1)) bytes: every header readable, every member extracted"

# ---------------------------------------------------------------------------
# Reproducibility

# The same files, read again (which may change their access times) and copied
# elsewhere with their times, give the same bytes.
cat "${PATHS[@]}" >/dev/null
pack "$WORK/again.lzh" "$WORK/again.lzh" "${PATHS[@]}"
cmp -s "$WORK/auto.lzh" "$WORK/again.lzh" || fail "two runs on the same files differ: $(cmp "$WORK/auto.lzh" "$WORK/again.lzh" | head -1)"
passed
mkdir -p "$WORK/copy"
cp -p "${PATHS[@]}" "$WORK/copy/"
copies=()
for name in "${NAMES[@]}"; do copies+=("$WORK/copy/$name"); done
pack "$WORK/copy.lzh" "$WORK/copy.lzh" "${copies[@]}"
cmp -s "$WORK/auto.lzh" "$WORK/copy.lzh" || fail "copies of the files give another archive"
passed

# SOURCE_DATE_EPOCH caps the times: earlier than every file, it replaces
# them all; later than every file, it changes nothing. (The files below 1 MB
# keep these runs short.)
SMALL=()
for name in "${NAMES[@]}"; do
    [ "$(stat -c %s "$SRC/$name")" -ge 1000000 ] || SMALL+=("$SRC/$name")
done
pack "$WORK/small.lzh" "$WORK/small.lzh" "${SMALL[@]}"
epoch=$((NOW - 40 * 86400))
SOURCE_DATE_EPOCH=$epoch pack "$WORK/sde.lzh" "$WORK/sde.lzh" "${SMALL[@]}"
check_headers "$WORK/sde.lzh" "$epoch"
SOURCE_DATE_EPOCH=$((NOW + 86400)) pack "$WORK/sde-late.lzh" "$WORK/sde-late.lzh" "${SMALL[@]}"
cmp -s "$WORK/small.lzh" "$WORK/sde-late.lzh" || fail "a SOURCE_DATE_EPOCH after every file time changed the archive"
passed
# A file touched now still gets the capped time.
touch "$SRC/one.bin"
SOURCE_DATE_EPOCH=$epoch pack "$WORK/sde2.lzh" "$WORK/sde2.lzh" "${SMALL[@]}"
MTIME[one.bin]=$(stat -c %Y "$SRC/one.bin")
cmp -s "$WORK/sde.lzh" "$WORK/sde2.lzh" || fail "with SOURCE_DATE_EPOCH set, a newer file time changed the archive"
passed

# ---------------------------------------------------------------------------
# Refusals: nothing half-written is left behind

refuse() { # CONTEXT ARGS...: lzhpack must fail and leave no archive
    local context=$1 rc=0
    shift
    rm -f "$WORK/bad.lzh"
    timeout 60 "$LZHPACK" "$@" >/dev/null 2>"$WORK/pack.err" || rc=$?
    [ "$rc" -ne 0 ] || fail "$context: lzhpack succeeded"
    [ "$rc" -lt 128 ] || fail "$context: lzhpack died from signal $((rc - 128))"
    [ ! -e "$WORK/bad.lzh" ] && [ ! -e "$WORK/bad.lzh.part" ] || fail "$context: lzhpack left an archive behind"
    [ -s "$WORK/pack.err" ] || fail "$context: lzhpack said nothing"
    passed
}
refuse "missing file" "$WORK/bad.lzh" "$SRC/one.bin" "$SRC/no-such-file"
refuse "a folder" "$WORK/bad.lzh" "$SRC"
refuse "two members of one name" "$WORK/bad.lzh" "$SRC/one.bin" "$WORK/copy/one.bin"
SOURCE_DATE_EPOCH=yesterday refuse "a bad SOURCE_DATE_EPOCH" "$WORK/bad.lzh" "$SRC/one.bin"
refuse "no files" "$WORK/bad.lzh"
refuse "an unknown option" -9 "$WORK/bad.lzh" "$SRC/one.bin"
refuse "two methods" -0 -5 "$WORK/bad.lzh" "$SRC/one.bin"

# Command lines: "ARGS|EXIT|STREAM|FIRST LINE" (B stands for the archive, F
# for a file); nothing is written.
PLACES=([B]=$WORK/bad.lzh [F]=$SRC/one.bin)
after_command_line() {
    [ ! -e "$WORK/bad.lzh" ] && [ ! -e "$WORK/bad.lzh.part" ] || fail "$1: an archive was written"
}
command_lines "$LZHPACK" "-h|0|out|^usage: lzhpack " "--help B F|0|out|^usage: lzhpack " \
    "--version|0|out|^lzhpack [0-9]+\.[0-9]+\$" "-0 -5 B F|64|err|^usage: lzhpack " \
    "-5 -0 B F|64|err|^usage: lzhpack " "-5 -5 B F|64|err|^usage: lzhpack " \
    "-9 B F|64|err|^usage: lzhpack " "B|64|err|^usage: lzhpack "

# A failure leaves an earlier archive as it was.
cp "$WORK/small.lzh" "$WORK/keep.lzh"
rc=0
timeout 60 "$LZHPACK" "$WORK/keep.lzh" "$SRC/one.bin" "$SRC/no-such-file" >/dev/null 2>&1 || rc=$?
[ "$rc" -ne 0 ] || fail "lzhpack succeeded with a missing file"
cmp -s "$WORK/small.lzh" "$WORK/keep.lzh" || fail "a failed run changed the archive it would have replaced"
passed

# The archive may be one of its own inputs: the old one is packed.
mkdir -p "$WORK/self"
cp "$WORK/small.lzh" "$WORK/self/self.lzh"
cp "$WORK/small.lzh" "$WORK/self-old.lzh"
pack "$WORK/self/self.lzh" "$WORK/self/self.lzh" "$WORK/self/self.lzh" "$SRC/t16384.txt"
run_lzhx -q "$WORK/self/self.lzh" "$WORK/self-out"
expect_rc 0 -- "an archive that packs its old self"
cmp -s "$WORK/self-old.lzh" "$WORK/self-out/self.lzh" || fail "the old archive packed into the new one differs"
passed

peer_done
