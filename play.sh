#!/usr/bin/env bash
# Installs what is missing, builds in Release and plays the game.
# Options after the script name go to the host runner.
set -euo pipefail
cd "$(dirname "$0")"

scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)"

if [ ! -x build/bin/quillfen ]; then
  echo "Built the engine runtime (build/lib/libvexlor_dynload.a)."
  echo "Not there yet: the game module, the graphics runtime and the host runner"
  echo "'quillfen' are not built by this version, so there is nothing to play."
  exit 1
fi
exec build/bin/quillfen "$@"
