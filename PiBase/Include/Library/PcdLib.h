/** @file
  PcdLib over the PCD PPI: dynamic tokens by number.
  A module names a token as PcdGet8 (PcdName); the token number comes from
  the platform's _PCD_TOKEN_PcdName definition.
**/
#ifndef PI_BASE_LIBRARY_PCD_LIB_H_
#define PI_BASE_LIBRARY_PCD_LIB_H_

#include <Uefi/UefiBaseType.h>

#define PcdToken(TokenName)  _PCD_TOKEN_##TokenName

#define PcdGet8(TokenName)     LibPcdGet8 (PcdToken (TokenName))
#define PcdGet16(TokenName)    LibPcdGet16 (PcdToken (TokenName))
#define PcdGet32(TokenName)    LibPcdGet32 (PcdToken (TokenName))
#define PcdGet64(TokenName)    LibPcdGet64 (PcdToken (TokenName))
#define PcdGetBool(TokenName)  LibPcdGetBool (PcdToken (TokenName))

#define PcdSet8S(TokenName, Value)     LibPcdSet8S (PcdToken (TokenName), (Value))
#define PcdSet16S(TokenName, Value)    LibPcdSet16S (PcdToken (TokenName), (Value))
#define PcdSet32S(TokenName, Value)    LibPcdSet32S (PcdToken (TokenName), (Value))
#define PcdSet64S(TokenName, Value)    LibPcdSet64S (PcdToken (TokenName), (Value))
#define PcdSetBoolS(TokenName, Value)  LibPcdSetBoolS (PcdToken (TokenName), (Value))

extern "C" {

/** Returns the UINT8 token; 0 when the PCD service is missing (after its assertion). **/
UINT8 EFIAPI LibPcdGet8 (IN UINTN TokenNumber);
/** Returns the UINT16 token; 0 when the PCD service is missing (after its assertion). **/
UINT16 EFIAPI LibPcdGet16 (IN UINTN TokenNumber);
/** Returns the UINT32 token; 0 when the PCD service is missing (after its assertion). **/
UINT32 EFIAPI LibPcdGet32 (IN UINTN TokenNumber);
/** Returns the UINT64 token; 0 when the PCD service is missing (after its assertion). **/
UINT64 EFIAPI LibPcdGet64 (IN UINTN TokenNumber);
/** Returns the BOOLEAN token; FALSE when the PCD service is missing (after its assertion). **/
BOOLEAN EFIAPI LibPcdGetBool (IN UINTN TokenNumber);

/** Sets the UINT8 token; returns the service's status (the locate status when it is missing). **/
RETURN_STATUS EFIAPI LibPcdSet8S (IN UINTN TokenNumber, IN UINT8 Value);
/** Sets the UINT16 token; returns the service's status (the locate status when it is missing). **/
RETURN_STATUS EFIAPI LibPcdSet16S (IN UINTN TokenNumber, IN UINT16 Value);
/** Sets the UINT32 token; returns the service's status (the locate status when it is missing). **/
RETURN_STATUS EFIAPI LibPcdSet32S (IN UINTN TokenNumber, IN UINT32 Value);
/** Sets the UINT64 token; returns the service's status (the locate status when it is missing). **/
RETURN_STATUS EFIAPI LibPcdSet64S (IN UINTN TokenNumber, IN UINT64 Value);
/** Sets the BOOLEAN token; returns the service's status (the locate status when it is missing). **/
RETURN_STATUS EFIAPI LibPcdSetBoolS (IN UINTN TokenNumber, IN BOOLEAN Value);

}

#endif
