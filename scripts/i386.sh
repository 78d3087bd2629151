# Sourced: whether this host runs 32-bit x86 programs, and how. Wine's 32-bit half, and so
# KELMORA.exe and every test of it, needs them. Some x86-64 kernels run none (IA-32 emulation
# off); there Debian's user-mode emulator runs them, registered with binfmt_misc.

I386_BINFMT=/proc/sys/fs/binfmt_misc
# The name our handler is registered under; Debian's own packages use the same one.
I386_HANDLER_NAME=qemu-i386
# The emulator from bookworm-backports (10.0): bookworm's own 7.2 answers Wine's tens of
# thousands of address-space reservations so slowly that each 32-bit process takes ~50 s to start.
I386_EMULATOR=/usr/bin/qemu-i386
I386_EMULATOR_MIN_MAJOR=10

# Runs a 96-byte static i386 Linux program (ELF header, one program header, then
# `mov eax,1; mov ebx,7; int 0x80`: exit(7)). True when it ran and ended with 7; a kernel
# that refuses 32-bit code answers "Exec format error" instead. The file goes into the project's
# build folder, since /tmp may be mounted noexec.
i386_probe() {
  local dir probe code
  dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build"
  mkdir -p "$dir"
  probe=$(mktemp "$dir/.i386-probe.XXXXXX")
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'`
    `'\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'`
    `'\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'`
    `'\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08'`
    `'\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00'`
    `'\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x07\x00\x00\x00\xcd\x80' >"$probe"
  chmod +x "$probe"
  code=0
  "$probe" 2>/dev/null || code=$?
  rm -f "$probe"
  [ "$code" = 7 ]
}

# Prints the binfmt_misc entry of an enabled handler for i386 ELF programs, if there is one:
# its magic is the ELF identification of a 32-bit little-endian file with machine 3 (x86).
i386_handler() {
  local entry magic
  [ -r "$I386_BINFMT/status" ] || return 0
  for entry in "$I386_BINFMT"/*; do
    case "${entry##*/}" in register|status) continue;; esac
    [ "$(head -n1 "$entry" 2>/dev/null)" = enabled ] || continue
    magic=$(sed -n 's/^magic //p' "$entry")
    if [ "${magic:0:10}" = 7f454c4601 ] && [ "${magic:36:4}" = 0300 ]; then
      echo "$entry"
      return 0
    fi
  done
}

# The interpreter a handler entry names.
i386_handler_interpreter() {
  sed -n 's/^interpreter //p' "$1"
}

# The first line of an emulator's --version, e.g. "qemu-i386 version 10.0.2 (Debian ...)".
i386_emulator_version() {
  "$1" --version 2>/dev/null | head -n1
}

# True when the emulator's major version is at least I386_EMULATOR_MIN_MAJOR.
i386_emulator_is_fast() {
  local major
  major=$(i386_emulator_version "$1" | sed -n 's/.* version \([0-9][0-9]*\)\..*/\1/p')
  [ -n "$major" ] && [ "$major" -ge "$I386_EMULATOR_MIN_MAJOR" ]
}

# One line for the start of any run that starts 32-bit programs, when they run emulated, so
# that nobody takes an emulated figure for a native one. Prints nothing where they run natively.
i386_emulation_note() {
  local entry
  entry=$(i386_handler)
  [ -n "$entry" ] || return 0
  echo "NOTE: 32-bit programs run under emulation on this host ($(i386_emulator_version \
"$(i386_handler_interpreter "$entry")" | sed 's/ *(.*//') through binfmt_misc): times are\
 the emulator's, several times native Wine's, and no measure of Windows."
}
