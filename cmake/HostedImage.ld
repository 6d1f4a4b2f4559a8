/* Partial link of one hosted PEIM image: its writable data gathered into one
   section between two symbols, so the board can reload it as a fresh image
   (every boot starts with the module-level data as the image holds it). */
SECTIONS {
  .data.rel.ro : { *(.data.rel.ro .data.rel.ro.*) }
  .peim.data : {
    PEIM_DataStart = .;
    *(.data .data.* .bss .bss.* COMMON)
    PEIM_DataEnd = .;
  }
}
