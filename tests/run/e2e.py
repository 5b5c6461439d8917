#!/usr/bin/env python3
"""End-to-end tests of the real Seekline.exe under Wine, driven as a user
would: the dialogs are filled and submitted with real X keyboard and mouse
input (xdotool) on the test fixture's headless display.

Run by ctest inside the Wine fixture (tests/wine/up.sh): the state folder
holds the display number, the prefix and the home folder that the Wine
desktop links to. Screenshots of both dialogs land in WORK/shots.

Also what the other drivers share: the session, the runner, the arguments
and a model of the report, computed from the files (Python's codecs, the
platform's upper-casing), for searches of a tree in ANSI and Unicode forms.
"""
import argparse
import glob
import os
import re
import shutil
import socket
import subprocess
import sys
import time

SETTINGS = '^Seekline$'
PROGRESS = '^搜尋中$'
EXPECTED_SMALL = [
    ('a.c', 1, 5, 'int needle = 1;'),
    ('b.h', 1, 4, '// needle in a comment'),
    ('sub\\d.c', 2, 3, '  NEEDLE();'),
]
BIG_FILES = 12000
BIG_LINE = re.compile(rb'^Z:.*\\d\d{3}\\f(\d{5})\.c\(2,5\) : int needle_(\d+);$')
# What every driver is given (tests/run/CMakeLists.txt).
TOOLS = ('state', 'exec', 'program', 'console', 'satellite', 'launcher', 'window-texts', 'upper-case', 'work')
# A tree that mixes the forms of text the Unicode files option tells apart.
UNICODE_TREE = {
    'ansi.c': 'x = "&File"; // café\r\nint Café;\r\n'.encode('cp1252'),
    'utf8.cpp': '// 開啟檔案\nauto s = "開啟檔案"; // CAFÉ déjà\nmenu("F&ile");\nσοφία Σ ς\n'.encode('utf-8'),
    'marked.cpp': '\ufeffint café = 1; "file"\r\n'.encode('utf-8'),
    'sub/menu.rc': '\ufeffMENUITEM "&File", 1\r\n"開啟檔案" // café\r\nPOPUP "F&ILE"\r\n'.encode('utf-16-le'),
    'sub/big.rc': '\ufeffCAPTION "Fichier é"\n"Ωmega" FILE σ 😀 file\n'.encode('utf-16-be'),
    'bare.txt': 'file\r\n'.encode('utf-16-le'),
    'plain.txt': b'file "file"\n',
}
# Whole words and regular expressions: the searches, the boxes' accelerator
# letters, and the hits of each (file, line, column, text).
WORDS_TREE = {
    'a.c': b'elif (x) if (y)\r\nifdef X\r\n  case PM_RESUME: if(\r\n',
    'b.h': b'int notify_init(void); // bar_init\r\nfoo_init();\r\n',
}
WORDS_SEARCHES = [
    ('if', 'w', [('a.c', 1, 10, 'elif (x) if (y)'), ('a.c', 3, 19, '  case PM_RESUME: if(')]),
    ('(foo|bar)_init', 'r', [('b.h', 1, 27, 'int notify_init(void); // bar_init'), ('b.h', 2, 1, 'foo_init();')]),
    ('\\w+_\\w+', 'wr', [('a.c', 3, 8, '  case PM_RESUME: if('), ('b.h', 1, 5, 'int notify_init(void); // bar_init'),
                       ('b.h', 2, 1, 'foo_init();')]),
]


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


class Session:
    def __init__(self, args):
        self.args = args
        with open(os.path.join(args.state, 'display')) as f:
            self.env = dict(os.environ, DISPLAY=':' + f.read().strip(), LANG='en_US.UTF-8')
        users = [d for d in glob.glob(os.path.join(args.state, 'prefix/drive_c/users/*/Desktop'))
                 if '/Public/' not in d]
        check(users, 'no desktop folder in the Wine prefix')
        # The report file lands wherever the prefix's desktop points.
        self.desktop = os.path.realpath(users[0])
        os.makedirs(self.desktop, exist_ok=True)
        self.report = os.path.join(self.desktop, 'Seekline.txt')
        self.running = None
        self.shots = os.path.join(args.work, 'shots')
        os.makedirs(self.shots, exist_ok=True)
        self.upper = None

    # --- processes -------------------------------------------------------
    def wine(self, *command, **options):
        return subprocess.Popen(['sh', self.args.exec, self.args.state] + list(command),
                                env=self.env, **options)

    def start(self, program, launcher, stderr=subprocess.DEVNULL):
        """Starts the program, through the launcher (standard handles and a
        pipe for the report) or straight from the shell (no standard handles
        as far as the program can tell)."""
        if launcher:
            process = self.wine(self.args.launcher, winpath(program), stdout=subprocess.PIPE, stderr=stderr)
        else:
            process = self.wine(program, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.running = process
        return process

    def clean_up(self):
        """After a failed case: ends the program the case started, so that its
        windows do not mislead the next case."""
        if not self.running or self.running.poll() is not None:
            return
        # Wine starts a child Windows process as a child Unix process.
        victims = [self.running.pid]
        for pid in victims:
            for stat in glob.glob('/proc/[0-9]*/stat'):
                try:
                    with open(stat) as f:
                        fields = f.read().rsplit(')', 1)[1].split()
                except OSError:
                    continue
                if int(fields[1]) == pid:
                    victims.append(int(stat.split('/')[2]))
        for pid in reversed(victims):
            try:
                os.kill(pid, 9)
            except OSError:
                pass
        self.running.wait()

    def finish(self, process, timeout=60):
        out, _ = process.communicate(timeout=timeout)
        return process.returncode, out or b''

    def reg_query(self):
        process = self.wine('reg', 'query', 'HKCU\\Software\\Ombrel\\Seekline',
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        out, _ = process.communicate(timeout=60)
        values = {}
        for line in out.decode('utf-8', 'replace').splitlines():
            parts = line.split(None, 2)
            if len(parts) >= 2 and parts[1] == 'REG_SZ':
                values[parts[0]] = parts[2] if len(parts) > 2 else ''
        return values

    def reg_add(self, values):
        for name, value in values.items():
            self.wine('reg', 'add', 'HKCU\\Software\\Ombrel\\Seekline', '/v', name, '/d', value, '/f',
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).wait(timeout=60)

    def reg_delete(self):
        self.wine('reg', 'delete', 'HKCU\\Software\\Ombrel\\Seekline', '/f',
                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).wait(timeout=60)

    def upper_case(self):
        """The platform's upper-casing, {code point: upper-case code point},
        read once from the tests' helper program."""
        if self.upper is None:
            process = self.wine(self.args.upper_case, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            out, _ = process.communicate(timeout=60)
            self.upper = {int(a, 16): int(b, 16) for a, b in (line.split() for line in out.decode().splitlines())}
            check(len(self.upper) > 1000, 'the upper-case table has %d characters' % len(self.upper))
        return self.upper

    def window_texts(self, caption):
        process = self.wine(self.args.window_texts, caption, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)
        out, _ = process.communicate(timeout=60)
        texts = {}
        for line in out.decode('utf-8', 'replace').splitlines():
            number, _, text = line.partition('\t')
            texts.setdefault(int(number), text)
        return texts

    def message_box(self, words):
        """The text of the message box that shows words; then presses OK."""
        deadline = time.time() + 30
        while time.time() < deadline:
            texts = self.window_texts('Seekline')
            message = ' '.join(texts.values())
            if words in message and 1005 not in texts:
                self.keys('Return')
                return message
            time.sleep(0.2)
        raise Failure('no message box saying %r' % words)

    # --- the display ----------------------------------------------------------
    def xdotool(self, *arguments):
        return subprocess.run(['xdotool'] + list(arguments), env=self.env, capture_output=True,
                              text=True, timeout=30).stdout

    def find_window(self, name, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline:
            found = self.xdotool('search', '--onlyvisible', '--name', name).split()
            if found:
                return found[0]
            time.sleep(0.2)
        raise Failure('no window named %s' % name)

    def has_window(self, name):
        return bool(self.xdotool('search', '--onlyvisible', '--name', name).split())

    def keys(self, *names):
        for name in names:
            self.xdotool('key', name)
            time.sleep(0.05)

    def type(self, text):
        self.xdotool('type', '--delay', '15', text)

    def replace_field(self, text):
        """Replaces the text of the focused box with text, as typed."""
        self.keys('End', 'shift+Home', 'Delete')
        if text:
            self.type(text)

    def screenshot(self, name, window=None):
        crop = []
        if window:
            geometry = self.xdotool('getwindowgeometry', '--shell', window)
            g = dict(line.split('=') for line in geometry.split())
            crop = ['-crop', '%sx%s+%s+%s' % (g['WIDTH'], g['HEIGHT'], g['X'], g['Y']), '+repage']
        shot = subprocess.run(['xwd', '-root', '-silent'], env=self.env, capture_output=True, timeout=30)
        subprocess.run(['convert', 'xwd:-'] + crop + [os.path.join(self.shots, name)],
                       input=shot.stdout, timeout=60, check=True)

    def fill_settings(self, text=None, types=None, folder=None, toggles='', shot=None):
        """Fills the settings dialog from its first box on, stopping in the last
        box given (Return there presses Search; on the browse button behind the
        folder box it would open the folder browser). None leaves a box as it
        is; toggles are the check boxes' accelerator letters."""
        window = self.find_window(SETTINGS)
        time.sleep(0.3)
        values = [text, types, folder]
        while values and values[-1] is None:
            values.pop()
        for number, value in enumerate(values):
            if number:
                self.keys('Tab')
            if value is not None:
                self.replace_field(value)
        for letter in toggles:
            self.keys('alt+' + letter)
        if shot:
            time.sleep(0.3)
            self.screenshot(shot, window)
        return window


def winpath(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def report_lines(folder, hits):
    return b''.join(('%s\\%s(%d,%d) : %s\r\n' % (winpath(folder), name, line, column, text)).encode('cp1252')
                    for name, line, column, text in hits)


def make_small_tree(root):
    shutil.rmtree(root, ignore_errors=True)
    write(os.path.join(root, 'a.c'), b'int needle = 1;\r\nother\r\n')
    write(os.path.join(root, 'b.h'), b'// needle in a comment\r\n')
    write(os.path.join(root, 'c.txt'), b'needle\r\n')
    write(os.path.join(root, 'sub', 'd.c'), b'x\r\n  NEEDLE();\r\n')
    # A file the program finds but cannot open.
    unreadable = socket.socket(socket.AF_UNIX)
    unreadable.bind(os.path.join(root, 'e.c'))
    unreadable.close()


def whole_lines(report):
    check(report == b'' or report.endswith(b'\r\n'), 'report ends inside a line: %r' % report[-80:])
    return [line + b'\r\n' for line in report.split(b'\r\n')[:-1]]


def check_big_report(report, complete):
    """The number of lines of a report on the big tree, which must be the
    first lines of the whole report (its files in walk order), whole."""
    lines = whole_lines(report)
    for number, line in enumerate(lines):
        m = BIG_LINE.match(line[:-2])
        check(m and int(m.group(1)) == int(m.group(2)) == number,
              'report line %d is not the start of the whole report: %r' % (number, line))
    if complete:
        check(len(lines) == BIG_FILES, '%d hits of %d' % (len(lines), BIG_FILES))
    return len(lines)


def make_big_tree(root):
    """Many small files in many folders, one hit each: a search that runs long
    enough to be cancelled. Kept between runs."""
    marker = os.path.join(root, 'complete')
    if os.path.exists(marker):
        return
    shutil.rmtree(root, ignore_errors=True)
    per_folder = 300
    for n in range(BIG_FILES):
        folder = os.path.join(root, 'd%03d' % (n // per_folder))
        if n % per_folder == 0:
            os.makedirs(folder)
        with open(os.path.join(folder, 'f%05d.c' % n), 'wb') as f:
            f.write(b'/* file %d */\r\nint needle_%d;\r\n' % (n, n))
    write(marker, b'')


# --- the expected report, computed from the files ---------------------------------
# The scan's rules written out once more, on the files' own bytes: a report
# model for the Unicode files option and for plain ANSI searches. Switches are
# the command line's letters: C match case, I ignore comments, S strings
# only, A & variants, U Unicode files.

def text_form(data):
    """The form the Unicode files option tells by the first bytes: the codec's
    name (or 'ansi') and the length of the byte-order mark."""
    for mark, form in ((b'\xff\xfe', 'utf-16-le'), (b'\xfe\xff', 'utf-16-be'), (b'\xef\xbb\xbf', 'utf-8')):
        if data.startswith(mark):
            return form, len(mark)
    try:
        data.decode('utf-8')
        return ('utf-8' if max(data, default=0) >= 0x80 else 'ansi'), 0
    except UnicodeDecodeError:
        return 'ansi', 0


def first_hit(items, start, end, pattern, switches, equal):
    """The first hit in the line items[start:end] (its end excluded), as an
    offset, or None: "//" ends the line, quotes open and close strings, the
    end counts only for an empty pattern."""
    m = len(pattern)
    in_string, quote = False, None
    p = start
    while (p + m <= end) if m else (p <= end):
        if 'I' in switches and p + 1 < end and items[p] == items[p + 1] == ord('/'):
            return None
        if 'S' in switches and p < end and items[p] in (ord('"'), ord("'")) and (not in_string or items[p] == quote):
            in_string, quote = not in_string, items[p]
        elif equal(p, pattern) and ('S' not in switches or in_string):
            return p - start
        p += 1
    return None


def split_lines(items):
    """(start, end) of each line: CR, LF and CR LF end lines, and what
    follows the last line end is one more line."""
    lines, start, at = [], 0, 0
    while at < len(items):
        if items[at] in (13, 10):
            lines.append((start, at))
            at += 2 if items[at] == 13 and at + 1 < len(items) and items[at + 1] == 10 else 1
            start = at
        else:
            at += 1
    return lines + [(start, len(items))]


def ansi_fold_equal(items, p, pattern):
    """Only a to z fold in ANSI text, and not the byte after a pattern byte
    of 0x80 or more."""
    fold = True
    for k, b in enumerate(pattern):
        c = items[p + k]
        if fold and 0x61 <= c <= 0x7a:
            c -= 0x20
        if c != b:
            return False
        fold = b < 0x80
    return True


def cut_ansi(text):
    """A Unicode line as a report line shows it under code page 1252: what
    the code page lacks as "?", at most 259 bytes."""
    shown = b''
    for c in text:
        try:
            piece = c.encode('cp1252')
        except UnicodeEncodeError:
            piece = b'?'
        if len(shown) + len(piece) > 259:
            break
        shown += piece
    return shown


def file_report_lines(path, data, text, switches, upper):
    """The report lines of one file (path as the report names it), in the
    program's order, under code page 1252."""
    form, mark = text_form(data) if 'U' in switches else ('ansi', 0)
    if not data:
        return []
    if form == 'ansi':
        try:
            needle = text.encode('cp1252')
        except UnicodeEncodeError:
            return []  # no ANSI file holds it
        if 'C' not in switches:
            needle = ''.join(chr(upper.get(ord(c), ord(c))) for c in needle.decode('cp1252')).encode('cp1252')
        needle = list(needle)
        items = list(data)
        widths = [1] * len(items)
        if 'C' in switches:
            equal = lambda p, q: items[p:p + len(q)] == q
        else:
            equal = lambda p, q: ansi_fold_equal(items, p, q)
        shown = lambda start, end: data[start:end][:259]
    else:
        decoded = data[mark:].decode(form, 'replace')
        fold = (lambda c: c) if 'C' in switches else (lambda c: upper.get(c, c))
        needle = [fold(ord(c)) for c in text]
        items = [fold(ord(c)) for c in decoded]
        widths = [len(c.encode('utf-8')) if form == 'utf-8' else 1 + (ord(c) > 0xFFFF) for c in decoded]
        equal = lambda p, q: items[p:p + len(q)] == q
        shown = lambda start, end: cut_ansi(decoded[start:end])
        if not items:
            return []
    passes = [needle]
    if 'S' in switches and 'A' in switches:
        passes = [needle[:len(needle) - k] + [ord('&')] + needle[len(needle) - k:] if k else needle
                  for k in range(len(needle))]
    lines = []
    for pattern in passes:
        for number, (start, end) in enumerate(split_lines(items), 1):
            hit = first_hit(items, start, end, pattern, switches, equal)
            if hit is not None:
                column = sum(widths[start:start + hit]) + 1
                lines.append(b'%s(%d,%d) : %s\r\n' % (path.encode('cp1252'), number, column, shown(start, end)))
    return lines


def expected_report(folder, names, text, switches, upper):
    """The report lines of a search of the files named, {name: lines}."""
    return {name: file_report_lines(winpath(folder) + '\\' + name.replace('/', '\\'),
                                    read(os.path.join(folder, name)), text, switches, upper) for name in names}


def report_by_file(report, folder):
    """A report's lines, {name: lines} in report order, checking that each
    file's lines come together."""
    prefix = (winpath(folder) + '\\').encode('cp1252')
    files, last = {}, None
    for line in report.split(b'\r\n')[:-1]:
        check(line.startswith(prefix), 'report line %r' % line)
        name = line[len(prefix):line.index(b'(', len(prefix))].decode('cp1252').replace('\\', '/')
        check(name == last or name not in files, 'the lines of %s are apart' % name)
        files.setdefault(name, []).append(line + b'\r\n')
        last = name
    check(report.endswith(b'\r\n') or report == b'', 'report ends inside a line')
    return files


def check_report(report, folder, text, switches, upper):
    """The report of a search of UNICODE_TREE is the one the files give."""
    expected = {name: lines for name, lines in expected_report(folder, UNICODE_TREE, text, switches, upper).items()
                if lines}
    got = report_by_file(report, folder)
    check(got == expected, '%r %s: report\n%r\nnot\n%r' % (text, switches, got, expected))
    return sum(len(lines) for lines in got.values())


def make_unicode_tree(root):
    shutil.rmtree(root, ignore_errors=True)
    for name, data in UNICODE_TREE.items():
        write(os.path.join(root, name), data)


# --- the cases -------------------------------------------------------------------

def report_to_standard_output(s, work):
    """Started with standard handles: the report arrives on standard output
    and no desktop file is made; a file that cannot be read is passed over in
    silence. The first run also stores the history."""
    folder = os.path.join(work, 'small')
    make_small_tree(folder)
    s.reg_delete()
    if os.path.exists(s.report):
        os.remove(s.report)
    process = s.start(s.args.program, launcher=True, stderr=subprocess.PIPE)
    s.fill_settings('needle', '*.c;*.h', winpath(folder), toggles='d', shot='settings.png')
    s.keys('Return')
    out, err = process.communicate(timeout=60)
    code = process.returncode
    check(code == 0 and err == b'', 'exit code %d, standard error %r' % (code, err))
    check(out == report_lines(folder, EXPECTED_SMALL), 'report on standard output: %r' % out)
    check(not os.path.exists(s.report), 'a desktop report file was made')


def history_options_and_desktop_file(s, work):
    """Without standard handles the report replaces the desktop file; the texts
    and options of the last run come back from the registry."""
    folder = os.path.join(work, 'small')
    values = s.reg_query()
    expected = {'TXT1': 'needle', 'EXT1': '*.c;*.h', 'DIR1': winpath(folder),
                'Cas': 'N', 'Com': 'N', 'Reg': 'N', 'Str': 'N', 'Amp': 'N', 'Sub': 'Y', 'Uni': 'N', 'Wrd': 'N'}
    for name, value in expected.items():
        check(values.get(name) == value, 'registry %s = %r, not %r' % (name, values.get(name), value))
    write(s.report, b'an older report that must go\r\n' * 50)
    process = s.start(s.args.program, launcher=False)
    s.fill_settings()  # every box as the last run left it
    s.keys('Return')
    code, _ = s.finish(process)
    check(code == 0, 'exit code %d' % code)
    check(read(s.report) == report_lines(folder, EXPECTED_SMALL), 'desktop report: %r' % read(s.report))


def cancelled_dialog_keeps_the_desktop_file(s, work):
    """Closing the settings dialog ends the program without touching the
    desktop file or the saved state."""
    write(s.report, b'kept\r\n')
    before = s.reg_query()
    process = s.start(s.args.program, launcher=False)
    s.fill_settings('something else')
    s.keys('Escape')
    code, _ = s.finish(process)
    check(code == 0, 'exit code %d' % code)
    check(read(s.report) == b'kept\r\n', 'the desktop file changed')
    check(s.reg_query() == before, 'a cancelled dialog saved its state')


def nothing_matched_empties_the_desktop_file(s, work):
    """A search without hits still makes the desktop file, empty."""
    if os.path.exists(s.report):
        os.remove(s.report)
    process = s.start(s.args.program, launcher=False)
    s.fill_settings('no such text anywhere')
    s.keys('Return')
    code, _ = s.finish(process)
    check(code == 0, 'exit code %d' % code)
    check(os.path.exists(s.report) and read(s.report) == b'', 'the desktop file is not empty')


def empty_folder(s, work):
    """An empty folder: the progress dialog opens and closes by itself."""
    folder = os.path.join(work, 'empty')
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    process = s.start(s.args.program, launcher=True)
    s.fill_settings('needle', None, winpath(folder))
    s.keys('Return')
    code, out = s.finish(process)
    check(code == 0, 'exit code %d' % code)
    check(out == b'', 'report: %r' % out)


def satellite_and_cancel(s, work):
    """With Seekline.exe.mui beside it the program shows the English settings
    dialog, but its own progress dialog. During a long search Esc and the
    close box do nothing; Cancel ends it promptly with the hits found so far."""
    folder = os.path.join(work, 'big')
    make_big_tree(folder)
    beside = os.path.join(work, 'satellite')
    shutil.rmtree(beside, ignore_errors=True)
    os.makedirs(beside)
    program = os.path.join(beside, 'Seekline.exe')
    shutil.copy(s.args.program, program)
    shutil.copy(s.args.satellite, program + '.mui')

    process = s.start(program, launcher=True)
    s.find_window(SETTINGS)
    texts = s.window_texts('Seekline')
    check(texts.get(1005) == '&Find' and texts.get(20) == 'Match &case', 'settings texts: %r' % texts)
    check(not any(re.search('[\u4e00-\u9fff]', t) for t in texts.values()), 'Chinese text in %r' % texts)
    s.fill_settings('needle', '*.c', winpath(folder), shot='settings-en.png')
    s.keys('Return')

    window = s.find_window(PROGRESS)
    texts = s.window_texts('搜尋中')
    check(texts.get(11) == '取消(&C)', 'progress texts: %r' % texts)
    s.screenshot('progress.png', window)
    # Esc, and Alt+F4, the keyboard's close box: the search goes on.
    s.keys('Escape', 'alt+F4')
    time.sleep(1.0)
    check(process.poll() is None and s.has_window(PROGRESS), 'the progress dialog closed on Esc or Alt+F4')
    shown = s.window_texts('搜尋中').get(10, '')
    check(shown.startswith(winpath(folder)), 'current file: %r' % shown)

    # Cancel has the keyboard focus: Space presses it. That it works shows
    # the keys above reached the dialog too.
    s.keys('space')
    code, out = s.finish(process, timeout=30)
    check(code == 0, 'exit code %d' % code)
    found = check_big_report(out, complete=False)
    check(0 < found < BIG_FILES, '%d hits of %d' % (found, BIG_FILES))
    print('cancelled after %d of %d files' % (found, BIG_FILES))


def unicode_files_from_the_dialog(s, work):
    """The Unicode files box ticked with its key: the report is the one the
    files give with the option (strings only, through subfolders); the box is
    saved as "Uni" and comes back checked; unticked, every file is searched
    as before."""
    folder = os.path.join(work, 'unicode')
    make_unicode_tree(folder)
    upper = s.upper_case()
    s.reg_delete()
    for toggles, switches, stored in (('usd', 'US', 'Y'), ('', 'US', 'Y'), ('u', 'S', 'N')):
        process = s.start(s.args.program, launcher=True)
        s.fill_settings('file', '*.*', winpath(folder), toggles=toggles,
                        shot='settings-unicode.png' if toggles else None)
        s.keys('Return')
        code, out = s.finish(process)
        check(code == 0, 'exit code %d' % code)
        check_report(out, folder, 'file', switches, upper)
        check(s.reg_query().get('Uni') == stored, 'registry Uni = %r' % s.reg_query().get('Uni'))


def whole_word_and_regular_expression_from_the_dialog(s, work):
    """The whole-word and regular-expression boxes ticked with their keys:
    each search reports the hits it must; the boxes are saved as "Wrd" and
    "Reg" and come back checked for the next search; a pattern that does not
    parse is refused with a message box naming the problem and where, the
    dialog stays open with the pattern, and nothing is searched or saved."""
    folder = os.path.join(work, 'words')
    shutil.rmtree(folder, ignore_errors=True)
    for name, data in WORDS_TREE.items():
        write(os.path.join(folder, name), data)
    s.reg_delete()
    checked = ''
    for text, boxes, hits in WORDS_SEARCHES:
        toggles = ''.join(letter for letter in 'wr' if (letter in checked) != (letter in boxes))
        process = s.start(s.args.program, launcher=True)
        s.fill_settings(text, '*.c;*.h', winpath(folder), toggles=toggles,
                        shot='settings-words.png' if boxes == 'wr' else None)
        s.keys('Return')
        code, out = s.finish(process)
        check(code == 0 and out == report_lines(folder, hits), '%r %s: exit code %d, report %r' % (text, boxes, code, out))
        stored = s.reg_query()
        check(stored.get('Wrd') == ('Y' if 'w' in boxes else 'N') and stored.get('Reg') == ('Y' if 'r' in boxes else 'N'),
              '%r %s: registry Wrd = %r, Reg = %r' % (text, boxes, stored.get('Wrd'), stored.get('Reg')))
        checked = boxes
    # Both boxes come back checked: a bad pattern from the dialog.
    write(s.report, b'kept\r\n')
    before = s.reg_query()
    process = s.start(s.args.program, launcher=False)
    s.fill_settings('(foo|bar_init')
    s.keys('Return')
    message = s.message_box('regular expression')
    check(message.count('Bad regular expression: unmatched ( at position 1') == 1, 'message %r' % message)
    time.sleep(0.5)
    texts = s.window_texts('Seekline')
    check(process.poll() is None and texts.get(1000) == '(foo|bar_init', 'the dialog did not stay as it was')
    s.keys('Escape')
    code, _ = s.finish(process)
    check(code == 0 and read(s.report) == b'kept\r\n', 'bad pattern: exit code %d, desktop report changed' % code)
    check(s.reg_query() == before, 'bad pattern: the settings changed')


def entries_longer_than_a_search_keeps(s, work):
    """Typed, each box takes no more than a search keeps (1021, 259 and 259
    characters), and a search at those limits finds what was typed. A longer
    text that still reaches a box (a history entry stored longer) is refused
    when Search is pressed: a message box says which entry and its limit, the
    dialog stays open with the text as it is, nothing is searched and the
    desktop report and the saved history stay as they were."""
    limits = {'TXT1': 1021, 'EXT1': 259, 'DIR1': 259}
    # A folder named by exactly 259 characters, holding a line of the longest
    # text: a longer name or text cut to the limit would find it.
    base = winpath(os.path.join(work, 'limits'))
    folder = os.path.join(work, 'limits', 'f' * (limits['DIR1'] - len(base) - 1))
    shutil.rmtree(os.path.dirname(folder), ignore_errors=True)
    text = 'n' * limits['TXT1']
    write(os.path.join(folder, 'a.c'), text.encode() + b'\r\n')
    at_limit = {'TXT1': text, 'EXT1': '*.c;' + 'q' * (limits['EXT1'] - 4), 'DIR1': winpath(folder)}
    check(all(len(at_limit[name]) == limit for name, limit in limits.items()), 'the entries miss the limits')
    words = {'TXT1': 'Search text too long: at most 1021 characters',
             'EXT1': 'Pattern list too long: at most 259 characters',
             'DIR1': 'Folder too long: at most 259 characters'}
    for name, box in (('TXT1', 1000), ('EXT1', 1001), ('DIR1', 1002)):
        s.reg_delete()
        longer = dict(at_limit, **{name: at_limit[name] + 'zz'})
        s.reg_add(longer)
        stored = s.reg_query()
        write(s.report, b'kept\r\n')
        process = s.start(s.args.program, launcher=False)
        s.find_window(SETTINGS)
        time.sleep(0.3)
        s.keys('Return')
        message = s.message_box('too long')
        check(message.count(words[name]) == 1, '%s: message %r' % (name, message))
        time.sleep(0.5)
        texts = s.window_texts('Seekline')
        check(process.poll() is None and texts.get(box) == longer[name], '%s: the dialog did not stay as it was' % name)
        s.keys('Escape')
        code, _ = s.finish(process)
        check(code == 0, '%s: exit code %d' % (name, code))
        check(read(s.report) == b'kept\r\n', '%s: the desktop report changed' % name)
        check(s.reg_query() == stored, '%s: the history changed' % name)
    # One more character typed at the end of each box is not taken.
    s.reg_delete()
    s.reg_add(at_limit)
    process = s.start(s.args.program, launcher=False)
    s.find_window(SETTINGS)
    time.sleep(0.3)
    s.keys('End', 'z', 'Tab', 'End', 'z', 'Tab', 'End', 'z', 'Return')
    code, _ = s.finish(process)
    check(code == 0, 'at the limits: exit code %d' % code)
    expected = ('%s\\a.c(1,1) : %s\r\n' % (winpath(folder), text[:259])).encode()
    check(read(s.report) == expected, 'at the limits: report %r' % read(s.report)[:300])
    stored = s.reg_query()
    check(all(stored.get(name) == value for name, value in at_limit.items()), 'a box took more than its limit')


CASES = [
    report_to_standard_output,
    history_options_and_desktop_file,
    cancelled_dialog_keeps_the_desktop_file,
    nothing_matched_empties_the_desktop_file,
    empty_folder,
    satellite_and_cancel,
    unicode_files_from_the_dialog,
    whole_word_and_regular_expression_from_the_dialog,
    entries_longer_than_a_search_keeps,
]


def run_cases(session, cases, context, names):
    """Runs the cases named (all when none are), each given context; a failed
    case leaves a screenshot and its program ended. Returns the exit code."""
    failed = 0
    for case in cases:
        if names and case.__name__ not in names:
            continue
        started = time.time()
        try:
            case(*context)
            print('ok   %s (%.1f s)' % (case.__name__, time.time() - started))
        except (Failure, subprocess.TimeoutExpired) as failure:
            failed += 1
            print('FAIL %s: %s' % (case.__name__, failure))
            session.screenshot('failed-%s.png' % case.__name__)
            session.clean_up()
        sys.stdout.flush()
    return 1 if failed else 0


def parse_arguments(*extra):
    """The arguments every driver is given, and extra ones, (name, options)."""
    parser = argparse.ArgumentParser()
    for name in TOOLS:
        parser.add_argument('--' + name, required=True)
    for name, options in extra:
        parser.add_argument(name, **options)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    return args


CASES_ARGUMENT = ('cases', dict(nargs='*', help='names of the cases to run; all by default'))


def main():
    args = parse_arguments(CASES_ARGUMENT)
    session = Session(args)
    return run_cases(session, CASES, (session, args.work), args.cases)


if __name__ == '__main__':
    sys.exit(main())
