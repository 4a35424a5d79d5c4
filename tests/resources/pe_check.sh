#!/usr/bin/env bash
# pe_check.sh SETUP.EXE
#
# The setup must start on any 32-bit Windows as one file: a PE32 image for
# i386, a GUI program (no console window), whose imports are all Windows
# system DLLs, so that no runtime DLL has to travel with it. Prints every
# difference and the executable's size.
set -euo pipefail
exe=$1
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
command -v "$objdump" >/dev/null || { echo "pe_check: $objdump is missing (binutils-mingw-w64-i686)"; exit 1; }
[ -f "$exe" ] || { echo "pe_check: no such file: $exe"; exit 1; }

# Windows system DLLs the setup may import (case does not matter to Windows).
allowed=(KERNEL32 USER32 GDI32 ADVAPI32 SHELL32 OLE32 OLEAUT32 COMCTL32 COMDLG32 MSVCRT)

fails=0
fail() { echo "pe_check: $*"; fails=$((fails + 1)); }

# The COFF header's machine field, found through the DOS header's pointer.
le16() { od -An -tu2 -j "$2" -N2 "$1" | tr -d ' '; }
le32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }
[ "$(od -An -c -N2 "$exe" | tr -d " ")" = MZ ] || { echo "pe_check: $exe is no Windows executable"; exit 1; }
pe=$(le32 "$exe" 60)
signature=$(od -An -c -j "$pe" -N4 "$exe" 2>/dev/null | tr -d ' ')
[ "$signature" = 'PE\0\0' ] || { echo "pe_check: no PE signature at offset $pe"; exit 1; }
machine=$(le16 "$exe" $((pe + 4)))
[ "$machine" = 332 ] || fail "machine is $(printf 0x%04x "$machine"), expected 0x014c (i386)"

dump=$("$objdump" -p "$exe" 2>&1) || fail "$objdump cannot read it: $dump"
magic=$(awk '$1 == "Magic" {print $2}' <<<"$dump")
[ "$magic" = 010b ] || fail "optional header magic is '$magic', expected 010b (PE32)"
subsystem=$(awk '$1 == "Subsystem" {print $2}' <<<"$dump")
[ "$subsystem" = 00000002 ] || fail "subsystem is '$subsystem', expected 00000002 (Windows GUI)"

mapfile -t dlls < <(awk '/DLL Name:/ {print $3}' <<<"$dump")
[ ${#dlls[@]} -gt 0 ] || fail "no imports found"
for dll in "${dlls[@]}"; do
    base=${dll%.*}
    ok=false
    for a in "${allowed[@]}"; do
        [ "${base^^}" = "$a" ] && ok=true
    done
    $ok || fail "imports $dll, which is not a Windows system DLL (allowed: ${allowed[*]})"
done

size=$(stat -c %s "$exe")
echo "pe_check: $(basename "$exe"): $size bytes; imports ${dlls[*]}"
[ $fails -eq 0 ] || exit 1
echo "pe_check: PE32, i386, Windows GUI, system DLLs only"
