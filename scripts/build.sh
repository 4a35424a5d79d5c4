#!/usr/bin/env bash
# Configures and builds both trees, each through its workflow preset:
# build/native (Linux) and build/win32 (which builds the programs it runs on
# this machine for itself). A workflow has one configure preset, so the two
# trees are two workflows.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in native win32; do
  cmake --workflow --preset "$preset"
done
