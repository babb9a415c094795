#!/usr/bin/env bash
# Renders the example installer's dialogs to PNG files in docs/:
#   install-prompt.png            the install prompt of a fresh install
#   install-prompt-existing.png   the install prompt over an existing installation
#   directory-dialog.png          the directory dialog (what Change opens)
#   install-prompt-ru.png, -ja.png, -el.png
#                                 the prompt of tests/e2e/data/languages.ini
#                                 (only [Settings] and [EN]: the shipped texts)
#                                 under a Russian, Japanese and Greek locale
#   install-prompt-144dpi.png     the two dialogs again at 144 DPI (150 %)
#   directory-dialog-144dpi.png
#
#   docs/screenshots.sh [BUILD_DIR]     (default build/win32, built beforehand)
#
# setup.exe runs under Wine's X11 driver on a private Xvfb display, in a
# throwaway prefix; dialog-snapshot.exe (tests/e2e) holds each dialog open
# and gives its screen rectangle, and the screen is cut to it. Nothing is
# installed: every run ends with No. Wine 8 does not paint a dialog opened
# from another dialog's button, so the directory dialog is shown on its own
# (setup.exe's template and texts, the installer's code) for its picture.
# Needs: wine, fonts-wine, Xvfb, xwd (x11-apps) and convert (imagemagick);
# for the other languages the locales and fonts of scripts/install-deps.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build/win32}" && pwd)
out=$(pwd)/docs

for tool in wine wineboot wineserver winepath Xvfb xwd convert; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (packages: wine, xvfb, x11-apps, imagemagick)" >&2; exit 1; }
done
for file in "$build/setup.exe" "$build/bin/dialog-snapshot.exe" "$build/bin/setup-languages.exe"; do
    [ -f "$file" ] || { echo "$file is missing: build the win32 preset first" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/setup-screens.XXXXXX")
display=:$((90 + RANDOM % 100))
xvfb=
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/home" "$work/bin" "$work/shots"
cp "$build/setup.exe" "$build/bin/dialog-snapshot.exe" "$build/bin/setup-languages.exe" "$work/bin/"
export DISPLAY=$display HOME=$work/home WINEPREFIX=$work/prefix WINEARCH=win32 WINEDEBUG=-all \
    WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml="

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
echo "Preparing a Wine prefix on display $display..."
wineboot -i >/dev/null 2>&1
# Wine's own fonts (package fonts-wine: MS Sans Serif, Marlett for the
# caption buttons), where every Wine finds them.
[ -d /usr/share/wine/fonts ] && cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
# Without a window manager, unmanaged windows appear at once.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
wineserver -w

# Waits for FILE to appear, up to 60 s.
wait_for() {
    for _ in $(seq 600); do [ -f "$1" ] && return 0; sleep 0.1; done
    echo "timed out waiting for $1" >&2
    return 1
}

# Takes the picture of dialog NAME (prompt or directory) into docs/FILE,
# while `dialog-snapshot.exe ARGUMENTS...` holds it open.
shoot() {
    local name=$1 file=$2; shift 2
    rm -f "$work/shots/"*
    (cd "$work/bin" && wine dialog-snapshot.exe "$@" >"$work/run.log" 2>&1) &
    local run=$!
    wait_for "$work/shots/$name.rect"
    sleep 2  # let it paint
    read -r left top right bottom <"$work/shots/$name.rect"
    xwd -root -display "$display" -silent |
        convert xwd:- -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$out/$file"
    echo "  $file: $((right - left)) x $((bottom - top)) at $left,$top"
    touch "$work/shots/$name.done"
    wait "$run" || true
}

shots=$(winepath -w "$work/shots")
echo "A fresh install:"
shoot prompt install-prompt.png "$shots" setup.exe
shoot directory directory-dialog.png --directory "$shots" setup.exe

echo "At 144 DPI:"
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null
wineserver -k; wineserver -w
shoot prompt install-prompt-144dpi.png "$shots" setup.exe
shoot directory directory-dialog-144dpi.png --directory "$shots" setup.exe
wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null
wineserver -k; wineserver -w

echo "Over an existing installation:"
uninstall='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\SampleNotes'
wine reg add "$uninstall" /v InstallLocation /d 'C:\Program Files\SampleNotes' /f >/dev/null
wine reg add "$uninstall" /v DisplayVersion /d 1.2 /f >/dev/null
shoot prompt install-prompt-existing.png "$shots" setup.exe

# Wine takes the locale and the ANSI code page of each program from LANG.
echo "In other languages:"
LANG=ru_RU.UTF-8 shoot prompt install-prompt-ru.png "$shots" setup-languages.exe
# The dialogs' font, MS Sans Serif, comes with Wine in Western and Cyrillic
# forms only: for the Greek and Japanese pictures it is taken away and
# replaced by a font that has their letters (DejaVu Sans, Noto Sans CJK), as
# a Greek or Japanese Windows brings its own.
rm -f "$WINEPREFIX/drive_c/windows/Fonts/ms_sans_serif.ttf" "$WINEPREFIX/drive_c/windows/Fonts/"sserif*.fon
replace_font() {
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "MS Sans Serif" /d "$1" /f >/dev/null
    wineserver -w
}
replace_font "DejaVu Sans"
LANG=el_GR.UTF-8 shoot prompt install-prompt-el.png "$shots" setup-languages.exe
replace_font "Noto Sans CJK JP"
LANG=ja_JP.UTF-8 shoot prompt install-prompt-ja.png "$shots" setup-languages.exe
