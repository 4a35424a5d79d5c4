#!/usr/bin/env bash
# wine-run.sh EXE [ARGS...]
#
# Runs a 32-bit Windows program under Wine as if on a Japanese Windows system
# and exits with the program's exit code. Standard input, output and error
# pass straight through, byte for byte (a console program built with MinGW
# writes CRLF line ends and text in code page 932). The win32 tree uses this
# script as its CMAKE_CROSSCOMPILING_EMULATOR, so ctest runs every Windows
# test through it.
#
# The Wine setting:
# - Prefix: an exported WINEPREFIX is used as it is (and created when it does
#   not exist yet). Otherwise the prefix is "wine-prefix" in the CMake build
#   tree that holds EXE (or the current directory), with its own HOME,
#   "wine-home", beside it: a prefix links the Windows user's Desktop and
#   Documents to $HOME, and this keeps them out of the real home. Outside any
#   build tree both go to ${TMPDIR:-/tmp}/quillometer-wine-UID. Creating a
#   prefix takes 10 to 20 seconds; it happens once, under a lock (flock on
#   the prefix's parent folder), so that parallel tests wait for one creation
#   instead of racing. A half-made prefix of our own is detected (no
#   .quillometer-ready marker) and made afresh.
# - A prefix made here is 32-bit (WINEARCH=win32), without Mono and Gecko,
#   and uses Wine's "null" graphics driver: GUI programs can create their
#   windows with no X server at all, so no Xvfb is needed, and DISPLAY is
#   ignored. (With an exported prefix, DISPLAY is passed on unchanged.) Its
#   crash dialog is off: a program that crashes ends at once with Wine's
#   backtrace (on standard output) instead of waiting for a click.
# - LC_ALL=ja_JP.UTF-8: Wine derives the ANSI and OEM code pages (932) from
#   LC_ALL or LC_CTYPE, not from LANG. The locale must be installed.
# - WINEDEBUG=-all unless WINEDEBUG is exported (export WINEDEBUG=err+all to
#   see Wine's complaints); winemenubuilder.exe, mscoree and mshtml are
#   disabled, so nothing is added to the host's menus or desktop.
# - Time zone: Wine takes the system time zone from the host (TZ or
#   /etc/localtime), but it also copies TZ into the Windows environment, and
#   the Microsoft runtime (msvcrt: mktime, localtime, _tzset, _timezone)
#   prefers a TZ variable, in its own format "NAME[+|-]hh[:mm]" (hours west
#   of UTC). An Olson name such as Asia/Tokyo means nothing to it: it would
#   silently work in UTC. So when TZ is set:
#     * a zone without daylight saving time (Asia/Tokyo, UTC, or a value like
#       JST-9) is handed to both sides as the equivalent fixed rule, e.g.
#       TZ=JST-9, which glibc and msvcrt read alike;
#     * for a zone with daylight saving time, msvcrt's reading of a TZ rule
#       would apply United States transition dates, so the program is started
#       through "cmd /c" with TZ removed from its environment; the runtime
#       then uses the system zone, with its real rules, as on Windows. Such a
#       run costs about a quarter of a second more, and its arguments must
#       not contain "%" (cmd would expand it) or line breaks.
#   Without TZ, the host's /etc/localtime is the system zone, as it is.
# - The wineserver (one per prefix, shared by parallel runs) is started here
#   with a persistence of 5 s, so the programs of one test run reuse it and
#   its services (a run then takes about 0.1 s instead of about 1.5 s); it
#   ends by itself 5 s after the last program, plus the shutdown of Wine's
#   services, about 2 s. It holds none of the caller's standard streams, so
#   ctest sees the program's end at once and gets the real exit code; nothing
#   needs to wait for it.
#
# Exit status: the program's exit code modulo 256 (so a Windows exit code of
# 256 reads as 0); an unhandled exception gives its code's low byte, e.g. 5
# for an access violation (0xC0000005), after Wine's backtrace. 125: this
# script could not run the program.
set -u -o pipefail

die() {
    echo "wine-run.sh: $*" >&2
    exit 125
}

[ $# -ge 1 ] || die "usage: wine-run.sh EXE [ARGS...]"
exe=$1
shift
case $exe in /*) ;; *) exe=$PWD/$exe ;; esac
[ -f "$exe" ] || die "no such program: $exe"
command -v wine >/dev/null 2>&1 ||
    die "wine is not installed (scripts/install-deps.sh installs it)"

locale -a 2>/dev/null | grep -qiE '^ja_JP\.utf-?8$' ||
    die "the locale ja_JP.UTF-8 is missing, Wine would not use code page 932 (scripts/install-deps.sh generates it)"
export LC_ALL=ja_JP.UTF-8
unset LANGUAGE

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
# WINEARCH applies only while a prefix is made; a run takes the prefix's own.
arch_for_new_prefix=${WINEARCH:-win32}
unset WINEARCH

# ---------------------------------------------------------------------------
# The prefix

build_tree_of() {
    local dir=$1
    while [ -n "$dir" ] && [ "$dir" != / ]; do
        if [ -f "$dir/CMakeCache.txt" ]; then
            echo "$dir"
            return 0
        fi
        dir=$(dirname "$dir")
    done
    return 1
}

if [ -n "${WINEPREFIX:-}" ]; then
    own_prefix=false
    case $WINEPREFIX in /*) ;; *) WINEPREFIX=$PWD/$WINEPREFIX ;; esac
    WINEPREFIX=${WINEPREFIX%/}
else
    own_prefix=true
    base=$(build_tree_of "$(dirname "$exe")") || base=$(build_tree_of "$PWD") ||
        base=${TMPDIR:-/tmp}/quillometer-wine-$(id -u)
    WINEPREFIX=$base/wine-prefix
    export HOME=$base/wine-home
    # Only Wine's null driver draws, see above.
    unset DISPLAY WAYLAND_DISPLAY
fi
export WINEPREFIX
ready_marker=$WINEPREFIX/.quillometer-ready

prefix_ready() {
    if $own_prefix; then
        [ -f "$ready_marker" ]
    else
        [ -f "$WINEPREFIX/system.reg" ]
    fi
}

# Runs with the lock held (fd 9). Every Wine command gets 9<&- so that the
# wineserver and its services never inherit the lock.
make_prefix() {
    local log started
    if $own_prefix; then
        rm -rf "$WINEPREFIX" || die "cannot remove the half-made prefix $WINEPREFIX"
    elif [ -d "$WINEPREFIX" ] && [ -n "$(ls -A "$WINEPREFIX")" ]; then
        die "WINEPREFIX=$WINEPREFIX exists but is no Wine prefix (no system.reg)"
    fi
    mkdir -p "$WINEPREFIX" "$HOME" || die "cannot create $WINEPREFIX"
    log=$(mktemp "${TMPDIR:-/tmp}/wine-prefix-log.XXXXXX") || die "mktemp failed"
    started=$(date +%s%N)
    (
        if $own_prefix; then
            export WINEARCH=win32
        else
            export WINEARCH=$arch_for_new_prefix
        fi
        unset DISPLAY WAYLAND_DISPLAY
        set -e
        timeout 300 wineboot --init
        if $own_prefix; then
            timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f
            # Otherwise a crash would wait for a click in an invisible dialog.
            timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
        fi
        # The registry reaches the disk when the wineserver ends.
        timeout 120 wineserver --wait
    ) >"$log" 2>&1 9<&-
    local rc=$?
    if [ $rc -ne 0 ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
        cat "$log" >&2
        rm -f "$log"
        die "could not create the Wine prefix $WINEPREFIX (exit $rc)"
    fi
    rm -f "$log"
    if $own_prefix; then
        grep -q '^#arch=win32' "$WINEPREFIX/system.reg" ||
            die "the new prefix $WINEPREFIX is not a 32-bit one"
        wine --version >"$ready_marker" 2>/dev/null 9<&- || die "cannot write $ready_marker"
    fi
    local tenths=$((($(date +%s%N) - started) / 100000000))
    echo "wine-run.sh: created the Wine prefix $WINEPREFIX in $((tenths / 10)).$((tenths % 10)) s" >&2
}

if ! prefix_ready; then
    parent=$(dirname "$WINEPREFIX")
    mkdir -p "$parent" || die "cannot create $parent"
    exec 9<"$parent" || die "cannot open $parent for locking"
    flock -w 900 9 || die "gave up waiting for the lock on $parent"
    prefix_ready || make_prefix
    exec 9<&-
fi
mkdir -p "$HOME" || die "cannot create HOME=$HOME"

# ---------------------------------------------------------------------------
# The time zone

# fixed_rule VALUE: when VALUE is a POSIX TZ rule without daylight saving
# time, prints it in a form that both glibc and msvcrt read: a name of three
# letters, then the offset.
fixed_rule() {
    [[ $1 =~ ^(<[-+A-Za-z0-9]+>|[A-Za-z]+)([-+]?[0-9]{1,2}(:[0-9]{2}){0,2})$ ]] || return 1
    local name=${BASH_REMATCH[1]} offset=${BASH_REMATCH[2]}
    if [[ $name =~ ^[A-Za-z]{3} ]]; then
        name=${name:0:3}
    else
        name=LST
    fi
    echo "$name$offset"
}

clear_tz_in_windows=false
if [ -n "${TZ:-}" ]; then
    zone=${TZ#:}
    case $zone in /*) zone_file=$zone ;; *) zone_file=${TZDIR:-/usr/share/zoneinfo}/$zone ;; esac
    rule=$zone
    if [ -f "$zone_file" ] && [ "$(head -c 4 "$zone_file")" = TZif ]; then
        # A TZif file of version 2 or later ends with its POSIX rule.
        rule=$(tail -n 1 "$zone_file")
    fi
    if fixed=$(fixed_rule "$rule"); then
        export TZ=$fixed
    else
        clear_tz_in_windows=true
    fi
fi

# ---------------------------------------------------------------------------
# The run

# The wineserver stays, with Wine's services, for 5 s after its last program,
# so that the programs of a test run one after another without waiting for
# a new one to start each time (about 1.5 s). It ends by itself; if one is
# already running, this does nothing. It must not hold our standard streams,
# or ctest would wait for it.
wineserver -p5 </dev/null >/dev/null 2>&1

if ! $clear_tz_in_windows; then
    exec wine "$exe" "$@"
fi

# ms_quote ARG: ARG quoted for the Microsoft runtime's command-line parser.
ms_quote() {
    local s=$1 out='' slashes='' i c
    for ((i = 0; i < ${#s}; i++)); do
        c=${s:i:1}
        case $c in
        \\) slashes+='\' ;;
        \") out+="$slashes$slashes\\\"" slashes='' ;;
        *) out+="$slashes$c" slashes='' ;;
        esac
    done
    REPLY="\"$out$slashes$slashes\""
}

command_line=
for arg in "Z:${exe//\//\\}" "$@"; do
    case $arg in
    *%* | *$'\n'* | *$'\r'*)
        die "TZ=$TZ has daylight saving time, so the program runs through cmd, which cannot pass the argument [$arg]; unset TZ or use a zone without daylight saving time"
        ;;
    esac
    ms_quote "$arg"
    command_line+="${command_line:+ }$REPLY"
done
# Delayed expansion (!...!) takes the command line from the environment after
# cmd has parsed its own line, so & | < > ^ ( ) in it are not cmd syntax.
export QUILLOMETER_WINE_COMMAND=$command_line
exec wine cmd /v:on /d /c 'set TZ=&& !QUILLOMETER_WINE_COMMAND!'
