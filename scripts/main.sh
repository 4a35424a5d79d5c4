#!/usr/bin/env bash
# The main job: installs what is missing, builds everything, extracts the
# project's sample archive with lzhx (the engine on the command line), then
# runs the setup under Wine: on your display when DISPLAY is set and usable,
# otherwise an install with the defaults on a virtual display, driven by the
# end-to-end tests' robot, followed by pictures of every dialog
# (tests/e2e/run-setup.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
out=build/sample
rm -rf "$out"
build/native/lzhx samples/sample.lzh "$out"
ls -l --time-style=long-iso "$out"
bash tests/e2e/run-setup.sh
