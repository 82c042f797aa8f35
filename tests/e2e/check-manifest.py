#!/usr/bin/env python3
"""Reads the application manifest out of a Windows executable and checks it.

    check-manifest.py SAVER [PLAIN]

SAVER must hold exactly one manifest resource (type 24), id 1, of well-formed
XML that declares per-monitor DPI awareness: dpiAwareness starting with
PerMonitorV2, and dpiAware "true/pm" for the systems before Windows 10. PLAIN,
an executable built without a manifest, must show none: the reader would
otherwise find what is not there. Exit 0 when every check passes.
"""
import struct
import sys
import xml.etree.ElementTree as ET

RT_MANIFEST = 24
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"


def resources(data):
    """Yields (type, name, language, bytes) of every resource of a PE file."""
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    if data[pe : pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    (magic,) = struct.unpack_from("<H", data, optional)
    directories = optional + (112 if magic == 0x20B else 96)
    rva, size = struct.unpack_from("<II", data, directories + 2 * 8)
    if size == 0:
        return
    table = optional + optional_size

    def offset(address):
        for s in range(sections):
            vsize, vaddr, raw_size, raw = struct.unpack_from("<IIII", data, table + 40 * s + 8)
            if vaddr <= address < vaddr + max(vsize, raw_size):
                return raw + address - vaddr
        raise ValueError("address %#x in no section" % address)

    root = offset(rva)

    def entries(directory):
        named, ids = struct.unpack_from("<HH", data, root + directory + 12)
        for k in range(named + ids):
            name, target = struct.unpack_from("<II", data, root + directory + 16 + 8 * k)
            key = ("named", name & 0x7FFFFFFF) if name & 0x80000000 else name
            yield key, target

    for kind, types in entries(0):
        for name, names in entries(types & 0x7FFFFFFF):
            for language, leaf in entries(names & 0x7FFFFFFF):
                data_rva, data_size = struct.unpack_from("<II", data, root + leaf)
                start = offset(data_rva)
                yield kind, name, language, data[start : start + data_size]


def main(argv):
    failures = []

    def check(what, ok):
        print(("ok: " if ok else "FAIL: ") + what)
        if not ok:
            failures.append(what)

    with open(argv[1], "rb") as f:
        manifests = [r for r in resources(f.read()) if r[0] == RT_MANIFEST]
    check("%s holds one manifest resource (%d)" % (argv[1], len(manifests)), len(manifests) == 1)
    if manifests:
        _, name, language, text = manifests[0]
        check("its id is 1, the manifest a process is started with (%r)" % (name,), name == 1)
        try:
            root = ET.fromstring(text)
        except ET.ParseError as e:
            root = None
            check("it is well-formed XML (%s)" % e, False)
        if root is not None:
            check("it is well-formed XML", True)
            check("its root is an asm.v1 assembly, version 1.0",
                  root.tag == ASM_V1 + "assembly" and root.get("manifestVersion") == "1.0")
            settings = root.find("%sapplication/%swindowsSettings" % (ASM_V3, ASM_V3))
            found = settings is not None
            awareness = settings.findtext(SETTINGS_2016 + "dpiAwareness", "") if found else ""
            aware = settings.findtext(SETTINGS_2005 + "dpiAware", "") if found else ""
            first = awareness.split(",")[0].strip()
            check("dpiAwareness asks for PerMonitorV2 first (%r)" % awareness, first == "PerMonitorV2")
            check("dpiAware is true/pm for the older systems (%r)" % aware, aware.strip() == "true/pm")
    if len(argv) > 2:
        with open(argv[2], "rb") as f:
            plain = [r for r in resources(f.read()) if r[0] == RT_MANIFEST]
        check("%s, built without one, shows no manifest" % argv[2], not plain)
    print("%d of the checks failed" % len(failures) if failures else "every check passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
