# Sourced by the scripts that run KELMORA.exe under Wine.

source scripts/i386.sh

# Installs what is missing and builds KELMORA.exe and the test programs; says so when 32-bit
# programs run emulated on this host.
build_launcher() {
  bash scripts/install-deps.sh
  i386_emulation_note
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw >/dev/null
}

# Uses the private prefix build/$1-wineprefix, creating it when it is not there. The server is
# started persistent with its output to /dev/null: one that inherits a captured pipe keeps
# whoever captures waiting.
use_wine_prefix() {
  export WINEPREFIX="$PWD/build/$1-wineprefix" WINEDEBUG=-all
  if [ ! -d "$WINEPREFIX/drive_c/windows/system32" ]; then
    echo "Creating the Wine prefix (once, about 20 s)..."
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
  fi
  wineserver -p </dev/null >/dev/null 2>&1 || true
  wineboot -i </dev/null >/dev/null 2>&1
}
