"""The launch as a packager ships it: config.ini in the current directory, the runtime in
java\\bin beside it, the real KELMORA.exe under Wine and a recording stand-in for javaw.exe."""
import os
import shutil
import unittest
import uuid

from kelmora_e2e import DRIVE_C, PREFIX, STANDIN, AppFolder, run_launcher, run_with_dialogs

CONFIG = "[KELMORA]\nUSAR_JAVAHOME=0\nNOME_JAR=app.jar\n"


class ShippedRuntime(unittest.TestCase):
    def test_command_line_of_a_complete_folder_is_exact(self):
        app = AppFolder("App")
        app.write_config(CONFIG)
        app.install_runtime()
        result = run_launcher(app.exe, app.path)
        self.assertEqual(result.returncode, 0)
        rec = result.record
        self.assertEqual(rec["commandLine"],
                         'C:\\App\\java\\bin\\javaw.exe -jar -Xmx768m "C:\\App\\app.jar"')
        self.assertEqual(bytes.fromhex(rec["commandLineAnsiHex"]),
                         b'C:\\App\\java\\bin\\javaw.exe -jar -Xmx768m "C:\\App\\app.jar"')
        self.assertEqual(rec["module"].lower(), "c:\\app\\java\\bin\\javaw.exe")
        self.assertEqual(rec["currentDirectory"], "C:\\App")
        self.assertEqual(rec["startupFlags"] & 1, 1, "STARTF_USESHOWWINDOW")
        self.assertEqual(rec["showWindow"], 0, "SW_HIDE")

    def test_without_config_the_archive_name_is_empty(self):
        app = AppFolder()
        app.install_runtime()
        result = run_launcher(app.exe, app.path)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.record["commandLine"],
                         f'{app.windows}\\java\\bin\\javaw.exe -jar -Xmx768m "{app.windows}\\"')

    def test_everything_is_taken_from_the_current_directory_not_the_exe_folder(self):
        exe_folder = AppFolder()
        exe_folder.write_config("[KELMORA]\nNOME_JAR=wrong.jar\n")
        exe_folder.install_runtime()
        work = AppFolder()
        (work.exe).unlink()
        work.write_config("[KELMORA]\nNOME_JAR=right.jar\n")
        work.install_runtime()
        result = run_launcher(exe_folder.exe, work.path)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.record["commandLine"],
                         f'{work.windows}\\java\\bin\\javaw.exe -jar -Xmx768m "{work.windows}\\right.jar"')
        self.assertEqual(result.record["currentDirectory"], work.windows)

    def test_arguments_given_to_the_launcher_change_nothing(self):
        app = AppFolder()
        app.write_config(CONFIG)
        app.install_runtime()
        plain = run_launcher(app.exe, app.path)
        with_args = run_launcher(app.exe, app.path, args=["-Xmx4g", "--debug", "other.jar"])
        self.assertEqual(with_args.returncode, 0)
        self.assertEqual(with_args.record["commandLine"], plain.record["commandLine"])

    def test_child_exit_code_is_not_passed_on(self):
        app = AppFolder()
        app.write_config(CONFIG)
        app.install_runtime()
        result = run_launcher(app.exe, app.path, child_exit=42)
        self.assertEqual(len(result.records), 1)
        self.assertEqual(result.returncode, 0)

    def test_launcher_returns_only_after_the_child_has_ended(self):
        # The stand-in writes its record only after sleeping, so a launcher that did not wait
        # would return before any record exists.
        app = AppFolder()
        app.write_config(CONFIG)
        app.install_runtime()
        result = run_launcher(app.exe, app.path, child_sleep_ms=3000)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(len(result.records), 1)

    def test_missing_runtime_is_reported_and_still_ends_with_exit_code_zero(self):
        app = AppFolder()
        app.write_config(CONFIG)
        code, (box, dialog), records = run_with_dialogs(app.exe, app.path, ["Erro=ok", "Kelmora=ok"])
        self.assertEqual(code, 0)
        self.assertEqual(records, [])
        self.assertTrue(box["closed"] and dialog["closed"])


class DriveRoot(unittest.TestCase):
    def test_drive_root_doubles_the_separator(self):
        root = DRIVE_C / f"root-{uuid.uuid4().hex[:8]}"
        root.mkdir()
        link = PREFIX / "dosdevices" / "t:"
        if link.is_symlink() or link.exists():
            link.unlink()
        link.symlink_to(root)
        try:
            app = AppFolder(parent=root, name=".")
            app.write_config(CONFIG)
            app.install_runtime()
            result = run_launcher("T:\\KELMORA.exe", root)
            self.assertEqual(result.returncode, 0)
            self.assertEqual(result.record["commandLine"],
                             'T:\\\\java\\bin\\javaw.exe -jar -Xmx768m "T:\\\\app.jar"')
            self.assertEqual(result.record["currentDirectory"], "T:\\")
        finally:
            link.unlink()


class BlanksInPaths(unittest.TestCase):
    def test_executable_path_with_blanks_is_quoted_so_a_planted_decoy_never_runs(self):
        # Unquoted, "C:\Decoy-x Apps\..." would first be tried as "C:\Decoy-x.exe".
        stem = f"Decoy-{uuid.uuid4().hex[:6]}"
        decoy = DRIVE_C / f"{stem}.exe"
        shutil.copyfile(STANDIN, decoy)
        app = AppFolder("Kel App", parent=DRIVE_C / f"{stem} Apps")
        app.write_config(CONFIG)
        app.install_runtime()
        result = run_launcher(app.exe, app.path)
        self.assertEqual(result.returncode, 0)
        rec = result.record
        self.assertEqual(rec["module"].lower(), f"{app.windows}\\java\\bin\\javaw.exe".lower())
        self.assertEqual(rec["commandLine"],
                         f'"{app.windows}\\java\\bin\\javaw.exe" -jar -Xmx768m "{app.windows}\\app.jar"')

    def test_the_decoy_is_real_an_unquoted_start_runs_it(self):
        # Control for the test above: the same folder layout started unquoted runs the decoy,
        # so the decoy does prove the quoting and is not a Wine artefact.
        from kelmora_e2e import PROGRAMS
        stem = f"Decoy-{uuid.uuid4().hex[:6]}"
        shutil.copyfile(STANDIN, DRIVE_C / f"{stem}.exe")
        app = AppFolder("Kel App", parent=DRIVE_C / f"{stem} Apps")
        app.install_runtime()
        result = run_launcher(PROGRAMS / "spawn_floor.exe", app.path,
                              extra_env={"SPAWN_COMMAND_LINE": f"{app.windows}\\java\\bin\\javaw.exe"})
        self.assertEqual(result.record["module"].lower(), f"c:\\{stem}.exe".lower())


if __name__ == "__main__":
    unittest.main()
