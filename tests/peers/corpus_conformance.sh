#!/usr/bin/env bash
# Conformance of lzhx over every file of the corpus of real archives
# (tests/corpus).
#
# corpus_expected.tsv (beside this script) holds, for each file of the corpus,
# the outcome that the engine's rules give: the exit code, the exact set of
# files left in the destination folder, and the reason. This script runs
#   lzhx -q FILE DEST
# on every file it finds in the corpus folder (README* and MANIFEST* aside)
# and checks:
#   - every corpus file has exactly one row in the table, and every row names
#     a file that exists;
#   - the exit code is the expected one;
#   - "(no folder)": the destination folder was not created (no header was
#     found, so the job ended before the folder step);
#     "(empty)": the folder exists and holds nothing;
#     otherwise the folder holds exactly the listed files, no more, no fewer,
#     each a regular file;
#   - each listed file has the expected SHA-256: the one given in the table
#     (NAME=SHA256) or else the manifest's digest of the member with that base
#     name (ASCII case ignored, the later member winning, as the later member
#     overwrites the earlier one); where the manifest knows the member, its
#     size must match too, and where it gives no digest its CRC-16 must match.
#
# Usage: corpus_conformance.sh PATH_TO_LZHX
# Exit: 0 pass, 1 fail (also when the corpus is not there).
set -u -o pipefail
export LC_ALL=C

NAME=corpus_conformance
fail_now() {
    echo "FAIL [$NAME]: $*" >&2
    exit 1
}

[ $# -ge 1 ] || fail_now "usage: $0 PATH_TO_LZHX"
LZHX=$1
case $LZHX in /*) ;; *) LZHX=$PWD/$LZHX ;; esac
[ -f "$LZHX" ] && [ -x "$LZHX" ] || fail_now "lzhx not found or not executable: $LZHX"

HERE=$(cd "$(dirname "$0")" && pwd)
TABLE=$HERE/corpus_expected.tsv
CORPUS_GIVEN=$HERE/../corpus
[ -d "$CORPUS_GIVEN" ] || fail_now "corpus not found at $CORPUS_GIVEN"
CORPUS=$(cd "$CORPUS_GIVEN" && pwd)
MANIFEST=$CORPUS/MANIFEST.tsv
[ -f "$MANIFEST" ] || fail_now "the corpus has no MANIFEST.tsv: $MANIFEST"
[ -f "$TABLE" ] || fail_now "table of expected outcomes missing: $TABLE"
for tool in sha256sum find; do
    command -v "$tool" >/dev/null 2>&1 || fail_now "needs $tool"
done
LZHTEST=$(dirname "$LZHX")/lzhtest
[ -x "$LZHTEST" ] || fail_now "lzhtest (the tests' archive tool) not found: $LZHTEST"
TIMEOUT=(env) # runs lzhx as it is when there is no timeout command
command -v timeout >/dev/null 2>&1 && TIMEOUT=(timeout 60)

WORK=$(mktemp -d "${TMPDIR:-/tmp}/corpus-conf.XXXXXX") || fail_now "mktemp failed"
trap 'rm -rf "$WORK"' EXIT
START=$SECONDS
OUT=$WORK/out

FAILURES=0
CHECKS=0
problem() {
    echo "FAIL [$NAME]: $*" >&2
    FAILURES=$((FAILURES + 1))
}
ok() { CHECKS=$((CHECKS + 1)); }

# CRC-16/ARC of a file, four lower-case hex digits.
crc16_file() { "$LZHTEST" crc16 "$1"; }

# Folds the ASCII letters only, as the manifest's names are compared.
# shellcheck disable=SC2018,SC2019
lower() { printf '%s' "$1" | tr 'A-Z' 'a-z'; }

# ---------------------------------------------------------------------------
# The table: archive, exit code, files, reason. Lines starting with # are
# comments.
declare -A WANT_RC=() WANT_FILES=() REASON=()
line_no=0
while IFS= read -r line || [ -n "$line" ]; do
    line_no=$((line_no + 1))
    case $line in '#'* | '') continue ;; esac
    IFS=$'\t' read -r archive rc files reason extra <<<"$line"
    [ -n "${archive:-}" ] && [ -n "${rc:-}" ] && [ -n "${files:-}" ] && [ -n "${reason:-}" ] && [ -z "${extra:-}" ] ||
        fail_now "$TABLE line $line_no: expected 4 tab-separated columns"
    [[ $rc =~ ^[0-9]+$ ]] || fail_now "$TABLE line $line_no: exit code '$rc' is not a number"
    [ -z "${WANT_RC[$archive]+x}" ] || fail_now "$TABLE line $line_no: $archive is listed twice"
    WANT_RC[$archive]=$rc
    WANT_FILES[$archive]=$files
    REASON[$archive]=$reason
done <"$TABLE"
[ ${#WANT_RC[@]} -gt 0 ] || fail_now "the table $TABLE lists no archive"

# Every file of the corpus, found by walking the folder.
mapfile -t ARCHIVES < <(cd "$CORPUS" && find . -type f ! -name 'README*' ! -name 'MANIFEST*' | sed 's|^\./||' | sort)
[ ${#ARCHIVES[@]} -gt 0 ] || fail_now "no file found in $CORPUS"
declare -A PRESENT=()
for archive in "${ARCHIVES[@]}"; do
    PRESENT[$archive]=1
    [ -n "${WANT_RC[$archive]+x}" ] ||
        problem "$archive is in the corpus but not in the table: derive its outcome and add a row"
done
for archive in "${!WANT_RC[@]}"; do
    [ -n "${PRESENT[$archive]+x}" ] || problem "the table lists $archive, which is not in the corpus"
done

# ---------------------------------------------------------------------------
declare -A RC_COUNT=()
files_checked=0
from_manifest=0
from_table=0

for archive in "${ARCHIVES[@]}"; do
    [ -n "${WANT_RC[$archive]+x}" ] || continue
    want_rc=${WANT_RC[$archive]}
    want_files=${WANT_FILES[$archive]}
    why=${REASON[$archive]}
    rm -rf "$OUT"
    rc=0
    "${TIMEOUT[@]}" "$LZHX" -q "$CORPUS/$archive" "$OUT" >"$WORK/stdout" 2>"$WORK/stderr" || rc=$?
    if [ "$rc" -eq 124 ] && [ "${TIMEOUT[0]}" = timeout ]; then
        problem "$archive: lzhx did not finish within 60 s"
        continue
    fi
    if [ "$rc" -ge 128 ]; then
        problem "$archive: lzhx died from signal $((rc - 128)): $(head -c 500 "$WORK/stderr")"
        continue
    fi
    RC_COUNT[$want_rc]=$((${RC_COUNT[$want_rc]:-0} + 1))
    if [ "$rc" -ne "$want_rc" ]; then
        problem "$archive: exit code $rc, expected $want_rc ($why); lzhx said: $(head -c 300 "$WORK/stderr")"
    else
        ok
    fi

    # The destination folder.
    if [ "$want_files" = "(no folder)" ]; then
        if [ -e "$OUT" ]; then
            problem "$archive: the destination was created (holding [$(find "$OUT" -mindepth 1 -maxdepth 1 -printf '%f ')]) but no header is to be found in the file ($why)"
        else
            ok
        fi
        continue
    fi
    if [ ! -d "$OUT" ]; then
        problem "$archive: the destination folder was not created ($why)"
        continue
    fi

    # Expected names (and digests given by the table).
    declare -A table_sha=()
    names=()
    if [ "$want_files" != "(empty)" ]; then
        IFS=/ read -r -a entries <<<"$want_files"
        for entry in "${entries[@]}"; do
            if [[ $entry =~ ^(.+)=([0-9a-f]{64})$ ]]; then
                names+=("${BASH_REMATCH[1]}")
                table_sha[${BASH_REMATCH[1]}]=${BASH_REMATCH[2]}
            else
                names+=("$entry")
            fi
        done
    fi
    got_list=$(find "$OUT" -mindepth 1 -maxdepth 1 -printf '%f\n' | sort)
    want_list=$(printf '%s\n' "${names[@]}" | sed '/^$/d' | sort)
    if [ "$got_list" != "$want_list" ]; then
        problem "$archive: folder holds [$(tr '\n' ' ' <<<"$got_list")], expected [$(tr '\n' ' ' <<<"$want_list")] ($why)"
    else
        ok
    fi

    # Each expected file: type, size, digest.
    manifest_rows=$(awk -F'\t' -v a="$archive" '$1 == a' "$MANIFEST")
    for name in "${names[@]}"; do
        file=$OUT/$name
        [ -e "$file" ] || continue # already reported by the listing
        if [ -L "$file" ] || [ ! -f "$file" ]; then
            problem "$archive: $name is not a regular file"
            continue
        fi
        # The manifest row of the last member with this base name.
        key=$(lower "$name")
        mrow=""
        while IFS=$'\t' read -r _ _ _ _ msize mcrc msha mname _; do
            [ "$msha" != "-" ] || continue
            mbase=${mname##*/}
            mbase=${mbase##*\\}
            [ "$(lower "$mbase")" = "$key" ] && mrow="$msize"$'\t'"$mcrc"$'\t'"$msha"
        done <<<"$manifest_rows"

        got_sha=$(sha256sum <"$file" | cut -d' ' -f1)
        want_sha=${table_sha[$name]:-}
        if [ -n "$mrow" ]; then
            IFS=$'\t' read -r msize mcrc msha <<<"$mrow"
            got_size=$(stat -c %s "$file")
            if [ "$got_size" != "$msize" ]; then
                problem "$archive: $name has $got_size bytes, the manifest says $msize"
            else
                ok
            fi
            if [ "$msha" = "?" ]; then
                want_crc=$(printf '%04x' $((16#$mcrc & 0xFFFF)))
                got_crc=$(crc16_file "$file")
                if [ "$got_crc" != "$want_crc" ]; then
                    problem "$archive: $name has CRC-16 $got_crc, the manifest says $want_crc"
                else
                    ok
                fi
                [ -n "$want_sha" ] ||
                    problem "$archive: the manifest gives no SHA-256 for $name, so the table must give one"
            elif [ -n "$want_sha" ] && [ "$want_sha" != "$msha" ]; then
                problem "$archive: the table gives $name the SHA-256 $want_sha, the manifest $msha"
            else
                want_sha=$msha
            fi
        elif [ -z "$want_sha" ]; then
            problem "$archive: the manifest lists no member named $name, so the table must give its SHA-256"
        fi
        [ -n "$want_sha" ] || continue
        if [ "$got_sha" != "$want_sha" ]; then
            problem "$archive: $name has SHA-256 $got_sha, expected $want_sha"
        else
            ok
            files_checked=$((files_checked + 1))
            if [ -n "${table_sha[$name]:-}" ]; then
                from_table=$((from_table + 1))
            else
                from_manifest=$((from_manifest + 1))
            fi
        fi
    done
    unset table_sha
done

codes=""
for code in $(printf '%s\n' "${!RC_COUNT[@]}" | sort -n); do
    codes+=" $code:${RC_COUNT[$code]}"
done
echo "[$NAME] ${#ARCHIVES[@]} corpus files; expected exit codes (code:files):$codes"
echo "[$NAME] $files_checked extracted files matched their SHA-256 ($from_manifest from the manifest, $from_table from the table); $CHECKS checks passed in $((SECONDS - START)) s"
if [ "$FAILURES" -gt 0 ]; then
    echo "FAIL [$NAME]: $FAILURES problems" >&2
    exit 1
fi
exit 0
