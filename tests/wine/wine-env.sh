# Shared by the Wine test scripts: how Wine is run for the tests.
#
# Every test run gets a throwaway root folder holding the Wine prefix, a HOME
# of its own and a copy of the programs under test. Wine runs as an ordinary
# user (nobody when the caller is root), so that file permissions behave as
# on Windows: as root, Wine lets a copy overwrite a read-only file.

wine_user_ids() {
    if [ "$(id -u)" = 0 ]; then echo "65534 65534"; else echo "$(id -u) $(id -g)"; fi
}

# True when this machine executes 32-bit x86 programs. Some virtual machines
# cannot ("Exec format error"): there the tests run the 64-bit build of the
# same sources under 64-bit Wine instead.
machine_runs_i386() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }

# The kind of root folder $1, set up by prefix.sh:
#   win32  a 32-bit prefix running the 32-bit build
#   win64  a 64-bit prefix running the 64-bit build (machines that cannot
#          execute 32-bit programs)
#   wow64  a 64-bit prefix running the 32-bit build, as 64-bit Windows runs
#          a 32-bit installer
wine_arch_of() { cat "$1/wine-arch" 2>/dev/null || echo win32; }

# The WINEARCH of a root kind: both 64-bit kinds are 64-bit prefixes.
wine_prefix_arch() { if [ "$1" = win32 ]; then echo win32; else echo win64; fi; }

# Runs a command as the test user in the Wine environment of root folder $1.
# In a win64 root, "wine" is the 64-bit loader (Debian's wrapper would take
# the 32-bit one whenever it is installed); in a wow64 root it stays the
# wrapper, which runs the 32-bit build through the 32-bit loader.
wine_as_user() {
    local root=$1; shift
    local ids; ids=$(wine_user_ids)
    local arch; arch=$(wine_arch_of "$root")
    local path=/usr/local/bin:/usr/bin:/bin
    local loader=()
    if [ "$arch" = win64 ]; then
        path=$root/winebin:$path
        loader=(WINELOADER=/usr/lib/wine/wine64)
    fi
    local run=()
    if [ "$(id -u)" = 0 ]; then
        run=(setpriv --reuid="${ids% *}" --regid="${ids#* }" --clear-groups)
    fi
    "${run[@]}" env -i \
        PATH="$path" \
        HOME="$root/home" \
        USER=setup-tests \
        LANG="${SETUP_TEST_LANG:-C.UTF-8}" \
        WINEPREFIX="$root/prefix" \
        WINEARCH="$(wine_prefix_arch "$arch")" \
        SETUP_WINE_KIND="$arch" \
        "${loader[@]}" \
        WINEDEBUG=-all \
        WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml=" \
        SETUP_TEST_ROOT="$root" \
        "$@"
}
