#!/usr/bin/env bash
# A packager's release: builds KELMORA.exe in a clean build folder and writes
#   dist/KELMORA.exe
#   dist/KELMORA-<version>-win32.zip   KELMORA.exe, a sample config.ini, PACKAGING.txt
#   dist/SHA256SUMS                    for `sha256sum -c`
# A packager's own identity comes from KELMORA_PRODUCT_NAME, KELMORA_DESCRIPTION,
# KELMORA_VERSION, KELMORA_COMPANY, KELMORA_COPYRIGHT and KELMORA_EXE_NAME (the last also names
# the files: <name>.exe, <name>-<version>-win32.zip); the values never pass through a shell.
# The bytes depend on the source alone: not on the folder it is built in, the time or the
# locale (two clones at different paths give the same SHA256SUMS). KELMORA.exe is signed with
# scripts/sign.sh before it is archived when SIGN_P12 (with SIGN_PASSWORD) names a PKCS#12 file,
# or SIGN_PKCS11_MODULE a token's module (with SIGN_PKCS11_KEY, SIGN_PKCS11_CERT or SIGN_CERTS,
# and SIGN_PIN); with SOURCE_DATE_EPOCH a signed release is the same bytes every time too. With
# KELMORA_ICON naming an .ico file, its images become the executable's icon. Everything given is
# checked before anything is built, and the release is made in a work folder that replaces
# dist/ only at the end: a refusal or a failure leaves a release already in dist/ as it was.
set -euo pipefail
# Named from the caller's folder, before the move to the project's.
from_caller() { if [ -n "${!1:-}" ]; then realpath -m -- "${!1}"; fi; }
icon=$(from_caller KELMORA_ICON)
p12=()
if [ -n "${SIGN_P12:-}" ]; then p12=("$(from_caller SIGN_P12)"); fi
for name in SIGN_PKCS11_MODULE SIGN_CERTS SIGN_CAFILE; do
  if [ -n "${!name:-}" ]; then export "$name=$(from_caller "$name")"; fi
done
cd "$(dirname "$0")/.."
export LC_ALL=C TZ=UTC

python3 scripts/identity.py --check
if [ -n "$icon" ]; then python3 scripts/check_icon.py "$icon"; fi
bash scripts/install-deps.sh
# The signer is checked with the tools install-deps brings, before anything is built.
signing=0
if ((${#p12[@]})) || [ -n "${SIGN_PKCS11_MODULE:-}" ]; then
  signing=1
  bash scripts/sign.sh --check "${p12[@]}"
fi
exe=$(python3 scripts/identity.py --field exe-name)
version=$(python3 scripts/identity.py --field version)
mapfile -d '' -t identity < <(python3 scripts/identity.py --cmake-args)
build=build/release stage=build/release-dist
rm -rf "$build" "$stage"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DKELMORA_ICON="$icon" "${identity[@]}" >/dev/null
cmake --build "$build" --target KELMORA -j2 >/dev/null
mkdir -p "$stage"
cp "$build/$exe.exe" "$stage/$exe.exe"
# Signed before it goes into the archive. A signature carries its signing time: the current
# one, unless SOURCE_DATE_EPOCH gives it.
if ((signing)); then bash scripts/sign.sh "$stage/$exe.exe" "${p12[@]}"; fi

# Fixed entry order, time stamps and attributes; texts with Windows line ends.
python3 - "$stage" "$exe.exe" "$exe-$version-win32.zip" <<'PY'
import os
import sys
import zipfile

stage, exe, archive_name = sys.argv[1:]
entries = [(exe, open(os.path.join(stage, exe), "rb").read()),
           ("config.ini", open("examples/config.ini", "rb").read()),
           ("PACKAGING.txt", open("examples/PACKAGING.txt", "rb").read())]
with zipfile.ZipFile(os.path.join(stage, archive_name), "w") as archive:
    for name, data in entries:
        if name.endswith((".ini", ".txt")):
            data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
        info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
        info.create_system = 0  # MS-DOS: no Unix owner or mode bits from this machine
        info.external_attr = 0x20  # the archive attribute
        info.compress_type = zipfile.ZIP_DEFLATED
        archive.writestr(info, data, compresslevel=9)
PY

(cd "$stage" && sha256sum "$exe.exe" "$exe-$version-win32.zip" >SHA256SUMS)
rm -rf dist
mv "$stage" dist
cat dist/SHA256SUMS
