/** @file
  Dynamic PCD token numbers of the platform build these modules are bound to.
**/
#ifndef OEM_PCD_TOKENS_H_
#define OEM_PCD_TOKENS_H_

#define _PCD_TOKEN_PcdSysHostMemoryAddress   17U  ///< UINT64: host structure address (low 32 bits used)
#define _PCD_TOKEN_PcdPcieMmcfgBase          26U  ///< UINT64: PCI Express MMCFG base (low 32 bits used)
#define _PCD_TOKEN_PcdOemIsFirstBoot         34U  ///< BOOLEAN: first boot of the board
#define _PCD_TOKEN_PcdDebugRasLogLevel       35U  ///< UINT8: RAS log level << 4 | debug level
#define _PCD_TOKEN_PcdIioPortValueFlagClear  36U  ///< UINT8: first-boot port value, flag byte 0
#define _PCD_TOKEN_PcdIioPortValueFlagSet    37U  ///< UINT8: first-boot port value, flag byte non-zero
#define _PCD_TOKEN_PcdIioPresetSelector      54U  ///< UINT16: 0x00A0 selects the Gen3 presets

#endif
