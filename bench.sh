#!/usr/bin/env bash
# Builds in Release and runs the benchmarks: all of them, or the ones named.
#   ./bench.sh                  every benchmark under build/bin/*_bench
#   ./bench.sh registry_bench   one of them
# Extra Google Benchmark flags can follow after --, for example
#   ./bench.sh registry_bench -- --benchmark_filter=Load
set -euo pipefail
cd "$(dirname "$0")"

names=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do names+=("$1"); shift; done
[ "${1:-}" = "--" ] && shift

scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)"

if [ ${#names[@]} -eq 0 ]; then
  for b in build/bin/*_bench; do names+=("$(basename "$b")"); done
fi
for name in "${names[@]}"; do
  echo "== $name"
  "build/bin/$name" --benchmark_repetitions=20 --benchmark_min_time=0.1 \
    --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true "$@"
done
