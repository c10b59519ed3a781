#!/usr/bin/env bash
# Renders the built-in showcase scene with the ray tracer, on a fresh machine
# too: installs the Debian packages that are missing, builds kxrender in
# build/ and writes out/showcase.png.
#   scripts/render.sh                   the showcase, 1024x768, with reflections
#   scripts/render.sh ARGUMENTS...      kxrender with other arguments, e.g.
#                                       scripts/render.sh model.glb -o out/model.png
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target kxrender

mkdir -p out
if [ $# -eq 0 ]; then
    build/apps/kxrender -o out/showcase.png --reflections
    echo "The showcase image is $(pwd)/out/showcase.png"
else
    build/apps/kxrender "$@"
fi
