"""Puts the scanner's figures beside ripgrep's and GNU grep's on the same file.

bench_peers.py FILE ROWS: ROWS are the scanner benchmark's tab-separated rows
for FILE and for the Unicode files beside it. Each needle is searched with
`rg -n --column -F` / `-iF` and `grep -n -F` / `-iF`, the median of BENCH_RUNS
runs (3 unless set), the output going to a file (both tools stop early when it
goes to /dev/null); each regular expression with `rg -n --column` (`-i` when
folded, `-w` for a whole word), set against the target that the benchmark
gives (1.5 times ripgrep's time for a pattern that holds a telling literal, 3
for one without); the files hostile to a matcher (patterns exponential for a
backtracking matcher on a 10 MiB line, target 2; counted repeats on long
lines and a DFA that thrashes, target 3), each against a literal search of
the same file; the Unicode files with rg alone,
which reads UTF-16 with a mark by itself.
"""
import os
import statistics
import subprocess
import sys
import time

RUNS = max(1, int(os.environ.get("BENCH_RUNS", "3")))


def timed(command, out_path):
    """Median seconds of the command and the lines it wrote."""
    times = []
    for _ in range(RUNS):
        with open(out_path, "wb") as out:
            start = time.perf_counter()
            subprocess.run(command, stdout=out, check=False)
            times.append(time.perf_counter() - start)
    with open(out_path, "rb") as out:
        lines = sum(1 for _ in out)
    os.remove(out_path)
    return statistics.median(times), lines


def read_before(path):
    """The scan rows of another build's benchmark on the same file, by needle
    and mode."""
    before = {}
    with open(path, encoding="latin-1") as rows_file:
        for line in rows_file:
            fields = line.rstrip("\r\n").split("\t")
            if fields[0] == "scan":
                before[fields[1], fields[2]] = float(fields[4])
    return before


def main():
    source, rows_path = sys.argv[1], sys.argv[2]
    rows, memory, size = [], [], 0
    before = read_before(sys.argv[3]) if len(sys.argv) > 3 else {}
    unicode_rows, unicode_off = [], {}
    pattern_rows, hostile_rows = [], []
    with open(rows_path, encoding="latin-1") as rows_file:
        for line in rows_file:
            fields = line.rstrip("\r\n").split("\t")
            if fields[0] == "scan":
                rows.append(fields[1:])
            elif fields[0] == "memory":
                memory.append(fields[1:])
            elif fields[0] == "size":
                size = int(fields[1])
            elif fields[0] == "unicode":
                unicode_rows.append([fields[1], fields[2].encode("latin-1").decode("utf-8")] + fields[3:])
            elif fields[0] == "unicode-off":
                unicode_off[fields[1]] = float(fields[4])
            elif fields[0] == "pattern":
                pattern_rows.append(fields[1:])
            elif fields[0] == "hostile":
                hostile_rows.append(fields[1:])
            else:
                print(line, end="")
    mib = size / (1 << 20)
    out_path = source + ".out"
    peers = {}
    for needle in dict.fromkeys(row[0] for row in rows if row[0]):
        for tool, flags in (("rg", ["-n", "--column"]), ("grep", ["-n"])):
            for folded in (False, True):
                option = "-iF" if folded else "-F"
                peers[needle, tool, folded] = timed([tool, *flags, option, "--", needle, source], out_path)

    print(f"scanner, one {mib:.0f} MiB C-like file, medians of {RUNS} runs")
    print(f"{'needle':<31}{'mode':<18}{'passes':>6}{'s':>9}{'MiB/s':>9}{'lines':>10}"
          f"{'x plain':>8}{'rg s':>8}{'lines':>10}{'Seek/rg':>8}{'grep s':>8}{'x before':>9}")
    plain = {}
    for needle, mode, passes, seconds, lines in rows:
        seconds, passes = float(seconds), int(passes)
        if mode == "folded":
            plain[needle] = seconds
        # A pass of the variants is set against one pass of the plain search.
        versus = f"{seconds / passes / plain[needle]:8.2f}" if needle in plain and mode != "folded" else " " * 8
        folded = mode != "match case"
        rg = peers.get((needle, "rg", folded))
        grep = peers.get((needle, "grep", folded))
        peer = (f"{rg[0]:8.3f}{rg[1]:10d}{seconds / rg[0]:8.2f}{grep[0]:8.3f}" if rg else "")
        if (needle, mode) in before:
            peer += f"{before[needle, mode] / seconds:9.1f}"
        shown = needle if needle else "(empty)"
        print(f"{shown:<31}{mode:<18}{passes:>6}{seconds:9.3f}{mib * passes / seconds:9.0f}{int(lines):>10}"
              f"{versus}{peer}")
    if before:
        print("x before: the other build's seconds (SEEKLINE_BEFORE_BENCH) over these")
    print_patterns(source, pattern_rows, out_path)
    print_hostile(hostile_rows)
    print_unicode(source, unicode_rows, unicode_off, out_path)
    for when, kib in memory:
        print(f"memory {when} the scanner: private bytes {kib} KiB")


def print_patterns(source, rows, out_path):
    """Regular expressions and a whole word beside rg with the same pattern,
    in the same case."""
    if not rows:
        return
    mib = os.path.getsize(source) / (1 << 20)
    print("\nregular expressions and a whole word, the same file")
    print(f"{'pattern':<24}{'kind':<12}{'mode':<12}{'literal':<12}{'s':>8}{'MiB/s':>8}{'lines':>10}"
          f"{'rg s':>8}{'lines':>10}{'Seek/rg':>8}{'target':>7}")
    for pattern, kind, mode, literal, target, seconds, lines in rows:
        seconds, target = float(seconds), float(target)
        flags = ["-n", "--column"] + (["-i"] if mode == "folded" else []) + (["-w"] if kind == "whole word" else [])
        rg, rg_lines = timed(["rg", *flags, "-e", pattern, source], out_path)
        verdict = "" if seconds / rg <= target else "  missed"
        print(f"{pattern:<24}{kind:<12}{mode:<12}{literal or '-':<12}{seconds:8.3f}{mib / seconds:8.0f}{int(lines):>10}"
              f"{rg:8.3f}{rg_lines:>10}{seconds / rg:8.2f}{target:7.1f}{verdict}")


def print_hostile(rows):
    """Files hostile to a matcher (exponential for a backtracking matcher,
    counted repeats on long lines, a DFA that gives up), each pattern beside
    the literal search of the same file in the same run."""
    if not rows:
        return
    print("\nhostile patterns, each beside the literal search of its file")
    print(f"{'pattern':<20}{'s':>9}{'lines':>7}{'x literal':>10}{'target':>7}")
    literal = None
    for shown, pattern, kind, target, seconds, lines in rows:
        if kind == "literal":
            literal = float(seconds)
            print(f"{shown}: the literal {pattern} {literal:.4f} s")
            continue
        seconds, target = float(seconds), float(target)
        verdict = "" if seconds / literal <= target else "  missed"
        print(f"{pattern:<20}{seconds:9.4f}{int(lines):>7}{seconds / literal:10.2f}{target:7.1f}{verdict}")


UNICODE_FILES = {"UTF-8": "source-utf8.c", "UTF-16LE": "source-utf16.c", "ANSI": "source.c"}


def print_unicode(source, rows, option_off, out_path):
    """The Unicode files option on each file: beside the option off on the
    same bytes (the rare identifier) and beside rg on the same file."""
    if not rows:
        return
    folder = os.path.dirname(source)
    print("\nUnicode files option, the same content with rare Chinese and accented lines")
    print(f"{'file':<10}{'needle':<12}{'mode':<12}{'s':>8}{'MiB/s':>8}{'lines':>8}"
          f"{'off s':>8}{'x off':>7}{'rg s':>8}{'lines':>8}{'Seek/rg':>8}")
    for label, needle, mode, seconds, lines in rows:
        path = os.path.join(folder, UNICODE_FILES[label])
        seconds = float(seconds)
        mib = os.path.getsize(path) / (1 << 20)
        option = "-F" if mode == "match case" else "-iF"
        rg, rg_lines = timed(["rg", "-n", "--column", option, "--", needle, path], out_path)
        off = option_off.get(label) if needle == "PM_RESUME" else None
        versus = f"{off:8.3f}{seconds / off:7.2f}" if off else " " * 15
        print(f"{label:<10}{needle:<12}{mode:<12}{seconds:8.3f}{mib / seconds:8.0f}{int(lines):>8}"
              f"{versus}{rg:8.3f}{rg_lines:>8}{seconds / rg:8.2f}")


main()
