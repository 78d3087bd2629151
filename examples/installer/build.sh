#!/usr/bin/env bash
# Builds the sample application's installer with NSIS:
#   examples/installer/build.sh [SETUP.exe]          (default build/installer/KelmoraDemoSetup.exe)
# What it installs can be given by the environment; the defaults make a sample that runs under
# Wine as it stands:
#   KELMORA_EXE    the launcher (default: build/mingw/KELMORA.exe, built if missing)
#   APP_JAR        the application's archive (default: a placeholder archive)
#   JAVA_RUNTIME   the runtime folder shipped as java\ (default: the test stand-in, whose
#                  bin\javaw.exe only records how it was started)
set -euo pipefail
cd "$(dirname "$0")/../.."

output=${1:-build/installer/KelmoraDemoSetup.exe}
if [ -z "${KELMORA_EXE:-}" ] || [ -z "${JAVA_RUNTIME:-}" ]; then
  source scripts/common.sh
  build_launcher
fi
command -v makensis >/dev/null || bash scripts/install-deps.sh

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "${KELMORA_EXE:-build/mingw/KELMORA.exe}" "$stage/KELMORA.exe"
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
makensis -V2 -DSTAGE="$stage" -DOUTFILE="$(realpath "$output")" examples/installer/kelmora-demo.nsi
echo "installer: $output"
