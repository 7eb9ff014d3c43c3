# shellcheck shell=bash
# Whether this machine runs 32-bit x86 programs; source it:
#   . scripts/lib/i386.sh
#
# kernel_runs_i386
#   Returns 0 when the kernel runs a 32-bit x86 program (IA-32 emulation,
#   or a binfmt handler that stands in for it), 1 otherwise. It needs no i386
#   library: the probe is a 93-byte static program, an ELF header, one
#   loadable segment and the code `mov eax, 1; xor ebx, ebx; int 0x80`
#   (exit(0)), so it answers before the i386 packages are installed.
kernel_runs_i386() {
  local probe status=0
  probe=$(mktemp "${TMPDIR:-/tmp}/i386-probe.XXXXXX") || return 1
  {
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
    # e_type EXEC, e_machine 386, version 1, entry 0x08048054, program headers
    # at 52, header sizes 52 and 32, one program header.
    printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'
    printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'
    printf '\x00\x00\x00\x00'
    # PT_LOAD of the whole file (93 bytes) at 0x08048000, readable and executable.
    printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'
    printf '\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
    printf '\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80'
  } >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || status=1
  rm -f "$probe"
  return $status
}
