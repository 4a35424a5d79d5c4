#!/usr/bin/env bash
# Configures and builds both trees: build/native (Linux) and build/win32 (which
# builds the programs it runs on this machine for itself).
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in native win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
