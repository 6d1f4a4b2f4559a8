// EFI_STATUS crosses between the board (UINT64, error bit 63) and IA32
// guest code (UINT32, error bit 31).
#pragma once

#include <cstdint>

#include <Uefi/UefiBaseType.h>

namespace board::emulator {

constexpr uint32_t ToGuestStatus(EFI_STATUS status) {
  const uint64_t value = static_cast<uint64_t>(status);
  const uint32_t code = static_cast<uint32_t>(value & 0x7FFFFFFF);
  return (value >> 63) != 0 ? code | 0x80000000u : code;
}

constexpr EFI_STATUS FromGuestStatus(uint32_t status) {
  const uint64_t code = status & 0x7FFFFFFFu;
  return static_cast<EFI_STATUS>((status & 0x80000000u) != 0 ? code | (uint64_t{1} << 63) : code);
}

static_assert(ToGuestStatus(EFI_NOT_FOUND) == 0x8000000Eu);
static_assert(FromGuestStatus(0x8000000Eu) == EFI_NOT_FOUND);
static_assert(ToGuestStatus(EFI_SUCCESS) == 0 && FromGuestStatus(0) == EFI_SUCCESS);

}  // namespace board::emulator
