#!/usr/bin/env bash
# Makes the pictures in docs/ of what a user sees on each failure: the error box, the
# command-line dialog in both forms, and the termination box. Runs the real KELMORA.exe (and,
# for the task-dialog form, which Wine's common controls never select, the launcher's dialog
# code through a test program) under Xvfb, with Wine drawing its own window frames.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/common.sh
build_launcher
rm -rf "$PWD/build/screenshots-wineprefix"
use_wine_prefix screenshots
# Without a window manager, let Wine draw captions and borders itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1

export DISPLAY=:77
Xvfb "$DISPLAY" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wineserver -k 2>/dev/null || true' EXIT
sleep 1

driver=build/mingw/test-programs/dialog_driver.exe
mkdir -p docs

# Waits for the window titled $1, saves it as docs/$2, then closes it with OK.
shoot() {
  local rect
  rect=$(wine "$driver" dialogs 20000 "$1=none" </dev/null 2>/dev/null |
         python3 -c 'import json,sys; s=json.load(sys.stdin)[0]; print(*s["rect"]) if s["found"] else sys.exit(1)')
  read -r left top right bottom <<<"$rect"
  import -window root -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "docs/$2"
  wine "$driver" dialogs 20000 "$1=ok" </dev/null >/dev/null 2>&1
  echo "docs/$2"
}

app="$WINEPREFIX/drive_c/App"
mkdir -p "$app"
cp build/mingw/KELMORA.exe "$app/"
printf '[KELMORA]\r\nNOME_JAR=app.jar\r\n' >"$app/config.ini"
(cd "$app" && wine KELMORA.exe </dev/null >/dev/null 2>&1) &
launched=$!
shoot "Erro" error-box.png
shoot "Kelmora" command-line-dialog.png
wait $launched

# Named like the launcher, so the caption is the one the launcher would give it.
mkdir -p "$WINEPREFIX/drive_c/check"
cp build/mingw/test-programs/platform_check.exe "$WINEPREFIX/drive_c/check/KELMORA.exe"
(CHECK_TEXT='C:\App\java\bin\javaw.exe -jar -Xmx768m "C:\App\app.jar"' \
  wine "$WINEPREFIX/drive_c/check/KELMORA.exe" task </dev/null >/dev/null 2>&1) &
launched=$!
shoot "Kelmora" command-line-task-dialog.png
wait $launched

wine reg add 'HKLM\Software\JavaSoft\Java Runtime Environment\1.8' /v JavaHome /t REG_DWORD /d 1 /f /reg:64 \
  </dev/null >/dev/null 2>&1
printf '[KELMORA]\r\nVERSAO_JAVA=1.8\r\nUSAR_JAVAHOME=1\r\nNOME_JAR=app.jar\r\n' >"$app/config.ini"
(cd "$app" && wine KELMORA.exe </dev/null >/dev/null 2>&1) &
launched=$!
shoot "KELMORA.exe" termination-box.png
wait $launched || true  # exit code 3, as it should be
