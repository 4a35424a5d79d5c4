#!/usr/bin/env bash
# Installs what is missing, builds both trees and runs every tier of tests:
# native unit tests under sanitizers, black-box tests of lzhx against peer
# tools and real archives, the format check, the Windows build under Wine,
# and a short run of each fuzz target (QM_FUZZ_SECONDS, default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
bash scripts/install-deps.sh
bash scripts/build.sh
ctest --preset native
ctest --preset win32
bash scripts/fuzz.sh "${QM_FUZZ_SECONDS:-60}"
echo "test: every tier passed in $(( $(date +%s) - start )) s"
