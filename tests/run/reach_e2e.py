#!/usr/bin/env python3
"""End-to-end tests of what a search reaches, on the real Seekline.exe and
Seekline.com under Wine: a tree of 25,000 files searched while the progress
dialog shows the current file, paths deep beyond 260 units, link cycles,
files named like devices, names the code page cannot spell, patterns with a
folder part, a file cut short while it is searched, and one hostile tree
holding all of that at once.

Expected reports are computed here from the files by the walk and scan rules
(see Model), never copied from a run. Runs inside the Wine fixture like
e2e.py.
"""
import os
import random
import re
import shutil
import socket
import subprocess
import sys
import time

from e2e import PROGRESS, check, winpath, write
from cli_e2e import Cli, main

NEEDLE = b'NEEDLE'
UPPER = bytes.maketrans(b'abcdefghijklmnopqrstuvwxyz', b'ABCDEFGHIJKLMNOPQRSTUVWXYZ')
SHORT_NAME = rb'[A-Z0-9_~]{1,8}(?:\.[A-Z0-9_~]{1,3})?'


class Model:
    """The walk and scan rules for a case-folded search of an ASCII needle:
    in each folder the files of each pattern in turn, in the platform's order
    (Wine lists names sorted without regard to case), then the subfolders,
    each walked whole, except one met again on the current descent; in each
    file the first hit of every line, lines ended by CR LF, CR or LF, the
    text cut to 259 bytes."""

    def __init__(self, patterns, subfolders, code_page='cp1252'):
        self.patterns = [p for p in re.split('[; ]', patterns) if p]
        self.subfolders = subfolders
        self.code_page = code_page

    def report(self, folder, typed, needle=NEEDLE):
        """The report lines, as (shown path, line bytes or None where the code
        page cannot spell the path) pairs, for the folder typed as typed."""
        lines = []
        prefix = typed if typed.endswith('\\') else typed + '\\'
        for path, shown in self.walk(folder, prefix, []):
            for number, column, text in self.scan(path, needle):
                lines.append((shown, number, column, text))
        return lines

    def walk(self, folder, shown, descent):
        try:
            names = sorted(os.listdir(folder), key=str.upper)
        except OSError:
            return []
        files = []
        for pattern in self.patterns:
            for name in names:
                path = os.path.join(folder, name)
                if not os.path.isdir(path) and self.matches(pattern, name):
                    files.append((path, shown + name))
        if not self.subfolders:
            return files
        descent = descent + [os.stat(folder)[1:3]]
        for name in names:
            path = os.path.join(folder, name)
            if os.path.isdir(path) and os.stat(path)[1:3] not in descent:
                files += self.walk(path, shown + name + '\\', descent)
        return files

    @staticmethod
    def matches(pattern, name):
        if pattern == '*.*':
            return True
        expression = ''.join('.*' if c == '*' else '.' if c == '?' else re.escape(c) for c in pattern)
        return re.fullmatch(expression, name, re.IGNORECASE | re.DOTALL) is not None

    @staticmethod
    def scan(path, needle):
        # A FIFO or a socket has nothing to read (and opening a FIFO here
        # would wait for a writer).
        if not os.path.isfile(path):
            return []
        try:
            with open(path, 'rb') as f:
                data = f.read()
        except OSError:
            return []
        hits = []
        for number, line in enumerate(re.split(rb'\r\n|\r|\n', data), 1):
            at = line.translate(UPPER).find(needle)
            if at >= 0:
                hits.append((number, at + 1, line[:259]))
        return hits

    def expected(self, lines):
        """The report bytes, or a pattern where a path holds characters the
        code page cannot spell: those must print with short names."""
        parts = []
        for shown, number, column, text in lines:
            tail = b'(%d,%d) : %s\r\n' % (number, column, text)
            try:
                parts.append(re.escape(shown.encode(self.code_page, 'strict') + tail))
            except UnicodeEncodeError:
                pieces = []
                for part in shown.split('\\'):
                    try:
                        pieces.append(re.escape(part.encode(self.code_page, 'strict')))
                    except UnicodeEncodeError:
                        pieces.append(SHORT_NAME)
                parts.append(rb'\\'.join(pieces) + re.escape(tail))
        return b''.join(parts)


def check_report(out, model, lines, what):
    check(re.fullmatch(model.expected(lines), out, re.DOTALL),
          '%s: report of %d lines differs from the %d expected: %r' % (what, out.count(b'\n'), len(lines), out[:600]))


def host_link(target, link):
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(target, link)


def make_files(root, count, per_folder):
    """count files in folders of per_folder, most with one hit at a line and
    column of their own, every seventh without."""
    marker = os.path.join(root, '.complete')
    if os.path.exists(marker):
        return
    shutil.rmtree(root, ignore_errors=True)
    for n in range(count):
        folder = os.path.join(root, 'd%03d' % (n // per_folder))
        os.makedirs(folder, exist_ok=True)
        lines = [b'/* file %d */' % n] + [b'x' * (n % 13)] * (n % 5)
        if n % 7:
            lines.append(b' ' * (n % 11) + b'needle_%d();' % n)
        with open(os.path.join(folder, 'f%05d.%s' % (n, 'c' if n % 3 else 'h')), 'wb') as f:
            f.write(b'\r\n'.join(lines) + b'\n')
    write(marker, b'')


class Reach(Cli):
    """Runs the programs with their output in files: Wine's desktop process,
    started by the first window, inherits the standard handles of the
    program that started it, and would hold a pipe open while any Wine
    program still runs."""

    def start_in(self, arguments, locale='en_US', program=None, launcher=False):
        """Starts a program with arguments under the ANSI code page of
        locale; finish() waits for it."""
        env = dict(self.s.env, LANG=locale + '.UTF-8')
        command = ['sh', self.args.exec, self.args.state]
        if launcher:
            command += [self.args.launcher, winpath(program or self.args.program)]
        else:
            command += [program or self.args.console]
        out = open(os.path.join(self.args.work, 'out'), 'w+b')
        err = open(os.path.join(self.args.work, 'err'), 'w+b')
        process = subprocess.Popen(command + arguments, env=env, cwd=self.args.work, stdout=out, stderr=err,
                                   stdin=subprocess.DEVNULL)
        process.files = (out, err)
        return process

    @staticmethod
    def finish(process, timeout=300):
        """The exit code, standard output and standard error of a program."""
        process.wait(timeout=timeout)
        results = []
        for f in process.files:
            f.seek(0)
            results.append(f.read())
            f.close()
        return process.returncode, results[0], results[1]

    def search(self, arguments, **options):
        return self.finish(self.start_in(arguments, **options))


# --- the cases -------------------------------------------------------------------

def progress_loses_nothing(c):
    """25,000 files searched while the progress dialog names the file being
    searched at its own pace: the report holds every hit, in walk order, the
    same as without any window and the same on 1, 2, 3, 4 and 8 scanning
    threads, byte for byte, although the first file, of 20 MiB, takes a thread
    as long as hundreds of small ones take the others."""
    root = os.path.join(c.args.work, 'files')
    make_files(root, 25000, 250)
    big = os.path.join(root, 'd000', 'a-big.c')
    if not os.path.exists(big):
        write(big, (b'.' * 70 + b'\n') * 100000 + b'needle_big();\n' + (b'.' * 70 + b'\n') * 190000)
    model = Model('*.c;*.h', True)
    lines = model.report(root, winpath(root))
    arguments = ['/D', '/T:*.c;*.h', '/F:' + winpath(root), 'needle']
    process = c.start_in(arguments, program=c.args.program, launcher=True)
    c.s.find_window(PROGRESS)
    shown = c.s.window_texts('搜尋中').get(10, '')
    code, out, err = c.finish(process)
    check(code == 0, 'exit code %d, %r' % (code, err))
    check(shown == '' or re.fullmatch(re.escape(winpath(root)) + r'\\d\d{3}\\f\d{5}\.[ch]', shown),
          'the dialog showed %r' % shown)
    check_report(out, model, lines, 'with the progress dialog')
    code, quiet, _ = c.search(['/Q'] + arguments)
    check(code == 0 and quiet == out, 'the search without a window reported otherwise')
    for threads in (1, 2, 3, 4, 8):
        code, again, _ = c.search(['/Q', '/J:%d' % threads] + arguments)
        check(code == 0 and again == out, 'the search on %d threads reported otherwise' % threads)


def deep_paths_cycles_and_devices(c):
    """Files 400 units deep, links that lead back up the descent (searched
    once) and one that leads aside (searched again by that path), and files
    named like devices; the folder typed with and without its backslash."""
    root = os.path.join(c.args.work, 'deep')
    shutil.rmtree(root, ignore_errors=True)
    folder = root
    level = 0
    while len(winpath(folder)) < 420:
        folder = os.path.join(folder, 'level%02d_' % level + 'x' * 20)
        if level % 4 == 0:
            write(os.path.join(folder, 'deep%d.c' % level), b'a needle %d levels down\n' % level)
        level += 1
    for name in ('nul.c', 'con.h', 'aux.c', 'com1.c', 'prn.c', 'lpt1.c'):
        write(os.path.join(root, 'devices', name), b'the needle in %s\n' % name.encode())
    write(os.path.join(root, 'top.c'), b'needle at the top\n')
    write(os.path.join(root, 'side', 'side.c'), b'needle on the side\n')
    host_link('.', os.path.join(root, 'loop'))
    host_link('../..', os.path.join(root, 'devices', 'up'))
    host_link(os.path.join(root, 'side'), os.path.join(root, 'aside'))
    model = Model('*.c;*.h', True)
    lines = model.report(root, winpath(root))
    check(sum(1 for line in lines if line[0].endswith('side.c')) == 2, 'the model missed the aside link')
    for typed in (winpath(root), winpath(root) + '\\'):
        code, out, err = c.search(['/D', '/T:*.c;*.h', '/F:' + typed, 'needle'])
        check(code == 0, '%s: exit code %d, %r' % (typed, code, err))
        check_report(out, model, lines, typed)
        check(max(len(line) for line in out.split(b'\r\n')) > 420, 'no line names the deepest file')


def unprintable_names(c):
    """Under code pages 1252 and 950, a path with characters the code page
    cannot spell prints with the short names of those parts, and the line
    opens the file it names; the others print as they are."""
    root = os.path.join(c.args.work, 'names')
    shutil.rmtree(root, ignore_errors=True)
    for name in ('plain.c', '\u4e2d\u6587.c', 'caf\u00e9.c', '\u00e9t\u00e9\\inner.c'):
        write(os.path.join(root, *name.split('\\')), b'needle\n')
    for locale, code_page in (('en_US', 'cp1252'), ('zh_TW', 'cp950')):
        model = Model('*.c', True, code_page)
        lines = model.report(root, winpath(root))
        code, out, err = c.search(['/D', '/T:*.c', '/F:' + winpath(root), 'needle'], locale=locale)
        check(code == 0, '%s: exit code %d, %r' % (code_page, code, err))
        check_report(out, model, lines, code_page)
        check(b'?' not in out, '%s: a default character in %r' % (code_page, out))
        # Each line's name leads back to its file.
        for line in out.split(b'\r\n')[:-1]:
            path = line[:line.rindex(b'(1,1) : ')].decode(code_page)
            folder, name = path.rsplit('\\', 1)
            code, again, _ = c.search(['/T:' + name, '/F:' + folder, 'needle'], locale=locale)
            check(code == 0 and again.count(b'\r\n') == 1, '%s: %r names no file' % (code_page, path))


def patterns_with_a_folder(c):
    """A pattern that names a folder searches the files there and names them
    there, never the file of the same name in the folder searched."""
    root = os.path.join(c.args.work, 'patterns')
    shutil.rmtree(root, ignore_errors=True)
    write(os.path.join(root, 'a.c'), b'no hit up here\n')
    write(os.path.join(root, 'sub', 'a.c'), b'x\nneedle below\n')
    write(os.path.join(root, 'other', 'a.c'), b'needle aside\n')
    cases = [
        (root, 'sub\\*.c', [('sub\\a.c', 2, 1, b'needle below')]),
        (root, 'sub/a.c', [('sub/a.c', 2, 1, b'needle below')]),
        (os.path.join(root, 'sub'), '..\\other\\*.c;*.c',
         [('..\\other\\a.c', 1, 1, b'needle aside'), ('a.c', 2, 1, b'needle below')]),
    ]
    for folder, patterns, hits in cases:
        code, out, err = c.search(['/T:' + patterns, '/F:' + winpath(folder), 'needle'])
        expected = b''.join(b'%s\\%s(%d,%d) : %s\r\n' % (winpath(folder).encode(), name.encode(), line, column, text)
                            for name, line, column, text in hits)
        check(code == 0 and out == expected, '%s: %r, not %r (%r)' % (patterns, out, expected, err))


def mapped_by(path):
    """TRUE when a process maps the file at path."""
    for maps in os.listdir('/proc'):
        if maps.isdigit():
            try:
                with open('/proc/%s/maps' % maps) as f:
                    if path in f.read():
                        return True
            except OSError:
                pass
    return False


def file_cut_short(c):
    """A 3 GB file cut to half while it is searched: the file is searched as
    far as it could be read and the walk goes on to the files after it."""
    root = os.path.join(c.args.work, 'cut')
    shutil.rmtree(root, ignore_errors=True)
    big = os.path.join(root, 'a-big.c')
    write(big, b'"needle at the start"\n')
    with open(big, 'r+b') as f:
        f.seek(3 << 30)
        f.write(b'\n"needle at the end"\n')
    write(os.path.join(root, 'b-after.c'), b'x\n"the needle after it"\n')
    # Strings only with the & variants: six passes over the file, time enough
    # to cut it while it is read.
    process = c.start_in(['/Q', '/S', '/A', '/T:*.c', '/F:' + winpath(root), 'needle'])
    deadline = time.time() + 60
    while not mapped_by(big) and time.time() < deadline and process.poll() is None:
        time.sleep(0.005)
    os.truncate(big, 3 << 29)
    code, out, err = c.finish(process)
    check(code == 0, 'exit code %d, %r' % (code, err))
    lines = out.split(b'\r\n')
    check(lines[-1] == b'' and lines[0] == winpath(big).encode() + b'(1,2) : "needle at the start"',
          'report %r' % out[:300])
    check(lines[-2] == winpath(root).encode() + b'\\b-after.c(2,6) : "the needle after it"',
          'the walk did not go on: %r' % out[-300:])
    check(b'the end' not in out, 'a hit behind the cut was reported')
    os.remove(big)


def hostile_tree(c):
    """One tree holding at once unreadable and locked files, an empty file, a
    50 MB file of one line, NUL bytes and binary junk, lone CRs, a dangling
    link, a link cycle, deep paths, unprintable names, hidden and system
    files, and a few hundred ordinary files: the program ends by itself with
    exit code 0 and the report the walk and scan rules give."""
    root = os.path.join(c.args.work, 'hostile')
    shutil.rmtree(root, ignore_errors=True)
    rng = random.Random(11)
    for n in range(400):
        text = b''.join(rng.choice([b'int x;\r\n', b'needle(%d);\r\n' % n, b'\r\n', b'// Needle\n']) for _ in range(5))
        write(os.path.join(root, 'src%d' % (n % 8), 'file%03d.c' % n), text)
    write(os.path.join(root, 'empty.c'), b'')
    write(os.path.join(root, 'one-line.c'), b'x' * (50 << 20) + b' needle at the end')
    write(os.path.join(root, 'binary.c'), bytes(rng.getrandbits(8) for _ in range(100000)) + b'\0needle\0\r')
    write(os.path.join(root, 'nul.c'), b'\0' * 5000 + b'needle\0\0\n\0')
    write(os.path.join(root, 'mac.c'), b'one\rtwo needle\rthree\r\rneedle five')
    write(os.path.join(root, '.hidden.c'), b'hidden needle\n')
    write(os.path.join(root, 'system.c'), b'system needle\n')
    os.setxattr(os.path.join(root, 'system.c'), 'user.DOSATTRIB', b'0x6')
    write(os.path.join(root, '\u4e2d\u6587', '\u00e9\u00e9.c'), b'needle in a name\n')
    write(os.path.join(root, 'locked.c'), b'needle locked away\n')
    os.mkfifo(os.path.join(root, 'fifo.c'))
    server = socket.socket(socket.AF_UNIX)
    server.bind(os.path.join(root, 'socket.c'))
    host_link('/nonexistent/needle.c', os.path.join(root, 'dangling.c'))
    host_link('..', os.path.join(root, 'src3', 'cycle'))
    folder = os.path.join(root, 'deep')
    while len(winpath(folder)) < 360:
        folder = os.path.join(folder, 'd' * 30)
    write(os.path.join(folder, 'deep.c'), b'the deepest needle\n')

    model = Model('*.c', True)
    lines = [line for line in model.report(root, winpath(root)) if not line[0].endswith('locked.c')]
    holder = subprocess.Popen(['sh', c.args.exec, c.args.state, c.args.launcher, '--lock',
                               winpath(os.path.join(root, 'locked.c'))],
                              env=c.s.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    try:
        check(holder.stdout.readline() == b'held\n', 'the file could not be locked')
        code, out, err = c.search(['/D', '/T:*.c', '/F:' + winpath(root), 'needle'], program=c.args.program,
                                  launcher=True)
    finally:
        holder.stdin.close()
        holder.wait(timeout=30)
        server.close()
    check(code == 0, 'exit code %d, %r' % (code, err))
    check(err == b'', 'standard error %r' % err)
    check_report(out, model, lines, 'hostile tree')


CASES = [
    progress_loses_nothing,
    deep_paths_cycles_and_devices,
    unprintable_names,
    patterns_with_a_folder,
    file_cut_short,
    hostile_tree,
]


if __name__ == '__main__':
    sys.exit(main(CASES, Reach))
