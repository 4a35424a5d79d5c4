#!/usr/bin/env bash
# The figures of the documentation that drift as the code changes, compared
# with the tree that runs this test and with the sources:
#   - a size written as "`build/TREE/FILE`: N bytes" in any Markdown file of
#     the project (the corpus's own READMEs aside) is the size of FILE in the
#     tree; the win32 tree must find the setup's among them (bench/README.md).
#     They describe the stand-in payload, so a tree built with a release's
#     files (QM_PAYLOAD_FILES) compares none;
#   - the tree's row in the table of build trees in docs/architecture.md
#     names, in backticks, files and folders (ending in "/") of the tree, and
#     each of them is there;
#   - "the corpus of N real archives" in docs/testing.md counts the archives
#     in tests/corpus.
# Every difference is listed; a figure that is not found is one too.
#
# Usage: figures.sh SOURCE_DIR TREE_DIR TREE PAYLOAD
#   TREE: native or win32; PAYLOAD: standin, or release with QM_PAYLOAD_FILES
set -u -o pipefail
export LC_ALL=C

NAME=docs.figures
[ $# -eq 4 ] || { echo "usage: $0 SOURCE_DIR TREE_DIR TREE PAYLOAD" >&2; exit 2; }
SOURCE=$1
TREE_DIR=$2
TREE=$3
PAYLOAD=$4
PROBLEMS=0
CHECKED=0
problem() {
    echo "FAIL [$NAME]: $*" >&2
    PROBLEMS=$((PROBLEMS + 1))
}
checked() { CHECKED=$((CHECKED + 1)); }

cd "$SOURCE" || exit 2
mapfile -t DOCS < <(find . -name '*.md' ! -path './.git/*' ! -path './build/*' ! -path './tests/corpus/*' | sort)
[ ${#DOCS[@]} -gt 0 ] || problem "no Markdown files found in $SOURCE"

# --- Sizes ---------------------------------------------------------------------
sizes=0
if [ "$PAYLOAD" = standin ]; then
    while IFS=: read -r doc line figure; do
        path=$(sed -E 's/^`build\/[^/]+\/([^`]*)`.*/\1/' <<<"$figure")
        written=$(sed -E 's/.*`: ([0-9,]+) bytes$/\1/' <<<"$figure")
        file=$TREE_DIR/$path
        sizes=$((sizes + 1))
        if [ ! -f "$file" ]; then
            problem "$doc:$line gives the size of build/$TREE/$path, which the tree does not hold"
        elif [ "$(stat -c %s "$file")" != "${written//,/}" ]; then
            problem "$doc:$line says build/$TREE/$path is $written bytes; it is $(stat -c %s "$file") (ls -l $file)"
        else
            checked
        fi
    done < <(grep -HnoE "\`build/$TREE/[^\`]+\`: [0-9,]+ bytes" "${DOCS[@]}")
    if [ "$TREE" = win32 ]; then
        grep -qF "\`build/win32/QuillometerSetup.exe\`:" bench/README.md ||
            problem "bench/README.md gives no size of build/win32/QuillometerSetup.exe"
    fi
fi

# --- What the tree holds -------------------------------------------------------
row=$(grep -E "^\| \`build/$TREE\` \|" docs/architecture.md)
if [ -z "$row" ]; then
    problem "docs/architecture.md has no row for build/$TREE in its table of build trees"
else
    holds=$(awk -F'|' '{ print $(NF - 1) }' <<<"$row")
    mapfile -t NAMES < <(grep -oE '`[^`]+`' <<<"$holds" | tr -d '`')
    [ ${#NAMES[@]} -gt 0 ] || problem "docs/architecture.md names no file of build/$TREE"
    for name in "${NAMES[@]}"; do
        case $name in
        */) [ -d "$TREE_DIR/$name" ] || problem "docs/architecture.md: build/$TREE holds no folder $name" ;;
        *) [ -f "$TREE_DIR/$name" ] || problem "docs/architecture.md: build/$TREE holds no file $name" ;;
        esac
        checked
    done
fi

# --- The corpus ------------------------------------------------------------------
written=$(grep -oE 'the corpus of [0-9,]+ real archives' docs/testing.md | grep -oE '[0-9,]+' | head -n 1)
archives=$(find tests/corpus -type f ! -name 'README*' ! -name 'MANIFEST*' | wc -l)
if [ -z "$written" ]; then
    problem "docs/testing.md does not say how many archives the corpus holds"
elif [ "${written//,/}" != "$archives" ]; then
    problem "docs/testing.md says the corpus holds $written archives; tests/corpus holds $archives"
else
    checked
fi

[ "$PROBLEMS" -eq 0 ] || exit 1
echo "[$NAME] build/$TREE: $CHECKED figures and files as the documentation gives them ($sizes sizes)"
