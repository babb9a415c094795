#!/usr/bin/env bash
# The whole test suite on a fresh Debian 12 machine (run as root, or as a
# user once the packages are there): the portable core natively under
# AddressSanitizer and UndefinedBehaviorSanitizer, a short fuzz run of the
# archive reader, then the installer and its tests cross-built and run under
# Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

echo "== native: portable core, packer"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native

echo "== fuzz: a short run over the archive reader"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
ctest --preset fuzz

echo "== win32: setup.exe and its tests under Wine"
cmake --preset win32 >/dev/null
cmake --build --preset win32
ctest --preset win32
