#!/usr/bin/env python3
"""Fails when a PE file imports anything 32-bit Windows XP SP3 cannot give it.

    xp_imports.py LISTS_DIR FILE...

Reads each file's import directory and delay-load directory itself. Every import must
come from a DLL that XP has and, where LISTS_DIR holds that DLL's list of names
(<dll>.txt), be one of them. An import by ordinal is reported too: an ordinal means
different functions in different versions of a DLL. Prints one line per fault, and
exits 1 if there is any.
"""
import os
import struct
import sys


def read_imports(path):
    """(dll, name or None, ordinal or None) for every import, delay-loaded ones too."""
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError(f"{path}: not a PE file")
    sections_at = pe + 24 + struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    if struct.unpack_from("<H", data, opt)[0] != 0x10B:
        raise ValueError(f"{path}: not a 32-bit PE file")
    sections = [struct.unpack_from("<IIII", data, sections_at + 40 * i + 8)
                for i in range(struct.unpack_from("<H", data, pe + 6)[0])]

    def offset(rva):
        for size, address, raw_size, raw_at in sections:
            if address <= rva < address + max(size, raw_size):
                return rva - address + raw_at
        raise ValueError(f"{path}: address {rva:#x} is in no section")

    def text(rva):
        at = offset(rva)
        return data[at:data.index(b"\0", at)].decode("ascii")

    def thunks(rva):
        at = offset(rva)
        while (entry := struct.unpack_from("<I", data, at)[0]) != 0:
            yield (None, entry & 0xFFFF) if entry & 0x80000000 else (text(entry + 2), None)
            at += 4

    result = []
    # Import directory (entry 1): 20-byte descriptors; delay-load (entry 13): 32 bytes.
    for entry, size, name_at, names_at in ((1, 20, 12, 0), (13, 32, 4, 16)):
        rva, _ = struct.unpack_from("<II", data, opt + 96 + 8 * entry)
        if rva == 0:
            continue
        at = offset(rva)
        while any(data[at:at + size]):
            dll = text(struct.unpack_from("<I", data, at + name_at)[0])
            first = struct.unpack_from("<I", data, at + names_at)[0]
            if entry == 1 and first == 0:  # no hint table: the bound table holds the names
                first = struct.unpack_from("<I", data, at + 16)[0]
            result += [(dll, name, ordinal) for name, ordinal in thunks(first)]
            at += size
    return result


def main():
    lists, files = sys.argv[1], sys.argv[2:]
    known = {line.strip().lower() for line in open(os.path.join(lists, "xp-system-dlls.lst")) if line.strip()}
    names = {}
    for entry in os.listdir(lists):
        if entry.endswith(".txt") and entry != "README.txt":
            names[entry[:-4].lower() + ".dll"] = {l.strip() for l in open(os.path.join(lists, entry)) if l.strip()}
    faults = 0
    for path in files:
        imports = read_imports(path)
        for dll, name, ordinal in imports:
            key = dll.lower()
            if ordinal is not None:
                fault = f"imports {dll} ordinal {ordinal}"
            elif key in names:
                fault = None if name in names[key] else f"imports {dll}!{name}, which Windows XP SP3 does not export"
            else:
                fault = None if key in known else f"imports from {dll}, which Windows XP SP3 does not have"
            if fault:
                print(f"{os.path.basename(path)}: {fault}")
                faults += 1
        print(f"{os.path.basename(path)}: {len(imports)} imports from "
              f"{len({d.lower() for d, _, _ in imports})} DLLs checked")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
