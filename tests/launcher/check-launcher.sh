#!/usr/bin/env bash
# The launcher as it ships: what every shipped program is (PE32 GUI, system
# DLLs only, ASLR and DEP: check-setup-exe.sh), a section table without
# holes (each section starts where the one before ends, rounded up to the
# section alignment: the platform's loader refuses anything else, Wine does
# not), and its manifest: run as the caller, per-monitor DPI aware.
#   check-launcher.sh SETUP_LAUNCHER_EXE OBJDUMP
set -euo pipefail
exe=${1:?setup-launcher.exe}; objdump=${2:?objdump}
here=$(cd "$(dirname "$0")" && pwd)
status=0
fail() { echo "FAIL: $*"; status=1; }

bash "$here/../build/check-setup-exe.sh" "$exe" "$objdump" || status=1

alignment=$("$objdump" -p "$exe" | awk '$1 == "SectionAlignment" {print $2}')
headers=$("$objdump" -p "$exe" | awk '$1 == "SizeOfHeaders" {print $2}')
base=$("$objdump" -p "$exe" | awk '$1 == "ImageBase" {print $2}')
round() { echo $(( ($1 + 0x$alignment - 1) / 0x$alignment * 0x$alignment )); }
expected=$(round $((0x$headers)))
while read -r name size vma; do
    at=$((0x$vma - 0x$base))
    [ "$at" = "$expected" ] || fail "section $name starts at $(printf '0x%x' $at), not at $(printf '0x%x' $expected)"
    expected=$(round $((at + 0x$size)))
done < <("$objdump" -h "$exe" | awk '$1 ~ /^[0-9]+$/ {print $2, $3, $4}')
[ $status = 0 ] && echo "ok: sections follow each other without holes"

manifest=$(strings -a "$exe" | grep -o '<assembly.*</assembly>' || true)
for wanted in 'requestedExecutionLevel level="asInvoker"' \
    '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm</dpiAware>' \
    '<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PermonitorV2,PerMonitor</dpiAwareness>'; do
    case $manifest in *"$wanted"*) echo "ok: manifest: $wanted" ;; *) fail "the manifest lacks $wanted" ;; esac
done
exit $status
