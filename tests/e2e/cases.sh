#!/usr/bin/env bash
# The end-to-end cases of the setup: cases.sh NAME runs case_NAME in the
# display and prefix of this test run (harness.sh start). Each case drives
# the real setup through the robot (the scenario language is described in
# robot/Robot.cpp) and checks on the host what it left on the disk.
#
# Paths in scenarios are Windows paths; 'raw' quotes keep backslashes as
# they are. @KEY is a text of the setup's user interface (tests/ui-texts.txt):
# @NNNN a string of its string table, @menu.prompt and the like a dialog's.
set -u -o pipefail
. "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The payload's members, in the order the setup installs them.
payload_files() {
    tr '|' '\n' <<<"$E2E_PAYLOAD_FILES"
}

payload_file() {
    payload_files | while read -r f; do
        [ "$(basename "$f")" = "$1" ] && echo "$f"
    done | head -n 1
}

# expect_installed HOSTDIR: every member of the payload byte-identical in
# HOSTDIR, and nothing else there.
expect_installed() {
    local dir=$1 f count=0
    while read -r f; do
        e2e_same_file "$dir/$(basename "$f")" "$f" || fail "member $(basename "$f") not installed as packed"
        count=$((count + 1))
    done < <(payload_files)
    [ "$(find "$dir" -mindepth 1 | wc -l)" -eq "$count" ] ||
        fail "$dir holds more than the $count members: $(ls -A "$dir" | tr '\n' ' ')"
    echo "installed in $dir:"
    (cd "$dir" && stat -c '  %n %s bytes' *)
}

# setup_copy CASE [EXE]: a copy of the setup in C:\cases\CASE; prints its
# Windows path. The ReadMe flow proposes the setup's own folder, so each case
# that uses it has a copy of its own.
setup_copy() {
    local dir exe=${2:-$E2E_SETUP}
    dir=$(e2e_case_dir "$1") || fail "cannot create the case folder"
    cp "$exe" "$(e2e_host_path "$dir")/$(basename "$exe")" || fail "cannot copy the setup"
    printf '%s\\%s\n' "$dir" "$(basename "$exe")"
}

default_dest_host() {
    printf '%s/drive_c/Program Files/Quillometer\n' "$WINEPREFIX"
}

program_folder_key='HKCU\Software\Fenwarde\Quillometer\Option'

# Every case starts from a prefix without an earlier installation.
fresh_prefix_state() {
    e2e_kill_strays >/dev/null
    e2e_reg_delete_key "$program_folder_key"
    rm -rf "$(default_dest_host)" "$WINEPREFIX/drive_c/e2e/opened.log"
}

# ---------------------------------------------------------------------------

# The drives that the tests control: no Z: on the host's root; mapped
# drives report the type asked for and go away when unmapped.
case_drives() {
    e2e_map_drive D "$E2E_STATE/drives/fixed" fixed || fail "cannot map D:"
    e2e_map_drive E "$E2E_STATE/drives/removable" removable || fail "cannot map E:"
    e2e_robot <<'EOF' || fail "drive types"
drive-type C: fixed
drive-type D: fixed
drive-type E: removable
drive-type Z: none
EOF
    e2e_unmap_drive D
    e2e_unmap_drive E
    e2e_robot <<'EOF' || fail "drives after unmapping"
drive-type D: none
drive-type E: none
EOF
}

# Every text of the menu, of both modes of the folder dialog, of question
# 2008, of the folder browser and of the search dialog, and the caption of
# each. A tree of empty folders keeps the search busy for seconds, long
# enough to read it before Cancel.
case_texts() {
    local setup tree
    setup=$(setup_copy texts) || exit 1
    tree=$(e2e_host_path 'C:\cases\texts')/tree
    mkdir -p "$tree" && (cd "$tree" && mkdir -p d{0..19}/e{0..19}/f{0..9}) || fail "cannot make the tree"
    e2e_robot "$setup" <<'EOF' || fail "texts"
start
dialog menu
icon
label @menu.prompt
text 1001 @menu.readme
text 1002 @menu.install
text 2 @menu.quit
click 1002
msgbox yesno @2008
owner none
answer no
dialog folder
text 1005 @2007
text 1006 'C:\' + @2003 + '\'
text 1007 @folder.browse
text 1008 @folder.start-menu
text 1009 @folder.desktop
text 1 @folder.ok
text 2 @folder.cancel
checked 1008 yes
checked 1009 yes
click 1007
browser @2002
esc
gone
dialog folder
text 1006 'C:\' + @2003 + '\'
click 2
dialog menu
click 1001
dialog folder
text 1005 @2006
text 1006 'C:\cases\texts\'
visible 1008 no
visible 1009 no
text 1 @folder.ok
text 2 @folder.cancel
click 2
dialog menu
click 1002
msgbox yesno @2008
owner none
answer yes
dialog search
label @search.wait
label @search.looking
text 2 @search.cancel
click 2
dialog menu
close
exit 0
EOF
    # The tree would slow every later search that walks C:.
    rm -rf "$tree"
}

# Esc and the close box both end the program from the menu with exit code 0.
case_menu_exit() {
    e2e_robot <<'EOF' || fail "Esc in the menu"
start
dialog menu
esc
exit 0
EOF
    e2e_robot <<'EOF' || fail "the close box of the menu"
start
dialog menu
close
exit 0
EOF
}

# The ReadMe flow twice: extracted beside the setup, byte for byte, and
# opened through the shell; the second time the folder dialog proposes the
# setup's own folder again and asks before overwriting.
case_readme_twice() {
    local setup dir
    fresh_prefix_state
    setup=$(setup_copy readme_twice) || exit 1
    dir=$(e2e_host_path 'C:\cases\readme_twice')
    e2e_robot "$setup" <<'EOF' || fail "ReadMe flow"
start
dialog menu
click 1001
dialog folder
text 1006 'C:\cases\readme_twice\'
click 1
opened 'C:\cases\readme_twice\ReadMe.txt'
dialog menu
click 1001
dialog folder
text 1006 'C:\cases\readme_twice\'
click 1
msgbox yesno 'C:\cases\readme_twice' + "\n\n" + @2010
owner folder
answer yes
opened 'C:\cases\readme_twice\ReadMe.txt'
dialog menu
esc
exit 0
EOF
    e2e_same_file "$dir/ReadMe.txt" "$(payload_file ReadMe.txt)" || fail "ReadMe.txt"
    [ "$(ls "$dir" | wc -l)" -eq 2 ] || fail "more than the setup and ReadMe.txt in $dir: $(ls "$dir")"
}

# The ReadMe flow of a setup in a Japanese folder, under a name whose last
# character ends in the backslash byte (ソ is 0x83 0x5C): its own folder is
# cut at the real last backslash.
case_readme_dbcs_path() {
    local dir
    fresh_prefix_state
    dir=$(e2e_case_dir readme_dbcs_path) || fail "cannot create the case folder"
    mkdir -p "$(e2e_host_path "$dir")/表示" &&
        cp "$E2E_SETUP" "$(e2e_host_path "$dir")/表示/Setupソ.exe" || fail "cannot copy the setup"
    e2e_robot 'C:\cases\readme_dbcs_path\表示\Setupソ.exe' <<'EOF' || fail "ReadMe flow in a Japanese folder"
start
dialog menu
click 1001
dialog folder
text 1006 'C:\cases\readme_dbcs_path\表示\'
click 1
opened 'C:\cases\readme_dbcs_path\表示\ReadMe.txt'
dialog menu
esc
exit 0
EOF
    e2e_same_file "$(e2e_host_path "$dir")/表示/ReadMe.txt" "$(payload_file ReadMe.txt)" || fail "ReadMe.txt"
}

# Question 2010 on an existing ReadMe.txt: No keeps the dialog and the file,
# Yes overwrites it.
case_readme_overwrite() {
    local setup dir readme
    fresh_prefix_state
    setup=$(setup_copy readme_overwrite) || exit 1
    dir=$(e2e_host_path 'C:\cases\readme_overwrite')
    readme=$(payload_file ReadMe.txt)
    printf 'an older ReadMe\r\n' >"$dir/ReadMe.txt"
    e2e_robot "$setup" <<'EOF' || fail "2010 answered No"
start
dialog menu
click 1001
dialog folder
click 1
msgbox yesno 'C:\cases\readme_overwrite' + "\n\n" + @2010
owner folder
answer no
dialog folder
text 1006 'C:\cases\readme_overwrite\'
click 2
dialog menu
esc
exit 0
EOF
    [ "$(cat "$dir/ReadMe.txt")" = $'an older ReadMe\r' ] || fail "No to 2010 changed ReadMe.txt"
    [ ! -f "$WINEPREFIX/drive_c/e2e/opened.log" ] || fail "No to 2010 opened something: $(cat "$WINEPREFIX/drive_c/e2e/opened.log")"
    e2e_robot "$setup" <<'EOF' || fail "2010 answered Yes"
start
dialog menu
click 1001
dialog folder
click 1
msgbox yesno 'C:\cases\readme_overwrite' + "\n\n" + @2010
owner folder
answer yes
opened 'C:\cases\readme_overwrite\ReadMe.txt'
dialog menu
esc
exit 0
EOF
    e2e_same_file "$dir/ReadMe.txt" "$readme" || fail "Yes to 2010 did not overwrite ReadMe.txt"
}

# ReadMe mode hides the two boxes, moves OK and Cancel up onto the first
# box's row and makes the dialog that much shorter.
case_readme_layout() {
    fresh_prefix_state
    e2e_robot <<'EOF' || fail "ReadMe-mode layout"
start
dialog menu
click 1002
msgbox yesno @2008
owner none
answer no
dialog folder
visible 1008 yes
visible 1009 yes
remember-layout install
click 2
dialog menu
click 1001
dialog folder
closed-up install
click 2
dialog menu
esc
exit 0
EOF
}

# The default destination, question 2009 for it, every member installed,
# 2012 answered No: exit code 0 and nothing started.
case_install_default() {
    fresh_prefix_state
    e2e_robot <<'EOF' || fail "install into the default destination"
start
dialog menu
click 1002
msgbox yesno @2008
owner none
answer no
dialog folder
text 1006 'C:\Program Files\Quillometer\'
click 1
msgbox yesno 'C:\Program Files\Quillometer' + "\n\n" + @2009
owner folder
answer yes
msgbox yesno @2012
owner none
answer no
exit 0
no-process Quillom.exe
EOF
    expect_installed "$(default_dest_host)"
}

# 2012 answered Yes starts the installed Quillom.exe.
case_install_start_app() {
    fresh_prefix_state
    e2e_robot <<'EOF' || fail "2012 answered Yes"
start
dialog menu
click 1002
msgbox yesno @2008
owner none
answer no
dialog folder
click 1
msgbox yesno 'C:\Program Files\Quillometer' + "\n\n" + @2009
owner folder
answer yes
msgbox yesno @2012
owner none
answer yes
exit 0
app-window "Quillometer" 'C:\Program Files\Quillometer\Quillom.exe'
EOF
    expect_installed "$(default_dest_host)"
}

# Libraries planted beside the setup, as a web page can leave them in a
# downloads folder, with Wine told to look beside the program first for
# them, as Windows does for every library that is not one of its "known"
# ones: an install with Browse, both shortcuts and the start of the program
# loads none of them. The names are those that WINEDEBUG=+loaddll shows
# loaded after WinMain has begun:
# - comctl32.dll, which the setup loads for the progress bar;
# - uxtheme.dll, which user32 loads with the first window (the library
#   planted in Inno Setup's case of 2015).
# Not planted, since Wine takes them from beside the program whatever the
# program does, where Windows takes them from its system folder:
# - the setup's own imports, known libraries on Windows (Wine has no known
#   libraries: a planted kernel32.dll is loaded before WinMain);
# - version.dll and imm32.dll, which Wine's own system libraries load
#   before WinMain;
# - msimg32.dll, a delayed import of Wine's uxtheme, which Wine resolves
#   with the program's folder first even after SetDefaultDllDirectories;
# - winex11.drv, Wine's display driver.
planted_libraries=(comctl32 uxtheme)

case_planted_libraries() {
    local dir host name markers link found
    fresh_prefix_state
    dir=$(e2e_case_dir planted_libraries) || fail "cannot create the case folder"
    host=$(e2e_host_path "$dir")
    mkdir -p "$host/dest" && cp "$E2E_SETUP" "$host/" || fail "cannot copy the setup"
    # The probe leaves its marker whenever it is loaded.
    cp "$E2E_LOAD_PROBE" "$host/control.dll" && e2e_wine rundll32 "$dir\\control.dll,Probe" ||
        fail "rundll32 cannot run the probe"
    [ -e "$host/control.dll.loaded" ] || fail "the probe left no marker when rundll32 loaded it"
    rm -f "$host/control.dll" "$host/control.dll.loaded"
    for name in "${planted_libraries[@]}"; do
        cp "$E2E_LOAD_PROBE" "$host/$name.dll" || fail "cannot plant $name.dll"
    done
    (
        export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;$(IFS=,; echo "${planted_libraries[*]}")=n,b"
        { scenario_to_folder_dialog; cat <<'EOF'; } | e2e_robot 'C:\cases\planted_libraries\QuillometerSetup.exe'
click 1007
browser @2002
browse-select 'C:\cases\planted_libraries\dest'
gone
dialog folder
text 1006 'C:\cases\planted_libraries\dest\'
checked 1008 yes
checked 1009 yes
click 1
msgbox yesno @2012
answer yes
exit 0
app-window "Quillometer" 'C:\cases\planted_libraries\dest\Quillom.exe'
EOF
    ) || fail "an install beside planted libraries"
    markers=$(cd "$host" && ls -- *.loaded 2>/dev/null)
    [ -z "$markers" ] || fail "loaded from the setup's folder: ${markers//$'\n'/ }"
    expect_installed "$host/dest"
    for link in "$(e2e_text 2004).lnk" "$(e2e_text 2005).lnk"; do
        found=$(find -L "$WINEPREFIX/drive_c/users" -name "$link" -newer "$host/QuillometerSetup.exe" | head -n 1)
        [ -n "$found" ] || fail "the install made no $link"
        rm -f "$found"
    done
    echo "planted ${planted_libraries[*]}: none loaded"
}

# A typed relative path resolves against the setup's current directory.
case_install_relative() {
    local work
    fresh_prefix_state
    work=$(e2e_case_dir install_relative) || fail "cannot create the case folder"
    mkdir -p "$(e2e_host_path "$work")/work" || fail "cannot create the work folder"
    e2e_robot <<'EOF' || fail "install into a relative path"
start 'C:\cases\install_relative\work'
dialog menu
click 1002
msgbox yesno @2008
owner none
answer no
dialog folder
type 1006 'sub\dest'
click 1
msgbox yesno 'C:\cases\install_relative\work\sub\dest' + "\n\n" + @2009
owner folder
answer yes
msgbox yesno @2012
owner none
answer no
exit 0
EOF
    expect_installed "$(e2e_host_path "$work")/work/sub/dest"
    [ ! -e "$(default_dest_host)" ] || fail "the default destination was created too"
}

# A Japanese path whose characters end in the byte of a backslash (表 is
# 0x95 0x5C and ソ 0x83 0x5C in code page 932): typed, shown in question
# 2009 and installed into as one folder name each, never cut there.
case_install_dbcs_path() {
    local dir
    fresh_prefix_state
    dir=$(e2e_case_dir install_dbcs_path) || fail "cannot create the case folder"
    e2e_robot <<'EOF' || fail "install into a Japanese path"
start
dialog menu
click 1002
msgbox yesno @2008
owner none
answer no
dialog folder
type 1006 'C:\cases\install_dbcs_path\表示\ソ'
click 1
msgbox yesno 'C:\cases\install_dbcs_path\表示\ソ' + "\n\n" + @2009
owner folder
answer yes
msgbox yesno @2012
owner none
answer no
exit 0
EOF
    expect_installed "$(e2e_host_path "$dir")/表示/ソ"
}

# Existing folders whose names end in the byte of a backslash (ソ is 0x83
# 0x5C, 表 0x95 0x5C) are taken as the folders they are: one typed in the
# folder dialog, one recorded as ProgramFolder and answered Yes at 2011, and
# the folder of a setup that shows its ReadMe there.
case_existing_dbcs_folders() {
    local dir host
    fresh_prefix_state
    dir=$(e2e_case_dir existing_dbcs_folders) || fail "cannot create the case folder"
    host=$(e2e_host_path "$dir")
    mkdir -p "$host/入力ソ" "$host/記録表" "$host/配布ソ" &&
        cp "$E2E_SETUP" "$host/配布ソ/QuillometerSetup.exe" || fail "cannot make the folders"
    { scenario_to_folder_dialog; cat <<'EOF'; } | e2e_robot || fail "an existing folder typed"
type 1006 'C:\cases\existing_dbcs_folders\入力ソ'
click 1
msgbox yesno @2012
answer no
exit 0
EOF
    expect_installed "$host/入力ソ"

    e2e_reg_import "[HKEY_CURRENT_USER\\Software\\Fenwarde\\Quillometer\\Option]
\"ProgramFolder\"=\"$(e2e_reg_escape 'C:\cases\existing_dbcs_folders\記録表\')\"" ||
        fail "cannot set ProgramFolder"
    e2e_robot <<'EOF' || fail "an existing folder recorded as ProgramFolder"
start
dialog menu
click 1002
msgbox yesno 'C:\cases\existing_dbcs_folders\記録表' + "\n\n" + @2011
answer yes
msgbox yesno @2012
answer no
exit 0
EOF
    e2e_reg_delete_key "$program_folder_key"
    expect_installed "$host/記録表"

    e2e_robot 'C:\cases\existing_dbcs_folders\配布ソ\QuillometerSetup.exe' <<'EOF' ||
start
dialog menu
click 1001
dialog folder
text 1006 'C:\cases\existing_dbcs_folders\配布ソ\'
click 1
opened 'C:\cases\existing_dbcs_folders\配布ソ\ReadMe.txt'
dialog menu
esc
exit 0
EOF
        fail "the ReadMe of a setup in such a folder"
    e2e_same_file "$host/配布ソ/ReadMe.txt" "$(payload_file ReadMe.txt)" || fail "ReadMe.txt"
}

# What the folder dialog refuses or asks before it accepts a path: a missing
# folder (2009, shown without its trailing backslash; No keeps the dialog), a
# file in the way (2017), a folder whose path leaves no room for
# "\Quillom.exe" within 260 bytes (2017), and one byte less, accepted.
case_folder_checks() {
    local dir host fits too_long i
    fresh_prefix_state
    dir=$(e2e_case_dir folder_checks) || fail "cannot create the case folder"
    host=$(e2e_host_path "$dir")
    printf 'x' >"$host/a-file"
    # C:\cases\folder_checks (22 bytes) and 9 folders of 25 bytes: 247
    # bytes; with "\Quillom.exe" 259 and the terminator 260, just enough.
    fits=$dir
    for i in 1 2 3 4 5 6 7 8 9; do fits+='\'"long-folder-name-$i-xxxxx"; done
    too_long=${fits}x
    [ ${#fits} -eq 247 ] || fail "the long path has ${#fits} bytes, not 247"
    mkdir -p "$(e2e_host_path "$fits")" "$(e2e_host_path "$too_long")" || fail "cannot create the long folders"
    e2e_robot <<EOF || fail "folder checks"
start
dialog menu
click 1002
msgbox yesno @2008
owner none
answer no
dialog folder
type 1006 'C:\cases\folder_checks\missing\'
click 1
msgbox yesno 'C:\cases\folder_checks\missing' + "\n\n" + @2009
owner folder
answer no
dialog folder
text 1006 'C:\cases\folder_checks\missing\'
type 1006 'C:\cases\folder_checks\a-file'
click 1
msgbox ok @2017
owner folder
answer ok
dialog folder
type 1006 '$too_long'
click 1
msgbox ok @2017
owner folder
answer ok
dialog folder
type 1006 '$fits'
click 1
msgbox yesno @2012
owner none
answer no
exit 0
EOF
    [ ! -e "$host/missing" ] || fail "No to 2009 created the folder"
    [ -z "$(ls -A "$(e2e_host_path "$too_long")")" ] || fail "files appeared in the refused folder"
    expect_installed "$(e2e_host_path "$fits")"
}

# Browse fills the edit box with the folder chosen in the shell's browser:
# a drive root as it is, a nested folder with a backslash added; Cancel of
# the browser keeps what the box shows, and OK of the folder dialog installs
# into the chosen folder, which exists, so without question 2009.
case_browse() {
    local dir
    fresh_prefix_state
    dir=$(e2e_case_dir browse) || fail "cannot create the case folder"
    mkdir -p "$(e2e_host_path "$dir")/Tools" || fail "cannot create the Tools folder"
    e2e_robot <<'EOF' || fail "Browse"
start
dialog menu
click 1002
msgbox yesno @2008
owner none
answer no
dialog folder
text 1006 'C:\Program Files\Quillometer\'
click 1007
browser @2002
browse-select 'C:\'
gone
dialog folder
text 1006 'C:\'
click 1007
browser @2002
browse-select 'C:\cases\browse\Tools'
gone
dialog folder
text 1006 'C:\cases\browse\Tools\'
click 1007
browser @2002
click 2
gone
dialog folder
text 1006 'C:\cases\browse\Tools\'
click 1
msgbox yesno @2012
owner none
answer no
exit 0
EOF
    expect_installed "$(e2e_host_path "$dir")/Tools"
    [ ! -e "$(default_dest_host)" ] || fail "the default destination was created too"
    # A copy of Quillom.exe left on C: would be an earlier installation to
    # the search of later cases.
    rm -rf "$(e2e_host_path "$dir")"
}

# ProgramFolder names an earlier installation: 2011 shows it without the
# trailing backslash; Yes installs there with no folder dialog.
case_registry_yes() {
    local dest='C:\cases\registry_yes\Apps\Quillometer\'
    fresh_prefix_state
    e2e_case_dir registry_yes >/dev/null && mkdir -p "$(e2e_host_path "$dest")" ||
        fail "cannot create the installation folder"
    e2e_reg_set "$program_folder_key" ProgramFolder "$dest" || fail "cannot set ProgramFolder"
    [ "$(e2e_reg_get "$program_folder_key" ProgramFolder)" = "$dest" ] || fail "ProgramFolder reads back as $(e2e_reg_get "$program_folder_key" ProgramFolder)"
    e2e_robot <<'EOF' || fail "2011 answered Yes"
start
dialog menu
click 1002
msgbox yesno 'C:\cases\registry_yes\Apps\Quillometer' + "\n\n" + @2011
owner none
answer yes
msgbox yesno @2012
owner none
answer no
exit 0
EOF
    e2e_reg_delete_key "$program_folder_key"
    expect_installed "$(e2e_host_path "$dest")"
}

# 2011 answered No: the folder dialog, prefilled with the value and both
# boxes ticked. The value may hold blanks.
case_registry_no() {
    local dest='C:\cases\registry no\Quillometer\'
    fresh_prefix_state
    e2e_case_dir 'registry no' >/dev/null && mkdir -p "$(e2e_host_path "$dest")" ||
        fail "cannot create the installation folder"
    e2e_reg_set "$program_folder_key" ProgramFolder "$dest" || fail "cannot set ProgramFolder"
    e2e_robot <<'EOF' || fail "2011 answered No"
start
dialog menu
click 1002
msgbox yesno 'C:\cases\registry no\Quillometer' + "\n\n" + @2011
owner none
answer no
dialog folder
text 1005 @2007
text 1006 'C:\cases\registry no\Quillometer\'
checked 1008 yes
checked 1009 yes
click 2
dialog menu
esc
exit 0
EOF
    e2e_reg_delete_key "$program_folder_key"
}

# A value written without its closing backslash still names the folder: Yes
# installs there, and the program started afterwards is the folder's own
# Quillom.exe (never "...QuillometerQuillom.exe"). A value too long to take
# that name within 259 bytes counts as missing.
case_registry_bare() {
    local dest='C:\cases\registry_bare\Quillometer' value='C:\cases\' i
    fresh_prefix_state
    e2e_case_dir registry_bare >/dev/null && mkdir -p "$(e2e_host_path "$dest")" ||
        fail "cannot create the installation folder"
    e2e_reg_set "$program_folder_key" ProgramFolder "$dest" || fail "cannot set ProgramFolder"
    e2e_robot <<'EOF' || fail "a ProgramFolder without its closing backslash"
start
dialog menu
click 1002
msgbox yesno 'C:\cases\registry_bare\Quillometer' + "\n\n" + @2011
answer yes
msgbox yesno @2012
answer yes
exit 0
app-window "Quillometer" 'C:\cases\registry_bare\Quillometer\Quillom.exe'
EOF
    expect_installed "$(e2e_host_path "$dest")"
    for i in $(seq 1 24); do value+='folder'$((i % 10))'xx\'; done
    value=${value:0:248}'\'
    [ ${#value} -eq 249 ] || fail "the long value is ${#value} bytes"
    e2e_reg_set "$program_folder_key" ProgramFolder "$value" || fail "cannot set ProgramFolder"
    { scenario_to_folder_dialog; cat <<'EOF'; } | e2e_robot || fail "a ProgramFolder that cannot take Quillom.exe"
text 1006 'C:\' + @2003 + '\'
click 2
dialog menu
esc
exit 0
EOF
    e2e_reg_delete_key "$program_folder_key"
}

# A value longer than 259 bytes counts as missing: question 2008 and the
# default destination.
case_registry_too_long() {
    local value='C:\' i
    fresh_prefix_state
    for i in $(seq 1 30); do value+='folder'$((i % 10))'xx\'; done
    [ ${#value} -gt 259 ] || fail "the value is only ${#value} bytes"
    e2e_reg_set "$program_folder_key" ProgramFolder "$value" || fail "cannot set ProgramFolder"
    e2e_robot <<'EOF' || fail "a ProgramFolder of more than 259 bytes"
start
dialog menu
click 1002
msgbox yesno @2008
owner none
answer no
dialog folder
text 1006 'C:\' + @2003 + '\'
click 2
dialog menu
esc
exit 0
EOF
    e2e_reg_delete_key "$program_folder_key"
}

# missing_program_folder VALUE [TYPE]: with ProgramFolder set to VALUE, the
# install flow asks 2008 as if nothing were recorded, and the folder dialog
# proposes the default destination.
missing_program_folder() {
    e2e_reg_set "$program_folder_key" ProgramFolder "$1" "${2:-REG_SZ}" || fail "cannot set ProgramFolder"
    { scenario_to_folder_dialog; scenario_quit_at_default; } | e2e_robot ||
        fail "ProgramFolder '$1' (${2:-REG_SZ}) was taken for an installation"
}

# ProgramFolder counts only as a string (REG_SZ) holding an absolute path of
# an existing folder: a relative value, one relative to the current folder
# of drive C:, an absolute one stored as REG_EXPAND_SZ, one naming a folder
# that does not exist and one naming a file count as missing.
case_registry_no_installation() {
    local dir
    fresh_prefix_state
    dir=$(e2e_case_dir registry_no_installation) || fail "cannot create the case folder"
    printf 'x' >"$(e2e_host_path "$dir")/a-file"
    missing_program_folder 'Quillometer\'
    missing_program_folder 'C:Quillometer\'
    missing_program_folder "$dir\\" REG_EXPAND_SZ
    missing_program_folder 'C:\NoSuch\Quillometer\'
    missing_program_folder "$dir\\a-file\\"
    e2e_reg_delete_key "$program_folder_key"
}

# Cancel while the multi-megabyte Large.dat extracts: the dialog answers at
# once, the member before it stays complete, nothing of Large.dat or the
# members after it is left, message 2016, then the menu. Meanwhile the bar
# and the name line move. Every step is a round trip to the wineserver, so
# on a loaded machine the bar may take longer than the usual 30 s to reach
# Large.dat: the waits here allow 90.
case_cancel_large() {
    local setup dest
    fresh_prefix_state
    setup=$(setup_copy cancel_large "$E2E_SETUP_LARGE") || exit 1
    dest=$(e2e_host_path 'C:\cases\cancel_large\dest')
    e2e_robot "$setup" <<'EOF' || fail "Cancel during Large.dat"
timeout 90
start
dialog menu
click 1002
msgbox yesno @2008
owner none
answer no
dialog folder
type 1006 'C:\cases\cancel_large\dest'
click 1
msgbox yesno 'C:\cases\cancel_large\dest' + "\n\n" + @2009
owner folder
answer yes
dialog progress
label @progress.label
text 2 @progress.cancel
progress-runs "Large.dat"
cancel-within 500
msgbox ok @2016
owner none
answer ok
dialog menu
esc
exit 0
EOF
    e2e_same_file "$dest/Quillom.exe" "$(payload_file Quillom.exe)" || fail "Quillom.exe"
    [ ! -e "$dest/Large.dat" ] || fail "a partial Large.dat ($(stat -c %s "$dest/Large.dat") bytes) was left"
    [ ! -e "$dest/ReadMe.txt" ] || fail "ReadMe.txt was written after the cancel"
}

# engine_error_run CASE ERROR-STRING SETUP TYPED-PATH ASKS-2009: installs
# into TYPED-PATH and expects the engine's failure as message ERROR-STRING,
# then the menu.
engine_error_run() {
    local name=$1 message=$2 setup=$3 typed=$4 asks=$5 question=''
    [ "$asks" = yes ] && question="msgbox yesno '${typed%\\}' + \"\\n\\n\" + @2009
owner folder
answer yes"
    e2e_robot "$setup" <<EOF || fail "$name: expected message $message"
start
dialog menu
click 1002
msgbox yesno @2008
owner none
answer no
dialog folder
type 1006 '$typed'
click 1
$question
msgbox ok @$message
owner none
answer ok
dialog menu
esc
exit 0
EOF
}

# Failures of the engine shown as their messages: the folder cannot be made
# (2013), a file cannot be created (2014), a write fails (2015), a damaged
# payload (2016).
case_engine_errors() {
    local dir host setup damaged offset header
    fresh_prefix_state
    dir=$(e2e_case_dir engine_errors) || fail "cannot create the case folder"
    host=$(e2e_host_path "$dir")

    # A file where the destination's parent folder would be.
    printf 'x' >"$host/blocker"
    engine_error_run "folder under a file" 2013 'C:\e2e\QuillometerSetup.exe' \
        'C:\cases\engine_errors\blocker\dest' yes
    [ "$(cat "$host/blocker")" = x ] || fail "the blocking file changed"

    # A folder named Quillom.exe where the first member goes.
    mkdir -p "$host/dir-in-the-way/Quillom.exe"
    engine_error_run "folder named Quillom.exe" 2014 'C:\e2e\QuillometerSetup.exe' \
        'C:\cases\engine_errors\dir-in-the-way' no

    # A write that fails: the setup may write no file larger than 4 KiB, and
    # Quillom.exe is larger.
    mkdir -p "$host/size-limit"
    e2e_file_size_limit 4 engine_error_run "a write that fails" 2015 'C:\e2e\QuillometerSetup.exe' \
        'C:\cases\engine_errors\size-limit' no || exit 1
    [ -z "$(ls -A "$host/size-limit")" ] || fail "the failed write left $(ls -A "$host/size-limit")"

    # A copy of the setup with one byte of the first member's data changed.
    # A level-2 header begins with its own size.
    setup=$(setup_copy engine_errors_damaged) || exit 1
    damaged=$(e2e_host_path "$setup")
    offset=$(payload_offset "$damaged") || exit 1
    header=$(od -An -tu2 -j0 -N2 "$E2E_PAYLOAD_LZH" | tr -d ' ')
    flip_byte "$damaged" $((offset + header + 40))
    engine_error_run "a damaged payload" 2016 "$setup" 'C:\cases\engine_errors\damaged-dest' yes
    [ ! -e "$host/damaged-dest/Quillom.exe" ] || fail "the damaged Quillom.exe was left"
}

# payload_offset SETUP-HOST-PATH: where the payload archive starts in a copy
# of the setup; the archive is found by its bytes.
payload_offset() {
    local payload=$E2E_PAYLOAD_LZH offset
    offset=$(LC_ALL=C grep -obUaF -f <(head -c 24 "$payload") "$1" | head -n 1 | cut -d: -f1)
    [ -n "$offset" ] || fail "the payload's first bytes are not in $1"
    cmp -s <(tail -c +$((offset + 1)) "$1" | head -c "$(stat -c %s "$payload")") "$payload" ||
        fail "the payload is not stored verbatim at offset $offset of the setup"
    echo "$offset"
}

# links_since FILE: the shortcuts made after FILE was.
links_since() {
    find -L "$WINEPREFIX/drive_c/users" -name '*.lnk' -newer "$1"
}

# destination_row NAME SETUP TYPED OUTCOME FOLDER: the install flow of SETUP
# with TYPED typed into the folder dialog, which resolves it to FOLDER, and
# what must follow:
#   installed  question 2009 for FOLDER; every member there; 2012
#   refused    2017 at once, and the dialog stays
#   NNNN       question 2009 for FOLDER; the engine's message NNNN, then the
#              menu; no shortcut
# Nothing but FOLDER, where it is installed into, may appear in the deepest
# of its folders that exists before.
destination_row() {
    local name=$1 setup=$2 typed=$3 outcome=$4 folder=$5 watch keep before
    watch=$(e2e_host_path "$folder")
    while [ ! -d "$watch" ]; do watch=${watch%/*}; done
    keep=$(e2e_host_path "$folder")
    [ "$outcome" = refused ] && keep=
    listing() { find "$watch" ${keep:+-path "$keep" -prune -o} -print | sort; }
    before=$(listing)
    touch "$E2E_STATE/row.start"
    {
        scenario_to_folder_dialog
        printf '%s\n' "type 1006 '$typed'" 'click 1'
        if [ "$outcome" = refused ]; then
            printf '%s\n' 'msgbox ok @2017' 'owner folder' 'answer ok' 'dialog folder' 'click 2'
        else
            printf '%s\n' "msgbox yesno '$folder' + \"\\n\\n\" + @2009" 'owner folder' 'answer yes'
        fi
        case $outcome in
        installed) printf '%s\n' 'msgbox yesno @2012' 'owner none' 'answer no' 'exit 0' ;;
        refused) printf '%s\n' 'dialog menu' esc 'exit 0' ;;
        *) printf '%s\n' "msgbox ok @$outcome" 'owner none' 'answer ok' 'dialog menu' esc 'exit 0' ;;
        esac
    } | e2e_robot "$setup" || fail "$name: expected $outcome"
    if [ "$outcome" = installed ]; then
        expect_installed "$keep"
    elif [ -n "$(links_since "$E2E_STATE/row.start")" ]; then
        fail "$name: shortcuts were made: $(links_since "$E2E_STATE/row.start")"
    fi
    [ "$(listing)" = "$before" ] ||
        fail "$name: left in $watch: $(find "$watch" -newer "$E2E_STATE/row.start" | tr '\n' ' ')"
}

# Typed and pasted destinations and incomplete payloads, as one table. A
# path pasted with Explorer's quotes, and spaces around them, installs; a
# device name is refused before any question; a folder that cannot be made
# on a full disk (D:, a file system with room for one more entry) leaves
# none of the parents made for it; a payload whose first header is damaged,
# so that the archive is found at ReadMe.txt, and one that ends after
# Quillom.exe fail with 2016, without shortcuts or question 2012.
case_destinations() {
    local host damaged early offset size full=$E2E_STATE/drives/full
    fresh_prefix_state
    host=$(e2e_host_path "$(e2e_case_dir destinations)") || fail "cannot create the case folder"
    damaged=$(setup_copy destinations_damaged) && early=$(setup_copy destinations_early) || exit 1
    offset=$(payload_offset "$(e2e_host_path "$damaged")") || exit 1
    flip_byte "$(e2e_host_path "$damaged")" $((offset + 15)) # its time stamp, under the header CRC
    size=$(($(od -An -tu2 -j0 -N2 "$E2E_PAYLOAD_LZH") + $(od -An -tu4 -j7 -N4 "$E2E_PAYLOAD_LZH")))
    printf '\0' | dd of="$(e2e_host_path "$early")" bs=1 seek=$((offset + size)) conv=notrunc status=none
    # name       setup        typed                                        outcome    folder
    destination_row quoted 'C:\e2e\QuillometerSetup.exe' ' "C:\cases\destinations\Quill" ' \
        installed 'C:\cases\destinations\Quill'
    destination_row device 'C:\e2e\QuillometerSetup.exe' 'C:\cases\destinations\aux.txt\x' \
        refused 'C:\cases\destinations\aux.txt\x'
    destination_row damaged "$damaged" 'C:\cases\destinations\damaged' 2016 'C:\cases\destinations\damaged'
    destination_row early_end "$early" 'C:\cases\destinations\early' 2016 'C:\cases\destinations\early'
    [ "$(ls "$host/damaged")" = ReadMe.txt ] && [ "$(ls "$host/early")" = Quillom.exe ] ||
        fail "the incomplete payloads wrote $(ls "$host/damaged") and $(ls "$host/early")"
    # A tmpfs counts its root among its entries.
    mkdir -p "$full" && { mountpoint -q "$full" || mount -t tmpfs -o size=64k,nr_inodes=2 qm-full "$full"; } ||
        fail "cannot mount a small file system on $full (the case needs root)"
    trap "e2e_unmap_drive D; umount '$full'" EXIT
    e2e_map_drive D "$full" fixed || fail "cannot map D:"
    destination_row full_disk 'C:\e2e\QuillometerSetup.exe' 'D:\made\x' 2013 'D:\made\x'
}

# A setup in a folder whose name code page 932 lacks finds itself through
# its short (8.3) path: the ReadMe flow proposes that folder and opens the
# ReadMe there, and the install installs.
case_foreign_setup_folder() {
    local host
    fresh_prefix_state
    host=$(e2e_host_path "$(e2e_case_dir foreign_setup_folder)") || fail "cannot create the case folder"
    mkdir -p "$host/한국" && cp "$E2E_SETUP" "$host/한국/S.exe" || fail "cannot copy the setup"
    e2e_robot 'C:\cases\foreign_setup_folder\한국\S.exe' <<'EOF' || fail "a setup in a Korean folder"
start
dialog menu
click 1001
dialog folder
text 1006 short 'C:\cases\foreign_setup_folder\한국' + '\'
click 1
opened short 'C:\cases\foreign_setup_folder\한국' + '\ReadMe.txt'
dialog menu
click 1002
msgbox yesno @2008
answer no
dialog folder
type 1006 'C:\cases\foreign_setup_folder\dest'
click 1
msgbox yesno 'C:\cases\foreign_setup_folder\dest' + "\n\n" + @2009
answer yes
msgbox yesno @2012
answer no
exit 0
EOF
    e2e_same_file "$host/한국/ReadMe.txt" "$(payload_file ReadMe.txt)" || fail "ReadMe.txt"
    expect_installed "$host/dest"
}

# flip_byte FILE OFFSET: inverts the bits of one byte.
flip_byte() {
    local old
    old=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
    printf "$(printf '\\%03o' $((old ^ 0xFF)))" |
        dd of="$1" bs=1 seek="$2" count=1 conv=notrunc status=none
}

[ $# -eq 1 ] || e2e_die "usage: cases.sh CASE"
declare -F "case_$1" >/dev/null || e2e_die "no case $1"
e2e_load
started=$(date +%s%N)
"case_$1"
echo "e2e.$1 passed in $((($(date +%s%N) - started) / 1000000)) ms"
