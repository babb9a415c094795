#!/usr/bin/env bash
# Creates and removes the Wine environment of one test run.
#   prefix.sh setup STATE_FILE BIN_DIR [ARCH]
#                                        new root folder with a booted prefix
#                                        of ARCH (win32, the default, win64
#                                        or wow64: see wine-env.sh), BIN_DIR
#                                        copied to ROOT/bin;
#                                        its path is written to STATE_FILE
#   prefix.sh cleanup STATE_FILE         stops Wine and removes the root
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

command=${1:?usage: prefix.sh setup|cleanup STATE_FILE [BIN_DIR]}
state=${2:?state file}

case $command in
setup)
    bin=${3:?bin dir}
    arch=${4:-win32}
    if [ -f "$state" ]; then "$0" cleanup "$state" || true; fi
    root=$(mktemp -d "${TMPDIR:-/tmp}/setup-wine.XXXXXX")
    chmod 755 "$root"
    mkdir -p "$root/home" "$root/bin"
    echo "$arch" > "$root/wine-arch"
    if [ "$arch" = win64 ]; then
        mkdir -p "$root/winebin"
        printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' > "$root/winebin/wine"
        chmod 755 "$root/winebin/wine"
    fi
    cp -a "$bin/." "$root/bin/"
    ids=$(wine_user_ids)
    chown -R "${ids% *}:${ids#* }" "$root"
    echo "$root" > "$state"
    # A 64-bit prefix is made by the 64-bit loader (the 32-bit one refuses).
    boot=wine
    if [ "$arch" = wow64 ]; then boot=/usr/lib/wine/wine64; fi
    wine_as_user "$root" "$boot" wineboot -i
    # Windows without a display: the null driver creates real windows, and
    # an unanswered message box blocks as on Windows.
    wine_as_user "$root" wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
    wine_as_user "$root" wineserver -k || true
    wine_as_user "$root" wineserver -w || true
    # Keep the server up between tests (it goes after ten idle minutes, or at
    # cleanup). Its output must not hold the caller's pipes open.
    wine_as_user "$root" wineserver -p600 </dev/null >/dev/null 2>&1
    # Start Wine's own services now, detached from every caller's output, so
    # that they do not hold the first test's pipes open.
    wine_as_user "$root" wine cmd.exe /c exit </dev/null >/dev/null 2>&1
    # A small volume of its own as drive S:, for the full-disk tests: a tmpfs
    # mounted where the caller may mount (root, as in CI); otherwise those
    # tests skip.
    mkdir -p "$root/small"
    if [ "$(id -u)" = 0 ] &&
        mount -t tmpfs -o "size=${SETUP_SMALL_VOLUME_SIZE:-8m},mode=0755,uid=${ids% *},gid=${ids#* }" \
            setup-small "$root/small" 2>/dev/null; then
        ln -s "$root/small" "$root/prefix/dosdevices/s:"
    fi
    echo "Wine test root: $root"
    ;;
cleanup)
    [ -f "$state" ] || exit 0
    root=$(cat "$state")
    rm -f "$state"
    case $root in "${TMPDIR:-/tmp}"/setup-wine.*) ;; *) echo "refusing to remove $root" >&2; exit 1 ;; esac
    [ -d "$root" ] || exit 0
    wine_as_user "$root" wineserver -k 2>/dev/null || true
    wine_as_user "$root" wineserver -w 2>/dev/null || true
    if mountpoint -q "$root/small" 2>/dev/null; then umount "$root/small"; fi
    rm -rf "$root"
    ;;
*)
    echo "unknown command $command" >&2
    exit 2
    ;;
esac
