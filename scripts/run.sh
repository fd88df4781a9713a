#!/usr/bin/env bash
# The main job: builds the tree natively and runs a demonstration through it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KV_BUILD_DIR:-$root/build}/release
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
script=${1:-$root/examples/objects.kv}
echo "kvsh $script:"
"$build/tools/kvsh" "$script" || true
