#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and builds programs on the
# installed package alone, as a user of the library would:
#   - examples/render_scene with CMake (find_package(kxdxrenderer CONFIG)),
#     run: it must write both of its PNG images;
#   - a one-file program with the flags of pkg-config.
# The prefix is moved after installing, so nothing may depend on where it was
# installed, and no build directory is on any search path.
#   scripts/check-install.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build_dir=$(cd "${1:-build}" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build_dir" --prefix "$work/staging" >/dev/null
mv "$work/staging" "$work/prefix"
prefix="$work/prefix"

echo "== CMake package: examples/render_scene"
cmake -S "$root/examples/render_scene" -B "$work/example" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >/dev/null
cmake --build "$work/example" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
mkdir -p "$work/out"
(cd "$work/out" && "$work/example/render_scene" raster.png traced.png)
for image in raster.png traced.png; do
    if [ ! -s "$work/out/$image" ]; then
        echo "render_scene did not write $image" >&2
        exit 1
    fi
    # A PNG file starts with its eight-byte signature.
    if [ "$(head -c 8 "$work/out/$image" | od -An -tx1 | tr -d ' \n')" != "89504e470d0a1a0a" ]; then
        echo "$image is not a PNG file" >&2
        exit 1
    fi
done
# The package came from the prefix, and no flag names the source or build tree.
if ! grep -q "^kxdxrenderer_DIR:PATH=$prefix/" "$work/example/CMakeCache.txt" ||
   grep -rqs -e "$build_dir" -e "-I$root" -e "$root/[a-z]*/lib" "$work/example/CMakeFiles"; then
    echo "the example was not built on the installed package alone" >&2
    exit 1
fi

echo "== pkg-config: kxdxrenderer"
libdir=$(dirname "$(find "$prefix" -name kxdxrenderer.pc -print -quit)")
export PKG_CONFIG_PATH="$libdir"
cat > "$work/version.cpp" <<'PROGRAM'
#include "KXDXRendererVersion.h"
#include "sceneapi/KXColor.h"

#include <cstdio>
#include <cstring>

int main()
{
    const KXColor grey(0.5f, 0.5f, 0.5f, 1.0f);
    std::printf("%s %08x\n", KXDXRendererVersion(), static_cast<unsigned>(grey.getBGRA()));
    return std::strcmp(KXDXRendererVersion(), KXDXRENDERER_VERSION_STRING) == 0 ? 0 : 1;
}
PROGRAM
# shellcheck disable=SC2046
c++ -std=c++17 -Wall -Wextra -Werror "$work/version.cpp" -o "$work/version" \
    $(pkg-config --cflags --libs kxdxrenderer) -Wl,-rpath,"$(pkg-config --variable=libdir kxdxrenderer)"
"$work/version"
echo "Installed package check passed"
