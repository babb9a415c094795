# Shared by the Wine test scripts: how Wine is run for the tests.
#
# Every test run gets a throwaway root folder holding the Wine prefix, a HOME
# of its own and a copy of the programs under test. Wine runs as an ordinary
# user (nobody when the caller is root), so that file permissions behave as
# on Windows: as root, Wine lets a copy overwrite a read-only file.

wine_user_ids() {
    if [ "$(id -u)" = 0 ]; then echo "65534 65534"; else echo "$(id -u) $(id -g)"; fi
}

# Runs a command as the test user in the Wine environment of root folder $1.
wine_as_user() {
    local root=$1; shift
    local ids; ids=$(wine_user_ids)
    local run=()
    if [ "$(id -u)" = 0 ]; then
        run=(setpriv --reuid="${ids% *}" --regid="${ids#* }" --clear-groups)
    fi
    "${run[@]}" env -i \
        PATH=/usr/local/bin:/usr/bin:/bin \
        HOME="$root/home" \
        USER=setup-tests \
        LANG=C.UTF-8 \
        WINEPREFIX="$root/prefix" \
        WINEARCH=win32 \
        WINEDEBUG=-all \
        WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml=" \
        SETUP_TEST_ROOT="$root" \
        "$@"
}
