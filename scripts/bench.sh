#!/bin/sh
# Builds the benchmark without overrun traps and prints the scanner's and the
# walker's speed and the memory used, under Wine.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
sh "$root/scripts/install-deps.sh"
build="$root/build-bench"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DSEEKLINE_TESTS=ON -DSEEKLINE_CHECKED=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target seekline_bench
state="$build/wine"
sh "$root/tests/wine/up.sh" "$state" >/dev/null
trap 'sh "$root/tests/wine/down.sh" "$state"' EXIT
sh "$root/tests/wine/exec.sh" "$state" "$build/bench/seekline_bench.exe"
