#!/usr/bin/env bash
# The Debian package as a vendor meets it: made by scripts/package.sh,
# installed with dpkg, used with nothing but the installed files to build an
# installer for the example (copies of its setup INI and payload, outside the
# source tree), then purged, leaving nothing behind.
#   deb-test.sh STUB PAYLOAD_DIR SETUP_INI UNINSTALL_DIR
# (UNINSTALL_DIR: the build's uninstall component, packed beside the stub
# when the folder exists.)
# Needs root (dpkg); skipped (77) otherwise, and when a setup-pack package is
# already installed on this machine (it is not this test's to replace).
set -euo pipefail
stub=$(realpath "${1:?stub}"); payload=$(realpath "${2:?payload dir}"); ini=$(realpath "${3:?setup ini}")
uninstall_dir=$(realpath -m "${4:?uninstall dir}")
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)

if [ "$(id -u)" != 0 ]; then echo "SKIP: dpkg -i needs root"; exit 77; fi
if dpkg-query -W -f='${Status}' setup-pack 2>/dev/null | grep -q 'ok installed'; then
    echo "SKIP: a setup-pack package is already installed here"; exit 77
fi

status=0
fail() { echo "FAIL: $*"; status=1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/setup-pack-deb.XXXXXX")
installed=no
# dpkg with the lock waited for (up to 5 minutes each time): an apt run of its own
# elsewhere on the machine holds it for a while.
dpkg_waiting() {
    local i out
    for ((i = 0; i < 150; ++i)); do
        if out=$(dpkg "$@" 2>&1); then return 0; fi
        case $out in *"lock"*) sleep 2 ;; *) echo "$out" >&2; return 1 ;; esac
    done
    echo "$out" >&2
    return 1
}
cleanup() {
    if [ "$installed" = yes ]; then dpkg_waiting --purge setup-pack >/dev/null 2>&1 || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

export SOURCE_DATE_EPOCH=1700000000
deb=$(bash "$source_dir/scripts/package.sh" --stub "$stub" --uninstall-dir "$uninstall_dir" --output-dir "$work/deb" |
    tail -n 1)
echo "package: $(basename "$deb")"
case $(basename "$deb") in setup-pack_*_amd64.deb) ;; *) fail "package named $(basename "$deb")" ;; esac
# Made again from the same build: the same bytes (stored times follow
# SOURCE_DATE_EPOCH, nothing of the moment leaks in).
again=$(bash "$source_dir/scripts/package.sh" --stub "$stub" --uninstall-dir "$uninstall_dir" --output-dir "$work/again" |
    tail -n 1)
cmp -s "$deb" "$again" || fail "two packages of the same build differ"

# Exactly these files (the uninstall component's where the build has it),
# nothing of the build machine besides.
shared=()
if [ -d "$uninstall_dir" ]; then
    while IFS= read -r file; do shared+=("$file"); done < <(find "$uninstall_dir" -maxdepth 1 -type f | sort)
fi
expected=$( {
    printf '%s\n' /usr/bin/setup-pack /usr/share/doc/setup-pack/README.md /usr/share/setup-pack/setup-stub.exe
    for file in "${shared[@]}"; do echo "/usr/share/setup-pack/$(basename "$file")"; done
    for file in "$source_dir"/tools/packer/translations/*.ini; do
        echo "/usr/share/setup-pack/translations/$(basename "$file")"
    done
} | sort)
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sed 's|^\./|/|' | sort)
extra=$(comm -13 <(echo "$expected") <(echo "$files"))
missing=$(comm -23 <(echo "$expected") <(echo "$files"))
[ -z "$missing" ] || fail "the package lacks: $missing"
[ -z "$extra" ] || fail "the package holds unexpected files: $extra"
echo "ok: $(echo "$files" | wc -l) files: $(echo $files)"

installed=yes
dpkg_waiting -i "$deb" >/dev/null
cmp -s /usr/share/setup-pack/setup-stub.exe "$stub" || fail "the installed stub is not the one given"
for file in "${shared[@]}"; do
    cmp -s "/usr/share/setup-pack/$(basename "$file")" "$file" || fail "the installed $(basename "$file") is not the build's"
done

# A vendor's folder: the INI and payload copied, the source tree out of reach
# (an empty environment, the vendor's folder as the working folder).
vendor=$work/vendor
mkdir -p "$vendor"
cp -r "$payload" "$vendor/payload"
cp "$ini" "$vendor/setup.ini"
chmod -R a+rX "$work"
as_vendor() {
    (cd "$vendor" && env -i PATH=/usr/bin:/bin SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH "$@")
}
if as_vendor setup-pack build --ini setup.ini --payload payload --output setup.exe; then
    echo "ok: setup-pack build with the installed stub"
else
    fail "setup-pack build failed with the installed files"
fi
if report=$(as_vendor setup-pack verify setup.exe); then
    echo "$report" | grep -q 'Sample Notes' || fail "verify does not name the example: $report"
    echo "ok: setup-pack verify setup.exe"
else
    fail "setup-pack verify refused the installer: $report"
fi
as_vendor setup-pack check --ini setup.ini --payload payload --translations JP,DE >/dev/null 2>&1 ||
    fail "the installed setup-pack does not find its translations"
# The same command with the stub named gives the same bytes: the default
# stub is the packaged one, and nothing of the installation leaks in.
as_vendor setup-pack build --ini setup.ini --payload payload --stub "$stub" --output named-stub.exe ||
    fail "setup-pack build --stub failed"
cmp -s "$vendor/setup.exe" "$vendor/named-stub.exe" || fail "the default stub and the named one give different installers"

dpkg_waiting --purge setup-pack >/dev/null
installed=no
for path in /usr/bin/setup-pack /usr/share/setup-pack /usr/share/doc/setup-pack; do
    [ ! -e "$path" ] || fail "$path is still there after dpkg --purge"
done
dpkg-query -W setup-pack >/dev/null 2>&1 && fail "dpkg still knows setup-pack"
[ $status = 0 ] && echo "ok: installed, used and purged"
exit $status
