#!/bin/sh
# The results window's benchmark: a search with a million hits (200 files of
# 5,000 lines, each a hit) with the results window against the same search
# with the progress dialog, one after the other in the same process, run
# BENCH_RUNS times (5 unless set); prints the medians of both times and of
# their ratio, in seconds and in processor time (the steadier figure on a
# busy machine), the time to the window's first row and the private bytes
# its list takes per hit, beside the targets. Called by scripts/bench.sh:
# results.sh BUILD STATE.
set -e
build=$1
state=$2
root=$(cd "$(dirname "$0")/.." && pwd)
exe="$build/bench/seekline_tree_bench.exe"
winpath() { echo "Z:$1" | tr / '\\'; }

tree="$build/million-hits"
if [ ! -f "$tree/.complete" ]; then
    rm -rf "$tree"
    python3 - "$tree" <<'PY'
import os, sys
root = sys.argv[1]
os.makedirs(root)
for f in range(200):
    with open(os.path.join(root, 'f%03d.c' % f), 'wb') as out:
        out.write(b''.join(b'    int needle_%d = CountItems(list, "items"); // line %d\r\n' % (n, n) for n in range(5000)))
PY
    touch "$tree/.complete"
fi
find "$tree" -type f -print0 | xargs -0 cat >/dev/null

times="$build/results-times"
rm -f "$times"
report="$build/results-report.txt"
for run in $(seq "${BENCH_RUNS:-5}"); do
    sh "$root/tests/wine/exec.sh" "$state" "$exe" results "$(winpath "$tree")" '*.c' needle "$(winpath "$report")" |
        tr -d '\r' >>"$times"
done
median() { sort -n | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
column() { cut -d' ' -f"$1" "$times" | median; }
ratio=$(awk '{print $2 / $1}' "$times" | median)
processor=$(awk '{print $7 / $6}' "$times" | median)
echo "results window: $(cut -d' ' -f4 "$times" | head -1) hits in 200 files, medians of $(wc -l <"$times") runs"
printf '  %-44s %8.2f s   %5.2f s of processor\n' "progress dialog (the box unticked)" "$(column 1)" "$(column 6)"
printf '  %-44s %8.2f s   %5.2f s of processor\n' "results window" "$(column 2)" "$(column 7)"
printf '  %-44s %8.2f     %5.2f (target at most 1.10)\n' "ratio, window / progress dialog" "$ratio" "$processor"
printf '  %-44s %8.2f s\n' "time to the window's first row" "$(column 3)"
printf '  %-44s %8.1f     (target at most 64)\n' "private bytes per hit" "$(column 5)"
cmp -s "$report" "$state/home/Seekline.txt" && echo "  (the same report with the window and without)" ||
    echo "  REPORTS DIFFER with the window and without"
