#!/usr/bin/env bash
# The corpus of real archives (tests/corpus): every archive whose members are all
# stored (-lh0- or -lz4-) with header levels 0 to 2 extracts as its manifest
# says (size and SHA-256 of each file, by base name), except the archives in
# the table of expected outcomes below, whose outcome the engine's rules fix.
#
# Usage: corpus_stored.sh PATH_TO_LZHX
source "$(dirname "$0")/lib/common.bash"
peer_init "$@" timeout sha256sum
find_corpus
MANIFEST=$CORPUS/MANIFEST.tsv
export TZ=UTC

# Archives that do not extract as the manifest lists them, and why.
# archive, exit code, files that must be there afterwards ("manifest": every
# member the manifest lists; "none": no file at all), reason.
EXPECTED_OUTCOMES=$(
    cat <<'EOF'
lha_amiga_122/lh0_dirs_bug.lzh	3	manifest	the third member (after the two the manifest lists) is a zero-length -lh0- entry with an empty name, its path only in a type-0x02 extended header: its output path is the folder itself, which cannot be created as a file
lha_osk_201/h2_lh0.lzh	5	none	its only header is level 2 without the mandatory header-CRC extended header (type 0x00), so it is no header, and nothing else in the file is one
EOF
)

# One oracle per archive (lhasa preferred: it reports header levels), then the
# archives whose members are all stored files of levels 0 to 2.
PLAN=$WORK/plan.tsv
awk -F'\t' '
    NR == 1 { next }
    $9 == "none" || $2 == "-" { nomember[$1] = 1; order[$1] = order[$1] ? order[$1] : NR; next }
    {
        if (!($1 in order)) order[$1] = NR
        rank = ($9 == "lhasa") ? 1 : 2
        if (!($1 in best) || rank < best[$1]) { best[$1] = rank; oracle[$1] = $9 }
        rows[$1, $9] = rows[$1, $9] $0 "\n"
    }
    END {
        for (a in order) {
            if (!(a in oracle)) { print "#\tno member listed\t" a; continue }
            n = split(rows[a, oracle[a]], line, "\n")
            why = ""
            for (i = 1; i < n; i++) {
                split(line[i], f, "\t")
                if (f[4] == "-lhd-") why = "directory entry"
                else if (f[4] != "-lh0-" && f[4] != "-lz4-" && why == "") why = "method " f[4]
                if (f[3] != "0" && f[3] != "1" && f[3] != "2" && why == "") why = "header level " f[3]
            }
            if (why != "") { print "#\t" why "\t" a; continue }
            for (i = 1; i < n; i++) print line[i]
        }
    }' "$MANIFEST" | LC_ALL=C sort -t$'\t' -k1,1 -k2,2n >"$PLAN"

note "archives left out (not all stored files of levels 0-2):"
grep '^#' "$PLAN" | cut -f2 | sort | uniq -c | sed 's/^/    /'
grep -v '^#' "$PLAN" >"$PLAN.members"
mapfile -t ARCHIVES < <(cut -f1 "$PLAN.members" | uniq)
[ ${#ARCHIVES[@]} -gt 0 ] || fail "no all-stored archive found in $MANIFEST"

# Every expected outcome must name a checked archive.
while IFS=$'\t' read -r archive _; do
    printf '%s\n' "${ARCHIVES[@]}" | grep -qxF "$archive" ||
        fail "the table of expected outcomes names $archive, which is not an all-stored archive of the manifest"
done <<<"$EXPECTED_OUTCOMES"

base_name() { # the stored path without its folder parts
    local name=${1##*/}
    printf '%s' "${name##*\\}"
}

archives_checked=0
members_checked=0
files_checked=0
for archive in "${ARCHIVES[@]}"; do
    outcome=$(awk -F'\t' -v a="$archive" '$1 == a' <<<"$EXPECTED_OUTCOMES")
    want_rc=0
    want_files=manifest
    if [ -n "$outcome" ]; then
        IFS=$'\t' read -r _ want_rc want_files reason <<<"$outcome"
    fi
    rm -rf "$WORK/out"
    run_lzhx "$CORPUS/$archive" "$WORK/out"
    expect_rc "$want_rc" -- "$archive${outcome:+ (expected outcome: $reason)}"
    archives_checked=$((archives_checked + 1))

    if [ "$want_files" = none ]; then
        [ ! -d "$WORK/out" ] || assert_entries "$WORK/out" "$archive"
        continue
    fi

    # The files that must result: base names, the later member winning.
    # Names are compared without regard to case (the manifest prints names
    # the way its reader shows them; some readers fold MS-DOS names).
    declare -A size=() sha=() crc=() shown=()
    while IFS=$'\t' read -r _ index level method msize mcrc msha mname oracle; do
        base=$(base_name "$mname")
        [ -n "$base" ] || fail "$archive: member $index has no base name in the manifest"
        key=${base,,}
        size[$key]=$msize
        sha[$key]=$msha
        crc[$key]=$(printf '%04x' "$((16#$mcrc))")
        shown[$key]=$base
        members_checked=$((members_checked + 1))
    done < <(awk -F'\t' -v a="$archive" '$1 == a' "$PLAN.members")

    got=$(ls -A "$WORK/out" 2>/dev/null | wc -l)
    [ "$got" -eq ${#size[@]} ] ||
        fail "$archive: extracted [$(ls -A "$WORK/out" 2>/dev/null | tr '\n' ' ')], expected ${#size[@]} files [${shown[*]}]"
    for key in "${!size[@]}"; do
        file=""
        matches=0
        for entry in "$WORK/out"/* "$WORK/out"/.[!.]*; do
            [ -e "$entry" ] || continue
            entry_name=$(basename "$entry")
            if [ "${entry_name,,}" = "$key" ]; then
                file=$entry
                matches=$((matches + 1))
            fi
        done
        [ "$matches" -eq 1 ] ||
            fail "$archive: no single extracted file named ${shown[$key]} (case ignored); folder holds [$(ls -A "$WORK/out" | tr '\n' ' ')]"
        [ -f "$file" ] || fail "$archive: ${shown[$key]} is not a regular file"
        got_size=$(stat -c %s "$file")
        [ "$got_size" -eq "${size[$key]}" ] ||
            fail "$archive: ${shown[$key]} has $got_size bytes, the manifest says ${size[$key]}"
        if [ "${sha[$key]}" != "?" ]; then
            got_sha=$(sha256sum <"$file" | cut -d' ' -f1)
            [ "$got_sha" = "${sha[$key]}" ] ||
                fail "$archive: ${shown[$key]} has SHA-256 $got_sha, the manifest says ${sha[$key]}"
        else
            # The manifest's reader gave no digest: the data must still match
            # the CRC-16 that the header records.
            got_crc=$(crc16_file "$file")
            [ "$got_crc" = "${crc[$key]}" ] ||
                fail "$archive: ${shown[$key]} has CRC-16 $got_crc, the manifest says ${crc[$key]} (no SHA-256 known)"
        fi
        files_checked=$((files_checked + 1))
        passed
    done
    unset size sha crc shown
done

[ "$archives_checked" -gt 0 ] && [ "$files_checked" -gt 0 ] || fail "nothing was checked"
note "checked $archives_checked all-stored archives ($(grep -c . <<<"$EXPECTED_OUTCOMES") with an expected failure), $members_checked manifest members, $files_checked extracted files"
peer_done
