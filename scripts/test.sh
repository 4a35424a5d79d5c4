#!/usr/bin/env bash
# Installs what is missing, builds both trees and runs every tier of tests:
# native unit tests under sanitizers, black-box tests of lzhx against peer
# tools and real archives, the format check, and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
bash scripts/install-deps.sh
bash scripts/build.sh
ctest --preset native
ctest --preset win32
echo "test: every tier passed in $(( $(date +%s) - start )) s"
