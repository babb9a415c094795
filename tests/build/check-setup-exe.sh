#!/usr/bin/env bash
# Checks what setup.exe is: a 32-bit GUI program that imports system DLLs
# only (no C++ runtime, no libgcc, no zlib DLL), with ASLR and DEP enabled.
#   check-setup-exe.sh SETUP_EXE OBJDUMP
set -euo pipefail
exe=${1:?setup.exe}; objdump=${2:?objdump}
status=0
fail() { echo "FAIL: $*"; status=1; }

kind=$(file -b "$exe")
case $kind in "PE32 executable (GUI) Intel 80386"*) echo "ok: $kind" ;; *) fail "file says: $kind" ;; esac

allowed=" kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll shlwapi.dll ole32.dll msvcrt.dll "
while read -r dll; do
    lower=$(echo "$dll" | tr 'A-Z' 'a-z')
    case $allowed in *" $lower "*) echo "ok: imports $dll" ;; *) fail "imports $dll, which is not a system DLL" ;; esac
done < <("$objdump" -p "$exe" | sed -n 's/^\tDLL Name: //p')

flags=$("$objdump" -p "$exe" | sed -n 's/^DllCharacteristics[[:space:]]*//p')
(( 0x$flags & 0x40 )) || fail "no dynamic base (ASLR)"
(( 0x$flags & 0x100 )) || fail "not NX compatible (DEP)"
echo "size: $(stat -c %s "$exe") bytes"
exit $status
