"""The machine-wide runtime: USAR_JAVAHOME=1 makes KELMORA.exe take JavaHome from
HKLM\\Software\\JavaSoft\\Java Runtime Environment\\<VERSAO_JAVA>, 64-bit view first. The prefix
is a 64-bit one, so the 32-bit launcher's default view is the 32-bit (WOW64) view."""
import shutil
import unittest
import uuid

from kelmora_e2e import (DRIVE_C, STANDIN, AppFolder, run_launcher, run_with_dialogs, text_of,
                         wine_reg, windows_path)

BASE = "HKLM\\Software\\JavaSoft\\Java Runtime Environment"


def register(version, view, value_type="REG_SZ", data=None, name="JavaHome"):
    args = ["add", f"{BASE}\\{version}", "/f", f"/reg:{view}"]
    if data is not None:
        args += ["/v", name, "/t", value_type, "/d", data]
    wine_reg(*args)


def runtime_at(folder_name):
    """A registered runtime: <drive_c>\\<folder>\\bin\\Javaw.exe, the recording stand-in."""
    home = DRIVE_C / folder_name
    (home / "bin").mkdir(parents=True, exist_ok=True)
    shutil.copyfile(STANDIN, home / "bin" / "Javaw.exe")
    return windows_path(home)


class RegisteredRuntime(unittest.TestCase):
    def setUp(self):
        self.version = f"t{uuid.uuid4().hex[:8]}"
        self.app = AppFolder()
        self.app.install_runtime()  # present, and never a fallback
        self.app.write_config(f"[KELMORA]\nVERSAO_JAVA={self.version}\nUSAR_JAVAHOME=1\nNOME_JAR=app.jar\n")

    def launch(self):
        return run_launcher(self.app.exe, self.app.path)

    def expected(self, executable):
        return f'{executable} -jar -Xmx768m "{self.app.windows}\\app.jar"'

    def test_key_in_the_64_bit_view_only(self):
        home = runtime_at(f"jre64-{self.version}")
        register(self.version, 64, data=home)
        result = self.launch()
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.record["commandLine"], self.expected(f"{home}\\bin\\Javaw.exe"))

    def test_only_a_launch_that_reads_the_registry_maps_advapi32(self):
        home = runtime_at(f"jre64-{self.version}")
        register(self.version, 64, data=home)
        listing = {"STANDIN_PARENT_MODULES": "1"}
        registered = run_launcher(self.app.exe, self.app.path, extra_env=listing).record
        self.app.write_config("[KELMORA]\nUSAR_JAVAHOME=0\nNOME_JAR=app.jar\n")
        shipped = run_launcher(self.app.exe, self.app.path, extra_env=listing).record
        self.assertIn("advapi32.dll", [m.lower() for m in registered["parentModules"]])
        self.assertIn("kernel32.dll", [m.lower() for m in shipped["parentModules"]])
        self.assertNotIn("advapi32.dll", [m.lower() for m in shipped["parentModules"]])

    def test_key_in_the_default_view_only(self):
        home = runtime_at(f"jre32-{self.version}")
        register(self.version, 32, data=home)
        result = self.launch()
        self.assertEqual(result.record["commandLine"], self.expected(f"{home}\\bin\\Javaw.exe"))

    def test_key_in_both_views_the_64_bit_view_wins(self):
        home64 = runtime_at(f"jre64-{self.version}")
        home32 = runtime_at(f"jre32-{self.version}")
        register(self.version, 64, data=home64)
        register(self.version, 32, data=home32)
        result = self.launch()
        self.assertEqual(result.record["commandLine"], self.expected(f"{home64}\\bin\\Javaw.exe"))

    def test_64_bit_key_without_java_home_hides_the_default_view(self):
        # The path becomes "\bin\Javaw.exe": the root of the current drive. A stand-in planted
        # there shows the exact line; the shipped runtime is never a fallback.
        (DRIVE_C / "bin").mkdir(exist_ok=True)
        shutil.copyfile(STANDIN, DRIVE_C / "bin" / "Javaw.exe")
        register(self.version, 64)
        register(self.version, 32, data=runtime_at(f"jre32-{self.version}"))
        result = self.launch()
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.record["commandLine"], self.expected("\\bin\\Javaw.exe"))

    def test_runtime_under_a_folder_with_blanks_is_quoted(self):
        home = runtime_at(f"Program Files {self.version}/Java/jre1.8.0")
        register(self.version, 64, data=home)
        result = self.launch()
        self.assertEqual(result.record["commandLine"], self.expected(f'"{home}\\bin\\Javaw.exe"'))

    def test_expand_string_is_not_expanded(self):
        # %SystemDrive% would expand to C:, but the text is used as stored: the platform finds
        # no such file, and the failure dialog shows the unexpanded path.
        runtime_at(f"jre-{self.version}")
        register(self.version, 64, "REG_EXPAND_SZ", f"%SystemDrive%\\jre-{self.version}")
        code, (box, dialog), records = run_with_dialogs(self.app.exe, self.app.path,
                                                        ["Erro=ok", "Kelmora=ok"])
        self.assertEqual(code, 0)
        self.assertEqual(records, [])
        self.assertEqual(text_of(dialog, "Static"),
                         [self.expected(f"%SystemDrive%\\jre-{self.version}\\bin\\Javaw.exe")])

    def test_value_that_is_not_text_ends_with_exit_code_3_and_no_child(self):
        for value_type, data in (("REG_DWORD", "1"), ("REG_MULTI_SZ", "C:\\jre"), ("REG_BINARY", "00ff")):
            version = f"{self.version}{value_type}"
            register(version, 64, value_type, data)
            register(version, 32, data=runtime_at(f"jre32-{version}"))
            self.app.write_config(f"[KELMORA]\nVERSAO_JAVA={version}\nUSAR_JAVAHOME=1\nNOME_JAR=app.jar\n")
            code, (box,), records = run_with_dialogs(self.app.exe, self.app.path, ["KELMORA.exe=ok"])
            self.assertEqual(code, 3, value_type)
            self.assertEqual(records, [], value_type)
            self.assertTrue(box["found"], value_type)

    def test_values_other_than_exactly_1_keep_the_shipped_runtime(self):
        register(self.version, 64, data=runtime_at(f"jre64-{self.version}"))
        for value in ["0", "2", "-1", "true", "1.0", ""]:
            self.app.write_config(
                f"[KELMORA]\nVERSAO_JAVA={self.version}\nUSAR_JAVAHOME={value}\nNOME_JAR=app.jar\n")
            result = self.launch()
            self.assertEqual(result.record["commandLine"],
                             self.expected(f"{self.app.windows}\\java\\bin\\javaw.exe"), value)

    def test_a_launch_changes_nothing_in_the_registry(self):
        register(self.version, 64, data=runtime_at(f"jre64-{self.version}"))
        before = export_software()
        self.launch()
        self.assertEqual(export_software(), before)


def export_software():
    # The part that the launcher reads, in both views; test_hostile compares the whole of
    # HKLM\Software and HKCU\Software across a hundred launches.
    exported = {}
    for hive in (BASE,):
        for view in ("64", "32"):
            target = DRIVE_C / f"export-{uuid.uuid4().hex}.reg"
            wine_reg("export", hive, windows_path(target), "/y", f"/reg:{view}")
            exported[hive, view] = target.read_bytes()
            target.unlink()
    return exported


if __name__ == "__main__":
    unittest.main()
