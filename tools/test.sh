#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite (no display needed).
# Usage: tools/test.sh [--sanitize]
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
build=build
cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  cmake_args=(-DCMAKE_BUILD_TYPE=Debug -DORVANTIS_SANITIZE=ON)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
cmake -S . -B "$build" "${cmake_args[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
