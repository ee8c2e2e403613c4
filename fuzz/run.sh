#!/usr/bin/env bash
# Fuzzes the load pipeline under ASan and UBSan for a while.
#   fuzz/run.sh [SECONDS [BUILD_DIR [CORPUS_DIR]]]
# SECONDS defaults to 600. The build (clang, libFuzzer) and the corpus live
# outside the source tree, by default under $TMPDIR/tessel-fuzz; the
# environment variables TESSEL_FUZZ_BUILD and TESSEL_FUZZ_CORPUS set them as
# well. The corpus is seeded with the examples and the kept regressions;
# inputs of any length up to 1 MiB are tried from the start (large texts,
# compressed scenes that inflate to many megabytes). A crashing input lands in fuzz/regressions/, which the test suite
# replays: keep it there once the fault is fixed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
seconds=${1:-600}
work=${TMPDIR:-/tmp}/tessel-fuzz
build=${2:-${TESSEL_FUZZ_BUILD:-$work/build}}
corpus=${3:-${TESSEL_FUZZ_CORPUS:-$work/corpus}}
case $(realpath -m "$build")/ in
  "$root"/*) echo "fuzz/run.sh: keep the build folder outside the source tree" >&2; exit 2 ;;
esac
case $(realpath -m "$corpus")/ in
  "$root"/*) echo "fuzz/run.sh: keep the corpus folder outside the source tree" >&2; exit 2 ;;
esac

cmake -S "$root" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTESSEL_FUZZ=ON -DTESSEL_SANITIZE=ON -DTESSEL_BUILD_GUI=OFF -DTESSEL_BUILD_TESTS=OFF \
  -DTESSEL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target tessel-load-fuzzer -j2 >/dev/null
mkdir -p "$corpus"
cp "$root"/examples/*.wrl "$root"/tests/formats/data/*.wrl "$corpus"/
cp "$root"/fuzz/regressions/* "$corpus"/ 2>/dev/null || true
# Fontconfig's own process-long allocations are not leaks of ours.
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}
# The loads' temporary stores: memory rather than disk where there is one.
[ -d /dev/shm ] && export TMPDIR=/dev/shm
"$build/fuzz/tessel-load-fuzzer" -max_total_time="$seconds" -max_len=1048576 -len_control=0 -timeout=20 \
  -rss_limit_mb=4096 -artifact_prefix="$root/fuzz/regressions/" -print_final_stats=1 "$corpus"
