#!/usr/bin/env bash
# pe_check.sh SETUP.EXE
#
# The setup must start as one file: a PE32 image for i386, a GUI program (no
# console window), whose imports are all libraries that Windows always takes
# from its system folder, never from beside the program, where a downloads
# folder may hold planted files; and whose header names a Windows version
# that has every function it imports. Prints every difference, the
# executable's size and the version it needs.
set -euo pipefail
exe=$1
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
command -v "$objdump" >/dev/null || { echo "pe_check: $objdump is missing (binutils-mingw-w64-i686)"; exit 1; }
[ -f "$exe" ] || { echo "pe_check: no such file: $exe"; exit 1; }

# Windows' known libraries, which it loads from the system folder only (case
# does not matter to Windows). Any other library, comctl32 among them, is
# loaded at run time by its system path.
allowed=(KERNEL32 USER32 GDI32 ADVAPI32 SHELL32 OLE32 OLEAUT32 SHLWAPI COMDLG32 MSVCRT)

# The first Windows version that has each of these functions, as major.minor
# (5.1 XP, 6.0 Vista, 6.2 8). Functions of Windows 4.0 are not listed.
declare -A since=(
    [AddVectoredExceptionHandler]=5.1 [SetDllDirectoryA]=5.1 [SetDllDirectoryW]=5.1
    [GetTickCount64]=6.0 [InitializeSRWLock]=6.0 [AcquireSRWLockExclusive]=6.0
    [InitializeConditionVariable]=6.0 [InitOnceExecuteOnce]=6.0 [GetFileInformationByHandleEx]=6.0
    [SetDefaultDllDirectories]=6.2 [AddDllDirectory]=6.2 [RemoveDllDirectory]=6.2
    [GetSystemTimePreciseAsFileTime]=6.2)

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
    $ok || fail "imports $dll, which Windows may take from beside the program (known libraries: ${allowed[*]})"
done

# The header's versions against the newest function imported: Windows
# refuses a program whose subsystem version is above its own, and a program
# that claims less than it needs fails to bind where it is let start.
version_number() { echo $((${1%.*} * 100 + ${1#*.})); }
header_version() { echo "$(awk -v f="Major$1" '$1 == f {print $2}' <<<"$dump").$(awk -v f="Minor$1" '$1 == f {print $2}' <<<"$dump")"; }
os_version=$(header_version OSystemVersion)
subsystem_version=$(header_version SubsystemVersion)
needed=4.0 needed_by="Windows 4.0 functions only"
while read -r function; do
    version=${since[$function]:-}
    if [ -n "$version" ] && [ "$(version_number "$version")" -gt "$(version_number "$needed")" ]; then
        needed=$version needed_by=$function
    fi
done < <(awk '/DLL Name:/ {inside = 1; next} inside && NF == 3 && $1 ~ /^[0-9a-f]+$/ {print $3}' <<<"$dump")
for field in "OS:$os_version" "subsystem:$subsystem_version"; do
    [ "$(version_number "${field#*:}")" -ge "$(version_number "$needed")" ] ||
        fail "the header's ${field%%:*} version is ${field#*:}, but $needed_by needs Windows $needed"
done
[ "$os_version" = "$subsystem_version" ] ||
    fail "the header's OS version $os_version and subsystem version $subsystem_version differ"

size=$(stat -c %s "$exe")
echo "pe_check: $(basename "$exe"): $size bytes; imports ${dlls[*]}"
echo "pe_check: header OS and subsystem version $os_version/$subsystem_version; needs $needed ($needed_by)"
[ $fails -eq 0 ] || exit 1
echo "pe_check: PE32, i386, Windows GUI, known system libraries only"
