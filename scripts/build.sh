#!/bin/sh
# Configures and builds Seekline with the MinGW-w64 toolchain, the one way
# the other scripts build it: build.sh FOLDER TESTS CHECKED [TARGET...]
# makes a release build in FOLDER, with the tests and the benchmark or
# without (TESTS ON or OFF), with overrun traps or without (CHECKED ON or
# OFF), of the targets named or else of everything. Only the build's own
# lines are printed.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
folder=$1
tests=$2
checked=$3
shift 3
cmake -S "$root" -B "$folder" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DSEEKLINE_TESTS="$tests" -DSEEKLINE_CHECKED="$checked" >/dev/null
[ $# -eq 0 ] || set -- --target "$@"
exec cmake --build "$folder" -j"$(nproc)" "$@"
