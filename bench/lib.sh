# shellcheck shell=bash
# What the benchmarks share, sourced by bench/encode-bench.sh and
# bench/decode-bench.sh (not run on its own). A script sets ROOT (the
# repository, its working directory) and BENCH_NAME (its name in messages)
# before it sources this file.
#
# Environment, the same for every script that uses these:
#   BENCH_DIR    the folder in which the working folder is made (the script
#                names its own default)
#   BENCH_KEEP   1 keeps the working folder at the end
#   BENCH_BUILD  a build tree whose programs are measured as they are,
#                instead of building build/native; so an old build can be
#                compared with a new one
: "${ROOT:?}" "${BENCH_NAME:?}"

# bench_fail MESSAGE...: says what went wrong and stops.
bench_fail() {
    echo "$BENCH_NAME: $*" >&2
    exit 1
}

# bench_require TOOL...: every tool is installed.
bench_require() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || bench_fail "$tool is not installed (scripts/install-deps.sh installs it)"
    done
}

# bench_build PROGRAM...: sets BUILD to the tree whose programs are measured,
# BENCH_BUILD as it is or build/native with the PROGRAMs (paths in the tree,
# such as bench/make_corpus) built, Release as the native preset configures
# it; every PROGRAM must be there.
bench_build() {
    local program
    if [ -n "${BENCH_BUILD:-}" ]; then
        BUILD=$BENCH_BUILD
    else
        BUILD=$ROOT/build/native
        [ -f "$BUILD/build.ninja" ] || cmake --preset native >/dev/null
        cmake --build --preset native --target "${@##*/}" >/dev/null
    fi
    for program in "$@"; do
        [ -x "$BUILD/$program" ] || bench_fail "$BUILD/$program is missing (build it, or name another tree in BENCH_BUILD)"
    done
}

# Folders to remove at the end (unless BENCH_KEEP=1).
BENCH_TEMP=()
bench_cleanup() {
    [ "${BENCH_KEEP:-0}" = 1 ] || [ ${#BENCH_TEMP[@]} -eq 0 ] || rm -rf "${BENCH_TEMP[@]}"
}
trap bench_cleanup EXIT

# bench_mktemp PARENT: makes a fresh folder in PARENT, removed at the end,
# and puts its path in BENCH_MADE.
bench_mktemp() {
    mkdir -p "$1"
    BENCH_MADE=$(mktemp -d "$1/$BENCH_NAME.XXXXXX")
    BENCH_TEMP+=("$BENCH_MADE")
}

# bench_workdir PARENT...: makes the working folder WORK in BENCH_DIR, or
# else in the first PARENT that is a writable folder.
bench_workdir() {
    local parent=${BENCH_DIR:-}
    if [ -z "$parent" ]; then
        for parent in "$@"; do
            [ ! -d "$parent" ] || [ ! -w "$parent" ] || break
        done
    fi
    bench_mktemp "$parent"
    # shellcheck disable=SC2034 # the script's working folder
    WORK=$BENCH_MADE
}

# bench_fs FOLDER: the type of the file system that holds FOLDER.
bench_fs() {
    df -PT "$1" | awk 'NR == 2 { print $2 }'
}

# bench_machine: the line that says on what the figures were taken.
bench_machine() {
    echo "machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')"
}

# bench_load WHEN: the load average now; other work on the machine shows as
# noise in the wall-clock times.
bench_load() {
    echo "load average $1: $(cut -d' ' -f1-3 /proc/loadavg)"
}

# bench_time LOG COMMAND...: runs COMMAND once, its output and errors into
# LOG, and prints "WALL CPU PEAK": wall-clock seconds, CPU seconds (user +
# system, of the command and all it starts) and the peak resident memory in
# KB (ru_maxrss). The times come from bash's time, in milliseconds
# (/usr/bin/time gives hundredths), and hold the start of /usr/bin/time,
# which only measures the memory: about a millisecond. Fails as COMMAND does.
bench_time() {
    local log=$1 LC_ALL=C TIMEFORMAT='%3R %3U %3S' wall user sys peak
    shift
    { time /usr/bin/time -o "$log.peak" -f %M "$@" >"$log" 2>&1; } 2>"$log.times" || return
    read -r wall user sys <"$log.times"
    read -r peak <"$log.peak"
    awk -v w="$wall" -v u="$user" -v s="$sys" -v p="$peak" 'BEGIN { printf "%.3f %.3f %d\n", w, u + s, p }'
}

# bench_stats "V1 V2 ...": best median worst (the smallest, the median and
# the largest value).
bench_stats() {
    tr ' ' '\n' <<<"$1" | sed '/^$/d' | sort -g | awk '
        { t[NR] = $1 }
        END { m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; print t[1], m, t[NR] }'
}
