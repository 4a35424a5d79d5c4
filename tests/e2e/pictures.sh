#!/usr/bin/env bash
# pictures.sh [OUTDIR]: renders every dialog and message box of the setup
# into PNG files (default build/win32/pictures), as a person sees them on a
# Japanese Windows system: the setup runs under Wine in a desktop window of
# 640 × 480 pixels on a private Xvfb display (harness.sh), the robot walks
# it through each dialog, and at each "snap" the screen is taken with
# imagemagick's "import -window root" once it has stopped changing. Each
# picture is cut to the dialogs on it.
#
# The build tree is build/win32 unless QM_BUILD_TREE names another; it needs
# the setup, the robot and the recorder built (scripts/build.sh).
set -u -o pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
tree=${QM_BUILD_TREE:-$root/build/win32}
case $tree in /*) ;; *) tree=$PWD/$tree ;; esac
out=${1:-$tree/pictures}
case $out in /*) ;; *) out=$PWD/$out ;; esac

export E2E_STATE=$tree/tests/e2e/pictures-run
export E2E_SETUP=$tree/QuillometerSetup.exe
export E2E_SETUP_LARGE=$tree/QuillometerSetupLarge.exe
export E2E_ROBOT=$tree/tests/e2e/setup_robot.exe
export E2E_RECORDER=$tree/tests/e2e/open_recorder.exe
export E2E_TEXTS=$here/../ui-texts.txt
. "$here/harness.sh"

command -v import >/dev/null || e2e_die "imagemagick's import is missing (package imagemagick)"
convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert
mkdir -p "$out" || e2e_die "cannot create $out"
rm -f "$out"/*.png

e2e_start || exit 1
e2e_load
snapper_pid=
finish() {
    [ -n "$snapper_pid" ] && kill "$snapper_pid" 2>/dev/null
    e2e_stop >/dev/null 2>&1
}
trap finish EXIT

# take_picture FILE: the screen once two takes in a row are the same.
take_picture() {
    local previous='' current tries=0
    while [ $tries -lt 50 ]; do
        current=$(import -window root -depth 8 rgb:- | md5sum)
        [ "$current" = "$previous" ] && break
        previous=$current
        sleep 0.1
        tries=$((tries + 1))
    done
    import -window root "$1.full.png" &&
        "$convert" "$1.full.png" -trim +repage "$1" && rm -f "$1.full.png"
}

# Answers the robot's "snap NAME" requests until killed.
snapper() {
    local request=$WINEPREFIX/drive_c/e2e/snap.request name
    while :; do
        if [ -f "$request" ]; then
            name=$(cat "$request")
            take_picture "$out/$name.png" || echo "pictures: could not take $name" >&2
            rm -f "$request"
        fi
        sleep 0.05
    done
}
snapper &
snapper_pid=$!

failed=0
run() {
    e2e_robot "$@" || {
        failed=1
        return 1
    }
}

# The search for an earlier installation, first, while drive C: holds no
# copy of the application: a tree of empty folders keeps it busy long enough
# for its picture, then Cancel.
mkdir -p "$WINEPREFIX/drive_c/cases/search-tree"
(cd "$WINEPREFIX/drive_c/cases/search-tree" && mkdir -p d{0..19}/e{0..19}/f{0..9})
run <<'EOF'
start
dialog menu
click 1002
msgbox yesno @2008
answer yes
dialog search
snap 16-search
click 2
dialog menu
esc
exit 0
EOF
rm -rf "$WINEPREFIX/drive_c/cases/search-tree"

cases=$WINEPREFIX/drive_c/cases
mkdir -p "$cases/pictures/dir-in-the-way/Quillom.exe" \
    "$cases/pictures/size-limit" "$cases/pictures/Quillometer"
printf 'x' >"$cases/pictures/blocker"
cp "$E2E_SETUP" "$cases/pictures/QuillometerSetup.exe"
printf 'an older ReadMe\r\n' >"$cases/pictures/ReadMe.txt"

# The menu, question 2008, both modes of the folder dialog, the browser,
# 2010 and 2017.
run 'C:\cases\pictures\QuillometerSetup.exe' <<'EOF'
start
dialog menu
snap 01-menu
click 1002
msgbox yesno @2008
snap 02-question-2008-search
answer no
dialog folder
snap 03-folder-install
click 1007
browser @2002
snap 04-folder-browser
esc
gone
dialog folder
type 1006 'C:\cases\pictures\blocker'
click 1
msgbox ok @2017
snap 05-error-2017-path
answer ok
dialog folder
click 2
dialog menu
click 1001
dialog folder
snap 06-folder-readme
click 1
msgbox yesno 'C:\cases\pictures' + "\n\n" + @2010
snap 07-question-2010-overwrite
answer no
dialog folder
click 2
dialog menu
esc
exit 0
EOF

# 2009, the progress dialog at work, Cancel and 2016.
run 'C:\e2e\QuillometerSetupLarge.exe' <<'EOF'
start
dialog menu
click 1002
msgbox yesno @2008
answer no
dialog folder
type 1006 'C:\cases\pictures\large'
click 1
msgbox yesno 'C:\cases\pictures\large' + "\n\n" + @2009
snap 08-question-2009-create
answer yes
dialog progress
progress-runs "Large.dat"
snap 09-progress
cancel-within 1000
msgbox ok @2016
snap 10-error-2016-extract
answer ok
dialog menu
esc
exit 0
EOF

# The engine's other failures.
engine_error() {
    run <<EOF
start
dialog menu
click 1002
msgbox yesno @2008
answer no
dialog folder
type 1006 '$1'
click 1
$3
msgbox ok @$2
snap $4
answer ok
dialog menu
esc
exit 0
EOF
}
engine_error 'C:\cases\pictures\blocker\dest' 2013 "msgbox yesno 'C:\\cases\\pictures\\blocker\\dest' + \"\\n\\n\" + @2009
answer yes" 11-error-2013-folder
engine_error 'C:\cases\pictures\dir-in-the-way' 2014 '' 12-error-2014-create
e2e_file_size_limit 4 engine_error 'C:\cases\pictures\size-limit' 2015 '' 13-error-2015-access || failed=1

# 2011 for a recorded installation, then 2012 at the end.
e2e_reg_set 'HKCU\Software\Fenwarde\Quillometer\Option' ProgramFolder 'C:\cases\pictures\Quillometer\'
run <<'EOF'
start
dialog menu
click 1002
msgbox yesno 'C:\cases\pictures\Quillometer' + "\n\n" + @2011
snap 14-question-2011-overwrite
answer yes
msgbox yesno @2012
snap 15-question-2012-start
answer no
exit 0
EOF
e2e_reg_delete_key 'HKCU\Software\Fenwarde\Quillometer\Option'

kill "$snapper_pid" 2>/dev/null
snapper_pid=
count=$(ls "$out"/*.png 2>/dev/null | wc -l)
echo "pictures: $count pictures in $out"
[ $failed -eq 0 ] || e2e_die "some pictures could not be taken (see above)"
