#!/usr/bin/env bash
# The shortcuts of an install, end to end: shortcut_cases.sh NAME runs
# shortcut_case_NAME in the display and prefix of this test run (harness.sh
# start). The robot installs into the default destination with the folder
# dialog's two boxes set as the case wants; shortcut_link.exe then reads
# each .lnk file byte by byte: its target must be the installed Quillom.exe,
# its description the link's name, and nothing else may be set (no working
# folder, arguments, icon or hot key; the normal show command).
#
# The folders are the ones the shell gives a program of the prefix: the
# user's Start-menu Programs folder (in a Wine prefix
# C:\users\USER\AppData\Roaming\Microsoft\Windows\Start Menu\Programs) and the
# user's desktop (C:\users\USER\Desktop, which Wine links to $HOME, the
# harness's own home folder, when $HOME has no Desktop folder).
set -u -o pipefail
. "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

start_menu_name=$(e2e_text 2004)
desktop_name=$(e2e_text 2005)
dest='C:\Program Files\Quillometer\'
target='C:\Program Files\Quillometer\Quillom.exe'
option_key='HKCU\Software\Fenwarde\Quillometer\Option'

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# shortcut_link ARGS...: the link reader, copied into the prefix when it
# changed; its output without carriage returns.
shortcut_link() {
    local copy=$WINEPREFIX/drive_c/e2e/shortcut_link.exe
    cmp -s "$E2E_SHORTCUT_LINK" "$copy" || cp "$E2E_SHORTCUT_LINK" "$copy" || fail "cannot copy shortcut_link"
    e2e_wine 'C:\e2e\shortcut_link.exe' "$@" | tr -d '\r'
}

# Sets programs_win, programs_host, desktop_win and desktop_host.
find_link_folders() {
    programs_win=$(shortcut_link folder programs) && [ -n "$programs_win" ] ||
        fail "the shell names no Programs folder"
    desktop_win=$(shortcut_link folder desktop) && [ -n "$desktop_win" ] ||
        fail "the shell names no desktop folder"
    programs_host=$(e2e_host_path "$programs_win") && desktop_host=$(e2e_host_path "$desktop_win") ||
        fail "cannot find the link folders on the host"
}

# No installation, no links (of any name: a failed case may have left one
# elsewhere), no recorded folder.
fresh_install_state() {
    e2e_kill_strays >/dev/null
    e2e_reg_delete_key "$option_key"
    rm -rf "$(e2e_host_path "$dest")"
    find_link_folders
    find "$programs_host" -name '*.lnk' -delete
    find -L "$desktop_host" -maxdepth 1 -name '*.lnk' -delete
}

# install_with START_MENU DESKTOP [again]: the install flow into the default
# destination with the two boxes ticked (yes) or cleared (no); "again" when
# the destination exists already, so that question 2009 is not asked.
install_with() {
    {
        scenario_to_folder_dialog
        cat <<'EOF'
text 1006 'C:\Program Files\Quillometer\'
checked 1008 yes
checked 1009 yes
EOF
        echo "tick 1008 $1"
        echo "tick 1009 $2"
        echo "click 1"
        if [ "${3:-}" != again ]; then
            echo "msgbox yesno 'C:\\Program Files\\Quillometer' + \"\\n\\n\" + @2009"
            echo "answer yes"
        fi
        printf '%s\n' 'msgbox yesno @2012' 'answer no' 'exit 0'
    } | e2e_robot || fail "the install with the Start-menu box $1 and the desktop box $2"
    [ -f "$(e2e_host_path "$target")" ] || fail "Quillom.exe was not installed"
}

# expect_link FOLDER_WIN FOLDER_HOST NAME: FOLDER\NAME.lnk points at the
# installed Quillom.exe, with NAME as its description and nothing else set.
expect_link() {
    local fields
    [ -f "$2/$3.lnk" ] || fail "no link $1\\$3.lnk"
    fields=$(shortcut_link read "$1\\$3.lnk") || fail "$1\\$3.lnk is no well-formed link: $fields"
    echo "$1\\$3.lnk:"
    sed 's/^/  /' <<<"$fields"
    grep -qxF "target=$target" <<<"$fields" || fail "$3.lnk does not point at $target"
    grep -qxF "description=$3" <<<"$fields" || fail "$3.lnk does not have the description $3"
    grep -qx 'show=1' <<<"$fields" || fail "$3.lnk has a show command of its own"
    grep -qx 'hotkey=0' <<<"$fields" || fail "$3.lnk has a hot key"
    ! grep -qE '^(workdir|arguments|icon)=' <<<"$fields" ||
        fail "$3.lnk sets a working folder, arguments or an icon"
}

# expect_links START_MENU DESKTOP: exactly the links asked for (yes or no),
# directly in the Programs folder and on the desktop, and no other link in
# either place.
expect_links() {
    local wanted='' found
    if [ "$1" = yes ]; then
        expect_link "$programs_win" "$programs_host" "$start_menu_name"
        wanted+="$programs_host/$start_menu_name.lnk"$'\n'
    fi
    if [ "$2" = yes ]; then
        expect_link "$desktop_win" "$desktop_host" "$desktop_name"
        wanted+="$desktop_host/$desktop_name.lnk"$'\n'
    fi
    found=$({
        find "$programs_host" -name '*.lnk'
        find -L "$desktop_host" -maxdepth 1 -name '*.lnk'
    } | sort)
    [ "$found" = "$(printf '%s' "$wanted" | sort)" ] ||
        fail "links expected: [${wanted//$'\n'/ }], found: [${found//$'\n'/ }]"
}

# ---------------------------------------------------------------------------

# Both boxes ticked: the Programs link and the desktop link.
shortcut_case_both() {
    fresh_install_state
    install_with yes yes
    expect_links yes yes
}

# One box ticked, then the other: only that box's link.
shortcut_case_one() {
    fresh_install_state
    install_with no yes
    expect_links no yes
    fresh_install_state
    install_with yes no
    expect_links yes no
}

# Both boxes cleared: no link at all. Neither after question 2011 answered
# Yes, which installs over the recorded folder without the folder dialog.
shortcut_case_none() {
    fresh_install_state
    install_with no no
    expect_links no no
    e2e_reg_set "$option_key" ProgramFolder "$dest" || fail "cannot record the folder"
    e2e_robot <<'EOF' || fail "2011 answered Yes"
start
dialog menu
click 1002
msgbox yesno 'C:\Program Files\Quillometer' + "\n\n" + @2011
answer yes
msgbox yesno @2012
answer no
exit 0
EOF
    expect_links no no
    e2e_reg_delete_key "$option_key"
}

# A second install into the same folder replaces both links: after the
# first, each link file is overwritten with other bytes and dated back; the
# second writes them anew.
shortcut_case_reinstall() {
    local link
    fresh_install_state
    install_with yes yes
    expect_links yes yes
    for link in "$programs_host/$start_menu_name.lnk" "$desktop_host/$desktop_name.lnk"; do
        printf 'not a link\n' >"$link" && touch -d '2001-01-01 00:00:00' "$link" ||
            fail "cannot spoil $link"
    done
    install_with yes yes again
    expect_links yes yes
    for link in "$programs_host/$start_menu_name.lnk" "$desktop_host/$desktop_name.lnk"; do
        [ "$(stat -c %Y "$link")" -gt "$(date -d '2001-01-02' +%s)" ] || fail "$link was not written again"
    done
}

[ $# -eq 1 ] || e2e_die "usage: shortcut_cases.sh CASE"
declare -F "shortcut_case_$1" >/dev/null || e2e_die "no case $1"
e2e_load
started=$(date +%s%N)
"shortcut_case_$1"
echo "e2e.shortcut.$1 passed in $((($(date +%s%N) - started) / 1000000)) ms"
