#!/usr/bin/env bash
# Compile-only check that the renderer's use of Direct3D 9, D3DX 9 and
# Win32 (tests/platform/mingw_compile_check.cpp) builds against MinGW-w64's
# Windows headers as well as against the Linux platform layer's, and that
# every source file of the renderer library itself does (with the POSIX
# thread model, whose standard library has std::mutex and std::thread).
# Installs Debian's g++-mingw-w64-x86-64 when missing and running as root;
# otherwise skips with a message.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
compiler=x86_64-w64-mingw32-g++

if ! command -v "$compiler" >/dev/null 2>&1; then
    if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
        echo "Installing g++-mingw-w64-x86-64 for the MinGW compile check"
        export DEBIAN_FRONTEND=noninteractive
        if ! timeout 300 bash -c 'apt-get update -qq && apt-get install -y -qq --no-install-recommends g++-mingw-w64-x86-64 >/dev/null'; then
            echo "SKIPPED: could not install g++-mingw-w64-x86-64 in time"
            exit 0
        fi
    else
        echo "SKIPPED: $compiler is not installed (apt-get install g++-mingw-w64-x86-64)"
        exit 0
    fi
fi

"$compiler" -std=c++17 -fsyntax-only -Wall -Wextra -DUNICODE -D_UNICODE \
    "$root/tests/platform/mingw_compile_check.cpp"

library_compiler="${compiler}-posix"
if command -v "$library_compiler" >/dev/null 2>&1; then
    cd "$root"
    find canvas renderer resources imagegen raytracer widgets -name '*.cpp' -print0 | sort -z |
        xargs -0 -n 8 -P 2 "$library_compiler" -std=c++17 -fsyntax-only -fopenmp -Wall -Wextra -Werror \
            -DUNICODE -D_UNICODE -I"$root"
    "$library_compiler" -std=c++17 -fsyntax-only -fopenmp -Wall -Wextra -Werror -DUNICODE -D_UNICODE -I"$root" \
        kxdxrenderer.cpp
else
    echo "SKIPPED: the library check needs $library_compiler"
fi
echo "MinGW-w64 compile check passed"
