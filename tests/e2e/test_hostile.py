"""KELMORA.exe given bad input under Wine: a corpus of broken config.ini files, extreme folder
names, a hundred launches that must leave no trace, and launches in a row and at once.

Each config.ini case writes down the command line that the launcher's reading of the file
implies; whatever the file holds, the launcher must start the child with exactly that line and
end with exit code 0. The launcher reads config.ini with a reader of its own, checked below
against the system's GetPrivateProfileStringW."""
import hashlib
import json
import os
import random
import subprocess
import unittest
import uuid
from pathlib import Path

from kelmora_e2e import (DRIVE_C, PROGRAMS, AppFolder, HeldChild, RECORDS, run_launcher,
                         run_with_dialogs, text_of, wine, wine_reg, windows_path)
from test_registry import register, runtime_at

RUNTIME = "\\java\\bin\\javaw.exe"


def line(folder, jar):
    return f'{folder}{RUNTIME} -jar -Xmx768m "{folder}\\{jar}"'


def utf16(text):
    return "\ufeff".encode("utf-16-le") + text.encode("utf-16-le")


def random_bytes(seed, count):
    generator = random.Random(seed)
    return bytes(generator.randrange(256) for _ in range(count))


# (name, bytes of config.ini, the archive name the command line must carry)
CONFIG_CORPUS = [
    ("random bytes", random_bytes(6, 4096), ""),
    ("random bytes after a good section", b"[KELMORA]\r\nNOME_JAR=good.jar\r\n[X]\r\n" + random_bytes(7, 4096), "good.jar"),
    ("NUL bytes only", b"\0" * 1000, ""),
    # A value ends at a NUL byte.
    ("NUL inside a value", b"[KELMORA]\r\nNOME_JAR=a\0b.jar\r\n", "a"),
    # Blanks before the NUL stay, as in the system's reader: the value is trimmed first.
    ("a blank before a NUL", b"[KELMORA]\r\nNOME_JAR=a \0b.jar\r\n", "a "),
    ("NUL bytes before the section", b"\0\0\0\r\n[KELMORA]\r\nNOME_JAR=a.jar\r\n", "a.jar"),
    ("UTF-16 LE with BOM", utf16("[KELMORA]\r\nNOME_JAR=caf\u00e9.jar\r\n"), "caf\u00e9.jar"),
    # The value reaches the command line in the ANSI code page, where a CJK letter has no place.
    ("UTF-16 LE, a letter outside the code page", utf16("[KELMORA]\r\nNOME_JAR=\u4e2d.jar\r\n"), "?.jar"),
    ("UTF-16 LE, a full-width digit is no number",
     utf16("[KELMORA]\r\nUSAR_JAVAHOME=\uff11\r\nNOME_JAR=a.jar\r\n"), "a.jar"),
    ("UTF-16 BE with BOM", "\ufeff[KELMORA]\r\nNOME_JAR=caf\u00e9.jar\r\n".encode("utf-16-be"), "caf\u00e9.jar"),
    # The mark stands on the section's line; Windows' own reader would miss the section.
    ("UTF-8 with BOM", b"\xef\xbb\xbf[KELMORA]\r\nNOME_JAR=caf\xc3\xa9.jar\r\n", "caf\u00e9.jar"),
    # Valid UTF-8 with a non-ASCII letter is read as UTF-8, mark or none.
    ("UTF-8 without BOM", b"[KELMORA]\r\nNOME_JAR=Gest\xc3\xa3o.jar\r\n", "Gest\u00e3o.jar"),
    # Not valid UTF-8: the ANSI code page, byte by byte.
    ("ANSI", b"[KELMORA]\r\nNOME_JAR=Gest\xe3o.jar\r\n", "Gest\u00e3o.jar"),
    ("CRLF", b"[KELMORA]\r\nUSAR_JAVAHOME=0\r\nNOME_JAR=a.jar\r\n", "a.jar"),
    ("LF", b"[KELMORA]\nUSAR_JAVAHOME=0\nNOME_JAR=a.jar\n", "a.jar"),
    ("CR only", b"[KELMORA]\rNOME_JAR=a.jar\r", "a.jar"),
    ("no final newline", b"[KELMORA]\r\nNOME_JAR=a.jar", "a.jar"),
    ("a 1 MB value is cut to 2047 units", b"[KELMORA]\r\nNOME_JAR=" + b"x" * (1 << 20) + b"\r\n", "x" * 2047),
    # Past 4 MiB a file is no config.ini: it reads as one that cannot be read.
    ("a file of exactly 4 MiB", b"[KELMORA]\r\nNOME_JAR=big.jar\r\n".ljust(4 << 20, b";"), "big.jar"),
    ("a file one byte past 4 MiB", b"[KELMORA]\r\nNOME_JAR=big.jar\r\n".ljust((4 << 20) + 1, b";"), ""),
    ("100,000 lines before the key",
     b"[KELMORA]\r\n" + b"".join(b"K%d=v\r\n" % i for i in range(100000)) + b"NOME_JAR=end.jar\r\n", "end.jar"),
    ("100,000 lines of other sections first",
     b"".join(b"[S%d]\r\nK=v\r\n" % i for i in range(50000)) + b"[KELMORA]\r\nNOME_JAR=end.jar\r\n", "end.jar"),
    # The first of two sections of the same name is the one read, whole.
    ("the section twice", b"[KELMORA]\r\nNOME_JAR=first.jar\r\n[KELMORA]\r\nNOME_JAR=second.jar\r\n", "first.jar"),
    ("the section twice, the key only in the second",
     b"[KELMORA]\r\nUSAR_JAVAHOME=0\r\n[KELMORA]\r\nNOME_JAR=second.jar\r\n", ""),
    ("a key twice", b"[KELMORA]\r\nNOME_JAR=first.jar\r\nNOME_JAR=second.jar\r\n", "first.jar"),
    ("section and keys in other letter case", b"[kelmora]\r\nnome_jar=lower.jar\r\nUsar_JavaHome=0\r\n", "lower.jar"),
    ("blanks and quotes around a value", b"[KELMORA]\r\n  NOME_JAR  =  \"q.jar\"  \r\n", "q.jar"),
    ("a section line never closed", b"[KELMORA\r\nNOME_JAR=a.jar\r\n", ""),
    ("an empty file", b"", ""),
]


def snapshot(folder):
    """Every file below `folder` with its SHA-256, and every folder, as one comparable value."""
    entries = {}
    for root, dirs, files in os.walk(folder):
        for d in dirs:
            entries[os.path.relpath(os.path.join(root, d), folder)] = "folder"
        for f in files:
            path = Path(root) / f
            entries[os.path.relpath(path, folder)] = hashlib.sha256(path.read_bytes()).hexdigest()
    return entries


def export(key):
    target = DRIVE_C / f"export-{uuid.uuid4().hex}.reg"
    wine_reg("export", key, windows_path(target), "/y")
    data = target.read_bytes()
    target.unlink()
    return data


class BadConfigCorpus(unittest.TestCase):
    def test_every_case_starts_the_command_line_the_reading_implies(self):
        app = AppFolder()
        app.install_runtime()
        for name, data, jar in CONFIG_CORPUS:
            with self.subTest(name):
                app.write_config(data)
                result = run_launcher(app.exe, app.path)
                self.assertEqual(result.returncode, 0)
                self.assertEqual(result.record["commandLine"], line(app.windows, jar))
                self.assertEqual(bytes.fromhex(result.record["commandLineAnsiHex"]),
                                 line(app.windows, jar).encode("cp1252", errors="replace"))

    def test_config_ini_that_is_a_folder_gives_the_defaults(self):
        app = AppFolder()
        app.install_runtime()
        (app.path / "config.ini").mkdir()
        result = run_launcher(app.exe, app.path)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.record["commandLine"], line(app.windows, ""))

    def test_config_ini_held_open_exclusively_gives_the_defaults(self):
        app = AppFolder()
        app.install_runtime()
        app.write_config("[KELMORA]\nNOME_JAR=held.jar\n")
        # The holder opens config.ini with no sharing, then runs KELMORA.exe and passes its
        # exit code on (90 if it could not hold the file).
        result = run_launcher(PROGRAMS / "file_holder.exe", app.path,
                              args=[f"{app.windows}\\config.ini", f"{app.windows}\\KELMORA.exe"])
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.record["commandLine"], line(app.windows, ""))
        # Control: released, the same file is read.
        self.assertEqual(run_launcher(app.exe, app.path).record["commandLine"], line(app.windows, "held.jar"))


# The code page Wine takes from each locale, as Python names it (gbk is code page 936).
CODE_PAGES = {"C.UTF-8": "cp1252", "ja_JP.UTF-8": "cp932", "zh_CN.UTF-8": "gbk"}
# What the generated values are drawn from, beyond ASCII, in each code page: letters the code
# page has and letters it lacks, and double-byte characters whose bytes are, on their own, valid
# UTF-8 (the GBK of \u7cfb\u7edf, the half-width \uff83\uff7d of 932) or hold a backslash
# (\u8868 in 932).
LETTERS = {"cp1252": "\xe9\xe3", "cp932": "\xe9\xc1\uff83\uff7d\u65e5\u672c\u8868",
           "gbk": "\xe9\xc1\u7cfb\u7edf\u4e2d\u8868"}


def read_as_utf8(data, double_byte, ansi_valid):
    """Whether our reader takes a file without a mark for UTF-8 (the system's takes every file
    without a mark for ANSI): valid UTF-8 beyond ASCII; in a double-byte code page, only when a
    sequence has three or four bytes or the system's conversion refuses the bytes as ANSI
    (`ansi_valid`, asked of Windows itself: other code page tables differ on some pairs)."""
    if data.startswith(b"\xef\xbb\xbf"):
        return False
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        return False
    if all(ord(c) < 0x80 for c in text):
        return False
    if not double_byte or any(ord(c) >= 0x800 for c in text):
        return True
    return not ansi_valid


def generated_profile(rng, codec):
    """A profile file drawn from the syntax: sections, keys, values, blanks and line ends of every
    kind, some of them wrong, in one of the encodings a packager's editor may save."""
    sections = ["[KELMORA]", "[kelmora]", "[ KELMORA ]", "[KELMORA", "[KELMORA]junk", "[S]", "[s]",
                "[OTHER]", "[]", " \t[KELMORA] ", "[KEL]MORA]", "[[KELMORA]]"]
    names = ["NOME_JAR", "nome_jar", " NOME_JAR ", "VERSAO_JAVA", "USAR_JAVAHOME", "K", "k2",
             "NOME_JAR\t", ";NOME_JAR", "NOME JAR", "", "[NOME_JAR", "NOME_JAR\x1a"]
    separators = ["=", " = ", "\t=\t", "", "==", "= ", "\x0b=\x0c"]
    alphabet = "ab.jar 1x$-+\t'\"=[];\x1a\x0b\x0c\u00a0\x00" + LETTERS[codec]
    endings = ["\r\n", "\n", "\r", "\n\r", "\r\r\n", "\n\n"]
    lines = []
    for _ in range(rng.randrange(1, 12)):
        kind = rng.random()
        if kind < 0.25:
            lines.append(rng.choice(sections))
        elif kind < 0.85:
            value = "".join(rng.choice(alphabet) for _ in range(rng.randrange(0, 12)))
            if rng.random() < 0.3:
                quote = rng.choice("'\"")
                value = quote + value + rng.choice([quote, "", quote + " "])
            lines.append(rng.choice(names) + rng.choice(separators) + value)
        else:
            lines.append(rng.choice([";comment", "#NOME_JAR=x", "", "   ", "\t", "=v"]))
    ending = rng.choice(endings)
    text = "".join(line + (ending if rng.random() < 0.9 else rng.choice(endings)) for line in lines)
    if rng.random() < 0.3:
        text = text.rstrip("\r\n")
    encoding = rng.choice(["ansi", "ansi", "ansi", "utf-8", "utf-8-sig", "utf-16-le", "utf-16-be"])
    if encoding == "ansi":
        return text.encode(codec, errors="replace")
    if encoding.startswith("utf-16"):
        return "\ufeff".encode(encoding) + text.encode(encoding)
    return text.encode(encoding)


class ProfileReaderAgainstTheSystem(unittest.TestCase):
    """The launcher reads config.ini with a reader of its own. Read side by side with the
    system's GetPrivateProfileStringW (Wine's here) over the bad-config corpus, the syntax cases
    and generated files, under code pages 1252, 932 and 936, the two must agree but where ours
    differs on purpose: a file past the size bound, a quoted value of exactly 2047 characters,
    and a file without a mark that ours reads as UTF-8. The system reads every such file as
    ANSI, so it is given those files as UTF-16 with a mark instead: the same text. Had ours read
    any other file as UTF-8, or one of those as ANSI, a value would differ."""

    def compare(self, locale, files):
        """Compares the two readers over `files`; returns, for each file, whether the system's
        conversion takes its bytes as ANSI."""
        double_byte = CODE_PAGES[locale] != "cp1252"
        env = dict(os.environ, LC_ALL=locale)
        ours = DRIVE_C / f"profiles-{uuid.uuid4().hex[:8]}"
        system = ours.with_name(ours.name + "-system")
        ours.mkdir()
        system.mkdir()
        for name, data in files.items():
            (ours / name).write_bytes(data)
        out = wine(PROGRAMS / "profile_compare.exe", "--ansi", windows_path(ours), env=env)
        ansi_valid = {row["file"]: row["ansiValid"] for row in map(json.loads, out.stdout.splitlines())}
        self.assertEqual(ansi_valid.keys(), files.keys(), out.stderr[-2000:])
        for name, data in files.items():
            as_utf8 = read_as_utf8(data, double_byte, ansi_valid[name])
            (system / name).write_bytes(utf16(data.decode("utf-8")) if as_utf8 else data)

        out = wine(PROGRAMS / "profile_compare.exe", windows_path(ours), windows_path(system), env=env)
        rows = [json.loads(row) for row in out.stdout.splitlines()]
        self.assertEqual(rows[-1], {"compared": 5 * len(files)}, out.stderr[-2000:])

        unexplained = []
        for row in rows[:-1]:
            if row["file"] == "quoted-2047.ini" and (row["ours"], row["system"]) == ("q" * 2047, "q" * 2046):
                continue
            if len(files[row["file"]]) > 4 << 20 and row["ours"] == "":
                continue  # past the size bound ours reads no file
            unexplained.append(row)
        self.assertEqual(unexplained, [])
        return ansi_valid

    def generated(self, codec, count):
        rng = random.Random(12)
        files = {f"generated-{i}.ini": generated_profile(rng, codec) for i in range(count)}
        # A quoted value of exactly 2047 characters: the system's reader drops its last
        # character along with the closing quote; ours keeps all 2047.
        files["quoted-2047.ini"] = b'[KELMORA]\r\nNOME_JAR="' + b"q" * 2047 + b'"\r\n'
        return files

    def test_both_readers_deliver_the_same_values_in_code_page_1252(self):
        files = self.generated("cp1252", 1500)
        files.update({f"corpus-{i}.ini": data for i, (_, data, _) in enumerate(CONFIG_CORPUS)})
        self.compare("C.UTF-8", files)

    def test_both_readers_deliver_the_same_values_in_double_byte_code_pages(self):
        for locale in ("ja_JP.UTF-8", "zh_CN.UTF-8"):
            codec = CODE_PAGES[locale]
            with self.subTest(locale):
                files = self.generated(codec, 1000)
                files.update({f"name-{i}.ini": b"[KELMORA]\r\nNOME_JAR=" + name.encode(c) + b".jar\r\n"
                              for i, (_, c, name) in enumerate(SAVED_AS_ANSI)})
                # Two-byte UTF-8 whose second byte is no character of the code page after the
                # first (932 has nothing at A0): UTF-8, as the system's conversion refuses it.
                files["two-byte-refused.ini"] = "[KELMORA]\r\nNOME_JAR=\u00e0.jar\r\n".encode("utf-8")
                ansi_valid = self.compare(locale, files)
                # Valid UTF-8 of two-byte sequences alone that the code page reads too: ANSI
                # to both readers. The generator must make such files, or nothing here would
                # tell this rule from the one of a single-byte code page.
                two_byte_ansi = [n for n, d in files.items()
                                 if read_as_utf8(d, False, True) and not read_as_utf8(d, True, ansi_valid[n])]
                self.assertGreaterEqual(len(two_byte_ansi), 5)


# Names that Notepad saves as "ANSI" on Chinese, Korean and Japanese Windows in bytes that are,
# on their own, valid UTF-8 too: (locale, code page, name).
SAVED_AS_ANSI = [
    ("zh_CN.UTF-8", "gbk", "\u7cfb\u7edf"),    # CF B5 CD B3
    ("ko_KR.UTF-8", "cp949", "\uce74\ud0c0"),  # C4 AB C5 B8
    ("ja_JP.UTF-8", "cp932", "\uff83\uff7d"),  # C3 BD
    ("zh_TW.UTF-8", "cp950", "\u7c21\u79ae"),    # C2 B2 C2 A7
]


class DoubleByteCodePages(unittest.TestCase):
    def test_a_name_reaches_the_command_line_whole_however_notepad_saved_it(self):
        app = AppFolder()
        app.install_runtime()
        cases = [(locale, codec, name, codec) for locale, codec, name in SAVED_AS_ANSI]
        cases += [("zh_CN.UTF-8", "gbk", "\u7cfb\u7edf", encoding) for encoding in ("utf-8", "utf-8-sig")]
        for locale, codec, name, encoding in cases:
            with self.subTest(locale=locale, encoding=encoding):
                app.write_config(f"[KELMORA]\nNOME_JAR={name}.jar\n", encoding=encoding)
                result = run_launcher(app.exe, app.path, extra_env={"LC_ALL": locale})
                self.assertEqual(result.returncode, 0)
                expected = line(app.windows, f"{name}.jar")
                self.assertEqual(result.record["commandLine"], expected)
                self.assertEqual(bytes.fromhex(result.record["commandLineAnsiHex"]), expected.encode(codec))


class FolderCases(unittest.TestCase):
    """Helpers for cases that each need an application folder of their own."""

    def complete_app(self, name, parent=DRIVE_C, length=None):
        """A complete folder named `name`, or of `length` characters in all below `parent`."""
        if length is not None:
            name = "z" * (length - len(windows_path(parent)) - 1)
        app = AppFolder(name, parent=parent)
        app.write_config("[KELMORA]\nNOME_JAR=a.jar\n")
        app.install_runtime()
        return app

    def launched_line(self, app):
        result = run_launcher(app.exe, app.path)
        self.assertEqual(result.returncode, 0)
        return result.record["commandLine"]

    def reported_line(self, app):
        """Expects a failed start: the error box, the command-line dialog, exit code 0, no child.
        Returns the command line the dialog shows."""
        code, seen, records = run_with_dialogs(app.exe, app.path, ["Erro=ok", "Kelmora=ok"])
        self.assertEqual(records, [], "no child may start")
        box, dialog = seen
        self.assertEqual(code, 0)
        self.assertTrue(box["closed"] and dialog["closed"])
        self.assertEqual(text_of(box, "Static")[-1], "Erro 2 ao executar o aplicativo.")
        return text_of(dialog, "Static")


class PathExtremes(FolderCases):
    def test_letters_of_the_code_page_survive_in_the_folder_name(self):
        # Byte for byte the command line of a folder the code page holds: no short name.
        for locale, codec, name in [("C.UTF-8", "cp1252", "Gest\u00e3o"), ("ja_JP.UTF-8", "cp932", "\u65e5\u672c")]:
            with self.subTest(locale):
                app = self.complete_app(f"{name}-{uuid.uuid4().hex[:6]}")
                result = run_launcher(app.exe, app.path, extra_env={"LC_ALL": locale})
                self.assertEqual(result.returncode, 0)
                self.assertEqual(bytes.fromhex(result.record["commandLineAnsiHex"]),
                                 line(app.windows, "a.jar").encode(codec))

    def test_the_deepest_folder_whose_runtime_path_fits_launches(self):
        app = self.complete_app(None, parent=DRIVE_C / ("L" + "x" * 100) / ("y" * 100), length=230)
        self.assertEqual(self.launched_line(app), line(app.windows, "a.jar"))

    def test_a_runtime_path_past_max_path_is_reported_whole(self):
        # The folder fits (245 characters) but java\bin\javaw.exe below it does not: the start
        # fails, and the command line shown is the whole one, not cut at 260.
        app = self.complete_app(None, parent=DRIVE_C / ("L" + "x" * 100) / ("y" * 100), length=245)
        self.assertEqual(len(app.windows), 245)
        self.assertEqual(self.reported_line(app), [line(app.windows, "a.jar")])

    def test_a_folder_longer_than_260_characters(self):
        # No process can stand in such a folder: Wine starts the launcher in C:\windows instead,
        # and the launcher reports the start it could not make from there, then ends with 0.
        deep = DRIVE_C
        for i in range(6):
            deep = deep / (f"d{i}-" + "x" * 45)
        app = self.complete_app("LongApp", parent=deep)
        self.assertGreater(len(app.windows), 260)
        self.assertEqual(self.reported_line(app), [line("C:\\windows", "")])


class LookAlikeCharacters(FolderCases):
    """A character the ANSI code page lacks must not turn into a look-alike that names another
    folder: each case plants a complete decoy where the look-alike would lead."""

    def assert_started_from(self, app, locale=None):
        """The launch started the runtime of `app` itself, by whatever name, not a decoy's."""
        result = run_launcher(app.exe, app.path, extra_env={"LC_ALL": locale} if locale else None)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.record["module"], f"{app.windows}{RUNTIME}")

    def test_a_folder_name_never_leads_to_its_look_alike(self):
        tag = uuid.uuid4().hex[:6]
        self.complete_app(f"App-{tag}")  # decoy: what U+0100 best-fits to in code page 1252
        self.assert_started_from(self.complete_app(f"\u0100pp-{tag}"))

    def test_a_registered_java_home_never_leads_to_its_look_alike(self):
        # A JavaHome that does not exist has no short name either: its '?' stands, and the
        # failed start is reported.
        version = f"la{uuid.uuid4().hex[:6]}"
        runtime_at(f"Java-{version}")  # decoy
        home = windows_path(DRIVE_C / f"J\u0101va-{version}")
        register(version, 64, data=home)
        app = AppFolder()
        app.write_config(f"[KELMORA]\nVERSAO_JAVA={version}\nUSAR_JAVAHOME=1\nNOME_JAR=a.jar\n")
        home = home.replace("\u0101", "?")
        shown = f'{home}\\bin\\Javaw.exe -jar -Xmx768m "{app.windows}\\a.jar"'
        self.assertEqual(self.reported_line(app), [shown])

    def test_the_yen_sign_is_no_backslash_in_code_page_932(self):
        # Code page 932 best-fits U+00A5 to 0x5C, the backslash: "Y\u00a5pp" would become the
        # folder pp inside the folder Y.
        tag = uuid.uuid4().hex[:6]
        self.complete_app(f"pp-{tag}", parent=DRIVE_C / f"Y{tag}")  # decoy
        self.assert_started_from(self.complete_app(f"Y{tag}\u00a5pp-{tag}"), locale="ja_JP.UTF-8")

    def test_a_utf8_code_page_keeps_every_letter(self):
        # Where the ANSI code page is UTF-8 (Wine takes it from a locale without a code page of
        # its own), every character has its exact bytes and the launch goes ahead.
        app = self.complete_app(f"\u0100pp-\u4e2d-{uuid.uuid4().hex[:6]}")
        result = run_launcher(app.exe, app.path, extra_env={"LC_ALL": "hi_IN.UTF-8"})
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.record["commandLine"], line(app.windows, "a.jar"))
        self.assertEqual(bytes.fromhex(result.record["commandLineAnsiHex"]),
                         line(app.windows, "a.jar").encode("utf-8"))


# A letter each code page lacks, so that a name holding it has no ANSI form of its own.
FOREIGN = {"cp1252": "\u0141\u00f3d\u017a", "cp932": "Caf\u00e9"}


class ShortNames(unittest.TestCase):
    """Names the ANSI code page cannot hold reach the command line as their short names (Wine
    makes one for every such name): the runtime starts, and the archive path opens."""

    def test_each_piece_gets_its_short_name_and_names_the_real_files(self):
        for locale, codec in [("C.UTF-8", "cp1252"), ("ja_JP.UTF-8", "cp932")]:
            foreign, tag = FOREIGN[codec], uuid.uuid4().hex[:6]
            # (what, folder below C:\, archive name, JavaHome folder below C:\ or None)
            cases = [
                ("the folder", f"{foreign}-{tag}", "a.jar", None),
                # Names the code page holds keep their blank, so the runtime path is quoted.
                ("a name in the middle", f"Tools {tag}\\{foreign} App\\inner", "a.jar", None),
                ("the archive name", f"App-{tag}", f"lib\\{foreign}.jar", None),
                # A character beyond the BMP (a surrogate pair in UTF-16), which no ANSI code
                # page but UTF-8 holds.
                ("an archive name beyond the BMP", f"App-{tag}-e", f"{tag}-\U00020BB7.jar", None),
                # A forward slash separates names too, and stays as written.
                ("an archive in a sub-folder", f"App-{tag}-s", f"{foreign}/{foreign}.jar", None),
                ("a registered runtime", f"App-{tag}-r", "a.jar", f"J{foreign}-{tag}"),
            ]
            if codec == "cp932":
                # Unmarked UTF-8 of two-byte sequences that 932 cannot read (it has nothing at
                # C3 A0): UTF-8, so the archive is found by its short name.
                cases.append(("an unmarked name the code page refuses", f"App-{tag}-u", "\u00e0.jar", None))
            for what, folder, jar, home in cases:
                with self.subTest(locale=locale, case=what):
                    app = AppFolder(folder.replace("\\", "/"))
                    app.install_runtime()
                    (app.path / jar.replace("\\", "/")).parent.mkdir(parents=True, exist_ok=True)
                    (app.path / jar.replace("\\", "/")).write_bytes(b"PK")
                    runtime = f"{app.windows}{RUNTIME}"
                    settings = f"[KELMORA]\nNOME_JAR={jar}\n"
                    if home:
                        version = f"sn{uuid.uuid4().hex[:6]}"
                        runtime = runtime_at(home) + "\\bin\\Javaw.exe"
                        register(version, 64, data=windows_path(DRIVE_C / home))
                        settings += f"VERSAO_JAVA={version}\nUSAR_JAVAHOME=1\n"
                    # UTF-8: the archive name holds letters the code page lacks.
                    app.write_config(settings, encoding="utf-8" if "unmarked" in what else "utf-8-sig")
                    result = run_launcher(app.exe, app.path, extra_env={"LC_ALL": locale})
                    self.assertEqual(result.returncode, 0)
                    record = result.record
                    ansi = bytes.fromhex(record["commandLineAnsiHex"])
                    self.assertNotIn(b"?", ansi)
                    self.assertEqual(ansi.decode(codec), record["commandLine"])
                    self.assertEqual(record["module"], runtime)
                    self.assertTrue(record["archiveOpens"], record)
                    self.assertEqual(record["archiveLong"], f"{app.windows}\\{jar}")
                    self.assertEqual(record["directoryLong"], app.windows)
                    if what == "a name in the middle":
                        self.assertTrue(record["commandLine"].startswith(f'"C:\\Tools {tag}\\'), record)


class NoWritesAndLoad(unittest.TestCase):
    def test_a_hundred_launches_leave_the_folder_and_the_registry_as_they_were(self):
        version = f"nw{uuid.uuid4().hex[:6]}"
        register(version, 64, data=runtime_at(f"jre-{version}"))
        shipped = AppFolder()
        shipped.install_runtime()
        shipped.write_config("[KELMORA]\nUSAR_JAVAHOME=0\nNOME_JAR=app.jar\n")
        registered = AppFolder()
        registered.write_config(f"[KELMORA]\nVERSAO_JAVA={version}\nUSAR_JAVAHOME=1\nNOME_JAR=app.jar\n")
        folders = {app.path: snapshot(app.path) for app in (shipped, registered)}
        hklm, hkcu = export("HKLM\\Software"), export("HKCU\\Software")

        for i in range(100):
            app = shipped if i % 2 == 0 else registered
            result = run_launcher(app.exe, app.path)
            self.assertEqual((result.returncode, len(result.records)), (0, 1), f"launch {i}")

        for path, before in folders.items():
            self.assertEqual(snapshot(path), before)
        self.assertEqual(export("HKLM\\Software"), hklm)
        self.assertEqual(export("HKCU\\Software"), hkcu)

    def test_two_hundred_launches_in_a_row(self):
        app = AppFolder()
        app.install_runtime()
        app.write_config("[KELMORA]\nNOME_JAR=app.jar\n")
        expected = line(app.windows, "app.jar")
        for i in range(200):
            result = run_launcher(app.exe, app.path)
            self.assertEqual(result.returncode, 0, f"launch {i}")
            self.assertEqual(result.record["commandLine"], expected, f"launch {i}")

    def test_sixteen_launches_at_once(self):
        app = AppFolder()
        app.install_runtime()
        app.write_config("[KELMORA]\nNOME_JAR=app.jar\n")
        # Every child is held until all sixteen have started, so all sixteen launchers are
        # waiting at the same time.
        held = HeldChild()
        launches = []
        try:
            for _ in range(16):
                record = RECORDS / f"{uuid.uuid4().hex}.jsonl"
                env = dict(os.environ, STANDIN_RECORD=windows_path(record), **held.env)
                launches.append((record, subprocess.Popen(
                    ["wine", str(app.exe)], cwd=app.path, env=env, stdin=subprocess.DEVNULL,
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)))
            held.wait_started(16)
            self.assertEqual([launcher.poll() for _, launcher in launches], [None] * 16,
                             "all sixteen wait at once")
        finally:
            held.release()
        for record, launcher in launches:
            self.assertEqual(launcher.wait(timeout=120), 0)
            lines = record.read_text().splitlines()
            self.assertEqual(len(lines), 1)
            self.assertEqual(json.loads(lines[0])["commandLine"], line(app.windows, "app.jar"))


if __name__ == "__main__":
    unittest.main()
