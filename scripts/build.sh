#!/usr/bin/env bash
# Configures and builds into build/ (or build-asan/ with ERECHNUNG_SANITIZE=1).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${ERECHNUNG_SANITIZE:-0}" = "1" ]; then
  BUILD_DIR=${BUILD_DIR:-build-asan}
  EXTRA=(-DERECHNUNG_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
else
  BUILD_DIR=${BUILD_DIR:-build}
  EXTRA=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
fi

cmake -S . -B "$BUILD_DIR" -G Ninja "${EXTRA[@]}" ${CMAKE_ARGS:-} >/dev/null
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
echo "$BUILD_DIR"
