#!/usr/bin/env bash
# The end-to-end harness: one private X display and one private 32-bit Wine
# prefix per test run, set up like a Japanese Windows machine, and the
# functions that tests use to prepare it, drive the setup and look at the
# result. Source it for the functions, or run it:
#
#   harness.sh start   make the display and the prefix (the CTest fixture's set-up)
#   harness.sh stop    end every Wine process of the prefix and the display
#
# With E2E_USER_DISPLAY set (a person's display), "start" uses that display
# and starts no Xvfb.
#
# Everything lives in E2E_STATE (a folder of the build tree): env.sh (what
# later steps need: the display, the prefix, its HOME), prefix/, home/,
# drives/, xvfb.log. Tests find the programs through E2E_SETUP,
# E2E_SETUP_LARGE, E2E_ROBOT, E2E_RECORDER, E2E_TEXTS and E2E_LOAD_PROBE
# (CTest sets them).
#
# The prefix:
# - WINEARCH=win32, LC_ALL=ja_JP.UTF-8 (ANSI code page 932), WINEDEBUG=-all,
#   winemenubuilder, mscoree and mshtml disabled (nothing reaches the host's
#   menus; no request to install Mono or Gecko), the X11 driver on the
#   private Xvfb display, Wine's crash dialog and debugger off (a program
#   that crashes ends at once instead of waiting in winedbg).
# - On the private Xvfb display every program runs in Wine's own desktop
#   window of 640 × 480 pixels, the whole screen (as "wine explorer
#   /desktop=Default,640x480" would): Wine draws the captions and frames that
#   a window manager would draw, and without a window manager each window
#   that closes would otherwise cost a 2-second wait for the manager's answer.
# - The dialog font "ＭＳ Ｐゴシック" is replaced by IPAPGothic, so Japanese
#   texts render as on Windows.
# - .txt files open with open_recorder.exe, which logs the path it was given
#   in C:\e2e\opened.log.
# - Drives: C: only. Wine maps Z: to the host's root; it is removed so that
#   no test depends on host paths, and so is the host's root from the
#   shell's desktop (what the folder browser shows).
# - C:\e2e holds the robot, the recorder, the expected texts and the setup
#   programs; tests work in folders of their own under C:\cases.
# - One wineserver runs for the whole test run and is ended by "stop".
#
# Functions for tests (after e2e_load):
#   e2e_robot [SETUP] < SCENARIO       drive the setup (robot/Robot.cpp has the language)
#   e2e_case_dir NAME                  a fresh C:\cases\NAME
#   e2e_host_path 'C:\x'               where a Windows path is on the host
#   e2e_map_drive X DIR fixed|removable / e2e_unmap_drive X
#   e2e_reg_set KEY NAME DATA [TYPE] / e2e_reg_get KEY NAME / e2e_reg_delete_key KEY
#   e2e_reg_import REGEDIT5-TEXT       any registry text, Japanese included
#   e2e_same_file A B / e2e_kill_strays / e2e_wine ARGS...
#   e2e_file_size_limit KIB COMMAND... run COMMAND where no file may grow past KIB KiB
#   e2e_text KEY                       a text of the setup's user interface (tests/ui-texts.txt)
#   scenario_to_folder_dialog / scenario_to_search   a scenario's first lines
#   scenario_quit_at_default           its last lines, at the default destination
set -u -o pipefail

E2E_WINE_TIMEOUT=${E2E_WINE_TIMEOUT:-120}

e2e_die() {
    echo "harness: $*" >&2
    exit 1
}

e2e_note() { echo "harness: $*" >&2; }

e2e_require_state() {
    [ -n "${E2E_STATE:-}" ] || e2e_die "E2E_STATE is not set (the folder of this run's display and prefix)"
    case $E2E_STATE in /*) ;; *) E2E_STATE=$PWD/$E2E_STATE ;; esac
    export E2E_STATE
}

# The environment of every Wine command of this run.
e2e_wine_env() {
    export WINEPREFIX=$E2E_STATE/prefix
    export HOME=$E2E_STATE/home
    export LC_ALL=ja_JP.UTF-8
    unset LANGUAGE LANG WAYLAND_DISPLAY
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d;winedbg.exe=d"
    unset WINEARCH
}

# Loads what "start" recorded; every test begins with this.
e2e_load() {
    e2e_require_state
    [ -f "$E2E_STATE/env.sh" ] || e2e_die "no display and prefix in $E2E_STATE (the e2e.start fixture did not run or failed)"
    # shellcheck disable=SC1091
    . "$E2E_STATE/env.sh"
    e2e_wine_env
    export DISPLAY=$E2E_DISPLAY
    [ -z "$E2E_XVFB_PID" ] || kill -0 "$E2E_XVFB_PID" 2>/dev/null ||
        e2e_die "the X server of this run (pid $E2E_XVFB_PID) is gone"
}

# e2e_wine ARGS...: wine with the run's environment and a time limit.
# It starts in C:\ (without a Z: drive Wine cannot map a host folder).
e2e_wine() {
    (cd "$WINEPREFIX/drive_c" && timeout "$E2E_WINE_TIMEOUT" wine "$@")
}

# scenario_to_folder_dialog / scenario_to_search: a scenario's first lines
# for the install flow, up to the folder dialog (No at question 2008) or up to
# the search (Yes).
scenario_to_folder_dialog() {
    printf '%s\n' start 'dialog menu' 'click 1002' 'msgbox yesno @2008' 'answer no' 'dialog folder'
}

scenario_to_search() {
    printf '%s\n' start 'dialog menu' 'click 1002' 'msgbox yesno @2008' 'answer yes'
}

# scenario_quit_at_default: a scenario's last lines in the folder dialog: it
# proposes the default destination; Esc, and Esc again in the menu.
scenario_quit_at_default() {
    printf '%s\n' "text 1006 'C:\\' + @2003 + '\\'" esc 'dialog menu' esc 'exit 0'
}

# e2e_text KEY: a text of the setup's user interface from the tests' table
# (E2E_TEXTS, UTF-8), as it is written there (escapes not turned).
e2e_text() {
    awk -v key="$1" '$1 == key { sub(/^[^ ]+ "/, ""); sub(/"[[:space:]]*$/, ""); print; found = 1 }
        END { exit !found }' "$E2E_TEXTS" || e2e_die "no text $1 in $E2E_TEXTS"
}

# e2e_file_size_limit KIB COMMAND...: runs COMMAND (a function too) in a
# subshell whose programs may write no file beyond KIB KiB: a write past it
# fails (EFBIG) as on a full disk. SIGXFSZ is ignored, so that the write
# fails instead of the program ending; the run's wineserver is already up
# and keeps no limit.
e2e_file_size_limit() {
    (
        trap '' XFSZ
        ulimit -f "$1" || exit 1
        shift
        "$@"
    )
}

# C:\a\b → the host path in the prefix; other drives through their links.
e2e_host_path() {
    local win=$1 letter rest target
    letter=$(printf '%s' "${win:0:1}" | tr 'A-Z' 'a-z')
    rest=${win:2}
    rest=${rest//\\//}
    target=$(readlink -f "$WINEPREFIX/dosdevices/$letter:") || return 1
    printf '%s%s\n' "$target" "$rest"
}

# ---------------------------------------------------------------------------
# The display

e2e_start_display() {
    local fdfile=$E2E_STATE/xvfb.display waited=0
    command -v Xvfb >/dev/null || e2e_die "Xvfb is not installed (scripts/install-deps.sh installs it)"
    rm -f "$fdfile"
    # -displayfd: the server picks a free display number and tells it.
    Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp -noreset \
        3>"$fdfile" >"$E2E_STATE/xvfb.log" 2>&1 </dev/null &
    E2E_XVFB_PID=$!
    while ! [ -s "$fdfile" ]; do
        kill -0 "$E2E_XVFB_PID" 2>/dev/null || { cat "$E2E_STATE/xvfb.log" >&2; e2e_die "Xvfb did not start"; }
        [ $waited -lt 300 ] || e2e_die "Xvfb did not report its display within 30 s"
        sleep 0.1
        waited=$((waited + 1))
    done
    E2E_DISPLAY=:$(head -n 1 "$fdfile" | tr -d '[:space:]')
    export DISPLAY=$E2E_DISPLAY
}

# ---------------------------------------------------------------------------
# The registry

# e2e_reg_import TEXT: imports registry text (REGEDIT5 syntax, UTF-8 here) as
# the UTF-16 file that regedit reads with any characters.
e2e_reg_import() {
    local file
    mkdir -p "$WINEPREFIX/drive_c/e2e" || return 1
    file=$(mktemp "$WINEPREFIX/drive_c/e2e/import.XXXXXX") || return 1
    { printf '\xff\xfe'; printf 'Windows Registry Editor Version 5.00\r\n\r\n%s\r\n' "$1" |
        sed 's/\r\?$/\r/' | iconv -f UTF-8 -t UTF-16LE; } >"$file" || return 1
    e2e_wine regedit /S "C:\\e2e\\${file##*/}" || { rm -f "$file"; return 1; }
    rm -f "$file"
}

# e2e_reg_escape TEXT: a value for a REGEDIT5 string ("..." with \ and "
# escaped).
e2e_reg_escape() {
    local s=${1//\\/\\\\}
    printf '%s' "${s//\"/\\\"}"
}

# e2e_reg_set KEY NAME DATA [TYPE]: a value of TYPE (default REG_SZ), set
# with "wine reg add" (Wine quotes each argument for the Windows command
# line, backslashes included).
e2e_reg_set() {
    e2e_wine reg add "$1" /v "$2" /t "${4:-REG_SZ}" /d "$3" /f >/dev/null
}

e2e_reg_delete_key() {
    e2e_wine reg delete "$1" /f >/dev/null 2>&1 || true
}

# e2e_reg_get KEY NAME: prints the data of a string value.
e2e_reg_get() {
    e2e_wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}

# ---------------------------------------------------------------------------
# Drives

# Wine's mount manager (a service of the wineserver's session) learns of the
# drives and their types when it starts; a change of drives takes effect
# with a new session.
# The first program of a session starts Wine's services, which keep its
# standard streams open for the rest of the run (CTest would wait for them):
# a program with no streams starts them.
e2e_restart_wine() {
    timeout 30 wineserver -k >/dev/null 2>&1
    timeout 30 wineserver -w >/dev/null 2>&1
    wineserver -p </dev/null >/dev/null 2>&1
    e2e_wine cmd /c exit </dev/null >/dev/null 2>&1
}

# e2e_map_drive LETTER HOSTDIR fixed|removable: maps drive LETTER: to
# HOSTDIR. Wine takes a drive's type from HKLM\Software\Wine\Drives ("hd",
# "floppy", "cdrom", "network"), and a drive without an entry is fixed.
e2e_map_drive() {
    local letter type
    letter=$(printf '%s' "$1" | tr 'A-Z' 'a-z')
    case $3 in
    fixed) type=hd ;;
    removable) type=floppy ;;
    *) e2e_die "e2e_map_drive: type $3 is neither fixed nor removable" ;;
    esac
    mkdir -p "$2" || return 1
    ln -sfn "$2" "$WINEPREFIX/dosdevices/$letter:" || return 1
    e2e_reg_set 'HKLM\Software\Wine\Drives' "$letter:" "$type" || return 1
    e2e_restart_wine
}

e2e_unmap_drive() {
    local letter
    letter=$(printf '%s' "$1" | tr 'A-Z' 'a-z')
    rm -f "$WINEPREFIX/dosdevices/$letter:"
    e2e_wine reg delete 'HKLM\Software\Wine\Drives' /v "$letter:" /f >/dev/null 2>&1
    e2e_restart_wine
}

# ---------------------------------------------------------------------------
# The prefix

e2e_make_prefix() {
    local log=$E2E_STATE/wineboot.log
    rm -rf "$WINEPREFIX" "$HOME"
    mkdir -p "$WINEPREFIX" "$HOME" "$E2E_STATE/drives" || return 1
    WINEARCH=win32 timeout 300 wineboot --init >"$log" 2>&1 ||
        { cat "$log" >&2; e2e_die "wineboot could not create the prefix $WINEPREFIX"; }
    # A 64-bit prefix would have a syswow64 folder (the registry reaches the
    # disk only when the wineserver ends).
    [ -d "$WINEPREFIX/drive_c/windows/system32" ] && ! [ -d "$WINEPREFIX/drive_c/windows/syswow64" ] ||
        e2e_die "the prefix $WINEPREFIX is not a 32-bit one"
    # No drive maps the host's root.
    rm -f "$WINEPREFIX/dosdevices/z:"
    # Caption buttons, check marks and arrows are glyphs of Wine's Marlett
    # (package fonts-wine), which this Wine does not find in its own data
    # folder; the Windows font folder serves.
    if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
        cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" || return 1
    fi
    e2e_reg_import '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"ＭＳ Ｐゴシック"="IPAPGothic"
"ＭＳ ゴシック"="IPAGothic"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[-HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Explorer\Desktop\Namespace\{9D20AAE8-0625-44B0-9CA7-71889C2254D9}]

[HKEY_CLASSES_ROOT\.txt]
@="txtfile"

[HKEY_CLASSES_ROOT\txtfile\shell\open\command]
@="\"C:\\e2e\\open_recorder.exe\" \"%1\""' || e2e_die "could not import the prefix's registry settings"
    # Wine's desktop window on our own display (not on a person's screen,
    # where the window manager draws the frames).
    if [ -n "$E2E_XVFB_PID" ]; then
        e2e_reg_import '[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="640x480"' || e2e_die "could not set up Wine's desktop window"
    fi
}

# Copies the programs under test into C:\e2e.
e2e_install_programs() {
    local dir=$WINEPREFIX/drive_c/e2e
    mkdir -p "$dir" "$WINEPREFIX/drive_c/cases" || return 1
    cp "$E2E_ROBOT" "$dir/setup_robot.exe" &&
        cp "$E2E_RECORDER" "$dir/open_recorder.exe" &&
        cp "$E2E_TEXTS" "$dir/texts.txt" &&
        cp "$E2E_SETUP" "$dir/QuillometerSetup.exe" || return 1
    if [ -n "${E2E_SETUP_LARGE:-}" ]; then
        cp "$E2E_SETUP_LARGE" "$dir/QuillometerSetupLarge.exe" || return 1
    fi
}

e2e_start() {
    e2e_require_state
    local started
    started=$(date +%s%N)
    command -v wine >/dev/null || e2e_die "wine is not installed (scripts/install-deps.sh installs it)"
    locale -a 2>/dev/null | grep -qiE '^ja_JP\.utf-?8$' ||
        e2e_die "the locale ja_JP.UTF-8 is missing (scripts/install-deps.sh generates it)"
    fc-list 2>/dev/null | grep -q IPAPGothic ||
        e2e_die "the font IPAPGothic is missing (package fonts-ipafont-gothic)"
    for var in E2E_SETUP E2E_ROBOT E2E_RECORDER E2E_TEXTS; do
        [ -f "${!var:-}" ] || e2e_die "$var does not name a file: ${!var:-(unset)}"
    done
    # What an earlier run may have left: its wineserver and its display.
    e2e_stop_quietly
    mkdir -p "$E2E_STATE" || e2e_die "cannot create $E2E_STATE"
    rm -f "$E2E_STATE/env.sh"
    e2e_wine_env
    if [ -n "${E2E_USER_DISPLAY:-}" ]; then
        E2E_DISPLAY=$E2E_USER_DISPLAY E2E_XVFB_PID=
        export DISPLAY=$E2E_DISPLAY
    else
        e2e_start_display
    fi
    {
        echo "E2E_DISPLAY=$E2E_DISPLAY"
        echo "E2E_XVFB_PID=$E2E_XVFB_PID"
    } >"$E2E_STATE/env.sh"
    e2e_make_prefix
    # One wineserver for the whole run, ended by "stop".
    e2e_restart_wine
    e2e_install_programs || e2e_die "cannot copy the programs into the prefix"
    local tenths=$((($(date +%s%N) - started) / 100000000))
    e2e_note "display $E2E_DISPLAY and prefix $WINEPREFIX ready in $((tenths / 10)).$((tenths % 10)) s"
}

# Ends the prefix's wineserver, which ends every Wine process of this
# prefix, and the display.
e2e_stop_quietly() {
    (
        e2e_wine_env
        if [ -d "$WINEPREFIX" ]; then
            timeout 30 wineserver -k >/dev/null 2>&1
            timeout 30 wineserver -w >/dev/null 2>&1
        fi
        # shellcheck disable=SC1091
        . "$E2E_STATE/env.sh" 2>/dev/null || exit 0
        if [ -n "${E2E_XVFB_PID:-}" ] && kill -0 "$E2E_XVFB_PID" 2>/dev/null; then
            kill "$E2E_XVFB_PID"
        fi
    )
    rm -f "$E2E_STATE/env.sh"
}

e2e_stop() {
    e2e_require_state
    e2e_stop_quietly
    e2e_note "stopped the display and the Wine processes of $E2E_STATE"
}

# ---------------------------------------------------------------------------
# Running the setup

# e2e_case_dir NAME: a fresh folder C:\cases\NAME; prints its Windows path.
e2e_case_dir() {
    local host=$WINEPREFIX/drive_c/cases/$1
    rm -rf "$host" && mkdir -p "$host" || return 1
    printf 'C:\\cases\\%s\n' "$1"
}

# e2e_robot [SETUP.EXE-WINDOWS-PATH] < SCENARIO: runs the scenario against
# the setup (default C:\e2e\QuillometerSetup.exe), after a header that
# names the setup, the expected texts and the recorder's log.
e2e_robot() {
    local program=${1:-'C:\e2e\QuillometerSetup.exe'} scenario rc
    scenario=$(mktemp "$WINEPREFIX/drive_c/e2e/scenario.XXXXXX") || return 1
    {
        printf "program '%s'\n" "$program"
        printf "texts 'C:\\\\e2e\\\\texts.txt'\n"
        printf "recorder-log 'C:\\\\e2e\\\\opened.log'\n"
        printf "snap-request 'C:\\\\e2e\\\\snap.request'\n"
        cat
    } >"$scenario"
    local win='C:\e2e\'${scenario##*/}
    e2e_wine 'C:\e2e\setup_robot.exe' "$win" 2>&1
    rc=$?
    if [ $rc -ne 0 ]; then
        echo "--- scenario (line numbers as the robot counts them) ---"
        cat -n "$scenario"
        e2e_kill_strays
    fi
    rm -f "$scenario"
    return $rc
}

e2e_kill_strays() {
    e2e_wine 'C:\e2e\setup_robot.exe' --kill-strays 2>&1
}

# e2e_same_file A B: fails with a message unless A and B hold the same bytes.
e2e_same_file() {
    if ! [ -f "$1" ]; then
        echo "FAIL: $1 does not exist" >&2
        return 1
    fi
    cmp -s "$1" "$2" || { echo "FAIL: $1 differs from $2 ($(stat -c %s "$1") and $(stat -c %s "$2") bytes)" >&2; return 1; }
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    case ${1:-} in
    start) e2e_start ;;
    stop) e2e_stop ;;
    *) e2e_die "usage: harness.sh start|stop (with E2E_STATE and, for start, E2E_SETUP, E2E_ROBOT, E2E_RECORDER, E2E_TEXTS set)" ;;
    esac
fi
