# Sourced by the scripts: can this machine run 32-bit (i386) Linux programs,
# which the 32-bit half of Wine is, and how?
#
# The question is answered by running a tiny i386 program (a hand-made
# static ELF file of 96 bytes that only exits with status 42) and, when it
# runs, by looking for an enabled binfmt_misc entry that hands i386 programs
# to an emulator. binfmt_misc handlers are consulted before the kernel's own
# ELF loader, so where such an entry exists every 32-bit program is emulated
# even on a kernel that could run it.
#
#   native    the kernel runs 32-bit programs itself
#   emulated  they run through user-mode emulation (qemu, via binfmt_misc)
#   none      they do not run at all

# The ELF magic of i386 executables as binfmt_misc lists it for an entry.
EBOOK_I386_MAGIC=7f454c4601010100000000000000000002000300

# Writes the probe program to $1.
ebook_write_i386_probe() {
  # ELF header (52 bytes), one loadable segment (32 bytes) that maps the
  # file at 0x08048000, then the code at the entry point 0x08048054:
  #   mov ebx, 42 ; mov eax, 1 (exit) ; int 0x80
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'`
        `'\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'`
        `'\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'`
        `'\x00\x00\x00\x00'`
        `'\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'`
        `'\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'`
        `'\xbb\x2a\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80' > "$1"
  chmod +x "$1"
}

# Prints the name of an enabled binfmt_misc entry for i386 programs; fails
# when there is none.
ebook_i386_binfmt_entry() {
  local dir=/proc/sys/fs/binfmt_misc entry
  [ -r "$dir/status" ] && [ "$(cat "$dir/status")" = enabled ] || return 1
  for entry in "$dir"/*; do
    case "${entry##*/}" in register|status) continue ;; esac
    [ "$(head -n1 "$entry" 2>/dev/null)" = enabled ] || continue
    if grep -qx "magic $EBOOK_I386_MAGIC" "$entry"; then
      echo "${entry##*/}"
      return 0
    fi
  done
  return 1
}

# Prints native, emulated or none. The probe is written into the project's
# build folder: /tmp may be mounted without the right to execute.
ebook_i386_mode() {
  local root probe status=0
  root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
  mkdir -p "$root/build"
  probe=$(mktemp "$root/build/.i386-probe.XXXXXX")
  ebook_write_i386_probe "$probe"
  "$probe" >/dev/null 2>&1 || status=$?
  rm -f "$probe"
  if [ "$status" -ne 42 ]; then
    echo none
  elif ebook_i386_binfmt_entry >/dev/null; then
    echo emulated
  else
    echo native
  fi
}

# Whether this kernel offers binfmt_misc at all (mounted or mountable).
ebook_binfmt_available() {
  [ -e /proc/sys/fs/binfmt_misc/register ] || grep -qw binfmt_misc /proc/filesystems 2>/dev/null
}
