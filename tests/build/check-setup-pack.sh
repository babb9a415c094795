#!/usr/bin/env bash
# The example's setup.exe against setup-pack as a vendor runs it: the
# payload copied elsewhere with cp -r and packed again under the same
# SOURCE_DATE_EPOCH gives the same bytes, and list and verify read the
# installer back.
#   check-setup-pack.sh SETUP_PACK STUB SETUP_EXE SETUP_INI PAYLOAD_DIR EPOCH
set -euo pipefail
pack=${1:?setup-pack} stub=${2:?stub} setup=${3:?setup.exe} ini=${4:?setup.ini} payload=${5:?payload} epoch=${6:?epoch}
status=0
fail() { echo "FAIL: $*"; status=1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp -r "$payload" "$work/payload"
SOURCE_DATE_EPOCH=$epoch "$pack" build --ini "$ini" --payload "$work/payload" --stub "$stub" --output "$work/setup.exe"
if cmp -s "$setup" "$work/setup.exe"; then echo "ok: the same bytes from a copy of the payload"
else fail "setup.exe differs when built from a copy of the payload"; fi

"$pack" verify "$setup" > "$work/verify.txt" || fail "setup-pack verify refused setup.exe: $(cat "$work/verify.txt")"
head -n 4 "$work/verify.txt"
grep -q '^ProgName: Sample Notes$' "$work/verify.txt" || fail "verify does not name the program"
grep -q '^Languages: EN FR NL$' "$work/verify.txt" || fail "verify does not list the languages"
grep -q '^verified: ' "$work/verify.txt" || fail "verify does not find the payload sound"

# The stub has no payload and no setup INI of its own.
if "$pack" list "$stub" > /dev/null 2>&1; then fail "the stub carries a payload"; else echo "ok: the stub has no payload"; fi
exit $status
