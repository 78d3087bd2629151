#!/usr/bin/env bash
# The main job: builds KELMORA.exe, lays out the sample application folder from examples/
# inside a private Wine prefix, runs the launcher there, and shows what the Java runtime
# (a stand-in that records how it was started) was given, and the launcher's exit code.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/common.sh
build_launcher
use_wine_prefix demo

app="$WINEPREFIX/drive_c/Demo App"
rm -rf "$app"
mkdir -p "$app/java/bin"
cp examples/config.ini "$app/config.ini"
cp build/mingw/KELMORA.exe "$app/"
cp build/mingw/test-programs/javaw_standin.exe "$app/java/bin/javaw.exe"
record="$WINEPREFIX/drive_c/demo-record.jsonl"
rm -f "$record"

echo "Application folder: C:\\Demo App"
echo "config.ini:"; sed 's/^/    /' examples/config.ini
set +e
(cd "$app" && STANDIN_RECORD='C:\demo-record.jsonl' wine "$app/KELMORA.exe" </dev/null >/dev/null 2>&1)
code=$?
set -e
python3 - "$record" <<'PY'
import json, sys
for line in open(sys.argv[1]):
    r = json.loads(line)
    print("The runtime was started as:", r["module"])
    print("  command line:     ", r["commandLine"])
    print("  current directory:", r["currentDirectory"])
    print("  show window:      ", "SW_HIDE" if r["showWindow"] == 0 else r["showWindow"],
          "(STARTF_USESHOWWINDOW set)" if r["startupFlags"] & 1 else "")
PY
echo "KELMORA.exe exit code: $code"
wineserver -k >/dev/null 2>&1 || true
