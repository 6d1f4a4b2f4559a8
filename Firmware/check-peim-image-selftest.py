#!/usr/bin/env python3
"""Shows that check-peim-image.sh rejects broken PEIM images.

Takes one good image from the build, checks that it passes, then damages
one header field at a time and checks that each copy is rejected for the
reason that field stands for.

usage: check-peim-image-selftest.py CHECK_SCRIPT READOBJ GOOD_IMAGE
"""
import pathlib
import struct
import subprocess
import sys
import tempfile


def run_check(script, readobj, image):
    result = subprocess.run(["sh", script, readobj, str(image)], capture_output=True, text=True)
    return result.returncode, result.stdout + result.stderr


class Pe:
    """Offsets of the header fields the mutations touch (PE32 layout)."""

    def __init__(self, data):
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            raise SystemExit("not a PE image")
        self.machine = self.pe + 4
        self.section_count = struct.unpack_from("<H", data, self.pe + 6)[0]
        optional_size = struct.unpack_from("<H", data, self.pe + 20)[0]
        self.optional = self.pe + 24
        self.magic = self.optional
        self.entry = self.optional + 16
        self.subsystem = self.optional + 68
        self.import_dir = self.optional + 96 + 1 * 8
        self.reloc_dir = self.optional + 96 + 5 * 8
        self.sections = {}
        for index in range(self.section_count):
            header = self.optional + optional_size + index * 40
            name = data[header:header + 8].rstrip(b"\0").decode()
            rva = struct.unpack_from("<I", data, header + 12)[0]
            self.sections[name] = (header, rva)


def mutations(data):
    pe = Pe(data)
    text_header, text_rva = pe.sections[".text"]
    reloc_header, reloc_rva = pe.sections[".reloc"]
    text_raw_size = struct.unpack_from("<I", data, text_header + 16)[0]

    def patch(fmt, offset, *values):
        copy = bytearray(data)
        struct.pack_into(fmt, copy, offset, *values)
        return copy

    def no_reloc():
        copy = bytearray(data)
        copy[reloc_header:reloc_header + 8] = b".xeloc\0\0"
        struct.pack_into("<II", copy, pe.reloc_dir, 0, 0)
        return copy

    def empty_import_table():
        # A directory that points at a terminating (all-zero) descriptor: no
        # import is named, but the image still has an import table.
        copy = patch("<II", pe.import_dir, text_rva, 20)
        raw = struct.unpack_from("<I", data, text_header + 20)[0]
        copy[raw:raw + 20] = bytes(20)
        return copy

    # (what is broken, damaged image, text the rejection must contain)
    return [
        ("x86-64 machine", patch("<H", pe.machine, 0x8664), "machine"),
        ("UEFI application subsystem", patch("<H", pe.subsystem, 0xA), "subsystem"),
        ("PE32+ magic", patch("<H", pe.magic, 0x20B), "FAIL"),
        ("no .reloc section", no_reloc(), ".reloc"),
        ("an import directory", empty_import_table(), "imports"),
        ("entry point outside the code", patch("<I", pe.entry, reloc_rva), "entry point"),
        (".text file offset apart from its RVA", patch("<I", text_header + 20, text_rva + 0x20),
         "execute in place"),
        (".text longer in memory than in the file", patch("<I", text_header + 8, text_raw_size + 4),
         "without file data"),
    ]


def main():
    if len(sys.argv) != 4:
        raise SystemExit(__doc__)
    script, readobj, good = sys.argv[1], sys.argv[2], pathlib.Path(sys.argv[3])
    data = good.read_bytes()

    failures = 0
    code, output = run_check(script, readobj, good)
    if code != 0:
        print(f"the good image {good.name} is rejected:\n{output}")
        failures += 1

    with tempfile.TemporaryDirectory() as scratch:
        for what, damaged, reason in mutations(data):
            path = pathlib.Path(scratch) / "Damaged.efi"
            path.write_bytes(damaged)
            code, output = run_check(script, readobj, path)
            if code == 0 or reason not in output:
                print(f"an image with {what} is not rejected for it (exit {code}):\n{output}")
                failures += 1
            else:
                print(f"rejected: {what}")

    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
