"""What KELMORA.exe declares about itself, read with a real PE reader (pefile) and, as a user
would see it, with the Windows version API under Wine."""
import os
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ET
from pathlib import Path

import pefile

from kelmora_e2e import KELMORA_EXE, PROGRAMS

ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
WS2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
COMPAT = "{urn:schemas-microsoft-com:compatibility.v1}"
RT_MANIFEST, RT_ICON, RT_GROUP_ICON = 24, 3, 14


def load(path=KELMORA_EXE):
    return pefile.PE(str(path))


def resources(pe):
    """{type id: [(name id, language id, bytes)]}"""
    found = {}
    for rtype in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name in rtype.directory.entries:
            for lang in name.directory.entries:
                data = pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
                found.setdefault(rtype.id, []).append((name.id, lang.id, data))
    return found


class ImageKind(unittest.TestCase):
    def test_pe32_i386_gui_hardened(self):
        pe = load()
        self.assertEqual(pe.OPTIONAL_HEADER.Magic, 0x10B, "PE32")
        self.assertEqual(pe.FILE_HEADER.Machine, 0x14C, "i386")
        self.assertEqual(pe.OPTIONAL_HEADER.Subsystem, 2, "Windows GUI")
        self.assertTrue(pe.FILE_HEADER.Characteristics & 0x0002, "executable image")
        dll = pe.OPTIONAL_HEADER.DllCharacteristics
        self.assertTrue(dll & 0x0040, "DYNAMIC_BASE")
        self.assertTrue(dll & 0x0100, "NX_COMPAT")
        self.assertTrue(dll & 0x8000, "TERMINAL_SERVER_AWARE")
        self.assertIn(b".reloc", [s.Name.rstrip(b"\0") for s in pe.sections])
        self.assertEqual(pe.FILE_HEADER.TimeDateStamp, 0)

    def test_imports_kernel32_and_msvcrt_only(self):
        # KnownDLLs both, so no planted copy can be loaded in their place; every other library
        # (user32, advapi32, version, comctl32) is loaded from the system folder when first used.
        imported = {e.dll.decode().upper() for e in load().DIRECTORY_ENTRY_IMPORT}
        self.assertEqual(imported, {"KERNEL32.DLL", "MSVCRT.DLL"})


class VersionRecord(unittest.TestCase):
    def test_fixed_part(self):
        fixed = load().VS_FIXEDFILEINFO[0]
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), (0x10000, 0))
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), (0x10000, 0))
        self.assertEqual(fixed.FileFlagsMask, 0x3F)
        self.assertEqual(fixed.FileFlags, 0)
        self.assertEqual(fixed.FileOS, 4)
        self.assertEqual(fixed.FileType, 1)
        self.assertEqual(fixed.FileSubtype, 0)
        self.assertEqual((fixed.FileDateMS, fixed.FileDateLS), (0, 0))

    def test_string_table_and_translation(self):
        tables, translations = [], []
        for info in load().FileInfo[0]:
            if info.Key == b"StringFileInfo":
                tables = info.StringTable
            elif info.Key == b"VarFileInfo":
                translations = [var.entry for var in info.Var]
        self.assertEqual([t.LangID for t in tables], [b"040904E4"])
        entries = list(tables[0].entries.items())
        self.assertEqual([k for k, _ in entries],
                         [b"FileDescription", b"FileVersion", b"ProductName", b"ProductVersion",
                          b"ProgramID"])
        values = dict(entries)
        self.assertEqual(values[b"FileDescription"], b"KELMORA")
        self.assertEqual(values[b"FileVersion"], b"1.0.0.0")
        self.assertEqual(values[b"ProductName"], b"KELMORA")
        self.assertEqual(values[b"ProductVersion"], b"1.0.0.0")
        program_id = values[b"ProgramID"].decode()
        self.assertRegex(program_id, r"^[a-z0-9-]+(\.[a-z0-9-]+)+\.KELMORA$")
        self.assertEqual(translations, [{b"Translation": "0x0409 0x04e4"}])


class Manifest(unittest.TestCase):
    def setUp(self):
        manifests = resources(load()).get(RT_MANIFEST, [])
        self.assertEqual([(n, l) for n, l, _ in manifests], [(1, 1033)])
        self.root = ET.fromstring(manifests[0][2])

    def test_per_monitor_dpi_awareness(self):
        dpi = self.root.findall(f"{ASM_V3}application/{ASM_V3}windowsSettings/{WS2005}dpiAware")
        self.assertEqual([d.text for d in dpi], ["True/PM"])

    def test_common_controls_version_6(self):
        ids = self.root.findall(f"{ASM_V1}dependency/{ASM_V1}dependentAssembly/{ASM_V1}assemblyIdentity")
        self.assertEqual([i.attrib for i in ids], [{
            "type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
            "publicKeyToken": "6595b64144ccf1df", "language": "*", "processorArchitecture": "*"}])

    def test_runs_as_invoker_without_ui_access(self):
        levels = self.root.findall(f"{ASM_V3}trustInfo/{ASM_V3}security/{ASM_V3}requestedPrivileges/"
                                   f"{ASM_V3}requestedExecutionLevel")
        self.assertEqual([l.attrib for l in levels], [{"level": "asInvoker", "uiAccess": "false"}])

    def test_supported_operating_systems(self):
        ids = [e.attrib["Id"] for e in
               self.root.findall(f"{COMPAT}compatibility/{COMPAT}application/{COMPAT}supportedOS")]
        self.assertEqual(ids, [
            "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
            "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
            "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"])

    def test_no_icon(self):
        found = resources(load())
        self.assertNotIn(RT_ICON, found)
        self.assertNotIn(RT_GROUP_ICON, found)


class AsAUserSeesIt(unittest.TestCase):
    def test_file_properties_under_wine(self):
        out = subprocess.run(["wine", str(PROGRAMS / "version_reader.exe"), str(KELMORA_EXE)],
                             capture_output=True, text=True, timeout=120, stdin=subprocess.DEVNULL)
        self.assertEqual(out.returncode, 0, out.stderr)
        fields = dict(line.strip().split("=", 1) for line in out.stdout.splitlines() if "=" in line)
        self.assertEqual(fields["FileVersion"], "1.0.0.0")
        self.assertEqual(fields["FileDescription"], "KELMORA")
        self.assertEqual(fields["ProductName"], "KELMORA")
        self.assertEqual(fields["ProductVersion"], "1.0.0.0")


class Reproducible(unittest.TestCase):
    def test_two_clean_builds_give_the_same_bytes(self):
        source = os.environ["PROJECT_SOURCE_DIR"]
        toolchain = os.environ["KELMORA_TOOLCHAIN"]
        built = []
        for _ in range(2):
            with tempfile.TemporaryDirectory() as build:
                subprocess.run(["cmake", "-S", source, "-B", build, "-DCMAKE_BUILD_TYPE=MinSizeRel",
                                f"-DCMAKE_TOOLCHAIN_FILE={toolchain}"], check=True, capture_output=True)
                subprocess.run(["cmake", "--build", build, "--target", "KELMORA", "-j2"],
                               check=True, capture_output=True)
                built.append(Path(build, "KELMORA.exe").read_bytes())
        self.assertEqual(built[0], built[1])
        self.assertEqual(built[0], KELMORA_EXE.read_bytes(), "the tested executable is the same too")


if __name__ == "__main__":
    unittest.main()
