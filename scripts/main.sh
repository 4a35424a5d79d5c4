#!/usr/bin/env bash
# The main job: installs what is missing, builds everything, and extracts the
# project's sample archive with lzhx, the engine on the command line.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
out=build/sample
rm -rf "$out"
build/native/lzhx samples/sample.lzh "$out"
ls -l --time-style=long-iso "$out"
