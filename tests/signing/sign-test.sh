#!/usr/bin/env bash
# A signed installer: a throwaway certificate authority and code-signing
# certificate made with openssl, the built setup.exe signed with osslsigncode
# and verified against that authority; a changed byte or another authority
# fails the verification; the signed file still reads as an installer
# (setup-pack verify) and, in a Wine root of its own, still passes its own
# checksum and installs the example.
#   sign-test.sh SETUP_EXE SETUP_DRIVER_EXE SETUP_PACK [WINE_ARCH]
# (WINE_ARCH: win32, the default, or win64 for the tests' 64-bit build.)
set -euo pipefail
setup_exe=$(realpath "${1:?setup.exe}"); driver=$(realpath "${2:?setup-driver.exe}")
setup_pack=$(realpath "${3:?setup-pack}")
wine_arch=${4:-win32}
here=$(cd "$(dirname "$0")" && pwd)
wine_dir=$here/../wine

status=0
fail() { echo "FAIL: $*"; status=1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/setup-sign.XXXXXX")
state=$work/wine-root.txt
cleanup() {
    timeout --kill-after=10 120 bash "$wine_dir/prefix.sh" cleanup "$state" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

# A certificate authority and a vendor's code-signing certificate, for this
# run only; and a second authority that signed nothing.
make_ca() {  # make_ca NAME
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 2 -subj "/CN=$1" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}
make_ca "Throwaway CA"
make_ca "Other CA"
openssl req -newkey rsa:2048 -nodes -keyout vendor.key -out vendor.csr -subj "/CN=Throwaway Vendor" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >vendor.ext
openssl x509 -req -in vendor.csr -CA "Throwaway CA.pem" -CAkey "Throwaway CA.key" -CAcreateserial \
    -out vendor.pem -days 2 -extfile vendor.ext 2>/dev/null

# The unsigned installer carries a correct PE checksum (osslsigncode warns
# when it does not), and no signature yet.
unsigned=$(osslsigncode verify -in "$setup_exe" 2>&1 || true)
echo "$unsigned" | grep -q 'No signature found' || fail "the built installer is already signed: $unsigned"
if echo "$unsigned" | grep -q 'invalid PE checksum'; then fail "the built installer's PE checksum is wrong: $unsigned"; fi

mkdir signed
osslsigncode sign -certs vendor.pem -key vendor.key -h sha256 -n "Sample Notes" \
    -in "$setup_exe" -out signed/setup.exe >/dev/null || fail "osslsigncode could not sign the installer"

# Verification: the signed file against its authority passes; each row
# below must fail.
verify() { osslsigncode verify -CAfile "$2" -in "$1" 2>&1; }
if out=$(verify signed/setup.exe "Throwaway CA.pem"); then
    echo "ok: signature verified"
else
    fail "the signed installer does not verify: $out"
fi
size=$(stat -c %s signed/setup.exe)
flip() {  # flip FILE OFFSET OUT: a copy with one bit of the byte at OFFSET changed
    cp "$1" "$3"
    local byte; byte=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
    printf "$(printf '\\%03o' $((byte ^ 1)))" | dd of="$3" bs=1 seek="$2" conv=notrunc status=none
}
flip signed/setup.exe $((size / 2)) tampered-middle.exe
flip signed/setup.exe 2 tampered-header.exe
while IFS='|' read -r file ca why; do
    if out=$(verify "$file" "$ca"); then fail "verified although $why"; else echo "ok: refused: $why"; fi
done <<ROWS
tampered-middle.exe|Throwaway CA.pem|a byte in the middle of the image changed after signing
tampered-header.exe|Throwaway CA.pem|a byte of the DOS header changed after signing
signed/setup.exe|Other CA.pem|the signer's authority is not the trusted one
ROWS

# Still an installer: the packer finds its payload and setup INI.
if out=$("$setup_pack" verify signed/setup.exe 2>&1); then
    echo "ok: setup-pack verify reads the signed installer"
else
    fail "setup-pack verify refuses the signed installer: $out"
fi

# Installs under Wine: its own root, the signed setup.exe and the driver.
cp "$driver" signed/setup-driver.exe
timeout --kill-after=10 300 bash "$wine_dir/prefix.sh" setup "$state" "$work/signed" "$wine_arch" >/dev/null 2>&1 ||
    { echo "FAIL: no Wine root"; exit 1; }
log=$work/run.log
set +e
timeout --kill-after=10 240 bash "$wine_dir/run.sh" "$state" setup-driver.exe --timeout 120 --report \
    --close-window "Sample Notes" -- setup.exe -s >"$log" 2>&1 </dev/null
driver_status=$?
set -e
grep -v '^wine: ' "$log" || true
[ "$driver_status" = 0 ] || fail "setup-driver.exe ended with status $driver_status"
grep -q '^setup\.exe ended with exit code 1 ' "$log" || fail "the signed installer did not report an installation"
summary=$(grep '^Summary: ' "$log" || true)
case $summary in
"Summary: 0 program"*|"") fail "no program file installed: ${summary:-no report}" ;;
esac
echo "$summary" | grep -Eq 'registry entries ([0-9]+) of \1, shortcuts 2 of 2' ||
    fail "registration or shortcuts incomplete: $summary"
[ $status = 0 ] && echo "ok: the signed installer verifies and installs"
exit $status
