#!/usr/bin/env python3
"""Shows that check-volume.py fails on damaged volumes.

Runs the check on the built volume (it must pass), then on copies with one
thing broken each: a file's data checksum, a file's header checksum, the
volume header checksum, one byte of an image, a rebased image that differs
from the one in the volume, and a module the volume does not hold. Each copy
must fail, for its reason.

usage: check-volume-selftest.py CHECK_SCRIPT UEFIEXTRACT VOLUME REBASED_DIR NAME=GUID...
"""
import pathlib
import shutil
import subprocess
import sys
import tempfile
import uuid


def run_check(script, tool, volume, rebased_dir, modules):
    args = [sys.executable, script, tool, str(volume), str(rebased_dir)] + [f"{n}={g}" for n, g in modules.items()]
    result = subprocess.run(args, capture_output=True, text=True)
    return result.returncode, result.stdout + result.stderr


def main(argv):
    script, tool, volume, rebased_dir = argv[1:5]
    modules = dict(arg.split("=", 1) for arg in argv[5:])
    failures = []

    status, output = run_check(script, tool, volume, rebased_dir, modules)
    if status != 0:
        print(output)
        print("FAIL: the built volume does not pass the check")
        return 1

    good = pathlib.Path(volume).read_bytes()
    name, guid = next(iter(modules.items()))
    file_offset = good.find(uuid.UUID(guid).bytes_le)
    if file_offset < 0:
        print(f"FAIL: {name}'s file GUID is not in the volume")
        return 1

    with tempfile.TemporaryDirectory() as work:
        work = pathlib.Path(work)

        def damaged(tag, offset):
            data = bytearray(good)
            data[offset] ^= 0x01
            path = work / f"{tag}.fv"
            path.write_bytes(data)
            return path

        cases = [
            ("file data checksum", damaged("data", file_offset + 17), rebased_dir, modules, "invalid data checksum"),
            ("file header checksum", damaged("header", file_offset + 16), rebased_dir, modules, "invalid header checksum"),
            ("volume header checksum", damaged("volume", 50), rebased_dir, modules, "checksum"),
            ("one image byte", damaged("image", file_offset + 0x200), rebased_dir, modules, "invalid data checksum"),
        ]
        other_dir = work / "rebased"
        shutil.copytree(rebased_dir, other_dir)
        image = other_dir / f"{name}.efi"
        image.write_bytes(image.read_bytes()[:-1] + b"\x5A")
        cases.append(("a different rebased image", pathlib.Path(volume), other_dir, modules, "differs"))
        missing = dict(modules, Phantom="00000000-1111-2222-3333-444444444444")
        cases.append(("a module not in the volume", pathlib.Path(volume), rebased_dir, missing, "not found"))

        for what, path, rebased, expected, reason in cases:
            status, output = run_check(script, tool, path, rebased, expected)
            if status == 0:
                failures.append(f"{what}: the check passed")
            elif reason not in output:
                failures.append(f"{what}: failed, but not for '{reason}':\n{output}")
            else:
                print(f"ok: {what}: {output.splitlines()[0]}")

    for failure in failures:
        print(f"FAIL: {failure}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
