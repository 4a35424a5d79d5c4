#!/usr/bin/env bash
# Builds the libFuzzer targets of the engine (preset "fuzz") and runs each of
# them for SECONDS (default 60), one process per target, one after the other.
# Prints the executions run and the findings, and exits non-zero when a
# target found something (a crash, a failed check, a leak, a timeout or an
# out-of-memory): its input is kept in build/fuzz/findings/.
#
#   fuzz_parse_header  one member header; inputs up to 4 KiB
#   fuzz_extract       a whole extraction job; inputs up to 64 KiB: past two
#                      16 KiB loads of the scan buffer and its 512-byte
#                      look-ahead, and past the 16 KiB stored copy, bit-input
#                      buffer and -lh5- ring
#
# The working corpora in build/fuzz/corpus/ grow from run to run; the seeds
# are made anew in build/fuzz/seeds/ by the build (fuzz/make-seeds.sh). See
# fuzz/README.md.
#
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
case $seconds in '' | *[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 2 ;; esac

build=build/fuzz
cmake --workflow --preset fuzz
mkdir -p "$build/corpus/header" "$build/corpus/extract" "$build/findings" "$build/logs"

# The extraction target writes its files in a private folder below TMPDIR.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi

status=0
summary=()

# compact TARGET CORPUS MAX_LEN TIMEOUT: a working corpus of more than 2,000
# inputs is merged down to the inputs that add coverage, so that loading it
# does not eat the run's time.
compact() {
    local target=$1 dir=$build/corpus/$2 max_len=$3 timeout=$4
    [ "$(ls "$dir" | wc -l)" -gt 2000 ] || return 0
    local fresh=$dir.merge
    rm -rf "$fresh"
    mkdir -p "$fresh"
    if "$build/fuzz/$target" -merge=1 -max_len="$max_len" -timeout="$timeout" \
        -rss_limit_mb=2048 "$fresh" "$dir" >"$build/logs/$target.merge.log" 2>&1; then
        echo "fuzz: $target corpus merged from $(ls "$dir" | wc -l) to $(ls "$fresh" | wc -l) inputs"
        rm -rf "$dir"
        mv "$fresh" "$dir"
    else
        rm -rf "$fresh" # a crash shows again in the run itself
    fi
}

# run TARGET CORPUS MAX_LEN TIMEOUT
run() {
    local target=$1 corpus=$2 max_len=$3 timeout=$4
    local log=$build/logs/$target.log
    local before after new rc=0
    compact "$target" "$corpus" "$max_len" "$timeout"
    before=$(ls "$build/findings" | sort)
    echo "fuzz: $target for $seconds s (max_len $max_len, timeout $timeout s per input)"
    "$build/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=2048 \
        -max_len="$max_len" -timeout="$timeout" -print_final_stats=1 \
        -artifact_prefix="$build/findings/$target-" \
        "$build/corpus/$corpus" "$build/seeds/$corpus" >"$log" 2>&1 || rc=$?
    after=$(ls "$build/findings" | sort)
    new=$(comm -13 <(echo "$before") <(echo "$after") | grep -E -- '-(crash|leak|timeout|oom)-' || true)
    local execs
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    local corpus_size
    corpus_size=$(ls "$build/corpus/$corpus" | wc -l)
    if [ -n "$new" ] || [ "$rc" -ne 0 ]; then
        status=1
        summary+=("$target: ${execs:-?} executions in $seconds s, FINDING (exit $rc)")
        echo "fuzz: $target FOUND A PROBLEM (exit $rc); from $log:"
        grep -E -A12 'ERROR: |FUZZ CHECK FAILED|runtime error:' "$log" | head -n 60 || tail -n 40 "$log"
        local f
        for f in $new; do
            echo "fuzz: input kept in $build/findings/$f; reproduce with: $build/fuzz/$target $build/findings/$f"
        done
    else
        summary+=("$target: ${execs:-?} executions in $seconds s, no findings, corpus $corpus_size inputs")
    fi
}

run fuzz_parse_header header 4096 10
run fuzz_extract extract 65536 60

for line in "${summary[@]}"; do
    echo "fuzz: $line"
done
exit "$status"
