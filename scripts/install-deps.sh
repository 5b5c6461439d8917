#!/bin/sh
# Installs what building and testing need on a Debian machine, once: the
# MinGW-w64 cross compiler, Wine, a headless X server with input and screenshot
# tools, a CJK font for the Chinese dialogs, the GoogleTest sources and the
# locales that give the tests their ANSI code pages; Vim and tmux for the
# command line's tests (the error-format line, Ctrl+C in a terminal), and git,
# which the skip-ignored option's test holds it to. A script that needs more
# names them: install-deps.sh nsis.
set -e
packages="cmake make python3 locales g++-mingw-w64-x86-64 wine64 wine xvfb xdotool x11-apps
imagemagick fonts-wqy-microhei googletest vim tmux git $*"
missing=""
for p in $packages; do
    dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
if [ -n "$missing" ]; then
    echo "installing:$missing"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing >/dev/null
fi

# Wine takes the ANSI code page from the Unix locale, which must exist (else
# it takes 1252): en_US gives 1252, ru_RU 1251, el_GR 1253, the double-byte
# ja_JP 932, zh_CN 936, ko_KR 949 and zh_TW 950, hi_IN UTF-8 (65001).
for locale in en_US ru_RU el_GR ja_JP zh_CN ko_KR zh_TW hi_IN; do
    locale -a 2>/dev/null | grep -qx "$locale.utf8" || $sudo localedef -i $locale -f UTF-8 $locale.UTF-8
done
