#!/usr/bin/env python3
"""Turns the PI reference tables into static_asserts on this project's headers.

Reads pi-layout.tsv (offsets and sizes of struct members), pi-constants.tsv
(values of constants) and pi-guids.tsv (GUID bytes as they lie in memory),
all computed from the published EDK2 MdePkg headers, and writes one C++
translation unit that asserts, for one architecture (IA32 or X64):
  - offsetof, sizeof and alignof of each struct the project defines;
  - the value of each constant the project defines;
  - the in-memory bytes of each GUID the project defines.

Which rows apply is said by the tables below (STRUCTS, CONSTANTS, GUIDS).
Generation fails when a listed name has no row in the tables, and when a
constant of the tables is defined in the project's headers but missing from
CONSTANTS: the list cannot silently fall behind the headers.

usage: generate-layout-asserts.py --arch IA32|X64 --oracle-dir DIR
           --include-dir DIR [--include-dir DIR...] --output FILE
"""
import argparse
import csv
import pathlib
import re
import sys

# Struct (as named in pi-layout.tsv) -> project header that defines it.
STRUCTS = {
    "EFI_GUID": "Uefi/UefiBaseType.h",
    "EFI_TABLE_HEADER": "Pi/PiPeiCis.h",
    "EFI_PEI_SERVICES": "Pi/PiPeiCis.h",
    "EFI_PEI_PPI_DESCRIPTOR": "Pi/PiPeiCis.h",
    "EFI_PEI_NOTIFY_DESCRIPTOR": "Pi/PiPeiCis.h",
    "EFI_PEI_READ_ONLY_VARIABLE2_PPI": "Ppi/ReadOnlyVariable2.h",
    "PCD_PPI": "Ppi/Pcd.h",
    "EFI_PEI_MP_SERVICES_PPI": "Ppi/MpServices.h",
    "EFI_HOB_GENERIC_HEADER": "Pi/PiHob.h",
    "EFI_HOB_HANDOFF_INFO_TABLE": "Pi/PiHob.h",
    "EFI_HOB_GUID_TYPE": "Pi/PiHob.h",
    "EFI_HOB_MEMORY_ALLOCATION_HEADER": "Pi/PiHob.h",
    "EFI_HOB_MEMORY_ALLOCATION": "Pi/PiHob.h",
    "EFI_PROCESSOR_INFORMATION": "Ppi/MpServices.h",
}

_STATUS_NAMES = [
    "SUCCESS", "LOAD_ERROR", "INVALID_PARAMETER", "UNSUPPORTED", "BAD_BUFFER_SIZE",
    "BUFFER_TOO_SMALL", "NOT_READY", "DEVICE_ERROR", "WRITE_PROTECTED", "OUT_OF_RESOURCES",
    "VOLUME_CORRUPTED", "VOLUME_FULL", "NO_MEDIA", "MEDIA_CHANGED", "NOT_FOUND",
    "ACCESS_DENIED", "NO_RESPONSE", "NO_MAPPING", "TIMEOUT", "NOT_STARTED",
    "ALREADY_STARTED", "ABORTED", "ICMP_ERROR", "TFTP_ERROR", "PROTOCOL_ERROR",
    "INCOMPATIBLE_VERSION", "SECURITY_VIOLATION", "CRC_ERROR", "END_OF_MEDIA",
    "END_OF_FILE", "INVALID_LANGUAGE", "COMPROMISED_DATA", "IP_ADDRESS_CONFLICT",
    "HTTP_ERROR", "WARN_UNKNOWN_GLYPH", "WARN_DELETE_FAILURE", "WARN_WRITE_FAILURE",
    "WARN_BUFFER_TOO_SMALL", "WARN_STALE_DATA", "WARN_FILE_SYSTEM", "WARN_RESET_REQUIRED",
]

_DEBUG_LEVELS = [
    "INIT", "WARN", "LOAD", "FS", "POOL", "PAGE", "INFO", "DISPATCH", "VARIABLE", "BM",
    "BLKIO", "NET", "UNDI", "LOADFILE", "EVENT", "GCD", "CACHE", "VERBOSE", "MANAGEABILITY",
    "SECURITY", "PAGING", "ERROR",
]

_HOB_TYPES = [
    "HANDOFF", "MEMORY_ALLOCATION", "RESOURCE_DESCRIPTOR", "GUID_EXTENSION", "FV", "CPU",
    "MEMORY_POOL", "FV2", "LOAD_PEIM_UNUSED", "UEFI_CAPSULE", "FV3", "UNUSED", "END_OF_HOB_LIST",
]

_MEMORY_TYPES = [
    "EfiReservedMemoryType", "EfiLoaderCode", "EfiLoaderData", "EfiBootServicesCode",
    "EfiBootServicesData", "EfiRuntimeServicesCode", "EfiRuntimeServicesData",
    "EfiConventionalMemory", "EfiUnusableMemory", "EfiACPIReclaimMemory", "EfiACPIMemoryNVS",
    "EfiMemoryMappedIO", "EfiMemoryMappedIOPortSpace", "EfiPalCode", "EfiPersistentMemory",
    "EfiUnacceptedMemoryType", "EfiMaxMemoryType",
]

# Constant (as named in pi-constants.tsv) -> project header that defines it.
CONSTANTS = {
    **{name: "Pi/PiPeiCis.h" for name in [
        "PEI_SPECIFICATION_MAJOR_REVISION", "PEI_SPECIFICATION_MINOR_REVISION",
        "PEI_SERVICES_SIGNATURE", "PEI_SERVICES_REVISION",
        "EFI_PEI_PPI_DESCRIPTOR_PIC", "EFI_PEI_PPI_DESCRIPTOR_PPI",
        "EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK", "EFI_PEI_PPI_DESCRIPTOR_NOTIFY_DISPATCH",
        "EFI_PEI_PPI_DESCRIPTOR_NOTIFY_TYPES", "EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST"]},
    **{name: "Pi/PiMultiPhase.h" for name in [
        "PI_SPECIFICATION_MAJOR_REVISION", "PI_SPECIFICATION_MINOR_REVISION",
        "BOOT_WITH_FULL_CONFIGURATION"]},
    **{"EFI_HOB_TYPE_" + name: "Pi/PiHob.h" for name in _HOB_TYPES},
    "EFI_HOB_HANDOFF_TABLE_VERSION": "Pi/PiHob.h",
    **{"DEBUG_" + name: "Library/DebugLib.h" for name in _DEBUG_LEVELS},
    "MAX_BIT": "Base.h",
    **{"RETURN_" + name: "Base.h" for name in _STATUS_NAMES},
    **{"EFI_" + name: "Uefi/UefiBaseType.h" for name in _STATUS_NAMES},
    **{name: "Uefi/UefiBaseType.h" for name in _MEMORY_TYPES},
}

# GUID macro (as named in pi-guids.tsv) -> (project header, GUID variable).
GUIDS = {
    "EFI_PEI_READ_ONLY_VARIABLE2_PPI_GUID": ("Ppi/ReadOnlyVariable2.h", "gEfiPeiReadOnlyVariable2PpiGuid"),
    "PCD_PPI_GUID": ("Ppi/Pcd.h", "gPcdPpiGuid"),
    "EFI_PEI_MP_SERVICES_PPI_GUID": ("Ppi/MpServices.h", "gEfiPeiMpServicesPpiGuid"),
    "EFI_PEI_PERMANENT_MEMORY_INSTALLED_PPI_GUID": ("Ppi/MemoryDiscovered.h", "gEfiPeiMemoryDiscoveredPpiGuid"),
}

ARCH_MACROS = {"IA32": "MDE_CPU_IA32", "X64": "MDE_CPU_X64"}


class OracleError(Exception):
    pass


def read_tsv(path):
    """Rows of a tab-separated table, as dicts; lines starting with # are comments."""
    with open(path, newline="") as handle:
        lines = [line for line in handle if line.strip() and not line.startswith("#")]
    return list(csv.DictReader(lines, delimiter="\t"))


def column(arch, what):
    return f"{what}_{arch.lower()}"


def layout_asserts(rows, arch):
    by_struct = {}
    for row in rows:
        by_struct.setdefault(row["struct"], []).append(row)
    missing = sorted(set(STRUCTS) - set(by_struct))
    if missing:
        raise OracleError(f"pi-layout.tsv has no rows for {', '.join(missing)}")

    lines = []
    for struct in STRUCTS:
        lines.append(f"// {struct}")
        for row in by_struct[struct]:
            member = row["member"]
            offset = int(row[column(arch, "offset")], 0)
            size = int(row[column(arch, "size")], 0)
            if member == "(sizeof)":
                lines.append(f"static_assert (sizeof ({struct}) == {size}, \"sizeof ({struct})\");")
            elif member == "(alignof)":
                lines.append(f"static_assert (alignof ({struct}) == {size}, \"alignof ({struct})\");")
            else:
                if not re.fullmatch(r"[A-Za-z_]\w*(\.[A-Za-z_]\w*)*", member):
                    raise OracleError(f"{struct}: member {member!r} is not a member designator")
                lines.append(f"static_assert (__builtin_offsetof ({struct}, {member}) == {offset}, "
                             f"\"offset of {struct}.{member}\");")
                lines.append(f"static_assert (sizeof (OracleObject<{struct}> ().{member}) == {size}, "
                             f"\"size of {struct}.{member}\");")
        lines.append("")
    return lines


def constant_asserts(rows, arch):
    by_name = {row["name"]: row for row in rows}
    missing = sorted(set(CONSTANTS) - set(by_name))
    if missing:
        raise OracleError(f"pi-constants.tsv has no rows for {', '.join(missing)}")

    lines = []
    for name in CONSTANTS:
        value = int(by_name[name][column(arch, "value")], 0)
        # Compared as UINT64: a value of the wrong width or sign differs too.
        lines.append(f"static_assert ((UINT64)({name}) == 0x{value:X}ULL, \"{name}\");")
    lines.append("")
    return lines


def guid_asserts(rows):
    by_name = {row["name"]: row for row in rows}
    missing = sorted(set(GUIDS) - set(by_name))
    if missing:
        raise OracleError(f"pi-guids.tsv has no rows for {', '.join(missing)}")

    lines = []
    for name, (_, variable) in GUIDS.items():
        data = bytes.fromhex(by_name[name]["bytes_in_memory"])
        if len(data) != 16:
            raise OracleError(f"{name}: {len(data)} bytes, not 16")
        expected = ", ".join(f"0x{byte:02X}" for byte in data)
        lines.append(f"static_assert (OracleBytesEqual ({variable}, {{ {expected} }}), "
                     f"\"bytes of {variable} ({by_name[name]['guid']})\");")
    lines.append("")
    return lines


def unlisted_project_constants(rows, include_dirs):
    """Constants of the tables that the project's headers define but CONSTANTS does not list."""
    text = ""
    for directory in include_dirs:
        for header in sorted(pathlib.Path(directory).rglob("*.h")):
            text += header.read_text(errors="replace") + "\n"
    defined = set(re.findall(r"^\s*#\s*define\s+([A-Za-z_]\w*)", text, re.MULTILINE))
    # Enumerators: identifiers that open an enum body line, before ',', '=' or '}'.
    for body in re.findall(r"\benum\b[^{;]*\{([^}]*)\}", text):
        defined.update(re.findall(r"([A-Za-z_]\w*)\s*(?:=[^,]*)?(?:,|$)", body.strip()))
    return sorted(row["name"] for row in rows if row["name"] in defined and row["name"] not in CONSTANTS)


def generate(arch, oracle_dir, include_dirs):
    layout = read_tsv(oracle_dir / "pi-layout.tsv")
    constants = read_tsv(oracle_dir / "pi-constants.tsv")
    guids = read_tsv(oracle_dir / "pi-guids.tsv")

    unlisted = unlisted_project_constants(constants, include_dirs)
    if unlisted:
        raise OracleError("defined in the headers but not checked; add them to CONSTANTS in "
                          f"{pathlib.Path(__file__).name}: {', '.join(unlisted)}")

    headers = sorted(set(STRUCTS.values()) | set(CONSTANTS.values()) | {h for h, _ in GUIDS.values()})
    macro = ARCH_MACROS[arch]
    out = [
        f"// Generated by {pathlib.Path(__file__).name} from pi-layout.tsv, pi-constants.tsv and",
        f"// pi-guids.tsv for {arch}. Do not edit: a failing assert means a header differs from",
        "// the PI reference layouts and values.",
        "",
        *[f"#include <{header}>" for header in headers],
        "",
        f"#if !defined ({macro})",
        f"  #error \"These asserts hold the {arch} reference values: compile them for {arch}.\"",
        "#endif",
        "",
        "namespace {",
        "",
        "// An object of type T for unevaluated operands (sizeof of a nested member).",
        "template <typename T> T &OracleObject ();",
        "",
        "struct OracleGuidBytes {",
        "  UINT8 Byte[16];",
        "};",
        "",
        "// TRUE when Guid lies in memory as the 16 Expected bytes.",
        "constexpr bool OracleBytesEqual (const EFI_GUID &Guid, const OracleGuidBytes &Expected)",
        "{",
        "  OracleGuidBytes Actual = __builtin_bit_cast (OracleGuidBytes, Guid);",
        "  for (int Index = 0; Index < 16; Index++) {",
        "    if (Actual.Byte[Index] != Expected.Byte[Index]) {",
        "      return false;",
        "    }",
        "  }",
        "  return true;",
        "}",
        "",
        "}  // namespace",
        "",
        "// ---- Layouts",
        *layout_asserts(layout, arch),
        "// ---- Constants",
        *constant_asserts(constants, arch),
        "// ---- GUIDs",
        *guid_asserts(guids),
    ]
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--arch", required=True, choices=sorted(ARCH_MACROS))
    parser.add_argument("--oracle-dir", required=True, type=pathlib.Path)
    parser.add_argument("--include-dir", action="append", default=[], type=pathlib.Path)
    parser.add_argument("--output", required=True, type=pathlib.Path)
    args = parser.parse_args()

    try:
        text = generate(args.arch, args.oracle_dir, args.include_dir)
    except OracleError as error:
        print(f"{pathlib.Path(__file__).name}: {error}", file=sys.stderr)
        return 1
    args.output.write_text(text + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
