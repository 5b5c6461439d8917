#!/usr/bin/env python3
"""End-to-end tests of the real Seekline.exe under Wine, driven as a user
would: the dialogs are filled and submitted with real X keyboard and mouse
input (xdotool) on the test fixture's headless display.

Run by ctest inside the Wine fixture (tests/wine/up.sh): the state folder
holds the display number, the prefix and the home folder that the Wine
desktop links to. Screenshots of both dialogs land in WORK/shots. What the
drivers share is in tests/support/seekline_e2e.py.
"""
import os
import re
import shutil
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from seekline_e2e import (ANSI_SEARCHES, BIG_FILES, IDS, PROGRESS, RESULTS, RESULTS_ENGLISH, SETTINGS,  # noqa: E402
                          check, check_big_report, check_report, cut_ansi, main, make_big_tree, make_files,
                          make_unicode_tree, read, wait_for, whole_lines, winpath, write)

EXPECTED_SMALL = [
    ('a.c', 1, 5, 'int needle = 1;'),
    ('b.h', 1, 4, '// needle in a comment'),
    ('sub\\d.c', 2, 3, '  NEEDLE();'),
]
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


def with_satellite(s, name):
    """A copy of the program in the work folder name, with the English
    satellite beside it as Seekline.exe.mui."""
    beside = os.path.join(s.work, name)
    shutil.rmtree(beside, ignore_errors=True)
    os.makedirs(beside)
    program = os.path.join(beside, 'Seekline.exe')
    shutil.copy(s.args.program, program)
    shutil.copy(s.args.satellite, program + '.mui')
    return program


# --- the cases -------------------------------------------------------------------

def report_to_standard_output(s):
    """Started with standard handles: the report arrives on standard output
    and no desktop file is made, the results window's box ticked as a first
    run has it or not; a file that cannot be read is passed over in silence.
    The first run also stores the history."""
    folder = os.path.join(s.work, 'small')
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
    check(s.reg_query().get('Lst') == 'Y', 'the results window box was not checked on a first run')


def history_options_and_desktop_file(s):
    """Without standard handles the report replaces the desktop file; the texts
    and options of the last run come back from the registry."""
    folder = os.path.join(s.work, 'small')
    values = s.reg_query()
    expected = {'TXT1': 'needle', 'EXT1': '*.c;*.h', 'DIR1': winpath(folder),
                'Cas': 'N', 'Com': 'N', 'Reg': 'N', 'Str': 'N', 'Amp': 'N', 'Sub': 'Y', 'Uni': 'N', 'Wrd': 'N',
                'Bin': 'N', 'Ign': 'N', 'Lst': 'Y'}
    for name, value in expected.items():
        check(values.get(name) == value, 'registry %s = %r, not %r' % (name, values.get(name), value))
    # The results window's box unticked: the run is the one without it.
    s.reg_add({'Lst': 'N'})
    write(s.report, b'an older report that must go\r\n' * 50)
    process = s.start(s.args.program, launcher=False)
    s.fill_settings()  # every box as the last run left it
    s.keys('Return')
    code, _ = s.finish(process)
    check(code == 0, 'exit code %d' % code)
    check(read(s.report) == report_lines(folder, EXPECTED_SMALL), 'desktop report: %r' % read(s.report))


def cancelled_dialog_keeps_the_desktop_file(s):
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


def nothing_matched_empties_the_desktop_file(s):
    """A search without hits still makes the desktop file, empty."""
    s.reg_add({'Lst': 'N'})
    if os.path.exists(s.report):
        os.remove(s.report)
    process = s.start(s.args.program, launcher=False)
    s.fill_settings('no such text anywhere')
    s.keys('Return')
    code, _ = s.finish(process)
    check(code == 0, 'exit code %d' % code)
    check(os.path.exists(s.report) and read(s.report) == b'', 'the desktop file is not empty')


def empty_folder(s):
    """An empty folder: the progress dialog opens and closes by itself."""
    folder = os.path.join(s.work, 'empty')
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    process = s.start(s.args.program, launcher=True)
    s.fill_settings('needle', None, winpath(folder))
    s.keys('Return')
    code, out = s.finish(process)
    check(code == 0, 'exit code %d' % code)
    check(out == b'', 'report: %r' % out)


def satellite_and_cancel(s):
    """With Seekline.exe.mui beside it the program shows the English settings
    dialog, but its own progress dialog. During a long search Esc and the
    close box do nothing; Cancel ends it promptly with the hits found so far."""
    folder = os.path.join(s.work, 'big')
    make_big_tree(folder)
    program = with_satellite(s, 'satellite')

    process = s.start(program, launcher=True)
    s.find_window(SETTINGS)
    texts = s.window_texts(SETTINGS)
    check(texts.get(IDS.IDC_SEARCH) == '&Find' and texts.get(IDS.IDC_MATCH_CASE) == 'Match &case',
          'settings texts: %r' % texts)
    check(not any(re.search('[\u4e00-\u9fff]', t) for t in texts.values()), 'Chinese text in %r' % texts)
    s.fill_settings('needle', '*.c', winpath(folder), shot='settings-en.png')
    s.keys('Return')

    window = s.find_window(PROGRESS)
    texts = s.window_texts(PROGRESS)
    check(texts.get(IDS.IDC_STOP) == '取消(&C)', 'progress texts: %r' % texts)
    s.screenshot('progress.png', window)
    # Esc, and Alt+F4, the keyboard's close box: the search goes on.
    s.keys('Escape', 'alt+F4')
    time.sleep(1.0)
    check(process.poll() is None and s.has_window(PROGRESS), 'the progress dialog closed on Esc or Alt+F4')
    shown = s.window_texts(PROGRESS).get(IDS.IDC_CURRENT_FILE, '')
    check(shown.startswith(winpath(folder)), 'current file: %r' % shown)

    # Cancel has the keyboard focus: Space presses it. That it works shows
    # the keys above reached the dialog too.
    s.keys('space')
    code, out = s.finish(process, timeout=30)
    check(code == 0, 'exit code %d' % code)
    found = check_big_report(out, complete=False)
    check(0 < found < BIG_FILES, '%d hits of %d' % (found, BIG_FILES))
    print('cancelled after %d of %d files' % (found, BIG_FILES))


def unicode_files_from_the_dialog(s):
    """The Unicode files box ticked with its key: the report is the one the
    files give with the option (strings only, through subfolders); the box is
    saved as "Uni" and comes back checked; unticked, every file is searched
    as before."""
    folder = os.path.join(s.work, 'unicode')
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


def ansi_code_pages_from_the_dialog(s):
    """The searches of ANSI files in code pages 1252, 950 and 65001 from the
    dialog, each under its locale: the text (from the search box's history)
    is found as typed, every letter folding and a double-byte character one
    character."""
    folder = os.path.join(s.work, 'code-pages')
    english = s.env
    try:
        for locale, files, switches, text, hits in ANSI_SEARCHES:
            if switches:
                continue
            make_files(folder, files)
            s.reg_delete()
            s.reg_add({'TXT1': text, 'EXT1': '*.*', 'DIR1': winpath(folder)})
            s.env = dict(english, LANG=locale + '.UTF-8')
            process = s.start(s.args.program, launcher=True)
            s.fill_settings()
            s.keys('Return')
            code, out = s.finish(process)
            expected = b''.join(b'%s\\%s(%d,%d) : %s\r\n' % (winpath(folder).encode(), name.encode(), line, column,
                                                                  files[name].splitlines()[line - 1])
                                for name, line, column in hits)
            check(code == 0 and out == expected, '%s %r: exit code %d, report %r, not %r'
                  % (locale, text, code, out, expected))
    finally:
        s.env = english


def whole_word_and_regular_expression_from_the_dialog(s):
    """The whole-word and regular-expression boxes ticked with their keys:
    each search reports the hits it must; the boxes are saved as "Wrd" and
    "Reg" and come back checked for the next search; a pattern that does not
    parse, or whose compile would be too much work, is refused with a message
    box naming the problem and where, the dialog stays open with the pattern,
    and nothing is searched or saved."""
    folder = os.path.join(s.work, 'words')
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
    message = s.message_box('規則運算式')
    check(message.count('規則運算式有誤：( 沒有對應的 )（第 1 個字元）') == 1, 'message %r' % message)
    time.sleep(0.5)
    texts = s.window_texts(SETTINGS)
    check(process.poll() is None and texts.get(IDS.IDC_SEARCH_TEXT) == '(foo|bar_init',
          'the dialog did not stay as it was')
    # A pattern whose compile would be too much work is refused at once, and
    # the dialog goes on answering.
    s.fill_settings('((((){1000}){1000}){1000}){1000}')
    s.keys('Return')
    message = s.message_box('運算式太大')
    check(message.count('規則運算式有誤：運算式太大（第 27 個字元）') == 1, 'message %r' % message)
    s.keys('Escape')
    code, _ = s.finish(process)
    check(code == 0 and read(s.report) == b'kept\r\n', 'bad pattern: exit code %d, desktop report changed' % code)
    check(s.reg_query() == before, 'bad pattern: the settings changed')


def binary_ignored_and_excluded_from_the_dialog(s):
    """The skip-binary and skip-ignored boxes ticked with their keys, and an
    exclusion in the file types box: the search passes over a binary file,
    what git ignores and what the exclusion names; the boxes are saved as
    "Bin" and "Ign", the patterns in the history as typed, and all come back
    for the next search, which unticks the boxes and finds them all."""
    folder = os.path.join(s.work, 'repository')
    shutil.rmtree(folder, ignore_errors=True)
    for name, data in (('a.c', b'needle\r\n'), ('b.o', b'needle\r\n'), ('build/x.c', b'needle\r\n'),
                       ('data.bin', b'needle\0\r\n'), ('min.js', b'needle\r\n'), ('sub/c.c', b'needle\r\n'),
                       ('.gitignore', b'build/\r\n*.o\r\n')):
        write(os.path.join(folder, name), data)
    subprocess.run(['git', 'init', '-q', folder], check=True, env=dict(os.environ, HOME=s.work, GIT_CONFIG_NOSYSTEM='1'))
    s.reg_delete()
    every = [('a.c', 1, 1, 'needle'), ('b.o', 1, 1, 'needle'), ('data.bin', 1, 1, 'needle\0'),
             ('build\\x.c', 1, 1, 'needle'), ('sub\\c.c', 1, 1, 'needle')]
    for toggles, hits, flag in (('dbg', [every[0], every[4]], 'Y'), ('bg', every, 'N')):
        process = s.start(s.args.program, launcher=True)
        s.fill_settings('needle', '*.*;!*.js' if flag == 'Y' else None, winpath(folder), toggles=toggles)
        s.keys('Return')
        code, out = s.finish(process)
        check(code == 0 and out == report_lines(folder, hits), 'boxes %s: exit code %d, report %r' % (toggles, code, out))
        stored = s.reg_query()
        check(stored.get('Bin') == flag and stored.get('Ign') == flag and stored.get('EXT1') == '*.*;!*.js',
              'boxes %s: registry %r' % (toggles, stored))


def entries_longer_than_a_search_keeps(s):
    """Typed, each box takes no more than a search keeps (1021, 259 and 259
    characters), and a search at those limits finds what was typed. A longer
    text that still reaches a box (a history entry stored longer) is refused
    when Search is pressed: a message box says which entry and its limit, the
    dialog stays open with the text as it is, nothing is searched and the
    desktop report and the saved history stay as they were."""
    limits = {'TXT1': 1021, 'EXT1': 259, 'DIR1': 259}
    # A folder named by exactly 259 characters, holding a line of the longest
    # text: a longer name or text cut to the limit would find it.
    base = winpath(os.path.join(s.work, 'limits'))
    folder = os.path.join(s.work, 'limits', 'f' * (limits['DIR1'] - len(base) - 1))
    shutil.rmtree(os.path.dirname(folder), ignore_errors=True)
    text = 'n' * limits['TXT1']
    write(os.path.join(folder, 'a.c'), text.encode() + b'\r\n')
    at_limit = {'TXT1': text, 'EXT1': '*.c;' + 'q' * (limits['EXT1'] - 4), 'DIR1': winpath(folder)}
    check(all(len(at_limit[name]) == limit for name, limit in limits.items()), 'the entries miss the limits')
    words = {'TXT1': '搜尋文字太長：最多 1021 個字元',
             'EXT1': '檔案類型太長：最多 259 個字元',
             'DIR1': '檔案目錄太長：最多 259 個字元'}
    for name, box in (('TXT1', IDS.IDC_SEARCH_TEXT), ('EXT1', IDS.IDC_FILE_TYPES), ('DIR1', IDS.IDC_FOLDER)):
        s.reg_delete()
        longer = dict(at_limit, **{name: at_limit[name] + 'zz'})
        s.reg_add(longer)
        stored = s.reg_query()
        write(s.report, b'kept\r\n')
        process = s.start(s.args.program, launcher=False)
        s.find_window(SETTINGS)
        time.sleep(0.3)
        s.keys('Return')
        message = s.message_box('太長')
        check(message.count(words[name]) == 1, '%s: message %r' % (name, message))
        time.sleep(0.5)
        texts = s.window_texts(SETTINGS)
        check(process.poll() is None and texts.get(box) == longer[name], '%s: the dialog did not stay as it was' % name)
        s.keys('Escape')
        code, _ = s.finish(process)
        check(code == 0, '%s: exit code %d' % (name, code))
        check(read(s.report) == b'kept\r\n', '%s: the desktop report changed' % name)
        check(s.reg_query() == stored, '%s: the history changed' % name)
    # One more character typed at the end of each box is not taken.
    s.reg_delete()
    s.reg_add(dict(at_limit, Lst='N'))
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


# --- the results window ------------------------------------------------------------

# A UTF-8 line beside the small tree's: it reads as Chinese in a row, as "?"
# in the report under code page 1252; its hit is at byte 11, character 7.
UTF8_LINE = '// 開啟 needle 檔案\n'


def make_results_tree(root):
    make_small_tree(root)
    write(os.path.join(root, 'u.c'), UTF8_LINE.encode('utf-8'))


def open_results(s, program=None, caption=RESULTS, shot=None):
    """Starts the program without standard handles, searches the results tree
    for "needle" through subfolders and Unicode files, the results window's
    box as stored, and waits for the window's search to end: the process,
    the folder and the window's texts."""
    folder = os.path.join(s.work, 'results')
    make_results_tree(folder)
    process = s.start(program or s.args.program, launcher=False)
    s.fill_settings('needle', '*.c;*.h', winpath(folder), toggles=s.toggles('DU'), shot=shot)
    s.keys('Return')
    s.find_window(caption % 'needle')
    return process, folder, s.search_over(caption % 'needle')


def check_rows(rows, report, folder):
    """The rows are the report's lines, in order: each row's file, line and
    column as the line names them, its text the line's as the code page
    spells it. Returns the rows as report lines in Unicode."""
    lines = whole_lines(report)
    check(len(rows) == len(lines), '%d rows, %d report lines' % (len(rows), len(lines)))
    unicode_lines = []
    for row, line in zip(rows, lines):
        name, number, column, text = row
        header = '%s\\%s(%s,%s) : ' % (winpath(folder), name, number, column)
        check(line == header.encode('cp1252') + cut_ansi(text) + b'\r\n', 'row %r, report line %r' % (row, line))
        unicode_lines.append(header + text + '\r\n')
    return unicode_lines


def results_window_lists_the_report(s):
    """Without standard handles and the box ticked (as a first run has it),
    the results window shows the search: its rows are the desktop report's
    lines in order, a Chinese line of a UTF-8 file in Chinese under 1252; it
    counts the hits and the file it could not read, and names the report.
    Ctrl+A and Ctrl+C copy the rows as report lines; a heading sorts them;
    Esc ends the program with 0 and keeps the window's place. The box is
    saved as "Lst" and loaded: unticked, the next run is the one without the
    window, and its report byte for byte the same."""
    s.reg_delete()
    process, folder, texts = open_results(s, shot='settings-results.png')
    report = read(s.report)
    headings, rows = s.list_view(RESULTS % 'needle')
    check(headings == ['檔案', '行', '欄', '文字'], 'headings %r' % headings)
    lines = check_rows(rows, report, folder)
    check(['u.c', '1', '11', UTF8_LINE.strip()] in rows, 'the UTF-8 line: %r' % rows)
    check(texts.get(IDS.IDC_RESULTS_STATUS, '').startswith('4 個檔案中有 4 個符合項目，共搜尋 4 個檔案，')
          and '無法讀取的檔案：1 個' in texts.get(IDS.IDC_RESULTS_UNREADABLE, '')
          and texts.get(IDS.IDC_RESULTS_FILE, '').startswith('報告已儲存於 C:\\users\\'), 'window texts %r' % texts)
    s.screenshot('results.png', s.find_window(RESULTS % 'needle'))
    s.keys('ctrl+a', 'ctrl+c')
    wait_for(lambda: s.clipboard() == ''.join(lines), 'the rows on the clipboard')
    # A click on a heading sorts by its column, twice the other way round,
    # three times back in report order. The clicks are slower than a double
    # click.
    x, y = s.row_place(RESULTS % 'needle', 0, '--heading-place')
    for order in (sorted(rows), sorted(rows, reverse=True), rows):
        time.sleep(0.6)
        s.xdotool('mousemove', x, y, 'click', '1')
        wait_for(lambda: s.list_view(RESULTS % 'needle')[1] == order, 'the rows in the order %r' % order)
    s.keys('Escape')
    code, _ = s.finish(process)
    stored = s.reg_query()
    check(code == 0 and stored.get('Lst') == 'Y' and re.match(r'^-?\d+ -?\d+ -?\d+ -?\d+ [01]$', stored.get('ResultsWindow', '')),
          'exit code %d, Lst %r, the window kept at %r' % (code, stored.get('Lst'), stored.get('ResultsWindow')))

    process = s.start(s.args.program, launcher=False)
    s.fill_settings(toggles='l')
    s.keys('Return')
    code, _ = s.finish(process)
    check(code == 0 and read(s.report) == report, 'without the window: exit code %d, report %r' % (code, read(s.report)))
    check(s.reg_query().get('Lst') == 'N', 'Lst %r' % s.reg_query().get('Lst'))


def editor_log(program):
    """The command lines the stand-in editor at program was started with."""
    wait_for(lambda: os.path.exists(program + '.log'), 'the editor %s to start' % program)
    with open(program + '.log', encoding='utf-8') as f:
        return f.read().splitlines()


def results_window_opens_hits_in_the_editor(s):
    """A double click or Enter on a row starts the editor at the hit's line
    and column (characters, where the report counts UTF-8 bytes): the command
    line set as "Editor", else VS Code or Notepad++ as Windows registers them
    (App Paths, an uninstall entry, PATH), each a stand-in that records how it
    was started."""
    editors = os.path.join(s.work, 'editors')
    shutil.rmtree(editors, ignore_errors=True)
    stand_ins = {}
    for name, program in (('set', 'edit.exe'), ('code', 'Code.exe'), ('npp', 'notepad++.exe'), ('path', 'Code.exe')):
        os.makedirs(os.path.join(editors, name))
        stand_ins[name] = os.path.join(editors, name, program)
        shutil.copy(s.args.stand_in_editor, stand_ins[name])
    app_paths = 'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Code.exe'
    entry = 'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Notepad++'
    s.reg_add({'Lst': 'Y', 'Editor': '"%s" --line %%line%% --column %%column%% "%%path%%"' % winpath(stand_ins['set'])})
    process, folder, _ = open_results(s)
    caption = RESULTS % 'needle'
    _, rows = s.list_view(caption)
    a, u = [n for n, row in enumerate(rows) if row[0] == 'a.c'][0], [n for n, row in enumerate(rows) if row[0] == 'u.c'][0]
    path_a, path_u = winpath(os.path.join(folder, 'a.c')), winpath(os.path.join(folder, 'u.c'))

    def double_click(row):
        x, y = s.row_place(caption, row)
        s.xdotool('mousemove', x, y, 'click', '--repeat', '2', '--delay', '80', '1')

    def enter(row):
        x, y = s.row_place(caption, row)
        s.xdotool('mousemove', x, y, 'click', '1')
        time.sleep(0.3)
        s.keys('Return')

    double_click(a)
    enter(u)
    wanted = ['"%s" --line 1 --column 5 "%s"' % (winpath(stand_ins['set']), path_a),
              '"%s" --line 1 --column 7 "%s"' % (winpath(stand_ins['set']), path_u)]
    wait_for(lambda: editor_log(stand_ins['set']) == wanted, 'the set editor started as %r' % wanted)
    # Found ones, the setting cleared: App Paths, then an uninstall entry.
    s.reg_add({'Editor': ''})
    s.reg('add', app_paths, '/ve', '/d', winpath(stand_ins['code']))
    enter(a)
    wanted = ['"%s" --goto "%s:1:5"' % (winpath(stand_ins['code']), path_a)]
    wait_for(lambda: editor_log(stand_ins['code']) == wanted, 'VS Code started as %r' % wanted)
    s.reg('delete', app_paths)
    s.reg('add', entry, '/v', 'DisplayName', '/d', 'Notepad++ (64-bit x64)')
    s.reg('add', entry, '/v', 'DisplayIcon', '/d', '"%s",0' % winpath(stand_ins['npp']))
    double_click(u)
    wanted = ['"%s" -n1 -c7 "%s"' % (winpath(stand_ins['npp']), path_u)]
    wait_for(lambda: editor_log(stand_ins['npp']) == wanted, 'Notepad++ started as %r' % wanted)
    s.reg('delete', entry)
    s.keys('Escape')
    check(s.finish(process)[0] == 0, 'exit code %d' % process.returncode)
    # PATH is read as the program starts.
    s.reg('add', 'HKCU\\Environment', '/v', 'Path', '/d', winpath(os.path.dirname(stand_ins['path'])))
    try:
        process, _, _ = open_results(s)
        enter(a)
        wanted = ['"%s" --goto "%s:1:5"' % (winpath(stand_ins['path']), path_a)]
        wait_for(lambda: editor_log(stand_ins['path']) == wanted, 'VS Code on PATH started as %r' % wanted)
        s.keys('Escape')
        check(s.finish(process)[0] == 0, 'exit code %d' % process.returncode)
    finally:
        s.reg('delete', 'HKCU\\Environment', '/v', 'Path')


def results_window_new_search_and_stop(s):
    """New search goes back to the settings dialog with the entries searched;
    its search takes the window's place and makes the report afresh. Stop
    ends a long search and keeps the hits found so far, the rows the
    report's lines."""
    s.reg_add({'Lst': 'Y'})
    process, folder, _ = open_results(s)
    s.keys('ctrl+f')
    s.find_window(SETTINGS)
    texts = s.window_texts(SETTINGS)
    check((texts.get(IDS.IDC_SEARCH_TEXT), texts.get(IDS.IDC_FOLDER)) == ('needle', winpath(folder)),
          'the dialog again: %r' % texts)
    s.fill_settings('NEEDLE', toggles='c')
    s.keys('Return')
    s.find_window(RESULTS % 'NEEDLE')
    s.search_over(RESULTS % 'NEEDLE')
    _, rows = s.list_view(RESULTS % 'NEEDLE')
    check(rows == [['sub\\d.c', '2', '3', '  NEEDLE();']] and read(s.report) == report_lines(folder, EXPECTED_SMALL[2:]),
          'the new search: %r' % rows)
    # Searched again, with the report made afresh.
    write(s.report, b'')
    s.keys('F5')
    wait_for(lambda: read(s.report) == report_lines(folder, EXPECTED_SMALL[2:]), 'the search again')

    big = os.path.join(s.work, 'big')
    make_big_tree(big)
    s.keys('ctrl+f')
    s.fill_settings('needle', '*.c', winpath(big), toggles='c')
    s.keys('Return')
    caption = RESULTS % 'needle'
    s.find_window(caption)
    wait_for(lambda: re.match(r'搜尋中：目前 \d+ 個檔案中有 [1-9]', s.window_texts(caption).get(IDS.IDC_RESULTS_STATUS, '')),
             'the first hits')
    s.keys('alt+s')
    texts = s.search_over(caption)
    _, rows = s.list_view(caption)
    found = check_big_report(read(s.report), complete=False)
    check(0 < found < BIG_FILES and len(rows) == found and texts.get(IDS.IDC_RESULTS_STATUS, '').startswith('已停止：'),
          '%d rows, %d report lines of %d, %r' % (len(rows), found, BIG_FILES, texts))
    check_rows(rows, read(s.report), big)
    s.keys('Escape')
    check(s.finish(process)[0] == 0, 'exit code %d' % process.returncode)


def results_window_in_english(s):
    """With the English satellite every text of the results window is
    English: its caption, column headings, counts and buttons."""
    program = with_satellite(s, 'satellite-results')
    s.reg_add({'Lst': 'Y'})
    process, _, texts = open_results(s, program=program, caption=RESULTS_ENGLISH)
    headings, _ = s.list_view(RESULTS_ENGLISH % 'needle')
    shown = list(texts.values()) + headings
    check(not any(re.search('[\u3000-\u9fff\uff00-\uffef]', t) for t in shown), 'Chinese text in %r' % shown)
    check(headings == ['File', 'Line', 'Column', 'Text']
          and texts.get(IDS.IDC_RESULTS_STATUS, '').startswith('4 hits in 4 files, 4 files searched, ')
          and texts.get(IDS.IDC_RESULTS_FILE, '').startswith('The report was saved in C:\\users\\')
          and texts.get(IDS.IDC_RESULTS_STOP) == '&Stop', 'window texts %r %r' % (texts, headings))
    s.screenshot('results-en.png', s.find_window(RESULTS_ENGLISH % 'needle'))
    s.keys('Escape')
    check(s.finish(process)[0] == 0, 'exit code %d' % process.returncode)


CASES = [
    report_to_standard_output,
    history_options_and_desktop_file,
    cancelled_dialog_keeps_the_desktop_file,
    nothing_matched_empties_the_desktop_file,
    empty_folder,
    satellite_and_cancel,
    unicode_files_from_the_dialog,
    ansi_code_pages_from_the_dialog,
    whole_word_and_regular_expression_from_the_dialog,
    binary_ignored_and_excluded_from_the_dialog,
    entries_longer_than_a_search_keeps,
    results_window_lists_the_report,
    results_window_opens_hits_in_the_editor,
    results_window_new_search_and_stop,
    results_window_in_english,
]


if __name__ == '__main__':
    sys.exit(main(CASES))
