#!/usr/bin/env bash
# payload_check.sh PAYLOAD.LZH LZHX.EXE FILE...
#
# The payload holds FILE... in that order, as -lh5- members with level-2
# headers, and lhasa, 7z and our own engine (the Windows build, under Wine)
# all extract them byte for byte.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
payload=$1 lzhx=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0
fail() { echo "payload_check: FAIL: $*"; fails=$((fails + 1)); }

# lhasa vv: a line with the name, then one with sizes, method and [level].
mapfile -t names < <(lhasa vv "$payload" | awk 'NR>2 && !/^[-[ ]/ {print}')
mapfile -t kinds < <(lhasa vv "$payload" | awk '/^\[/ {print $(NF-5), $NF}')
want=()
for f in "$@"; do want+=("$(basename "$f")"); done
[ "${names[*]}" = "${want[*]}" ] || fail "members are '${names[*]}', expected '${want[*]}'"
for kind in "${kinds[@]}"; do
    [ "$kind" = "-lh5- [2]" ] || fail "a member is '$kind', expected '-lh5- [2]'"
done
[ ${#kinds[@]} -eq $# ] || fail "lhasa lists ${#kinds[@]} members"

lhasa xqw="$work/lhasa" "$payload"
7z x -y -bd -o"$work/7z" "$payload" >/dev/null
"$here/wine-run.sh" "$lzhx" -q "Z:${payload//\//\\}" "Z:${work//\//\\}\\lzhx" >/dev/null
for f in "$@"; do
    name=$(basename "$f")
    for tool in lhasa 7z lzhx; do
        cmp -s "$f" "$work/$tool/$name" || fail "$tool: $name differs from $f"
    done
done
[ $fails -eq 0 ] || exit 1
echo "payload_check: ${#want[@]} members, extracted identically by lhasa, 7z and lzhx.exe"
