#!/usr/bin/env bash
# Checks the uninstall component as a vendor uses it: the header and the
# library link into a plain C program built by the vendor's own mingw-w64 C
# compiler (no C++ runtime, nothing but the library), the library adds at
# most 40 KiB, and setup-uninstall.exe imports system DLLs only.
#   check-uninstall.sh UNINSTALL_DIR PROBE_C OBJDUMP [WORK_DIR]
set -euo pipefail
dir=${1:?folder of setup-uninstall.h, libsetup-uninstall.a, setup-uninstall.exe}
probe=${2:?UninstallSizeProbe.c}; objdump=${3:?objdump}
work=${4:-$(mktemp -d)}
mkdir -p "$work"
limit=$((40 * 1024))
status=0
fail() { echo "FAIL: $*"; status=1; }

cc=i686-w64-mingw32-gcc
"$cc" -Os -s -mwindows "$probe" -o "$work/probe-plain.exe"
"$cc" -Os -s -mwindows -DWITH_UNINSTALL -I"$dir" "$probe" -L"$dir" -lsetup-uninstall -o "$work/probe-uninstall.exe" ||
    fail "a C program does not link with the library alone"
plain=$(stat -c %s "$work/probe-plain.exe")
with=$(stat -c %s "$work/probe-uninstall.exe" 2>/dev/null || echo 0)
added=$((with - plain))
echo "program without the library: $plain bytes; with it: $with bytes; added: $added bytes (limit $limit)"
(( with > 0 && added <= limit )) || fail "the library adds $added bytes, more than $limit"

helper=$dir/setup-uninstall.exe
allowed=" kernel32.dll user32.dll advapi32.dll shell32.dll ole32.dll msvcrt.dll "
while read -r dll; do
    lower=$(echo "$dll" | tr 'A-Z' 'a-z')
    case $allowed in *" $lower "*) ;; *) fail "setup-uninstall.exe imports $dll, which is not a system DLL" ;; esac
done < <("$objdump" -p "$helper" | sed -n 's/^\tDLL Name: //p')
echo "setup-uninstall.exe: $(stat -c %s "$helper") bytes"
exit $status
