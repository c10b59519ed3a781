#!/usr/bin/env bash
# The Windows build, checked with MinGW-w64 against its real Win32,
# Direct3D 9 and D3DX 9 headers and import libraries:
#  1. the renderer-style Direct3D usage of tests/platform/mingw_compile_check.cpp
#     compiles;
#  2. the scene library and the renderer build as DLLs (libkxscene.dll,
#     libkxdxrenderer.dll, warnings as errors) with kxrender.exe, in
#     build-mingw/ (or the build directory given). Debian has no libpng or libjpeg for MinGW-w64, so this
#     build has KX_PNG_JPEG=OFF: its scene library reports PNG and JPEG files
#     as unsupported. tinygltf and nlohmann-json are header-only and come from
#     the host's packages;
#  3. the DLL build is installed into a temporary prefix and
#     examples/render_scene links against that package alone: every class
#     and function it uses must be exported by the DLLs.
# Installs Debian's g++-mingw-w64-x86-64 when missing and running as root;
# otherwise skips with a message.
#   scripts/check-mingw.sh [BUILD_DIR]
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
compiler=x86_64-w64-mingw32-g++
library_compiler="${compiler}-posix"

if ! command -v "$library_compiler" >/dev/null 2>&1; then
    if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
        echo "Installing g++-mingw-w64-x86-64 for the MinGW check"
        export DEBIAN_FRONTEND=noninteractive
        if ! timeout 300 bash -c 'apt-get update -qq && apt-get install -y -qq --no-install-recommends g++-mingw-w64-x86-64 >/dev/null'; then
            echo "SKIPPED: could not install g++-mingw-w64-x86-64 in time"
            exit 0
        fi
    else
        echo "SKIPPED: $library_compiler is not installed (apt-get install g++-mingw-w64-x86-64)"
        exit 0
    fi
fi
# cmake and the header-only glTF and JSON libraries.
bash "$root/scripts/install-deps.sh"

"$compiler" -std=c++17 -fsyntax-only -Wall -Wextra -DUNICODE -D_UNICODE \
    "$root/tests/platform/mingw_compile_check.cpp"

build=$(mkdir -p "${1:-$root/build-mingw}" && cd "${1:-$root/build-mingw}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The host's include directory must not reach the cross build: only the two
# header-only libraries are offered, from a folder of their own.
mkdir -p "$build/host-headers"
ln -sfn /usr/include/tiny_gltf.h "$build/host-headers/tiny_gltf.h"
ln -sfn /usr/include/nlohmann "$build/host-headers/nlohmann"

toolchain="$root/cmake/mingw-w64-x86_64.cmake"
jobs=$(nproc 2>/dev/null || echo 2)
# Build type None: no optimisation and no debug information, the quickest
# build that still compiles and links everything.
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=None \
      -DCMAKE_CXX_FLAGS="-Werror -DUNICODE -D_UNICODE" -DKX_PNG_JPEG=OFF -DKX_BUILD_TESTS=OFF \
      -DKX_BUILD_BENCHMARKS=OFF -DTINYGLTF_INCLUDE_DIR="$build/host-headers" \
      -DNLOHMANN_JSON_INCLUDE_DIR="$build/host-headers" >/dev/null
cmake --build "$build" -j "$jobs"
cmake --install "$build" --prefix "$work/prefix" >/dev/null

cmake -S "$root/examples/render_scene" -B "$work/example" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror -DUNICODE -D_UNICODE" \
      -Dkxdxrenderer_DIR="$work/prefix/lib/cmake/kxdxrenderer" >/dev/null
cmake --build "$work/example"
imports=$(x86_64-w64-mingw32-objdump -p "$work/example/render_scene.exe")
for dll in libkxdxrenderer.dll libkxscene.dll; do
    if ! grep -q "DLL Name: $dll" <<<"$imports"; then
        echo "render_scene.exe does not use $dll" >&2
        exit 1
    fi
done
echo "MinGW-w64 check passed: DLLs built and examples/render_scene linked against them"
