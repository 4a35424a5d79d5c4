#!/usr/bin/env bash
# The search for an earlier installation, end to end: search_cases.sh NAME
# runs search_case_NAME in the display and prefix of this test run
# (harness.sh start). The robot drives the install flow with question 2008
# answered Yes; search_watch.exe watches the search dialog from outside where
# a scenario cannot (its moving line, timings, a Cancel at a chosen moment).
#
# Drives. The search walks every fixed drive in letter order and stops at the
# first match, so the cases give it two drives of their own that come before
# C:: A:, removable, and B:, fixed, each a link to a folder of E2E_STATE. B:
# is pointed at a fresh folder for each case (the drive's type stays with the
# letter). A match on B: ends the search before C: is walked; a case that
# expects no match walks C: too, which is therefore kept free of copies of
# Quillom.exe that other cases installed there. No drive maps the host's
# root (harness.sh removes Z:), or the search would walk the whole host.
#
# Wine reads a drive's type from HKLM\Software\Wine\Drives ("hd", "floppy")
# and keeps it for the life of the wineserver (see ensure_search_letters).
#
# Dates. The setup compares the local date of each copy's last write, as
# the Microsoft runtime's localtime gives it. Both sides here work in
# TZ=JST-9 (Japan, nine hours east of UTC, no daylight saving time), a rule
# that glibc and the runtime read alike; Wine hands TZ on to the setup. So a
# write at 00:00 local time on the release date lies on the day before in
# UTC, and a case can tell a local date from a UTC one.
#
# The tree of the timing cases: E2E_SEARCH_TREE_FILES files (default
# 100000, a multiple of 1000) in a tenth as many folders, no copy of
# Quillom.exe among them; made in 3 to 7 s the first time, walked in 17 to
# 30 s.
set -u -o pipefail
. "$(dirname "${BASH_SOURCE[0]}")/harness.sh"

export TZ=JST-9

# The six known releases: size in bytes and local date of the last write.
release_size=(- 1015808 1015808 1085440 1085440 1228800 1302528)
release_date=(- 1999-11-01 2000-01-29 2000-02-17 2000-03-03 2000-04-13 2000-06-13)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# ---------------------------------------------------------------------------
# Drives and trees

search_root() { printf '%s/drives/search\n' "$E2E_STATE"; }

# The search's drive letters: A: removable and B: fixed. Wine's mount
# manager takes in the drive links of dosdevices/, with their types from
# HKLM\Software\Wine\Drives, when the wineserver starts; a link made later
# is taken in only now and then, neither when it is made nor when its value
# is set. So the first case that needs the letters makes them and restarts
# the run's wineserver, once. Pointing a known letter at another folder
# takes effect at once.
ensure_search_letters() {
    local drives root
    drives=$(search_watch drives | tr -d '\r')
    [[ " $drives " == *" A:2 "* && " $drives " == *" B:3 "* ]] && return 0
    root=$(search_root)
    mkdir -p "$root/none-a" "$root/none-b" || fail "cannot create $root"
    e2e_reg_set 'HKLM\Software\Wine\Drives' a: floppy && e2e_reg_set 'HKLM\Software\Wine\Drives' b: hd ||
        fail "cannot set the drive types"
    ln -sfn "$root/none-a" "$WINEPREFIX/dosdevices/a:" && ln -sfn "$root/none-b" "$WINEPREFIX/dosdevices/b:" ||
        fail "cannot link A: and B:"
    timeout 60 wineserver -k
    timeout 60 wineserver -w
    env -u TZ wineserver -p </dev/null >/dev/null 2>&1
    echo "restarted the wineserver to take in A: and B: (it had $drives)"
}

# fresh_drives CASE: A: and B: on empty folders of their own (host folders
# in $a and $b); C: without any file named Quillom.exe; no install recorded
# in the registry; dot files hidden, as Wine has them by default.
fresh_drives() {
    local root
    ensure_search_letters
    root=$(search_root)
    a=$root/$1-a
    b=$root/$1-b
    rm -rf "$a" "$b"
    mkdir -p "$a" "$b" || fail "cannot create the folders of A: and B:"
    ln -sfn "$a" "$WINEPREFIX/dosdevices/a:" && ln -sfn "$b" "$WINEPREFIX/dosdevices/b:" ||
        fail "cannot point A: and B: at $a and $b"
    find "$WINEPREFIX/drive_c" "$HOME" -iname quillom.exe ! -type d -delete 2>/dev/null
    e2e_reg_delete_key 'HKCU\Software\Fenwarde\Quillometer\Option'
    show_dot_files no
}

# The drives as the setup sees them: A: removable, B: and C: fixed, and no
# other fixed drive that the search would walk (a case of another family that
# failed could leave one mapped).
expect_search_drives() {
    local drives
    drives=$(search_watch drives | tr -d '\r') || fail "cannot list the drives"
    echo "drives (letter:type): $drives"
    [[ " $drives " == *" A:2 "* ]] || fail "A: is not a removable drive: $drives"
    [ "$(tr ' ' '\n' <<<"$drives" | grep ':3$' | tr '\n' ' ')" = "B:3 C:3 " ] ||
        fail "the fixed drives are not exactly B: and C:: $drives"
}

# put_copy DIR NAME SIZE 'YYYY-MM-DD HH:MM:SS': a file NAME of SIZE bytes in
# DIR, last written at that local time.
put_copy() {
    mkdir -p "$1" && truncate -s "$3" "$1/$2" && touch -m -d "$4" "$1/$2" ||
        fail "cannot make $1/$2"
}

# put_release DIR ROW [TIME [NAME]]: a copy of known release ROW (1 to 6).
put_release() {
    put_copy "$1" "${4:-Quillom.exe}" "${release_size[$2]}" "${release_date[$2]} ${3:-12:00:00}"
}

# show_dot_files yes|no: Wine hides every name that starts with a dot
# unless told otherwise; programs read the setting when they start.
show_dot_files() {
    if [ "$1" = yes ]; then
        e2e_reg_set 'HKCU\Software\Wine' ShowDotFiles Y
    else
        e2e_wine reg delete 'HKCU\Software\Wine' /v ShowDotFiles /f >/dev/null 2>&1 || true
    fi
}

# make_tree DIR FILES: FILES/10 folders in two levels, ten empty files in
# each; no copy of Quillom.exe.
make_tree() {
    local dir=$1 tops=$(($2 / 1000))
    [ "$tops" -ge 1 ] || fail "a tree needs at least 1000 files"
    mkdir -p "$dir" || fail "cannot create $dir"
    (
        cd "$dir" &&
            awk -v tops="$tops" 'BEGIN { for (t = 0; t < tops; t++) for (e = 0; e < 100; e++)
                printf "d%03d/e%02d\n", t, e }' | xargs mkdir -p &&
            awk -v tops="$tops" 'BEGIN { for (t = 0; t < tops; t++) for (e = 0; e < 100; e++)
                for (f = 0; f < 10; f++) printf "d%03d/e%02d/f%d.dat\n", t, e, f }' | xargs touch
    ) || fail "cannot make the tree in $dir"
}

# busy_drives CASE: like fresh_drives, but B: holds the tree of the timing
# cases in B:\tree and nothing else. The tree is made once and kept with the
# run's state, in a folder of its own that every timing case points B: at;
# it is a real folder, since the search does not follow directory links.
busy_drives() {
    local files=${E2E_SEARCH_TREE_FILES:-100000} started
    fresh_drives "$1"
    b=$(search_root)/busy-$files
    if ! [ -f "$b.done" ]; then
        started=$(date +%s%N)
        rm -rf "$b"
        make_tree "$b/tree" "$files"
        touch "$b.done"
        echo "made $files files in $((files / 10)) folders in $((($(date +%s%N) - started) / 1000000)) ms"
    fi
    find "$b" -mindepth 1 -maxdepth 1 ! -name tree -exec rm -rf {} + || fail "cannot empty $b"
    ln -sfn "$b" "$WINEPREFIX/dosdevices/b:" || fail "cannot point B: at $b"
}

# ---------------------------------------------------------------------------
# The helper programs

# search_watch ARGS...: the watcher, copied into the prefix when it changed
# (never over a copy that runs).
search_watch() {
    local copy=$WINEPREFIX/drive_c/e2e/search_watch.exe
    cmp -s "$E2E_SEARCH_WATCH" "$copy" || cp "$E2E_SEARCH_WATCH" "$copy" || fail "cannot copy search_watch"
    e2e_wine 'C:\e2e\search_watch.exe' "$@"
}

# set_attributes CMD...: attrib commands run by one cmd, e.g.
# 'attrib +h B:\hid' (Wine keeps the attributes in the extended attribute
# user.DOSATTRIB of the host's file).
set_attributes() {
    local commands
    commands=$(printf ' & %s' "$@")
    e2e_wine cmd /c "${commands:3}" >/dev/null 2>&1 || fail "attrib failed: ${commands:3}"
}

# expect_attributes PATH HEX: the attributes that Windows programs read.
expect_attributes() {
    local seen
    seen=$(search_watch attrib "$1" | tr -d '\r')
    [ "$seen" = "$1: $2" ] || fail "attributes of $1: expected $2, seen ${seen#*: }"
}

# ---------------------------------------------------------------------------
# Scenarios

# scenario_found SHOWN FOLDER [DIALOG]: the search proposes FOLDER through
# question 2011, which shows SHOWN; No opens the folder dialog with FOLDER and
# both boxes ticked. DIALOG "unseen": the search ends before its dialog shows.
scenario_found() {
    scenario_to_search
    [ "${3:-seen}" = unseen ] || echo 'dialog search'
    cat <<EOF
msgbox yesno '$1' + "\n\n" + @2011
answer no
dialog folder
text 1006 '$2'
checked 1008 yes
checked 1009 yes
esc
dialog menu
esc
exit 0
EOF
}

# After a search that found nothing: the folder dialog with the default
# destination.
scenario_end_at_default() {
    echo 'dialog folder'
    scenario_quit_at_default
}

# search_to_default LIMIT-MS WHAT: a search that finds nothing ends within
# LIMIT-MS and leaves the folder dialog with the default destination.
search_to_default() {
    local rc=0
    expect_search_drives
    start_watch --finish-limit "$1"
    { scenario_to_search; echo 'dialog search'; scenario_end_at_default; } | e2e_robot || rc=$?
    end_watch "$2: the search did not end within $1 ms"
    [ $rc -eq 0 ] || fail "$2: expected the default destination"
}

# start_watch ARGS...: search_watch in the background, beside the robot.
start_watch() {
    watch_log=$E2E_STATE/search_watch.log
    search_watch "$@" >"$watch_log" 2>&1 &
    watch_pid=$!
}

# end_watch WHAT: waits for the watcher and fails with its message.
end_watch() {
    local rc=0
    wait "$watch_pid" || rc=$?
    cat "$watch_log"
    [ $rc -eq 0 ] || fail "$1"
}

# run_found WHAT SHOWN FOLDER [DIALOG]
run_found() {
    local rc=0
    [ "${4:-seen}" = seen ] || start_watch --absent 6000
    scenario_found "$2" "$3" "${4:-seen}" | e2e_robot || rc=$?
    [ "${4:-seen}" = seen ] || end_watch "$1: the search dialog showed"
    [ $rc -eq 0 ] || fail "$1: expected the search to propose $3"
}

# ---------------------------------------------------------------------------
# Cases

# The test drives as the setup sees them, and the two ways of hiding a
# folder from the search that the cases use.
search_case_drives() {
    local a b
    fresh_drives drives
    expect_search_drives
    mkdir -p "$b/hid" "$b/.dot" "$b/sys" "$b/plain"
    touch "$b/sys/Quillom.exe"
    set_attributes 'attrib +h B:\hid' 'attrib +s B:\sys' 'attrib +h B:\sys\Quillom.exe'
    expect_attributes 'B:\plain' 0x10
    expect_attributes 'B:\hid' 0x12
    expect_attributes 'B:\sys' 0x14
    expect_attributes 'B:\sys\Quillom.exe' 0x22
    expect_attributes 'B:\.dot' 0x12
    show_dot_files yes
    expect_attributes 'B:\.dot' 0x10
    show_dot_files no
}

# Each known release found in a nested folder and proposed through 2011,
# although a copy that matches nothing was met before it in B:'s root (a
# file of the root is examined before any folder is entered): only a match
# replaces that fallback. The copies are written at either end of the local
# day and under several spellings of the name: 1 at 00:00:00 local time
# (still the day before in UTC), 2 at 23:59:59, 3 all in capitals, 4 in
# small letters, 5 hidden in a system folder (hidden files are examined;
# only hidden folders are passed over). 6 is the first and only entry of B:'s
# root: the search ends before its dialog shows, which no fallback would do.
search_case_releases() {
    local a b row
    local -A where=([1]='apps\r1\bin' [2]='apps\r2' [3]='a\b\c\d\e\f' [4]='Quillometer' [5]='Windows\System')
    local -A time=([1]=00:00:00 [2]=23:59:59 [3]=11:35:34 [4]=10:54:38 [5]=12:57:08)
    local -A name=([1]=Quillom.exe [2]=Quillom.exe [3]=QUILLOM.EXE [4]=quillom.exe [5]=Quillom.exe)
    for row in 1 2 3 4 5; do
        fresh_drives "releases-$row"
        put_copy "$b" Quillom.exe 1 "${release_date[$row]} 12:00:00"
        put_release "$b/${where[$row]//\\//}" "$row" "${time[$row]}" "${name[$row]}"
        if [ "$row" = 5 ]; then
            set_attributes 'attrib +s B:\Windows\System' 'attrib +h B:\Windows\System\Quillom.exe'
            expect_attributes 'B:\Windows\System' 0x14
            expect_attributes 'B:\Windows\System\Quillom.exe' 0x22
        fi
        run_found "release $row" "B:\\${where[$row]}" "B:\\${where[$row]}\\"
    done

    fresh_drives releases-6
    put_release "$b" 6 17:46:24
    run_found "release 6" 'B:\' 'B:\' unseen
}

# Copies that match no release only give a fallback: the first one met, in
# a folder whose files the walk examines before its subfolders. Not a match:
# a known size on another date, a known date with another size, a known
# size on a date that is the release's in UTC but not locally, names that
# merely contain "Quillom.exe", and a folder named Quillom.exe in B:'s root
# (examined before everything else). Then a fallback in B:'s root (shown as
# B:\, the root keeping its backslash) replaced by a match found later.
search_case_fallback() {
    local a b
    fresh_drives fallback-1
    mkdir -p "$b/Quillom.exe"
    put_copy "$b/old" Quillom.exe 1015808 '1999-11-02 12:00:00'
    put_copy "$b/old/size" Quillom.exe 1302527 '2000-06-13 12:00:00'
    put_copy "$b/old/utc" Quillom.exe 1228800 '2000-04-14 08:00:00'
    put_release "$b/old/names" 1 12:00:00 Quillom.exe.bak
    put_release "$b/old/names" 1 12:00:00 xQuillom.exe
    put_release "$b/old/names" 1 12:00:00 Quillom.ex
    run_found "fallback only" 'B:\old' 'B:\old\'

    fresh_drives fallback-2
    put_copy "$b" Quillom.exe 1 '2000-06-13 12:00:00'
    put_release "$b/later/found" 3 11:35:34
    run_found "fallback replaced by a match" 'B:\later\found' 'B:\later\found\'
}

# Hidden folders, and folders whose names begin with a dot, are not
# entered even when they hold a match; a plain folder's non-matching copy
# stays the result. Dot files are shown as plain folders for this case, so
# that the dot alone keeps the search out.
search_case_hidden() {
    local a b
    fresh_drives hidden
    put_release "$b/hid" 1
    put_release "$b/.dot" 2
    put_release "$b/plain/.inner" 3
    put_copy "$b/plain" Quillom.exe 1085440 '2001-01-01 12:00:00'
    set_attributes 'attrib +h B:\hid'
    show_dot_files yes
    expect_attributes 'B:\hid' 0x12
    expect_attributes 'B:\.dot' 0x10
    run_found "hidden and dot folders" 'B:\plain' 'B:\plain\'
    show_dot_files no
}

# A match on the removable drive A:, first in letter order, is not found;
# the non-matching copy in B:'s root is.
search_case_removable() {
    local a b
    fresh_drives removable
    put_release "$a/apps" 1
    put_copy "$b" Quillom.exe 7 '2000-06-13 12:00:00'
    expect_search_drives
    run_found "a match on a removable drive" 'B:\' 'B:\'
}

# No copy anywhere: the folder dialog proposes the default destination. The
# watcher reports how long the walk of C: and a small B: takes.
search_case_nothing() {
    local a b
    fresh_drives nothing
    mkdir -p "$b/empty" "$b/docs/old"
    touch "$b/docs/readme.txt" "$b/docs/old/Quillom.ex_"
    search_to_default 60000 "nothing found"
}

# Folder links that lead back up are not followed: two of them in one folder
# would make the walk branch at every level until its paths no longer fit,
# a search without end. With them passed over the walk ends quickly, at the
# default destination, whichever order the folder lists them in.
search_case_links() {
    local a b
    fresh_drives links
    mkdir -p "$b/loop/inner" || fail "cannot create $b/loop"
    ln -s .. "$b/loop/up1" && ln -s ../.. "$b/loop/inner/up2" && ln -s "$b" "$b/loop/root" ||
        fail "cannot make the folder links"
    search_to_default 30000 "folder links (followed?)"
}

# move_while_listed DIR GONE: waits until the folder DIR is open in this
# run's Wine (its wineserver holds a folder open while a program lists it),
# moves it to GONE, and fails unless it was still open after the move: its
# listing was under way, and listing it again finds nothing.
move_while_listed() {
    local dir=$1 gone=$2 deadline=$((SECONDS + 30)) server
    server=$(prefix_wineserver) || { echo "no wineserver runs for $WINEPREFIX"; return 1; }
    until holds_open "$server" "$dir"; do
        [ $SECONDS -lt $deadline ] || { echo "no program opened $dir within 30 s"; return 1; }
        sleep 0.01
    done
    mv "$dir" "$gone" || return 1
    holds_open "$server" "$gone" || { echo "the listing of $dir had ended before it was moved"; return 1; }
    echo "moved $dir away while it was listed"
}

# The process id of the wineserver of this run's prefix.
prefix_wineserver() {
    local pid
    for pid in $(pgrep wineserver); do
        grep -qxzF "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null && echo "$pid" && return 0
    done
    return 1
}

# holds_open PID PATH: process PID has PATH open.
holds_open() {
    [ -n "$(find "/proc/$1/fd" -maxdepth 1 -lname "$2" -print -quit 2>/dev/null)" ]
}

# A folder that can be listed once but not a second time is passed over
# alone: the walk goes on in its parent and finds the release in a later
# folder of the same drive. B:\a-moved comes first (Wine lists a folder's
# names in order) and holds enough files for its first listing to last
# half a second (10,000 files), time for the host to see it opened and
# move it off B:. The files are made once per run, in a folder of the
# run's state that is moved onto B: and back.
search_case_relisting() {
    local a b files mover rc=0
    fresh_drives relisting
    files=$(search_root)/relisting-files
    if ! [ -f "$files/file10000.dat" ]; then
        rm -rf "$files" && mkdir -p "$files" && (cd "$files" && seq -f 'file%05g.dat' 1 10000 | xargs touch) ||
            fail "cannot make the files of B:\\a-moved"
    fi
    mv "$files" "$b/a-moved" || fail "cannot move the files onto B:"
    put_release "$b/z-later" 2
    move_while_listed "$(realpath "$b")/a-moved" "$files" >"$E2E_STATE/move_while_listed.log" 2>&1 &
    mover=$!
    scenario_found 'B:\z-later' 'B:\z-later\' | e2e_robot || rc=$?
    wait $mover || { cat "$E2E_STATE/move_while_listed.log"; fail "B:\\a-moved was not moved during its listing"; }
    cat "$E2E_STATE/move_while_listed.log"
    [ $rc -eq 0 ] || fail "the walk of B: ended at the folder that could not be listed again"
}

# Cancel (Esc) while the walk runs returns to the menu; the search dialog's
# texts; and the next install starts afresh: with 2008 answered No the
# folder dialog proposes the default destination, not the fallback that the
# cancelled search had already met in B:'s root.
search_case_cancel() {
    local a b
    busy_drives cancel
    put_copy "$b" Quillom.exe 3 '2000-06-13 12:00:00'
    { scenario_to_search; cat <<'EOF'; } | e2e_robot || fail "Cancel in the search dialog"
dialog search
label @search.wait
label @search.looking
text 2 @search.cancel
esc
dialog menu
click 1002
msgbox yesno @2008
answer no
dialog folder
text 1006 'C:\' + @2003 + '\'
esc
dialog menu
esc
exit 0
EOF
}

# The moving line, tick after tick, while the tree is walked; then a click
# on Cancel a couple of seconds into the search closes the dialog within a
# fraction of a second, back to the menu.
search_case_marquee() {
    local a b rc=0
    busy_drives marquee
    start_watch --marquee --cancel-after 2000 --cancel-limit 500
    { scenario_to_search; cat <<'EOF'; } | e2e_robot || rc=$?
dialog search
dialog menu
esc
exit 0
EOF
    end_watch "the moving line or Cancel"
    [ $rc -eq 0 ] || fail "Cancel did not return to the menu"
}

# The whole tree walked without a match: the time the search dialog is
# shown (C: included), then the default destination.
search_case_speed() {
    local a b rc=0 limit=${E2E_SEARCH_FINISH_LIMIT_MS:-120000}
    E2E_WINE_TIMEOUT=$((limit / 1000 + 60))
    busy_drives speed
    start_watch --finish-limit "$limit"
    { echo "timeout $((limit / 1000 + 30))"; scenario_to_search; echo 'dialog search'; scenario_end_at_default; } |
        e2e_robot || rc=$?
    end_watch "the search did not finish within $limit ms"
    [ $rc -eq 0 ] || fail "a search of the tree: expected the default destination"
}

[ $# -eq 1 ] || e2e_die "usage: search_cases.sh CASE"
declare -F "search_case_$1" >/dev/null || e2e_die "no case $1"
e2e_load
started=$(date +%s%N)
"search_case_$1"
echo "e2e.search.$1 passed in $((($(date +%s%N) - started) / 1000000)) ms"
