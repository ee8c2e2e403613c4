#!/usr/bin/env bash
# Installs what is missing, builds tessel and opens the viewer on a bundled
# example scene (or on the file given).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
exec build/app/tessel "${1:-examples/vrml97.wrl}"
