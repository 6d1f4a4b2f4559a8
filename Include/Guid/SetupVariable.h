/** @file
  Names and vendor GUIDs of the platform's setup variables. Each variable has
  a vendor GUID of its own, except that "Setup" shares the one of "IntelSetup".
**/
#ifndef OEM_GUID_SETUP_VARIABLE_H_
#define OEM_GUID_SETUP_VARIABLE_H_

#include <Uefi/UefiBaseType.h>

#define SOCKET_IIO_CONFIG_GUID \
  { 0xdd84017e, 0x7f52, 0x48f9, { 0xb1, 0x6e, 0x50, 0xed, 0x9e, 0x0d, 0xbe, 0x27 } }
#define SOCKET_COMMONRC_CONFIG_GUID \
  { 0x4402ca38, 0x808f, 0x4279, { 0xbc, 0xec, 0x5b, 0xaf, 0x8d, 0x59, 0x09, 0x2f } }
#define SOCKET_MP_LINK_CONFIG_GUID \
  { 0x2b9b22de, 0x2ad4, 0x4abc, { 0x95, 0x7d, 0x5f, 0x18, 0xc5, 0x04, 0xa0, 0x5c } }
#define SOCKET_MEMORY_CONFIG_GUID \
  { 0x98cf19ed, 0x4109, 0x4681, { 0xb7, 0x9d, 0x91, 0x96, 0x75, 0x7c, 0x78, 0x24 } }
#define SOCKET_POWER_MANAGEMENT_CONFIG_GUID \
  { 0xa1047342, 0xbdba, 0x4dae, { 0xa6, 0x7a, 0x40, 0x97, 0x9b, 0x65, 0xc7, 0xf8 } }
#define SOCKET_PROCESSOR_CORE_CONFIG_GUID \
  { 0x07013588, 0xc789, 0x4e12, { 0xa7, 0xc3, 0x88, 0xfa, 0xfa, 0xe7, 0x9f, 0x7c } }
#define INTEL_SETUP_GUID \
  { 0xec87d643, 0xeba4, 0x4bb5, { 0xa1, 0xe5, 0x3f, 0x3e, 0x36, 0xb2, 0x0d, 0xa9 } }
#define PCH_SETUP_GUID \
  { 0x4570b7f1, 0xade8, 0x4943, { 0x8d, 0xc3, 0x40, 0x64, 0x72, 0x84, 0x23, 0x84 } }
#define MEM_BOOT_HEALTH_CONFIG_GUID \
  { 0xacd56900, 0xdefc, 0x4127, { 0xde, 0x12, 0x32, 0xa0, 0xd2, 0x69, 0x46, 0x2f } }
#define ME_RC_CONFIGURATION_GUID \
  { 0x2b26358d, 0xf899, 0x41c4, { 0x9b, 0xc2, 0x82, 0xa3, 0x38, 0xb9, 0x93, 0xd8 } }
#define FPGA_SOCKET_CONFIG_GUID \
  { 0x75839b0b, 0x0a99, 0x4233, { 0x8a, 0xa4, 0x38, 0x66, 0xf6, 0xce, 0xf4, 0xb3 } }

inline constexpr EFI_GUID gSocketIioConfigGuid             = SOCKET_IIO_CONFIG_GUID;
inline constexpr EFI_GUID gSocketCommonRcConfigGuid        = SOCKET_COMMONRC_CONFIG_GUID;
inline constexpr EFI_GUID gSocketMpLinkConfigGuid          = SOCKET_MP_LINK_CONFIG_GUID;
inline constexpr EFI_GUID gSocketMemoryConfigGuid          = SOCKET_MEMORY_CONFIG_GUID;
inline constexpr EFI_GUID gSocketPowerManagementConfigGuid = SOCKET_POWER_MANAGEMENT_CONFIG_GUID;
inline constexpr EFI_GUID gSocketProcessorCoreConfigGuid   = SOCKET_PROCESSOR_CORE_CONFIG_GUID;
/// Vendor GUID of "IntelSetup", and also of "Setup".
inline constexpr EFI_GUID gIntelSetupGuid                  = INTEL_SETUP_GUID;
inline constexpr EFI_GUID gPchSetupGuid                    = PCH_SETUP_GUID;
inline constexpr EFI_GUID gMemBootHealthConfigGuid         = MEM_BOOT_HEALTH_CONFIG_GUID;
inline constexpr EFI_GUID gMeRcConfigurationGuid           = ME_RC_CONFIGURATION_GUID;
inline constexpr EFI_GUID gFpgaSocketConfigGuid            = FPGA_SOCKET_CONFIG_GUID;

#define SOCKET_IIO_CONFIG_VARIABLE_NAME              u"SocketIioConfig"
#define SOCKET_COMMONRC_CONFIG_VARIABLE_NAME         u"SocketCommonRcConfig"
#define SOCKET_MP_LINK_CONFIG_VARIABLE_NAME          u"SocketMpLinkConfig"
#define SOCKET_MEMORY_CONFIG_VARIABLE_NAME           u"SocketMemoryConfig"
#define SOCKET_POWER_MANAGEMENT_CONFIG_VARIABLE_NAME u"SocketPowerManagementConfig"
#define SOCKET_PROCESSOR_CORE_CONFIG_VARIABLE_NAME   u"SocketProcessorCoreConfig"
#define INTEL_SETUP_VARIABLE_NAME                    u"IntelSetup"
#define PCH_SETUP_VARIABLE_NAME                      u"PchSetup"
#define MEM_BOOT_HEALTH_CONFIG_VARIABLE_NAME         u"MemBootHealthConfig"
#define ME_RC_CONFIGURATION_VARIABLE_NAME            u"MeRcConfiguration"
#define FPGA_SOCKET_CONFIG_VARIABLE_NAME             u"FpgaSocketConfig"
#define SETUP_VARIABLE_NAME                          u"Setup"

#endif
