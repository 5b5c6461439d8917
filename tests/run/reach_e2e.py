#!/usr/bin/env python3
"""End-to-end tests of what a search reaches, on the real Seekline.exe and
Seekline.com under Wine: a tree of 25,000 files searched while the progress
dialog shows the current file, paths deep beyond 260 units, link cycles and
links out of the start folder, files named like devices, names the code page
cannot spell, patterns with a folder part, a file cut short while it is
searched, a hit past column 2^32, and one hostile tree holding all of that
at once, with files that cannot be read.

Expected reports are computed here from the files by the walk and scan rules
(see Model), never copied from a run. Runs inside the Wine fixture like
e2e.py, on the helpers in tests/support/seekline_e2e.py.
"""
import os
import random
import re
import shutil
import socket
import stat
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from seekline_e2e import IDS, PROGRESS, check, main, wait_for, winpath, write  # noqa: E402

NEEDLE = b'NEEDLE'
UPPER = bytes.maketrans(b'abcdefghijklmnopqrstuvwxyz', b'ABCDEFGHIJKLMNOPQRSTUVWXYZ')
SHORT_NAME = rb'[A-Z0-9_~]{1,8}(?:\.[A-Z0-9_~]{1,3})?'
# The longest path, in bytes, that the host opens.
HOST_PATH_BYTES = 4095


class Model:
    """The walk and scan rules for a case-folded search of an ASCII needle:
    in each folder the files of each pattern in turn, in the platform's order
    (Wine lists names sorted without regard to case), then the subfolders,
    each walked whole, except one met again on the current descent or one
    that holds the start folder; in each file the first hit of every line,
    lines ended by CR LF, CR or LF, the text cut to 259 bytes. A file that
    cannot be read is named on standard error instead, and so is a folder
    whose path is longer than the host lists, which is not entered."""

    def __init__(self, patterns, subfolders, code_page='cp1252', longest=HOST_PATH_BYTES):
        self.patterns = [p for p in re.split('[; ]', patterns) if p]
        self.subfolders = subfolders
        self.code_page = code_page
        self.longest = longest  # the longest path of a file the program can open

    def files(self, folder, typed):
        """The files the walk finds, as (path, shown path, folder) triples,
        in walk order, for the folder typed as typed; folder is True for a
        folder the walk cannot list."""
        prefix = typed if typed.endswith('\\') else typed + '\\'
        ancestors = []
        up = os.path.abspath(folder)
        while os.path.dirname(up) != up:
            up = os.path.dirname(up)
            ancestors.append(os.stat(up)[1:3])
        return self.walk(folder, prefix, ancestors)

    def report(self, folder, typed, needle=NEEDLE, unreadable=()):
        """The report lines, as (shown path, line number, column, text)
        tuples, for the folder typed as typed; the files in unreadable are
        held from the program, so they give none."""
        lines = []
        for path, shown, unlisted in self.files(folder, typed):
            if not unlisted and path not in unreadable and not self.reason(path):
                for number, column, text in self.scan(path, needle):
                    lines.append((shown, number, column, text))
        return lines

    def problems(self, folder, typed, unreadable=()):
        """A pattern of the standard error lines: one per file that cannot be
        read, in walk order; unreadable maps the files held from the program
        to the system's words for why."""
        lines = []
        for path, shown, unlisted in self.files(folder, typed):
            reason = unreadable[path] if path in unreadable else self.reason(path, unlisted)
            if reason:
                what = b'folder ' if unlisted else b''
                lines.append(re.escape(b'Seekline: cannot read %s%s: ' % (what, shown.encode(self.code_page))) +
                             reason.encode() + rb'\r\n')
        return b''.join(lines)

    def reason(self, path, folder=False):
        """A pattern of the system's words for why a file the walk finds
        cannot be read, or a folder listed, or None: its path is longer than
        the host opens, or it is a socket. Wine lists a folder through a path
        one byte longer than the folder's own (seen at the limit)."""
        if len(os.fsencode(path)) > self.longest - (1 if folder else 0):
            return '.+'
        if stat.S_ISSOCK(os.lstat(path).st_mode):
            return '.+'
        return None

    def walk(self, folder, shown, descent):
        try:
            names = sorted(os.listdir(folder), key=str.upper)
        except OSError:
            return []
        files = []
        for pattern in self.patterns:
            for name in names:
                path = os.path.join(folder, name)
                # The platform does not list a link that leads nowhere.
                dangling = os.path.islink(path) and not os.path.exists(path)
                if not self.is_folder(folder, name) and not dangling and self.matches(pattern, name):
                    files.append((path, shown + name, False))
        if not self.subfolders:
            return files
        descent = descent + [os.stat(folder)[1:3]]
        for name in names:
            path = os.path.join(folder, name)
            if self.is_folder(folder, name) and self.reason(path, folder=True):
                files.append((path, shown + name, True))
            elif os.path.isdir(path) and os.stat(path)[1:3] not in descent:
                files += self.walk(path, shown + name + '\\', descent)
        return files

    @staticmethod
    def is_folder(folder, name):
        """Whether name in folder is a folder (or a link to one), asked of
        the folder, so that a path too long for the host asks nothing."""
        at = os.open(folder, os.O_RDONLY)
        try:
            return stat.S_ISDIR(os.stat(name, dir_fd=at).st_mode)
        except OSError:
            return False
        finally:
            os.close(at)

    @staticmethod
    def matches(pattern, name):
        if pattern == '*.*':
            return True
        expression = ''.join('.*' if c == '*' else '.' if c == '?' else re.escape(c) for c in pattern)
        return re.fullmatch(expression, name, re.IGNORECASE | re.DOTALL) is not None

    @staticmethod
    def scan(path, needle):
        # A FIFO has nothing to read (and opening one here would wait for a
        # writer).
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


class Reach:
    """Runs the programs with their output in files: Wine's desktop process,
    started by the first window, inherits the standard handles of the
    program that started it, and would hold a pipe open while any Wine
    program still runs."""

    def __init__(self, session):
        self.s = session
        self.args = session.args

    def start_in(self, arguments, locale='en_US', program=None, launcher=False):
        """Starts a program with arguments under the ANSI code page of
        locale; finish() waits for it."""
        env = dict(self.s.env, LANG=locale + '.UTF-8')
        if launcher:
            command = [self.args.launcher, winpath(program or self.args.program)]
        else:
            command = [program or self.args.console]
        out = open(os.path.join(self.args.work, 'out'), 'w+b')
        err = open(os.path.join(self.args.work, 'err'), 'w+b')
        process = self.s.wine(*command, *arguments, env=env, cwd=self.args.work, stdout=out, stderr=err,
                              stdin=subprocess.DEVNULL)
        process.files = (out, err)
        # Ended by the driver should it outlive its time.
        self.s.running = process
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
    shown = c.s.window_texts(PROGRESS).get(IDS.IDC_CURRENT_FILE, '')
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
    """Files 400 units deep, links that lead back up the descent or out to a
    folder that holds the start folder (not entered) and one that leads aside
    (searched again by that path), and files named like devices; the folder
    typed with and without its backslash."""
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
    check(not any('\\up\\' in line[0] for line in lines), 'the model left the start folder')
    for typed in (winpath(root), winpath(root) + '\\'):
        # A walk that left the tree would take minutes: a minute is a failure.
        code, out, err = c.finish(c.start_in(['/D', '/T:*.c;*.h', '/F:' + typed, 'needle']), timeout=60)
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
        # The platform's path functions drop a folder name's last dot.
        (root, 'sub.\\*.c', [('sub.\\a.c', 2, 1, b'needle below')]),
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
    wait_for(lambda: mapped_by(big) or process.poll() is not None, None, timeout=60, interval=0.005)
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


def longest_wine_path(c):
    """The longest path of a file that Wine opens: it opens a path through
    the prefix's link for drive Z:, and the host's limit holds for the two
    together."""
    return HOST_PATH_BYTES - len(os.fsencode(os.path.join(c.args.state, 'prefix', 'dosdevices', 'z:')))


def make_beyond_the_host(root, longest):
    """Folders down to just short of the longest path the program opens, and
    there a file with a hit and one whose path is longer than that. Made
    folder by folder: the host refuses such paths whole."""
    folder = os.open(root, os.O_RDONLY)
    length = len(os.fsencode(root))
    while length < longest - 220:
        name = 'long%03d_' % (length // 100) + 'l' * 90
        os.mkdir(name, dir_fd=folder)
        inner = os.open(name, os.O_RDONLY, dir_fd=folder)
        os.close(folder)
        folder = inner
        length += len(name) + 1
    for name in ('reached.c', 'beyond_' + 'b' * 240 + '.c'):
        f = os.open(name, os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=folder)
        os.write(f, b'the needle %d bytes down\n' % (length + 1 + len(name)))
        os.close(f)
    os.close(folder)


def make_folders_beyond_the_host(root, count, length):
    """count folders, each in the one before, of names length long, and
    there a file with a hit: the folders past the host's limit cannot be
    listed."""
    folder = os.open(root, os.O_RDONLY)
    for n in range(count):
        name = '%02d' % n + 'f' * (length - 2)
        os.mkdir(name, dir_fd=folder)
        inner = os.open(name, os.O_RDONLY, dir_fd=folder)
        os.close(folder)
        folder = inner
    f = os.open('deepest.c', os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=folder)
    os.write(f, b'a needle past the host\n')
    os.close(f)
    os.close(folder)


def column_past_four_billion(c):
    """A hit 4 GiB and 4 KiB into one line (a sparse file: one scan of 4 GiB
    of zeros) is reported at its column in full, 4,294,971,393."""
    root = os.path.join(c.args.work, 'wide')
    shutil.rmtree(root, ignore_errors=True)
    wide = os.path.join(root, 'wide.c')
    column = (1 << 32) + 4097
    write(wide, b'x = "')
    with open(wide, 'r+b') as f:
        f.seek(column - 1)
        f.write(b'needle";\n')
    try:
        code, out, err = c.search(['/Q', '/T:*.c', '/F:' + winpath(root), 'needle'])
    finally:
        os.remove(wide)
    expected = b'%s(1,%d) : x = "%s\r\n' % (winpath(wide).encode(), column, b'\0' * 254)
    check(code == 0 and out == expected, 'exit code %d, %r, %r' % (code, out[:120], err))


def hostile_tree(c):
    """One tree holding at once unreadable and locked files, an empty file, a
    50 MB file of one line, NUL bytes and binary junk, lone CRs, a dangling
    link, a link cycle, links out to the folder that holds the tree and to the
    root, deep paths, paths of files and of folders longer than the host opens, unprintable names,
    names Windows does not allow (reached by their short names), hidden and
    system files, and a few hundred ordinary files: the program ends by
    itself with exit code 0, the report the walk and scan rules give, and one
    line on standard error for each file it could not read and each folder
    it could not list."""
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
    for name in ('what?.c', 'star*.c', 'pipe|.c', 'quote".c', '<angle>.c', 'back\\slash.c'):
        write(os.path.join(root, 'names', name), b'needle named %s\n' % name.encode())
    locked = os.path.join(root, 'locked.c')
    write(locked, b'needle locked away\n')
    os.mkfifo(os.path.join(root, 'fifo.c'))
    server = socket.socket(socket.AF_UNIX)
    # A socket's address holds at most 107 bytes: bound by a name relative to its folder.
    here = os.getcwd()
    os.chdir(root)
    try:
        server.bind('socket.c')
    finally:
        os.chdir(here)
    host_link('/nonexistent/needle.c', os.path.join(root, 'dangling.c'))
    host_link('..', os.path.join(root, 'src3', 'cycle'))
    host_link('../..', os.path.join(root, 'src5', 'outer'))
    host_link('/', os.path.join(root, 'src6', 'top'))
    folder = os.path.join(root, 'deep')
    while len(winpath(folder)) < 360:
        folder = os.path.join(folder, 'd' * 30)
    write(os.path.join(folder, 'deep.c'), b'the deepest needle\n')
    os.makedirs(os.path.join(root, 'long'))
    longest = longest_wine_path(c)
    make_beyond_the_host(os.path.join(root, 'long'), longest)
    os.makedirs(os.path.join(root, 'too long'))
    make_folders_beyond_the_host(os.path.join(root, 'too long'), 45, 98)

    model = Model('*.c', True, longest=longest)
    held = {locked: re.escape('Sharing violation.')}
    lines = model.report(root, winpath(root), unreadable=held)
    problems = model.problems(root, winpath(root), held)
    check(problems.count(rb'\r\n') == 4, 'the model misses unreadable files or folders: %r' % problems)
    try:
        with c.s.holding('--lock', locked):
            # A walk that left the tree would take minutes: a minute is a failure.
            code, out, err = c.finish(c.start_in(['/D', '/T:*.c', '/F:' + winpath(root), 'needle'],
                                                 program=c.args.program, launcher=True), timeout=60)
    finally:
        server.close()
    check(code == 0, 'exit code %d, %r' % (code, err))
    check(re.fullmatch(problems, err), 'standard error %r, not %r' % (err, problems))
    check_report(out, model, lines, 'hostile tree')


CASES = [
    progress_loses_nothing,
    deep_paths_cycles_and_devices,
    unprintable_names,
    patterns_with_a_folder,
    file_cut_short,
    column_past_four_billion,
    hostile_tree,
]


if __name__ == '__main__':
    sys.exit(main(CASES, Reach))
