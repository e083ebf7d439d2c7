#!/usr/bin/env bash
# Builds everything: the native logic and its tests (build/native), and the two Windows builds
# with their Windows-side tests and fixtures (build/x86, build/x64), which put the program into
# dist/x86 and dist/x64.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)

cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j "$jobs"
for arch in x86 x64; do
  cmake -S . -B "build/$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release --no-warn-unused-cli >/dev/null
  cmake --build "build/$arch" -j "$jobs" --target MorvaneSetup wine_tests fixtures
done
ls -l dist/x86/MorvaneSetup.exe dist/x64/MorvaneSetup.exe
