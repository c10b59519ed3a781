#!/usr/bin/env bash
# Renders the built-in showcase scene through the Direct3D path (the image
# generator on the software Direct3D 9 device, anti-aliased), on a fresh
# machine too: installs the Debian packages that are missing, builds kxrender
# in build/ and writes out/showcase.png.
#   scripts/render.sh                     the showcase, 1024x768, Direct3D
#   scripts/render.sh --raytrace          the showcase ray traced, with reflections
#   scripts/render.sh ARGUMENTS...        kxrender --raster --antialias with other
#                                         arguments, e.g.
#                                         scripts/render.sh model.glb -o out/model.png
#   scripts/render.sh --raytrace ARGUMENTS...
#                                         kxrender (the ray tracer) with them
set -euo pipefail
cd "$(dirname "$0")/.."

raytrace=0
if [ "${1:-}" = "--raytrace" ]; then
    raytrace=1
    shift
fi

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target kxrender

mkdir -p out
if [ $# -eq 0 ]; then
    if [ "$raytrace" -eq 1 ]; then
        build/apps/kxrender -o out/showcase.png --reflections
    else
        build/apps/kxrender --raster --antialias -o out/showcase.png
    fi
    echo "The showcase image is $(pwd)/out/showcase.png"
elif [ "$raytrace" -eq 1 ]; then
    build/apps/kxrender "$@"
else
    build/apps/kxrender --raster --antialias "$@"
fi
