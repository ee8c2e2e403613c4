#!/usr/bin/env bash
# Fuzzes the load pipeline under ASan and UBSan for a while.
#   fuzz/run.sh [SECONDS]   (default 600)
# Builds with clang into build-fuzz, seeds from the examples and the kept
# regressions, and stores any crashing input in fuzz/regressions/.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
seconds=${1:-600}
cmake -S "$root" -B "$root/build-fuzz" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTESSEL_FUZZ=ON -DTESSEL_SANITIZE=ON -DTESSEL_BUILD_GUI=OFF -DTESSEL_BUILD_TESTS=OFF \
  -DTESSEL_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build-fuzz" --target tessel-load-fuzzer -j2 >/dev/null
corpus=$root/fuzz/corpus-work
mkdir -p "$corpus"
cp "$root"/examples/*.wrl "$corpus"/
cp "$root"/fuzz/regressions/* "$corpus"/ 2>/dev/null || true
export TMPDIR=${TMPDIR:-/dev/shm}
"$root/build-fuzz/fuzz/tessel-load-fuzzer" -max_total_time="$seconds" -max_len=65536 -timeout=20 \
  -rss_limit_mb=4096 -artifact_prefix="$root/fuzz/regressions/" -print_final_stats=1 "$corpus"
