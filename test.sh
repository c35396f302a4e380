#!/usr/bin/env bash
# Builds everything and runs the whole test suite, then builds and runs it
# once more under AddressSanitizer and UndefinedBehaviorSanitizer.
#   ./test.sh            both passes
#   ./test.sh --quick    the Release pass only
#   ./test.sh --tsan     the ThreadSanitizer pass only (build-tsan/)
set -euo pipefail
cd "$(dirname "$0")"
mode=${1:-all}
jobs=$(nproc)

scripts/deps.sh

run_suite() {  # <build dir> <cmake options...>
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

case "$mode" in
  all|--quick)
    echo "== Release build and tests (build/)"
    run_suite build -DCMAKE_BUILD_TYPE=Release
    if [ "$mode" = all ]; then
      echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests (build-asan/)"
      ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        run_suite build-asan -DQUILLFEN_SANITIZE=ON -DQUILLFEN_BENCH=OFF
    fi
    ;;
  --tsan)
    echo "== ThreadSanitizer build and tests (build-tsan/)"
    TSAN_OPTIONS=halt_on_error=1 run_suite build-tsan -DQUILLFEN_TSAN=ON -DQUILLFEN_BENCH=OFF
    ;;
  *)
    echo "usage: ./test.sh [--quick|--tsan]" >&2
    exit 2
    ;;
esac
