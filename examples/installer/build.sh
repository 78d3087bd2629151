#!/usr/bin/env bash
# Builds the sample application's installer with NSIS:
#   examples/installer/build.sh [SETUP.exe]          (default build/installer/KelmoraDemoSetup.exe)
# What it installs can be given by the environment; the defaults make a sample that runs under
# Wine as it stands:
#   KELMORA_EXE    the launcher (default: build/mingw/KELMORA.exe, built if missing)
#   APP_JAR        the application's archive (default: a placeholder archive)
#   JAVA_RUNTIME   the runtime folder shipped as java\ (default: the test stand-in, whose
#                  bin\javaw.exe only records how it was started)
#   KELMORA_ICON   an .ico file: the setup program's icon, and, without KELMORA_EXE, the icon of
#                  the launcher built for it (build/installer-launcher), which the shortcut shows
#   KELMORA_PRODUCT_NAME, KELMORA_DESCRIPTION, KELMORA_VERSION, KELMORA_COMPANY,
#   KELMORA_COPYRIGHT, KELMORA_EXE_NAME
#                  the packager's identity, as for scripts/release.sh: the product name names
#                  the install folder, the shortcut and the Programs entry (whose publisher is
#                  the company and whose version is the version), and the launcher is installed
#                  as <exe name>.exe; without KELMORA_EXE the launcher is built with them
set -euo pipefail
output=$(realpath -m -- "${1:-build/installer/KelmoraDemoSetup.exe}")
icon=""
if [ -n "${KELMORA_ICON:-}" ]; then icon=$(realpath -m -- "$KELMORA_ICON"); fi
cd "$(dirname "$0")/../.."

python3 scripts/identity.py --check
if [ -n "$icon" ]; then python3 scripts/check_icon.py "$icon"; fi
mapfile -d '' -t identity < <(python3 scripts/identity.py --cmake-args)
if [ -z "${KELMORA_EXE:-}" ] || [ -z "${JAVA_RUNTIME:-}" ]; then
  source scripts/common.sh
  build_launcher
fi
command -v makensis >/dev/null || bash scripts/install-deps.sh
launcher=${KELMORA_EXE:-build/mingw/KELMORA.exe}
exe=$(python3 scripts/identity.py --field exe-name).exe
if { [ -n "$icon" ] || ((${#identity[@]})); } && [ -z "${KELMORA_EXE:-}" ]; then
  # A build folder of its own, made anew: the tests' build keeps KELMORA's own launcher.
  rm -rf build/installer-launcher
  cmake -S . -B build/installer-launcher -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DKELMORA_ICON="$icon" "${identity[@]}" >/dev/null
  cmake --build build/installer-launcher --target KELMORA -j2 >/dev/null
  launcher=build/installer-launcher/$exe
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$launcher" "$stage/launcher.exe"
python3 scripts/identity.py --nsis "$stage/identity.nsh"
cp examples/config.ini "$stage/config.ini"
if [ -n "${APP_JAR:-}" ]; then
  cp "$APP_JAR" "$stage/app.jar"
else
  python3 -c 'import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as jar:
    jar.writestr("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n\r\n")' "$stage/app.jar"
fi
if [ -n "${JAVA_RUNTIME:-}" ]; then
  cp -r "$JAVA_RUNTIME" "$stage/java"
else
  mkdir -p "$stage/java/bin"
  cp build/mingw/test-programs/javaw_standin.exe "$stage/java/bin/javaw.exe"
fi

mkdir -p "$(dirname "$output")"
icon_define=()
if [ -n "$icon" ]; then icon_define=(-DICON="$icon"); fi
makensis -V2 -DSTAGE="$stage" -DOUTFILE="$output" "${icon_define[@]}" examples/installer/kelmora-demo.nsi
echo "installer: $output"
