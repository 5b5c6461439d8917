#!/bin/sh
# Builds the release programs and makes the package in build-package/package/:
#   Seekline-<version>-x64.zip    Seekline.exe, Seekline.com, Seekline.en.mui,
#                                 README.txt and LICENSE.txt, to unpack anywhere;
#   Seekline-<version>-setup.exe  the setup program (per user, no
#                                 administrator rights; /S installs silently).
# The version is the one in the file VERSION.
#
# The setup program is made with NSIS (Debian's nsis, makensis) rather than
# as an MSI with msitools' wixl: it gives a setup.exe with the /S switch that
# users and deployment tools expect of a per-user install, builds 64-bit setup
# programs (Wine here runs 64-bit programs only), and needs no Windows
# Installer service at install time. Its one weakness here, strings cut at
# 1,024 characters (so a long PATH read and written back by the script would
# be cut), is avoided by a small helper of our own that edits PATH whole
# (installer/UserPath.cpp).
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
sh "$root/scripts/install-deps.sh" nsis
build="$root/build-package"
sh "$root/scripts/build.sh" "$build" OFF OFF seekline_package
version=$(head -n 1 "$root/VERSION")
ls -l "$build/package/Seekline-$version-x64.zip" "$build/package/Seekline-$version-setup.exe"
