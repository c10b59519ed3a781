#!/usr/bin/env bash
# Builds the project and runs its test suite.
#   scripts/test.sh             plain build (build/), then the installed
#                               package: examples/render_scene built on it
#                               alone (scripts/check-install.sh)
#   scripts/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer (build-sanitize/)
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=OFF
build_dir=build
if [ "${1:-}" = "--sanitize" ]; then
    sanitize=ON
    build_dir=build-sanitize
fi

bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKX_SANITIZE=$sanitize
cmake --build "$build_dir" -j "$jobs"
(cd "$build_dir" && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j "$jobs")

# A program built on the sanitized libraries would need the sanitizers
# itself; the installed package is checked on the plain build.
if [ "$sanitize" = OFF ]; then
    bash scripts/check-install.sh "$build_dir"
fi
