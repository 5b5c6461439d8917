#!/bin/sh
# Builds the benchmark without overrun traps and prints, under Wine, the
# scanner's speed on a 256 MiB C-like file beside ripgrep's and GNU grep's on
# the same file, the walker's speed and the memory used, then whole-tree
# searches (the Linux sources and a generated tree) against a floor program
# that only walks and reads, and against the same tools, and last a search
# of a million hits with the results window against the same without it.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
# The search tools to compare with are needed here only.
sh "$root/scripts/install-deps.sh" ripgrep grep
build="$root/build-bench"
sh "$root/scripts/build.sh" "$build" ON OFF seekline_bench seekline_tree_bench
state="$build/wine"
data="$build/bench-data"
mkdir -p "$data"
sh "$root/tests/wine/up.sh" "$state" >/dev/null
trap 'sh "$root/tests/wine/down.sh" "$state"' EXIT
# The benchmark writes the file on first use and times the scanner on it;
# the other tools then search the same file, still in the cache.
sh "$root/tests/wine/exec.sh" "$state" "$build/bench/seekline_bench.exe" scanner "$data/source.c" \
    >"$data/seekline.tsv"
# SEEKLINE_BEFORE_BENCH=path: another build's seekline_bench.exe on the same
# file, in the same run, for the scanner's rows.
if [ -n "$SEEKLINE_BEFORE_BENCH" ]; then
    sh "$root/tests/wine/exec.sh" "$state" "$SEEKLINE_BEFORE_BENCH" scanner "$data/source.c" >"$data/before.tsv"
    python3 "$root/scripts/bench_peers.py" "$data/source.c" "$data/seekline.tsv" "$data/before.tsv"
else
    python3 "$root/scripts/bench_peers.py" "$data/source.c" "$data/seekline.tsv"
fi
sh "$root/tests/wine/exec.sh" "$state" "$build/bench/seekline_bench.exe"
sh "$root/bench/tree.sh" "$build" "$state"
sh "$root/bench/results.sh" "$build" "$state"

# SCAN_DIFF_CASES=N also holds the scanner to the reference scanners on
# N random cases in each of the eight code pages the tests run in.
if [ -n "$SCAN_DIFF_CASES" ]; then
    sh "$root/scripts/build.sh" "$build" ON OFF engine_tests >/dev/null
    for locale in en_US ru_RU el_GR ja_JP zh_CN ko_KR zh_TW hi_IN; do
        LANG=$locale.UTF-8 sh "$root/tests/wine/exec.sh" "$state" "$build/tests/engine/engine_tests.exe" \
            --gtest_filter='ScanDifferential.*' --gtest_brief=1
    done
fi
