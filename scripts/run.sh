#!/usr/bin/env bash
# Builds qab-upgrade and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target qab-upgrade
exec build/app/qab-upgrade
