#!/usr/bin/env python3
"""Boots the OVMF image with the modules under QEMU without a board file, so
QEMU has no fw_cfg file opt/oem/host-structure: HostStructurePei must say so
in one line and install no scan trigger (no SEL record goes to the BMC, token
17 is not set), and the boot goes on to the UEFI shell; QEMU must be gone.

usage: check-ovmf-no-host-structure.py BOARD_BOOT CODE_IMAGE
"""
import importlib.util
import pathlib
import sys
import tempfile

boot_script = importlib.util.spec_from_file_location("ovmf_boot", pathlib.Path(__file__).with_name("check-ovmf-boot.py"))
ovmf_boot = importlib.util.module_from_spec(boot_script)
boot_script.loader.exec_module(ovmf_boot)

NO_FILE = "[HostStructure] opt/oem/host-structure: Not Found; no scan trigger"


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    board_boot, image = argv[1], argv[2]
    if not pathlib.Path(board_boot).exists():
        print(f"FAIL: no {board_boot}: build the hosted preset first")
        return 1
    failures = []
    with tempfile.TemporaryDirectory() as work:
        output = ovmf_boot.boot(board_boot, image, pathlib.Path(work) / "vars.fd", None, "boot without a board file",
                                "the UEFI shell was reached", failures)
    lines = ovmf_boot.console_of(output)
    records = [line for line in lines if line.startswith("[HostStructure] ")]
    if records != [NO_FILE]:
        failures.append(f"HostStructurePei's records are {records}, not the one line {NO_FILE!r}")
    for start in ("[Kcs] NetFn 0x0a Cmd 0x44", "[PcdShim] token 17:", "DimmSentry - Start"):
        if any(line.startswith(start) for line in lines):
            failures.append(f"with no host structure the console still has {start!r}")
    # The modules before memory ran as ever: the window opened for them was given back.
    if "[PcdShim] platform PCD PPI given back: Success" not in lines:
        failures.append("the modules' PCD window was not closed")
    for failure in failures:
        print(f"FAIL: {failure}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
