#!/usr/bin/env bash
# Builds one libFuzzer target with clang in build-fuzz/ and runs it.
#   ./fuzz.sh <target> <seconds>      e.g. ./fuzz.sh render_frame_fuzz 60
# The corpus grows in build-fuzz/corpus/<target>; crashes land in
# build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")"
if [ $# -ne 2 ]; then
  echo "usage: ./fuzz.sh <target> <seconds>" >&2
  exit 2
fi
target=$1
seconds=$2
scripts/deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLFEN_FUZZ=ON \
  -DQUILLFEN_TESTS=OFF -DQUILLFEN_BENCH=OFF >/dev/null
cmake --build build-fuzz -j2 --target "$target"
mkdir -p "build-fuzz/corpus/$target" build-fuzz/artifacts
"build-fuzz/bin/$target" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix=build-fuzz/artifacts/ "build-fuzz/corpus/$target"
echo "corpus: $(find "build-fuzz/corpus/$target" -type f | wc -l) inputs"
