#!/usr/bin/env bash
# A packager's release: builds KELMORA.exe in a clean build folder and writes
#   dist/KELMORA.exe
#   dist/KELMORA-<version>-win32.zip   KELMORA.exe, a sample config.ini, PACKAGING.txt
#   dist/SHA256SUMS                    for `sha256sum -c`
# The bytes depend on the source alone: not on the folder it is built in, the time or the
# locale (two clones at different paths give the same SHA256SUMS). With SIGN_P12 (and
# SIGN_PASSWORD) set, KELMORA.exe is signed with scripts/sign.sh before it is archived. With
# KELMORA_ICON naming an .ico file, its images become the executable's icon; a bad icon file is
# refused before anything is built or removed, so a release already in dist/ stays as it was.
set -euo pipefail
# Named from the caller's folder, before the move to the project's.
icon=""
if [ -n "${KELMORA_ICON:-}" ]; then icon=$(realpath -m -- "$KELMORA_ICON"); fi
cd "$(dirname "$0")/.."
export LC_ALL=C TZ=UTC

if [ -n "$icon" ]; then python3 scripts/check_icon.py "$icon"; fi
bash scripts/install-deps.sh
version=$(sed -n 's/^project(KELMORA VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
build=build/release
rm -rf "$build" dist
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DKELMORA_ICON="$icon" >/dev/null
cmake --build "$build" --target KELMORA -j2 >/dev/null
mkdir -p dist
cp "$build/KELMORA.exe" dist/KELMORA.exe
# Signed before it goes into the archive, when a certificate is given (a signature carries
# its own time, so a signed release is the same only up to the signature).
if [ -n "${SIGN_P12:-}" ]; then bash scripts/sign.sh dist/KELMORA.exe "$SIGN_P12"; fi

# Fixed entry order, time stamps and attributes; texts with Windows line ends.
python3 - "dist/KELMORA-$version-win32.zip" <<'PY'
import sys
import zipfile

entries = [("KELMORA.exe", open("dist/KELMORA.exe", "rb").read()),
           ("config.ini", open("examples/config.ini", "rb").read()),
           ("PACKAGING.txt", open("examples/PACKAGING.txt", "rb").read())]
with zipfile.ZipFile(sys.argv[1], "w") as archive:
    for name, data in entries:
        if name.endswith((".ini", ".txt")):
            data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
        info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
        info.create_system = 0  # MS-DOS: no Unix owner or mode bits from this machine
        info.external_attr = 0x20  # the archive attribute
        info.compress_type = zipfile.ZIP_DEFLATED
        archive.writestr(info, data, compresslevel=9)
PY

(cd dist && sha256sum KELMORA.exe "KELMORA-$version-win32.zip" >SHA256SUMS)
cat dist/SHA256SUMS
