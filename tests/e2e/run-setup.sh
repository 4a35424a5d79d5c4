#!/usr/bin/env bash
# run-setup.sh: the setup of the build tree (build/win32, or QM_BUILD_TREE)
# under Wine, in a private prefix set up like a Japanese Windows system
# (harness.sh), for the main job:
# - with a usable DISPLAY, the setup opens on that display for a person to
#   use; afterwards the script lists what was installed;
# - without one, the robot installs with the defaults (question 2008: No;
#   the proposed folder; 2009: Yes; 2012: No) on a private Xvfb display, the
#   script lists what was installed where, and pictures.sh renders every
#   dialog and message box into PNG files.
set -u -o pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
tree=${QM_BUILD_TREE:-$root/build/win32}
case $tree in /*) ;; *) tree=$PWD/$tree ;; esac

export E2E_STATE=$tree/tests/e2e/main-run
export E2E_SETUP=$tree/QuillometerSetup.exe
export E2E_ROBOT=$tree/tests/e2e/setup_robot.exe
export E2E_RECORDER=$tree/tests/e2e/open_recorder.exe
export E2E_TEXTS=$here/../ui-texts.txt
unset E2E_SETUP_LARGE
. "$here/harness.sh"

display_usable() {
    [ -n "${DISPLAY:-}" ] && command -v xdpyinfo >/dev/null &&
        timeout 10 xdpyinfo -display "$DISPLAY" >/dev/null 2>&1
}

# Lists the installed application: Windows path, host path, size of each file.
list_installed() {
    local win='C:\Program Files\Quillometer' host f
    host=$WINEPREFIX/drive_c/Program\ Files/Quillometer
    if ! [ -d "$host" ]; then
        echo "run-setup: nothing was installed in $win"
        return 1
    fi
    echo "run-setup: installed in $win (on this machine $host):"
    for f in "$host"/*; do
        printf '  %s\\%s  %s bytes\n' "$win" "$(basename "$f")" "$(stat -c %s "$f")"
    done
}

if display_usable; then
    export E2E_USER_DISPLAY=$DISPLAY
    e2e_start || exit 1
    e2e_load
    trap 'e2e_stop >/dev/null 2>&1' EXIT
    echo "run-setup: the setup opens on display $DISPLAY (Wine prefix $WINEPREFIX)"
    e2e_wine 'C:\e2e\QuillometerSetup.exe'
    echo "run-setup: the setup ended with exit code $?"
    list_installed || true
    exit 0
fi

echo "run-setup: no usable display${DISPLAY:+ ($DISPLAY)}; installing with the defaults on a virtual display"
unset E2E_USER_DISPLAY
e2e_start || exit 1
e2e_load
trap 'e2e_stop >/dev/null 2>&1' EXIT
{ scenario_to_folder_dialog; cat <<'EOF'; } | e2e_robot || e2e_die "the install with the defaults failed"
text 1006 'C:\' + @2003 + '\'
click 1
msgbox yesno 'C:\Program Files\Quillometer' + "\n\n" + @2009
answer yes
msgbox yesno @2012
answer no
exit 0
EOF
list_installed || exit 1
e2e_stop >/dev/null 2>&1
trap - EXIT
bash "$here/pictures.sh" "$tree/pictures" || exit 1
echo "run-setup: pictures of every dialog and message box in $tree/pictures"
