#!/usr/bin/env bash
# Builds everything: the native logic and its tests (build/native); the two programs, each in a build
# tree of its own with the win32 thread model (build/x86-app, build/x64-app), which put them into
# dist/x86 and dist/x64; and the Windows-side tests with their fixtures (build/x86, build/x64, posix
# thread model). A tree never mixes the two models. With CI=true every warning is an error.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)
werror=-DMORVANE_WERROR=$([ "${CI:-}" = true ] && echo ON || echo OFF)

cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug "$werror" >/dev/null
cmake --build build/native -j "$jobs"
for arch in x86 x64; do
  cmake -S . -B "build/$arch-app" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DMORVANE_THREADS=win32 \
    -DCMAKE_BUILD_TYPE=Release "$werror" --no-warn-unused-cli >/dev/null
  cmake --build "build/$arch-app" -j "$jobs" --target MorvaneSetup
  cmake -S . -B "build/$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release "$werror" \
    --no-warn-unused-cli >/dev/null
  cmake --build "build/$arch" -j "$jobs" --target wine_tests fixtures
done
for arch in x86 x64; do
  echo "dist/$arch/MorvaneSetup.exe: $(wc -c <"dist/$arch/MorvaneSetup.exe") bytes"
done
