# The table of names in code page 932 (tests/peers/cp932_names.tsv), as the
# peer and Wine tests both read it. Sourced; needs nothing else.

unhex() { printf '%s' "$1" | sed 's/../\\x&/g' | xargs -0 printf '%b'; }

# read_cp932_names TSV: for each row, numbered from 1 so that no two files
# share a name, hex_names gets the stored name in hex ("NN-" before it) and
# expected the file name the extraction must give; n counts the rows.
read_cp932_names() {
    local name file prefix
    hex_names=()
    expected=()
    n=0
    while IFS=$'\t' read -r name file _; do
        case $name in '#'* | '') continue ;; esac
        n=$((n + 1))
        prefix=$(printf '%02d-' "$n")
        hex_names+=("$(printf '%s' "$prefix" | od -An -tx1 | tr -d ' \n')$name")
        expected+=("$prefix$(unhex "$file")")
    done <"$1"
}
