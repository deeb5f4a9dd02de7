#!/usr/bin/env python3
"""The Windows exe as a file: what it needs of the system, and its resources."""
import os
import re
import struct
import subprocess
import unittest

from winetest import EXE

# DLLs that ship with every Windows. Anything else (libstdc++-6.dll,
# libgcc_s_seh-1.dll, libwinpthread-1.dll ...) would have to be shipped.
WINDOWS_DLLS = {
    "advapi32.dll", "comctl32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll", "odbc32.dll", "odbccp32.dll",
    "ole32.dll", "oleaut32.dll", "shell32.dll", "user32.dll", "ws2_32.dll",
}
RT_ICON, RT_MESSAGETABLE, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 11, 14, 16, 24
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2


def pe_layout(data):
    """(subsystem, resource section base offset, rva -> file offset)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe:pe + 4] == b"PE\0\0", "not a PE file"
    count, _, _, _, optional_size = struct.unpack_from("<HIIIH", data, pe + 6)
    optional = pe + 24
    assert struct.unpack_from("<H", data, optional)[0] == 0x20B, "not a 64-bit image"
    subsystem = struct.unpack_from("<H", data, optional + 68)[0]
    resources_rva = struct.unpack_from("<I", data, optional + 112 + 2 * 8)[0]
    sections = [struct.unpack_from("<8xIIII", data, optional + optional_size + 40 * i) for i in range(count)]

    def offset(rva):
        for virtual_size, address, raw_size, raw_pointer in sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw_pointer + rva - address
        raise ValueError(f"rva {rva:#x} in no section")

    return subsystem, offset(resources_rva), offset


def resources(data, all_languages=False):
    """{(type, id): bytes} of the first language of every resource named by
    number; with `all_languages`, {(type, id, language): bytes}."""
    _, base, offset = pe_layout(data)

    def entries(directory):
        named, numbered = struct.unpack_from("<HH", data, base + directory + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, base + directory + 16 + 8 * i)
            yield name, target & 0x7FFFFFFF, bool(target & 0x80000000)

    found = {}
    for type_id, types, _ in entries(0):
        for name, names, _ in entries(types):
            if name & 0x80000000:
                continue
            for language, leaf, _ in entries(names):
                rva, size = struct.unpack_from("<II", data, base + leaf)
                found[(type_id, name, language) if all_languages else (type_id, name)] = \
                    data[offset(rva):offset(rva) + size]
                if not all_languages:
                    break
    return found


def messages(table):
    """{id: text} of a message table resource (MESSAGE_RESOURCE_DATA)."""
    found = {}
    for block in range(struct.unpack_from("<I", table)[0]):
        low, high, at = struct.unpack_from("<III", table, 4 + 12 * block)
        for message_id in range(low, high + 1):
            length, flags = struct.unpack_from("<HH", table, at)
            text = table[at + 4:at + length]
            found[message_id] = text.decode("utf-16-le" if flags & 1 else "ascii").rstrip("\0")
            at += length
    return found


class ExeFileTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(EXE, "rb") as f:
            cls.data = f.read()
        cls.resources = resources(cls.data)

    def test_imports_only_dlls_that_ship_with_windows(self):
        dump = subprocess.run([os.environ["PARKTOTALS_OBJDUMP"], "-p", EXE], capture_output=True, check=True)
        imports = {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump.stdout.decode())}
        self.assertLessEqual(imports, WINDOWS_DLLS)
        self.assertLessEqual({"odbc32.dll", "user32.dll", "ole32.dll"}, imports)

    def test_is_a_gui_program(self):
        self.assertEqual(pe_layout(self.data)[0], IMAGE_SUBSYSTEM_WINDOWS_GUI)

    def test_icon_is_first_and_one_32_by_32_image_in_16_colours(self):
        groups = sorted(name for kind, name in self.resources if kind == RT_GROUP_ICON)
        self.assertEqual(groups, [1])
        self.assertEqual(min(name for _, name in self.resources), 1)
        group = self.resources[(RT_GROUP_ICON, 1)]
        self.assertEqual(struct.unpack_from("<HHH", group), (0, 1, 1))
        width, height, colours, _, _, bits, _, icon_id = struct.unpack_from("<BBBBHHIH", group, 6)
        self.assertEqual((width, height, colours, bits), (32, 32, 16, 4))
        header = struct.unpack_from("<IiiHH", self.resources[(RT_ICON, icon_id)])
        self.assertEqual(header, (40, 32, 64, 1, 4))

    def test_manifest_asks_for_common_controls_6_and_no_dpi_awareness(self):
        manifest = self.resources[(RT_MANIFEST, 1)].decode("utf-8")
        self.assertRegex(manifest, r'name="Microsoft\.Windows\.Common-Controls"\s+version="6\.0\.0\.0"')
        self.assertNotRegex(manifest.lower(), "dpiaware")

    def test_event_texts_are_in_english_and_chinese_with_every_insertion_string(self):
        # Without them Event Viewer says "the description cannot be found".
        tables = {language: messages(table) for (kind, _, language), table in
                  resources(self.data, all_languages=True).items() if kind == RT_MESSAGETABLE}
        self.assertEqual(set(tables), {0x409, 0x804})
        for language, texts in tables.items():
            self.assertEqual(set(texts), {1000, 1001, 1002}, hex(language))
            for message_id, text in texts.items():
                self.assertEqual(sorted(re.findall(r"%[0-9]", text)), ["%0", "%1", "%2", "%3", "%4", "%5"],
                                 (hex(language), message_id, text))
        self.assertIn("号停车场", tables[0x804][1000])

    def test_version_info_carries_the_project_version(self):
        info = self.resources[(RT_VERSION, 1)]
        version = os.environ["PARKTOTALS_VERSION"]
        fixed = info.index(struct.pack("<I", 0xFEEF04BD))
        major, minor, patch = (int(part) for part in version.split("."))
        self.assertEqual(struct.unpack_from("<II", info, fixed + 8), (major << 16 | minor, patch << 16))
        # The key, its NUL, padding to 32 bits, then the value.
        key = "FileVersion\0".encode("utf-16-le")
        self.assertRegex(info, re.escape(key) + b"(\0\0)?" + re.escape(version.encode("utf-16-le")))


if __name__ == "__main__":
    unittest.main(verbosity=2)
