#!/bin/sh
# Builds everything, with overrun traps, and runs all tests under Wine; the
# package's test needs NSIS to make the setup program.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
sh "$root/scripts/install-deps.sh" nsis
build="$root/build"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DSEEKLINE_TESTS=ON -DSEEKLINE_CHECKED=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure
