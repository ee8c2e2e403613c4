#!/usr/bin/env bash
# Installs what is missing, builds tessel, and runs every test: the normal
# build (unit tests, tests under Xvfb, end-to-end tests) and then every suite
# that needs no display again in a second build under AddressSanitizer and
# UndefinedBehaviorSanitizer. Ends with the number of tests per suite and
# build, and one line with the totals; the exit code is 0 only when every
# test of both builds passed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh

jobs=$(nproc)
logs=$(mktemp -d "${TMPDIR:-/tmp}/tessel-test-logs.XXXXXX")
trap 'rm -rf "$logs"' EXIT

# Runs ctest in a build folder, keeping its output for the summary; a failed
# run does not stop the other build's.
status=0
run_ctest() {  # build folder, then environment settings
  local build=$1
  shift
  (cd "$build" && env "$@" ctest --output-on-failure -j"$jobs") 2>&1 | tee "$logs/$build.log" || status=1
}

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
run_ctest build

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTESSEL_SANITIZE=ON -DTESSEL_BUILD_GUI=OFF -DTESSEL_BUILD_BENCH=OFF
cmake --build build-asan -j"$jobs"
run_ctest build-asan ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS=suppressions="$root/tests/lsan.supp"

# One line per build and suite (the part of a test's name before its first
# dot), from ctest's result lines, then the totals of both builds.
echo
echo "Tests run per suite:"
for build in build build-asan; do
  awk -v build="$build" '
    / Test +#[0-9]+: / {
      line = $0
      sub(/.* Test +#[0-9]+: /, "", line)
      name = line
      sub(/ .*/, "", name)
      suite = name
      sub(/\..*/, "", suite)
      seen[suite] = 1
      if (line ~ / Passed /) passed[suite]++
      else if (line ~ / Skipped /) skipped[suite]++
      else failed[suite]++
    }
    END {
      for (s in seen)
        printf "  %-10s %-36s %4d passed, %d failed, %d skipped\n", build, s, passed[s], failed[s], skipped[s]
    }' "$logs/$build.log" | sort
done
awk '
  / Test +#[0-9]+: / {
    if ($0 ~ / Passed /) passed++
    else if ($0 ~ / Skipped /) skipped++
    else failed++
  }
  END { printf "ALL: %d passed, %d failed%s\n", passed, failed, skipped ? ", " skipped " skipped" : "" }
' "$logs/build.log" "$logs/build-asan.log"
exit $status
