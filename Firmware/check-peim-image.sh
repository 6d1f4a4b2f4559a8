#!/bin/sh
# check-peim-image.sh READOBJ IMAGE
#
# Fails unless IMAGE is a PEIM image the firmware can load from a flash volume:
#   - PE32 (optional header magic 0x10B) for i386 (machine 0x14C);
#   - subsystem EFI boot service driver (0xB);
#   - a .reloc section and a non-empty base relocation directory, so the
#     image can be rebased to its place in the volume;
#   - no import, delay-import or bound-import entries: nothing resolves them;
#   - an entry point inside an executable section;
#   - every section's file offset equal to its RVA, and every byte of every
#     section present in the file (execute in place: no loader copies or
#     clears anything).
# Prints the image size. A writable section is reported, not failed: code
# running from flash cannot change it.
#
# READOBJ is llvm-readobj.

set -u

if [ $# -ne 2 ]; then
  echo "usage: $0 READOBJ IMAGE" >&2
  exit 2
fi
readobj=$1
image=$2

if [ ! -f "$image" ]; then
  echo "FAIL: $image: no such file"
  exit 1
fi

dump=$("$readobj" --file-headers --sections --coff-imports "$image" 2>&1)
status=$?
if [ $status -ne 0 ]; then
  echo "$dump"
  echo "FAIL: $image: $readobj could not read it (exit $status)"
  exit 1
fi

size=$(wc -c < "$image" | tr -d ' ')
echo "$(basename "$image"): $size bytes"

echo "$dump" | awk -v image="$(basename "$image")" '
  function fail(msg) { print "FAIL: " image ": " msg; failed = 1 }
  # "0x2C0" or "192" to a number (mawk has no strtonum).
  function hex(s,    v, i, c) {
    if (s !~ /^0[xX]/) return s + 0
    v = 0
    for (i = 3; i <= length(s); i++) {
      c = index("0123456789ABCDEF", toupper(substr(s, i, 1)))
      if (c == 0) return -1
      v = v * 16 + c - 1
    }
    return v
  }

  /^Format:/                  { format = $2 }
  /^  Machine:/               { machine = $NF }
  /^  Magic:/ && !magic       { magic = $2 }
  /^  Subsystem:/             { subsystem = $NF }
  /^  AddressOfEntryPoint:/   { entry = hex($2) }
  /^    ImportTableSize:/     { importSize = hex($2) }
  /^    DelayImportDescriptorSize:/ { delaySize = hex($2) }
  /^    BoundImportSize:/     { boundSize = hex($2) }
  /^    BaseRelocationTableSize:/ { relocSize = hex($2) }
  /^ *(Delay)?Import \{/    { imports++ }
  /^  Section \{/ { n++; writable[n] = 0; exec[n] = 0 }
  /^    Name:/ && n         { name[n] = $2 }
  /^    VirtualSize:/       { vsize[n] = hex($2) }
  /^    VirtualAddress:/    { rva[n] = hex($2) }
  /^    RawDataSize:/       { rawsize[n] = $2 + 0 }
  /^    PointerToRawData:/  { rawptr[n] = hex($2) }
  /IMAGE_SCN_MEM_WRITE/     { writable[n] = 1 }
  /IMAGE_SCN_MEM_EXECUTE/   { exec[n] = 1 }

  END {
    if (format != "COFF-i386") fail("format " format ", not COFF-i386")
    if (machine != "(0x14C)") fail("machine " machine ", not i386 (0x14C)")
    if (magic != "0x10B") fail("optional header magic " magic ", not PE32 (0x10B)")
    if (subsystem != "(0xB)") fail("subsystem " subsystem ", not EFI boot service driver (0xB)")
    if (importSize != 0 || delaySize != 0 || boundSize != 0 || imports != 0)
      fail("has imports (import " importSize ", delay " delaySize ", bound " boundSize " bytes, " imports + 0 " entries)")
    reloc = 0
    entryOk = 0
    for (i = 1; i <= n; i++) {
      if (name[i] == ".reloc") reloc = 1
      if (rawsize[i] > 0 && rawptr[i] != rva[i])
        fail(sprintf("section %s at file offset 0x%X but RVA 0x%X: cannot execute in place", name[i], rawptr[i], rva[i]))
      if (vsize[i] > rawsize[i])
        fail(sprintf("section %s has %d bytes without file data: executing in place, they are whatever follows the image", name[i], vsize[i] - rawsize[i]))
      if (exec[i] && entry >= rva[i] && entry < rva[i] + vsize[i]) entryOk = 1
      if (writable[i]) print "WARNING: " image ": section " name[i] " is writable; it is read-only while the image runs from flash"
    }
    if (!reloc || relocSize == 0) fail("no .reloc section or an empty base relocation directory")
    if (!entryOk) fail(sprintf("entry point 0x%X is not in an executable section", entry))
    if (failed) exit 1
    print "OK: " image ": PE32 i386 EFI boot service driver, " n " sections, relocatable, no imports"
  }
'
