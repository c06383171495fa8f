#!/usr/bin/env python3
"""The phone program's image, read as the phone's loader reads it.

    check_image.py header  IMAGE
    check_image.py imports IMAGE INVENTORY OBJECTS_DIR
    check_image.py entry   IMAGE
    check_image.py size    IMAGE BARE_IMAGE BUDGET BARE_BUDGET

Each check prints what it found and ends with "ok", or names every fault
and exits 1. Only the standard library: a PE and COFF reader of its own.
"""
import os
import re
import struct
import sys

PHONE_LIBRARIES = ("coredll", "aygshell", "toolhelp", "ole32")
RT_ICON, RT_MENU, RT_STRING, RT_GROUP_ICON = 3, 4, 6, 14


class Image:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        if d[:2] != b"MZ":
            raise SystemExit("%s: no MZ header" % path)
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe:pe + 4] != b"PE\0\0":
            raise SystemExit("%s: no PE signature" % path)
        (self.machine, sections, _, self.symbol_table, self.symbols, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", d, pe + 4)
        o = pe + 24
        self.magic = struct.unpack_from("<H", d, o)[0]
        if self.magic != 0x10B:
            raise SystemExit("%s: not a 32-bit image (optional header 0x%x)" % (path, self.magic))
        self.entry = struct.unpack_from("<I", d, o + 16)[0]
        self.image_base = struct.unpack_from("<I", d, o + 28)[0]
        self.subsystem_version = struct.unpack_from("<HH", d, o + 48)
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", d, o + 68)
        self.stack_reserve, self.stack_commit = struct.unpack_from("<II", d, o + 72)
        count = struct.unpack_from("<I", d, o + 92)[0]
        self.directories = [struct.unpack_from("<II", d, o + 96 + 8 * i) for i in range(count)]
        self.sections = []
        at = o + optional_size
        for i in range(sections):
            name, vsize, rva, raw_size, raw_at = struct.unpack_from("<8sIIII", d, at + 40 * i)
            flags = struct.unpack_from("<I", d, at + 40 * i + 36)[0]
            self.sections.append((name.rstrip(b"\0").decode(), rva, max(vsize, raw_size),
                                  raw_at, raw_size, flags))

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def section_of(self, rva):
        for section in self.sections:
            if section[1] <= rva < section[1] + section[2]:
                return section
        return None

    def offset(self, rva):
        section = self.section_of(rva)
        if not section:
            raise SystemExit("RVA 0x%x lies in no section" % rva)
        return section[3] + rva - section[1]

    def u16(self, rva):
        return struct.unpack_from("<H", self.data, self.offset(rva))[0]

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.offset(rva))[0]

    def text(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode()

    def imports(self):
        """(library, name or "#ordinal", IAT slot RVA) for every import."""
        found = []
        rva, size = self.directory(1)
        while size:
            lookup, _, _, name, iat = struct.unpack_from("<IIIII", self.data, self.offset(rva))
            if not lookup and not name and not iat:
                break
            library = self.text(name).lower()
            if library.endswith(".dll"):
                library = library[:-4]
            slot = 0
            while True:
                entry = self.u32((lookup or iat) + 4 * slot)
                if not entry:
                    break
                if entry & 0x80000000:
                    what = "#%d" % (entry & 0xFFFF)
                else:
                    what = self.text(entry + 2)
                found.append((library, what, iat + 4 * slot))
                slot += 1
            rva += 20
        return found

    def relocated_words(self):
        """The RVAs of the 32-bit words that base relocations fix up."""
        rva, size = self.directory(5)
        words = []
        if not size:
            return words
        at = self.offset(rva)
        end = at + size
        while at < end:
            page, block = struct.unpack_from("<II", self.data, at)
            if block < 8:
                break
            for i in range((block - 8) // 2):
                entry = struct.unpack_from("<H", self.data, at + 8 + 2 * i)[0]
                if entry >> 12 == 3:  # IMAGE_REL_BASED_HIGHLOW
                    words.append(page + (entry & 0xFFF))
            at += block
        return words

    def resource_types(self):
        rva, size = self.directory(2)
        if not size:
            return set()
        named, ids = struct.unpack_from("<HH", self.data, self.offset(rva) + 12)
        types = set()
        for i in range(named + ids):
            name = self.u32(rva + 16 + 8 * i)
            if not name & 0x80000000:
                types.add(name)
        return types


def check_header(path):
    image = Image(path)
    rows = [
        ("machine", "0x%04x" % image.machine, "0x01c0"),  # ARM, little-endian
        ("subsystem", image.subsystem, 9),  # Windows CE GUI
        ("subsystem version", "%d.%02d" % image.subsystem_version, "4.20"),
        ("image base", "0x%x" % image.image_base, "0x10000"),
        ("base relocations", image.directory(5)[1] > 0, True),
        ("relocations stripped", bool(image.characteristics & 0x0001), False),
        ("DllCharacteristics", "0x%x" % image.dll_characteristics, "0x0"),
        ("stack reserve", image.stack_reserve, 0x10000),
        ("symbol table", (image.symbol_table, image.symbols), (0, 0)),
        ("menu resource", RT_MENU in image.resource_types(), True),
        ("string resources", RT_STRING in image.resource_types(), True),
        ("icons", {RT_ICON, RT_GROUP_ICON} <= image.resource_types(), True),
    ]
    return report(path, rows)


def check_entry(path):
    image = Image(path)
    section = image.section_of(image.entry)
    rows = [
        ("entry 4-aligned (ARM state)", image.entry % 4, 0),
        ("entry in code", bool(section and section[5] & 0x20000000), True),
    ]
    return report(path, rows)


def report(path, rows):
    faults = 0
    for what, got, wanted in rows:
        mark = "ok  " if got == wanted else "FAIL"
        faults += got != wanted
        print("%s %s: %s%s" % (mark, what, got, "" if got == wanted else " (wanted %s)" % (wanted,)))
    print("%s: %s" % (path, "ok" if not faults else "%d faults" % faults))
    return 1 if faults else 0


def inventory_rows(path):
    """{(library, export or "#ordinal"): (row name, stays)} for the phone imports."""
    rows = {}
    for line in open(path):
        note = line.split("--", 1)[1] if "--" in line else ""
        words = line.split("--", 1)[0].split()
        if not words or words[0].startswith("#") or len(words) < 3:
            continue
        name, library, phone = words[0], words[1].rstrip("?"), words[2]
        if library not in PHONE_LIBRARIES or phone == "-" or "runtime" in words[3:]:
            continue
        match = re.match(r"^([A-Za-z_]\w*)@(\d+)$", phone)
        key = (library, "#" + match.group(2)) if match else (library, phone)
        symbol = match.group(1) if match else phone
        rows[key] = (name, symbol, note.strip().startswith("stays:"))
    return rows


def undefined_symbols(objects_dir):
    """The external names that the phone program's COFF objects call."""
    names = set()
    for folder, _, files in os.walk(objects_dir):
        for file in files:
            if not file.endswith(".obj"):
                continue
            d = open(os.path.join(folder, file), "rb").read()
            table, count = struct.unpack_from("<II", d, 8)
            strings = table + 18 * count
            i = 0
            while i < count:
                at = table + 18 * i
                raw = d[at:at + 8]
                value, section, _, storage, aux = struct.unpack_from("<IhHBB", d, at + 8)
                if raw[:4] == b"\0\0\0\0":
                    start = strings + struct.unpack_from("<I", raw, 4)[0]
                    name = d[start:d.index(b"\0", start)].decode()
                else:
                    name = raw.rstrip(b"\0").decode()
                if section == 0 and storage == 2 and value == 0:
                    names.add(name)
                i += 1 + aux
    return names


def check_imports(path, inventory, objects_dir):
    image = Image(path)
    rows = inventory_rows(inventory)
    called = undefined_symbols(objects_dir)
    code = [s for s in image.sections if s[5] & 0x20000000]
    targets = set()
    for word in image.relocated_words():
        if any(s[1] <= word < s[1] + s[2] for s in code):
            targets.add(image.u32(word) - image.image_base)
    faults = []
    imported = set()
    for library, what, slot in image.imports():
        key = (library, what)
        imported.add(key)
        if key not in rows:
            faults.append("%s!%s is imported but is no phone row of %s" % (library, what, inventory))
            continue
        name, _, stays = rows[key]
        if slot not in targets and not stays:
            faults.append("%s!%s (row %s) is imported but nothing in the program calls it; "
                          "its row says why it stays (\"-- stays: ...\"), or it goes"
                          % (library, what, name))
        elif slot in targets and stays:
            # The mark says the link dropped every caller: one that kept
            # unused code (no --gc-sections) calls it.
            faults.append("%s!%s (row %s) is called, while its row says nothing calls it "
                          "(\"stays\"): the link kept code that nothing uses, or the mark "
                          "is stale" % (library, what, name))
        print("ok   %s!%s%s" % (library, what, "" if slot in targets else " (stays)"))
    for key, (name, symbol, _) in sorted(rows.items()):
        if symbol in called and key not in imported:
            faults.append("%s!%s (row %s) is called but not imported" % (key[0], key[1], name))
    for fault in faults:
        print("FAIL " + fault)
    print("%s: %d imports, %s" % (path, len(imported), "ok" if not faults else "%d faults" % len(faults)))
    return 1 if faults else 0


def check_size(path, bare_path, budget, bare_budget):
    size, bare = os.path.getsize(path), os.path.getsize(bare_path)
    rows = [("without resources: %d bytes, budget %d" % (bare, bare_budget), bare <= bare_budget, True),
            ("with resources: %d bytes, budget %d" % (size, budget), size <= budget, True)]
    return report(path, rows)


def main(argv):
    checks = {"header": (check_header, 1), "entry": (check_entry, 1),
              "imports": (check_imports, 3), "size": (check_size, 4)}
    if len(argv) < 2 or argv[1] not in checks or len(argv) != 2 + checks[argv[1]][1]:
        sys.exit(__doc__)
    check, _ = checks[argv[1]]
    args = [int(a) if a.isdigit() else a for a in argv[2:]]
    return check(*args)


sys.exit(main(sys.argv))
