"""What the user sees when the Java application cannot be started, or the launch is abandoned:
the real KELMORA.exe under Wine and Xvfb, its dialogs found, read and closed by a Windows test
driver running in the same prefix."""
import json
import os
import shutil
import struct
import subprocess
import unittest
import uuid

from kelmora_e2e import (PREFIX, PROGRAMS, AppFolder, HeldChild, drive, run_with_dialogs, text_of, wine,
                         wine_reg)

COMMAND_LINE = '{0}\\java\\bin\\javaw.exe -jar -Xmx768m "{0}\\app.jar"'
WS_CAPTION, DS_MODALFRAME, WS_VISIBLE = 0x00C00000, 0x80, 0x10000000
BS_DEFPUSHBUTTON, SS_ICON = 0x1, 0x3
SCREEN = (1280, 1024)


class FailedStart(unittest.TestCase):
    def setUp(self):
        self.app = AppFolder()
        self.app.write_config("[KELMORA]\nNOME_JAR=app.jar\n")

    def test_missing_runtime_shows_code_2_then_the_command_line(self):
        code, (box, dialog), _ = run_with_dialogs(self.app.exe, self.app.path,
                                                  ["Erro=ok", "Kelmora=ok"])
        self.assertEqual(code, 0)
        self.assertTrue(box["found"] and box["closed"])
        self.assertIn("Erro 2 ao executar o aplicativo.", text_of(box, "Static"))
        self.assertEqual(text_of(box, "Button"), ["OK"])
        self.assertNotIn("Kelmora", box["otherVisible"], "the second dialog waits for the first")

        self.assertTrue(dialog["found"] and dialog["closed"])
        self.assertEqual(text_of(dialog, "Static"), [COMMAND_LINE.format(self.app.windows)])
        buttons = [c for c in dialog["controls"] if c["class"].lower() == "button"]
        self.assertEqual([b["title"] for b in buttons], ["OK"])
        self.assertEqual(buttons[0]["style"] & 0xF, BS_DEFPUSHBUTTON)
        self.assertFalse([c for c in dialog["controls"] if c["class"] == "Static" and c["style"] & 0x1F == SS_ICON])
        self.assertTrue(dialog["style"] & WS_CAPTION)
        self.assertTrue(dialog["style"] & DS_MODALFRAME, "fixed dialog border")
        left, top, right, bottom = dialog["rect"]
        self.assertLessEqual(abs((left + right) // 2 - SCREEN[0] // 2), 1, dialog["rect"])
        self.assertLessEqual(abs((top + bottom) // 2 - SCREEN[1] // 2), 1, dialog["rect"])
        self.assertNotEqual(dialog["owner"], 0, "owned by the hidden main window")

    def test_a_file_that_is_no_program_shows_code_193(self):
        (self.app.path / "java" / "bin").mkdir(parents=True)
        (self.app.path / "java" / "bin" / "javaw.exe").write_text("not a program\n")
        code, (box, dialog), _ = run_with_dialogs(self.app.exe, self.app.path,
                                                  ["Erro=enter", "Kelmora=enter"])
        self.assertEqual(code, 0)
        self.assertIn("Erro 193 ao executar o aplicativo.", text_of(box, "Static"))
        self.assertTrue(dialog["closed"])

    def test_esc_and_the_close_box_end_it_the_same_way(self):
        for first, second in (("esc", "esc"), ("close", "close")):
            code, steps, _ = run_with_dialogs(self.app.exe, self.app.path,
                                              [f"Erro={first}", f"Kelmora={second}"])
            self.assertEqual(code, 0)
            self.assertEqual([s["closed"] for s in steps], [True, True], (first, second))

    def test_renaming_the_executable_changes_the_caption(self):
        renamed = self.app.path / "Backup.OLD.exe"
        shutil.copyfile(self.app.exe, renamed)
        code, (box, dialog), _ = run_with_dialogs(renamed, self.app.path, ["Erro=ok", "Backup=ok"])
        self.assertEqual(code, 0)
        self.assertTrue(box["found"])
        self.assertTrue(dialog["found"], "caption follows the file name")

    def test_command_line_is_shown_as_text_percent_and_ampersand_included(self):
        app = AppFolder(f"R&D 100% {uuid.uuid4().hex[:4]}")
        app.write_config("[KELMORA]\nNOME_JAR=%s%d.jar\n")
        code, (_, dialog), _ = run_with_dialogs(app.exe, app.path, ["Erro=ok", "Kelmora=ok"])
        self.assertEqual(code, 0)
        self.assertEqual(text_of(dialog, "Static"),
                         [f'"{app.windows}\\java\\bin\\javaw.exe" -jar -Xmx768m "{app.windows}\\%s%d.jar"'])


    def test_windows_xp_gets_the_plain_dialog(self):
        # Major version 5: the plain form whatever the common controls say.
        wine_reg("add", "HKCU\\Software\\Wine", "/v", "Version", "/t", "REG_SZ", "/d", "winxp", "/f")
        try:
            code, (_, dialog), _ = run_with_dialogs(self.app.exe, self.app.path, ["Erro=ok", "Kelmora=ok"])
        finally:
            wine_reg("delete", "HKCU\\Software\\Wine", "/v", "Version", "/f")
        self.assertEqual(code, 0)
        self.assertEqual(dialog["class"], "#32770")
        self.assertTrue(dialog["style"] & DS_MODALFRAME)
        self.assertEqual(text_of(dialog, "Static"), [COMMAND_LINE.format(self.app.windows)])


class AbnormalTermination(unittest.TestCase):
    def test_value_that_is_not_text_shows_the_termination_box_and_ends_with_3(self):
        version = f"d{uuid.uuid4().hex[:8]}"
        wine_reg("add", f"HKLM\\Software\\JavaSoft\\Java Runtime Environment\\{version}", "/v",
                 "JavaHome", "/t", "REG_DWORD", "/d", "1", "/f", "/reg:64")
        app = AppFolder()
        app.install_runtime()
        app.write_config(f"[KELMORA]\nVERSAO_JAVA={version}\nUSAR_JAVAHOME=1\nNOME_JAR=app.jar\n")
        code, (box,), records = run_with_dialogs(app.exe, app.path, ["KELMORA.exe=ok"])
        self.assertEqual(code, 3)
        self.assertEqual(records, [], "no child is started")
        self.assertIn("Abnormal program termination", text_of(box, "Static"))
        self.assertEqual(text_of(box, "Button"), ["OK"])


class NoWindowWhileWaiting(unittest.TestCase):
    def inspect_while_child_held(self, exe_name, **env):
        app = AppFolder()
        app.install_runtime()
        app.write_config("[KELMORA]\nNOME_JAR=app.jar\n")
        held = HeldChild()
        process = subprocess.Popen(
            ["wine", str(app.exe)], cwd=app.path, env=dict(os.environ, **held.env, **env),
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            held.wait_started()  # the launcher has started its child and waits for it
            out = wine(PROGRAMS / "dialog_driver.exe", "inspect", exe_name)
            return json.loads(out.stdout)
        finally:
            held.release()
            process.wait(timeout=60)

    def test_waiting_launcher_owns_no_window_and_blocks_no_broadcast(self):
        found = self.inspect_while_child_held("KELMORA.exe")
        self.assertEqual(len(found["pids"]), 1, "the launcher is running")
        self.assertEqual(found["windows"], [])
        self.assertLess(found["broadcastMs"], 1500)

    def test_control_a_hidden_window_that_is_not_pumped_blocks_the_broadcast(self):
        # The same check against a process that does own such a window shows the check works.
        found = self.inspect_while_child_held("javaw.exe", STANDIN_HIDDEN_WINDOW="1")
        self.assertIn("standin hidden", [w["title"] for w in found["windows"]])
        self.assertGreaterEqual(found["broadcastMs"], 2500)


# Where the manifest's common controls 6.0 come from: the side-by-side assembly's folder.
COMMON_CONTROLS_6 = (PREFIX / "drive_c" / "windows" / "winsxs" /
                     "x86_microsoft.windows.common-controls_6595b64144ccf1df_6.0.2600.2982_none_deadbeef" /
                     "comctl32.dll")


def raised_common_controls(original):
    """Wine's own comctl32.dll, its version record raised to 6.10 as on a Windows PC and its
    builtin marker blanked, so that Wine loads this very file as the assembly's (with
    comctl32=n) instead of mapping its install folder's copy, whose record says 5.81."""
    data = bytearray(original)
    marker = b"Wine builtin DLL"
    assert data[0x40:0x40 + len(marker)] == marker, "not a Wine builtin"
    data[0x40:0x40 + len(marker)] = bytes(len(marker))
    fixed = data.find(struct.pack("<I", 0xFEEF04BD))  # VS_FIXEDFILEINFO
    assert fixed > 0
    struct.pack_into("<IIII", data, fixed + 8, 0x0006000A, 0, 0x0006000A, 0)  # file, product 6.10
    return bytes(data)


class TaskDialogForm(unittest.TestCase):
    """Wine's common controls report 5.81, so under Wine KELMORA.exe picks the plain form. With
    the prefix's side-by-side copy raised to 6.10, the real KELMORA.exe, unchanged, reads 6.10
    from the module its manifest loads and shows the task dialog that Windows Vista and later
    show."""

    def test_task_dialog_configuration(self):
        config = json.loads(wine(PROGRAMS / "platform_check.exe", "config").stdout)
        self.assertEqual(config, {
            "cbSize": 96, "hwndParent": 0x1234, "hInstance": 0, "dwFlags": 8,
            "dwCommonButtons": 0, "pszWindowTitle": "platform_check", "pszMainIcon": 0,
            "pszMainInstruction": 0, "pszContent": "the command line", "cButtons": 1,
            "button0Id": 1, "button0Text": "OK", "nDefaultButton": 1, "cRadioButtons": 0,
            "nDefaultRadioButton": 0, "pszVerificationText": 0, "pszExpandedInformation": 0,
            "pszFooter": 0, "hasCallback": True, "lpCallbackData": 0x1234, "cxWidth": 0})

    def test_the_real_executable_shows_a_centred_task_dialog_with_ok_only(self):
        original = COMMON_CONTROLS_6.read_bytes()
        COMMON_CONTROLS_6.write_bytes(raised_common_controls(original))
        try:
            app = AppFolder()
            app.write_config("[KELMORA]\nNOME_JAR=100%&.jar\n")
            text = f'{app.windows}\\java\\bin\\javaw.exe -jar -Xmx768m "{app.windows}\\100%&.jar"'
            # Under a bare X server the work area is the whole screen, where a task dialog
            # centres itself anyway. Wine's virtual desktop has a taskbar, which the work area
            # leaves out: the launcher and the driver run in one such desktop (Wine gives the
            # desktop named "shell" its taskbar). A centring that ignores the taskbar fails here.
            # A callback that never runs cannot: Wine's task dialog centres itself in the work
            # area, just where the callback puts it, while Windows centres it on the whole
            # monitor (the checklist's placement row).
            for program in ("KELMORA.exe", "dialog_driver.exe"):
                wine_reg("add", f"HKCU\\Software\\Wine\\AppDefaults\\{program}\\Explorer", "/v", "Desktop",
                         "/d", "shell", "/f")
            wine_reg("add", "HKCU\\Software\\Wine\\Explorer\\Desktops", "/v", "shell",
                     "/d", f"{SCREEN[0]}x{SCREEN[1]}", "/f")
            # Wine's task dialog ignores Esc when it has no Cancel button (Windows closes it,
            # with TDF_ALLOW_DIALOG_CANCELLATION): Esc is left to the checklist.
            for how in ("ok", "enter", "close"):
                code, (box, dialog), records = run_with_dialogs(
                    app.exe, app.path, ["Erro=ok", f"Kelmora={how}"],
                    env={"WINEDLLOVERRIDES": "comctl32=n,b"})
                self.assertEqual((code, records), (0, []), how)
                self.assertTrue(box["closed"] and dialog["found"] and dialog["closed"], how)
                ids = [c["id"] for c in dialog["controls"]]
                self.assertNotIn(100, ids, "the plain dialog's label: the task dialog was not shown")
                self.assertEqual(text_of(dialog, "Static"), [text])  # no main instruction
                self.assertFalse([c for c in dialog["controls"] if c["class"] == "Static" and c["style"] & 0x1F == SS_ICON])
                self.assertEqual(text_of(dialog, "Button"), ["OK"])
                left, top, right, bottom = dialog["rect"]
                work_left, work_top, work_right, work_bottom = dialog["workArea"]
                self.assertNotEqual(dialog["workArea"], [0, 0, *SCREEN], "the check needs a taskbar")
                self.assertLessEqual(abs((left + right) - (work_left + work_right)), 2, dialog)
                self.assertLessEqual(abs((top + bottom) - (work_top + work_bottom)), 2, dialog)
        finally:
            COMMON_CONTROLS_6.write_bytes(original)
            for program in ("KELMORA.exe", "dialog_driver.exe"):
                wine_reg("delete", f"HKCU\\Software\\Wine\\AppDefaults\\{program}", "/f")

    def test_common_controls_version_is_read_from_the_system_copy(self):
        # A version.dll planted beside the program or in the current directory is never loaded:
        # the module is asked for with the system-directory-only search flag.
        trace = subprocess.run(["wine", str(PROGRAMS / "platform_check.exe"), "version"],
                               env=dict(os.environ, WINEDEBUG="+module"), capture_output=True,
                               text=True, stdin=subprocess.DEVNULL, timeout=120)
        version = json.loads(trace.stdout)
        self.assertTrue(version["readable"])
        self.assertLess(version["versionMS"], 0x00060000, "Wine's comctl32 reports below 6.0")
        # Wine's own user32 maps version.dll at start-up ("in (null)"); the launcher's request is
        # the one with a search path, and that path is the system directory alone.
        searches = [l.split(" in ", 1)[1] for l in trace.stderr.splitlines()
                    if 'looking for L"version.dll" in' in l]
        explicit = [s for s in searches if s != "(null)"]
        self.assertEqual(explicit, ['L"C:\\\\windows\\\\system32\\\\"'], searches)

if __name__ == "__main__":
    unittest.main()
