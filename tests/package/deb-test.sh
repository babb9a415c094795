#!/usr/bin/env bash
# The Debian package as a vendor meets it: made by scripts/package.sh from a
# fresh clone of this tree with nothing built (so that a part the script
# fails to build cannot hide behind an earlier build), checked file by file,
# installed with dpkg, used with nothing but the installed files to build
# the example's installer (from a copy of the installed example, with and
# without the launcher), then purged, leaving nothing behind.
#   deb-test.sh SOURCE_DIR
# Needs root (dpkg); skipped (77) otherwise, and when a setup-pack package is
# already installed on this machine (it is not this test's to replace).
# What is tested is the tree's last commit (a tree that is no git checkout:
# its files as they are).
set -euo pipefail
source_dir=$(realpath "${1:?source dir}")

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

clone=$work/clone
if git -C "$source_dir" rev-parse --show-toplevel >/dev/null 2>&1; then
    git clone --quiet --no-hardlinks "$source_dir" "$clone"
else
    # A tree that is no git checkout (the planted faults' scratch copy): a
    # copy without its build folder.
    mkdir "$clone"
    tar -C "$source_dir" --exclude=./build -cf - . | tar -C "$clone" -xf -
fi
# The compiler cache (when the build uses one) sees the clone's paths as the
# same from one run to the next.
export CCACHE_BASEDIR=$work
export SOURCE_DATE_EPOCH=1700000000
deb=$(bash "$clone/scripts/package.sh" --output-dir "$work/deb" | tail -n 1)
echo "package: $(basename "$deb")"
case $(basename "$deb") in setup-pack_*_amd64.deb) ;; *) fail "package named $(basename "$deb")" ;; esac
# Made again from the same build: the same bytes (stored times follow
# SOURCE_DATE_EPOCH, nothing of the moment leaks in).
again=$(bash "$clone/scripts/package.sh" --output-dir "$work/again" | tail -n 1)
cmp -s "$deb" "$again" || fail "two packages of the same build differ"

built=$clone/build/package-win32
shared=(setup-stub.exe uninstall/setup-uninstall.exe uninstall/libsetup-uninstall.a uninstall/setup-uninstall.h
        uninstall/setup-launcher.exe)
# A win32 tree that lacks a part gives no package, and says which part.
partial=$work/partial
mkdir -p "$partial/uninstall" "$partial/bin"
for file in "${shared[@]}" bin/SampleNotes.exe; do cp "$built/$file" "$partial/$file"; done
rm "$partial/uninstall/setup-launcher.exe"
if out=$(bash "$clone/scripts/package.sh" --win32-dir "$partial" --output-dir "$work/partial-deb" 2>&1); then
    fail "package.sh made a package without the launcher"
else
    case $out in
    *"== Building setup-pack"*) fail "package.sh went on past the missing part: $out" ;;
    *"setup-launcher.exe is missing"*) echo "ok: a missing part stops package.sh" ;;
    *) fail "package.sh failed without naming the missing part: $out" ;;
    esac
fi

# Exactly these files, nothing of the build machine besides.
examples=/usr/share/doc/setup-pack/examples
expected=$( {
    printf '%s\n' /usr/bin/setup-pack /usr/share/doc/setup-pack/README.md
    for file in "${shared[@]}"; do echo "/usr/share/setup-pack/$(basename "$file")"; done
    for file in "$source_dir"/tools/packer/translations/*.ini; do
        echo "/usr/share/setup-pack/translations/$(basename "$file")"
    done
    printf '%s\n' "$examples/setup.ini" "$examples/payload/Program/SampleNotes.exe"
    (cd "$clone/examples" && find Documents -type f) | sed "s|^|$examples/payload/|"
} | sort)
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sed 's|^\./|/|' | sort)
extra=$(comm -13 <(echo "$expected") <(echo "$files"))
missing=$(comm -23 <(echo "$expected") <(echo "$files"))
[ -z "$missing" ] || fail "the package lacks: $missing"
[ -z "$extra" ] || fail "the package holds unexpected files: $extra"
echo "ok: $(echo "$files" | wc -l) files: $(echo $files)"

installed=yes
dpkg_waiting -i "$deb" >/dev/null
for file in "${shared[@]}"; do
    cmp -s "/usr/share/setup-pack/$(basename "$file")" "$built/$file" || fail "the installed $(basename "$file") is not the build's"
done

# A vendor's folder: the installed example copied, the source tree out of
# reach (an empty environment, the vendor's folder as the working folder).
vendor=$work/vendor
cp -r "$examples" "$vendor"
chmod -R a+rX "$work"
as_vendor() {
    (cd "$vendor" && env -i PATH=/usr/bin:/bin SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH "$@")
}
as_vendor setup-pack check --ini setup.ini --payload payload --strict || fail "setup-pack check refused the installed example"
for form in plain launcher; do
    options=(); [ $form = plain ] || options=(--launcher)
    if as_vendor setup-pack build --ini setup.ini --payload payload "${options[@]}" --output $form.exe; then
        echo "ok: setup-pack build ${options[*]} with the installed files"
    else
        fail "setup-pack build ${options[*]} failed with the installed files"
    fi
    report=$(as_vendor setup-pack list $form.exe) || fail "setup-pack list refused the $form installer"
    echo "$report" | grep -q 'Sample Notes' || fail "list does not name the example: $report"
    names=$(echo "$report" | cut -f1 | grep '^Program' | tr '\n' ' ')
    # The uninstall manifest, and its copy named for this version.
    manifests='Program\\setup-uninstall\.[0-9a-f]{16}\.ini Program\\setup-uninstall\.ini '
    case $form in
    plain) want="^Program Program\\\\SampleNotes\\.exe $manifests\$" ;;
    launcher) want="^Program Program\\\\SampleNotes\\.exe Program\\\\SampleNotes\\.program\\.exe $manifests\$" ;;
    esac
    [[ $names =~ $want ]] || fail "the $form installer's Program tree: $names, expected $want"
    as_vendor setup-pack verify $form.exe >/dev/null || fail "setup-pack verify refused the $form installer"
done
as_vendor setup-pack check --ini setup.ini --payload payload --translations JP,DE >/dev/null 2>&1 ||
    fail "the installed setup-pack does not find its translations"
# The same command with the stub named gives the same bytes: the default
# stub is the packaged one, and nothing of the installation leaks in.
as_vendor setup-pack build --ini setup.ini --payload payload --stub "$built/setup-stub.exe" --output named-stub.exe ||
    fail "setup-pack build --stub failed"
cmp -s "$vendor/plain.exe" "$vendor/named-stub.exe" || fail "the default stub and the named one give different installers"

dpkg_waiting --purge setup-pack >/dev/null
installed=no
for path in /usr/bin/setup-pack /usr/share/setup-pack /usr/share/doc/setup-pack; do
    [ ! -e "$path" ] || fail "$path is still there after dpkg --purge"
done
dpkg-query -W setup-pack >/dev/null 2>&1 && fail "dpkg still knows setup-pack"
[ $status = 0 ] && echo "ok: installed, used and purged"
exit $status
