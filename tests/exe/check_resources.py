#!/usr/bin/env python3
"""Usage: check_resources.py EXE VERSION

Reads the manifest and the version resource out of the built updater.exe and
checks what Windows will make of them: no elevation prompt, the Windows
versions it was tested for, sharp text on high-DPI screens, themed controls,
and the file's version and names.
"""
import struct
import sys
import xml.etree.ElementTree as ET

RT_VERSION, RT_MANIFEST = 16, 24
SUPPORTED_OS = {  # Windows 7, 8, 8.1, 10 and 11
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
}


def resources(image):
    """{(type, id): bytes} for the resources with numeric types and ids."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    rsrc_rva = struct.unpack_from("<I", image, optional + 96 + 2 * 8)[0]
    table = [struct.unpack_from("<8xIIII", image, optional + optional_size + 40 * i) for i in range(sections)]

    def offset(rva):
        return next(pointer + rva - va for size, va, raw_size, pointer in table if va <= rva < va + max(size, raw_size))

    base = offset(rsrc_rva)

    def entries(directory):
        named, numbered = struct.unpack_from("<12xHH", image, base + directory)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", image, base + directory + 16 + 8 * i)
            yield name, target

    found = {}
    for kind, types in entries(0):
        for ident, names in entries(types & 0x7FFFFFFF):
            for _, leaf in entries(names & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", image, base + leaf)
                found[(kind, ident)] = image[offset(rva):offset(rva) + size]
    return found


def version_tree(data, at=0):
    """One node of a VS_VERSIONINFO block: (key, value bytes, children)."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_end = at + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[at + 6:key_end].decode("utf-16-le")
    cursor = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if kind == 1 else value_length
    value = data[cursor:cursor + value_size]
    cursor = (cursor + value_size + 3) & ~3
    children = []
    while cursor < end:
        child = version_tree(data, cursor)
        children.append(child)
        cursor = (cursor + child[3] + 3) & ~3
    return key, value, children, length


def main(exe, version):
    problems = []

    def expect(what, wanted, got):
        print(f"{'ok' if wanted == got else 'FAIL'}: {what} is {got!r}" + ("" if wanted == got else f", wanted {wanted!r}"))
        if wanted != got:
            problems.append(what)

    found = resources(open(exe, "rb").read())
    manifest = found.get((RT_MANIFEST, 1))
    expect("manifest present (type 24, id 1)", True, manifest is not None)
    if manifest:
        root = ET.fromstring(manifest)
        tags = {}
        for element in root.iter():
            tags.setdefault(element.tag.split("}")[1], []).append(element)
        expect("requested execution level", ["asInvoker"], [e.get("level") for e in tags.get("requestedExecutionLevel", [])])
        expect("supported Windows versions", SUPPORTED_OS, {e.get("Id") for e in tags.get("supportedOS", [])})
        expect("dpiAware", ["true/pm"], [e.text for e in tags.get("dpiAware", [])])
        expect("dpiAwareness", ["PerMonitorV2, PerMonitor"], [e.text for e in tags.get("dpiAwareness", [])])
        expect("Common Controls dependency",
               [("Microsoft.Windows.Common-Controls", "6.0.0.0", "6595b64144ccf1df")],
               [(e.get("name"), e.get("version"), e.get("publicKeyToken")) for e in tags.get("assemblyIdentity", [])
                if e.get("name") == "Microsoft.Windows.Common-Controls"])

    info = found.get((RT_VERSION, 1))
    expect("version resource present (type 16, id 1)", True, info is not None)
    if info:
        key, fixed, children, _ = version_tree(info)
        expect("version resource key", "VS_VERSION_INFO", key)
        signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIIIII", fixed)
        expect("fixed file info signature", 0xFEEF04BD, signature)
        numbers = lambda ms, ls: f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
        expect("file version", f"{version}.0", numbers(file_ms, file_ls))
        expect("product version", f"{version}.0", numbers(product_ms, product_ls))
        strings = {name: value.decode("utf-16-le").rstrip("\0")
                   for block in children if block[0] == "StringFileInfo"
                   for table in block[2] for name, value, _, _ in table[2]}
        for name, wanted in [("FileDescription", "Tarvex Updater"), ("OriginalFilename", "updater.exe"),
                             ("ProductName", "Tarvex"), ("FileVersion", version), ("ProductVersion", version)]:
            expect(name, wanted, strings.get(name))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
