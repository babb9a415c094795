#!/usr/bin/env bash
# The whole test suite on a fresh Debian 12 machine (run as root, or as a
# user once the packages are there): the portable core natively under
# AddressSanitizer and UndefinedBehaviorSanitizer, a short fuzz run of the
# archive reader, then the installer and its tests cross-built and run under
# Wine.
#
# The installer is a 32-bit program and its tests run under 32-bit Wine;
# the tests that show what 64-bit Windows changes (wow64.*) run again in a
# 64-bit prefix with the same 32-bit programs.
# Some virtual machines cannot execute 32-bit programs at all; there the
# 32-bit build is still made and checked, and the tests under Wine run on the
# 64-bit build of the same sources (preset win64) under 64-bit Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
. tests/wine/wine-env.sh

bash scripts/install-deps.sh

echo "== native: portable core, packer"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native

echo "== fuzz: a short run over the archive reader"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
ctest --preset fuzz

echo "== win32: setup.exe and its tests under Wine (32-bit prefix, and WOW64 in a 64-bit one)"
cmake --preset win32 >/dev/null
cmake --build --preset win32
if machine_runs_i386; then
    ctest --preset win32
    exit 0
fi
echo "This machine cannot execute 32-bit programs: checks of the 32-bit build only,"
echo "then the tests under Wine on the 64-bit build of the same sources."
ctest --preset win32 -R '^build\.'

echo "== win64: the same tests under 64-bit Wine"
cmake --preset win64 >/dev/null
cmake --build --preset win64
ctest --preset win64
