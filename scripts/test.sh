#!/bin/sh
# Builds everything, with overrun traps, and runs all tests under Wine; the
# package's test needs NSIS to make the setup program.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
sh "$root/scripts/install-deps.sh" nsis
build="$root/build"
sh "$root/scripts/build.sh" "$build" ON ON
cd "$build"
ctest --output-on-failure
