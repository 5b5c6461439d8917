#!/bin/sh
# Builds Seekline and starts it under Wine, with its own prefix under
# build-app/. Uses your X display, or a headless one when there is none.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
sh "$root/scripts/install-deps.sh"
build="$root/build-app"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DSEEKLINE_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

state="$build/wine"
if [ -n "$DISPLAY" ]; then
    rm -f "$state/display"
    sh "$root/tests/wine/prefix.sh" "$state"
else
    sh "$root/tests/wine/up.sh" "$state"
    trap 'sh "$root/tests/wine/down.sh" "$state"' EXIT
    echo "no DISPLAY: Seekline runs on the headless display :$(cat "$state/display")"
fi
# The report goes to Seekline.txt on the Wine desktop, which is this folder.
echo "report: $state/home/Seekline.txt"
sh "$root/tests/wine/exec.sh" "$state" "$build/run/Seekline.exe"
