"""What a packager takes: the release archive and its checksums (the same from any folder), an
Authenticode signature, and the sample installer, whose Start-menu shortcut starts the launcher
in the install folder."""
import hashlib
import json
import os
import shutil
import stat
import struct
import subprocess
import tempfile
import time
import unittest
import uuid
import zlib
from pathlib import Path

from kelmora_e2e import (DRIVE_C, KELMORA_EXE, PROGRAMS, RECORDS, STANDIN, AppFolder, run_launcher,
                         wine, windows_path)
from test_identity import RT_GROUP_ICON, RT_ICON, load, resources

SOURCE = Path(os.environ["PROJECT_SOURCE_DIR"])


def copy_of_the_source(target):
    """The files git knows (tracked, or new and not ignored) as they stand, at another path."""
    listed = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=SOURCE,
                            check=True, capture_output=True).stdout.decode().split("\0")
    for name in filter(None, listed):
        if (SOURCE / name).is_file():
            (target / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(SOURCE / name, target / name)


def release(folder, icon=None, locale="C.UTF-8", cwd=None):
    """Runs the release script of `folder`, from `cwd` (the folder itself by default), where a
    relative `icon` is named from."""
    env = dict(os.environ, LC_ALL=locale)
    env.pop("KELMORA_ICON", None)
    if icon:
        env["KELMORA_ICON"] = str(icon)
    return subprocess.run(["bash", str(folder / "scripts" / "release.sh")], cwd=cwd or folder,
                          capture_output=True, text=True, env=env)


class Release(unittest.TestCase):
    def test_two_folders_give_the_same_checksums_and_the_tested_executable(self):
        sums = []
        with tempfile.TemporaryDirectory() as first, tempfile.TemporaryDirectory() as second:
            for folder in (Path(first) / "kelmora", Path(second) / "deeper" / "other-name"):
                copy_of_the_source(folder)
                built = release(folder, locale="ja_JP.UTF-8")
                self.assertEqual(built.returncode, 0, built.stderr)
                sums.append((folder / "dist" / "SHA256SUMS").read_text())
                subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=folder / "dist", check=True,
                               capture_output=True)
                self.assertEqual((folder / "dist" / "KELMORA.exe").read_bytes(), KELMORA_EXE.read_bytes())
        self.assertEqual(sums[0], sums[1])
        self.assertEqual(sorted(line.split()[1] for line in sums[0].splitlines()),
                         ["KELMORA-1.0.0.0-win32.zip", "KELMORA.exe"])


def png_image(size, rgba):
    raw = b"".join(b"\0" + bytes(rgba) * size for _ in range(size))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bitmap_image(size, bgra):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + bytes(bgra) * (size * size) + b"\0" * (((size + 31) // 32) * 4 * size)


def icon_file(images):
    """An .ico file of (size, image bytes) pairs, the images after the directory in order."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return directory + b"".join(image for _, image in images)


# Three kinds an icon holds: small and large bitmaps, and a PNG-compressed 256 x 256 image.
ICON_IMAGES = [(16, bitmap_image(16, (40, 120, 200, 255))), (32, bitmap_image(32, (40, 120, 200, 255))),
               (256, png_image(256, (200, 40, 40, 255)))]


class Icon(unittest.TestCase):
    """A packager's own icon: KELMORA_ICON=app.ico scripts/release.sh."""

    def test_the_icon_given_is_the_one_windows_finds_and_the_rest_is_unchanged(self):
        exes = []
        with tempfile.TemporaryDirectory() as first, tempfile.TemporaryDirectory() as second:
            # Two folders, two places for the same icon, two locales: the same bytes. The second
            # names the icon relative to the folder the script is started from, not its own.
            for folder, locale, relative in ((Path(first) / "kelmora", "ja_JP.UTF-8", False),
                                             (Path(second) / "x" / "y", "C.UTF-8", True)):
                copy_of_the_source(folder)
                (folder.parent / "art").mkdir()
                (folder.parent / "art" / "my icon.ico").write_bytes(icon_file(ICON_IMAGES))
                icon = Path("art") / "my icon.ico" if relative else folder.parent / "art" / "my icon.ico"
                built = release(folder, icon, locale, cwd=folder.parent if relative else None)
                self.assertEqual(built.returncode, 0, built.stderr)
                exes.append((folder / "dist" / "KELMORA.exe").read_bytes())
                sums = (folder / "dist" / "SHA256SUMS").read_text()
            exe = DRIVE_C / f"icon-{uuid.uuid4().hex[:8]}.exe"
            exe.write_bytes(exes[0])
        self.assertEqual(exes[0], exes[1])
        self.assertIn(hashlib.sha256(exes[0]).hexdigest(), sums)

        found = resources(load(exe))
        groups = found.pop(RT_GROUP_ICON)
        icons = {name: data for name, _, data in found.pop(RT_ICON)}
        # Every other resource, the version record and the manifest among them, as without an icon.
        self.assertEqual(found, resources(load(KELMORA_EXE)))
        self.assertEqual([name for name, _, _ in groups], [1])
        group = groups[0][2]
        self.assertEqual(struct.unpack_from("<HHH", group), (0, 1, len(ICON_IMAGES)))
        for number, (size, image) in enumerate(ICON_IMAGES):
            width, height, _, _, _, _, length, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * number)
            self.assertEqual((width, height, length), (size % 256, size % 256, len(image)))
            self.assertEqual(icons[icon_id], image, f"image {number + 1} byte for byte")

        # The shell's own extraction finds it, and the 32 x 32 bitmap is the large icon.
        shown = dict(line.split("=", 1) for line in
                     wine(PROGRAMS / "version_reader.exe", "--icons", windows_path(exe)).stdout.split())
        self.assertEqual(shown, {"IconGroups": "1", "LargeIcon": "32x32", "Centre": "c87828"})
        none = wine(PROGRAMS / "version_reader.exe", "--icons", windows_path(KELMORA_EXE)).stdout.split()
        self.assertEqual(none, ["IconGroups=0"])

    def test_a_bad_icon_file_is_refused_and_the_release_in_dist_kept(self):
        good = icon_file(ICON_IMAGES[:1])
        cases = [
            ("not an icon file", b"BM" + bytes(60), "is not an icon file"),
            ("a cursor file", b"\0\0\2\0" + good[4:], "is not an icon file"),
            ("truncated", good[:20], "is truncated"),
            ("an image past the end", good[:-1], "image 1 of 1 points outside"),
            ("no images", b"\0\0\1\0\0\0", "holds no images"),
            ("an image that is no image", good[:22] + b"\0" * (len(good) - 22), "image 1 of 1 is neither a bitmap nor a PNG"),
            ("a folder", None, "cannot be read"),
            ("no such file", "missing", "cannot be read"),
        ]
        with tempfile.TemporaryDirectory() as work:
            folder = Path(work) / "kelmora"
            copy_of_the_source(folder)
            (folder / "dist").mkdir()
            (folder / "dist" / "KELMORA.exe").write_bytes(b"the release before")
            for name, data, reason in cases:
                with self.subTest(name):
                    icon = Path(work) / f"{name}.ico"
                    if data is None:
                        icon.mkdir()
                    elif isinstance(data, bytes):
                        icon.write_bytes(data)
                    refused = release(folder, icon)
                    self.assertNotEqual(refused.returncode, 0)
                    self.assertIn(f"icon {icon}: {reason}", refused.stderr)
                    # A plain build checks the icon as well, when it is configured.
                    configured = subprocess.run(["cmake", "--preset", "mingw", f"-DKELMORA_ICON={icon}"],
                                                cwd=folder, capture_output=True, text=True)
                    self.assertNotEqual(configured.returncode, 0)
                    # CMake wraps and indents its messages.
                    self.assertIn(f"KELMORA_ICON: icon {icon}: {reason}", " ".join(configured.stderr.split()))
                    self.assertEqual(sorted(p.name for p in (folder / "dist").iterdir()), ["KELMORA.exe"])
                    self.assertEqual((folder / "dist" / "KELMORA.exe").read_bytes(), b"the release before")


def what_a_reader_sees(path):
    """Every resource (the version record and the manifest among them) and the imports."""
    image = load(path)
    imports = sorted((d.dll, tuple(i.name for i in d.imports)) for d in image.DIRECTORY_ENTRY_IMPORT)
    return resources(image), imports


class Signing(unittest.TestCase):
    PASSWORD = "pass word-" + uuid.uuid4().hex

    @classmethod
    def setUpClass(cls):
        cls.work = Path(tempfile.mkdtemp())
        w = cls.work

        def openssl(*args, env=None):
            subprocess.run(["openssl", *args], cwd=w, check=True, capture_output=True, env=env)

        env = dict(os.environ, SIGN_PASSWORD=cls.PASSWORD)
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.crt",
                "-days", "2", "-subj", "/CN=KELMORA test CA", "-addext", "basicConstraints=critical,CA:TRUE",
                "-addext", "keyUsage=critical,keyCertSign")
        for name, usage in (("signer", "codeSigning"), ("server", "serverAuth")):
            openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key", "-out", f"{name}.csr",
                    "-subj", f"/CN=KELMORA test {name}")
            (w / f"{name}.ext").write_text(f"extendedKeyUsage={usage}\nkeyUsage=digitalSignature\n")
            openssl("x509", "-req", "-in", f"{name}.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                    "-CAcreateserial", "-out", f"{name}.crt", "-days", "2", "-extfile", f"{name}.ext")
            openssl("pkcs12", "-export", "-inkey", f"{name}.key", "-in", f"{name}.crt", "-certfile", "ca.crt",
                    "-out", f"{name}.p12", "-passout", "env:SIGN_PASSWORD", env=env)

        # Every program the script starts is logged with its arguments on the way.
        cls.log = w / "arguments.log"
        cls.bin = w / "bin"
        cls.bin.mkdir()
        for tool in ("osslsigncode", "openssl"):
            wrapper = cls.bin / tool
            wrapper.write_text(f'#!/bin/sh\nprintf "%s\\n" "{tool} $*" >>"{cls.log}"\n'
                               f'exec {shutil.which(tool)} "$@"\n')
            wrapper.chmod(wrapper.stat().st_mode | stat.S_IEXEC)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def sign(self, file, p12, password):
        env = dict(os.environ, PATH=f"{self.bin}:{os.environ['PATH']}", SIGN_PASSWORD=password)
        return subprocess.run(["bash", str(SOURCE / "scripts" / "sign.sh"), str(file), str(p12)],
                              capture_output=True, text=True, env=env)

    def test_a_signed_launcher_verifies_reads_the_same_and_still_runs(self):
        app = AppFolder()
        app.install_runtime()
        app.write_config("[KELMORA]\nNOME_JAR=app.jar\n")
        before = what_a_reader_sees(app.exe)
        signed = self.sign(app.exe, self.work / "signer.p12", self.PASSWORD)
        self.assertEqual(signed.returncode, 0, signed.stderr)

        verified = subprocess.run(["osslsigncode", "verify", "-CAfile", str(self.work / "ca.crt"),
                                   "-in", str(app.exe)], capture_output=True, text=True)
        self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)
        self.assertIn("Succeeded", verified.stdout)
        self.assertEqual(what_a_reader_sees(app.exe), before)
        self.assertGreater(load(app.exe).OPTIONAL_HEADER.DATA_DIRECTORY[4].Size, 0, "a certificate table")

        result = run_launcher(app.exe, app.path)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.record["commandLine"],
                         f'{app.windows}\\java\\bin\\javaw.exe -jar -Xmx768m "{app.windows}\\app.jar"')

        logged = self.log.read_text()
        self.assertIn("osslsigncode sign", logged)
        self.assertNotIn(self.PASSWORD, logged)

    def test_refusals_say_why_and_leave_the_file_alone(self):
        exe = self.work / "refused.exe"
        shutil.copyfile(KELMORA_EXE, exe)
        for name, file, p12, password, reason in (
                ("missing file", self.work / "none.exe", "signer.p12", self.PASSWORD, "no such file"),
                ("wrong password", exe, "signer.p12", "wrong", "wrong password"),
                ("not for code signing", exe, "server.p12", self.PASSWORD, "not for code signing")):
            with self.subTest(name):
                refused = self.sign(file, self.work / p12, password)
                self.assertNotEqual(refused.returncode, 0)
                self.assertIn(reason, refused.stderr)
                self.assertEqual(exe.read_bytes(), KELMORA_EXE.read_bytes())


def wine_quietly(*args):
    subprocess.run(["wine", *map(str, args)], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=300, check=True)


def wait_for(condition, seconds=60):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.5)
    return True


class Installer(unittest.TestCase):
    APP = "Kelmora Demo"

    def test_install_start_from_the_shortcut_and_uninstall(self):
        self.install_start_and_uninstall()

    def test_with_an_icon_the_setup_and_the_shortcut_show_it(self):
        work = Path(tempfile.mkdtemp())
        self.addCleanup(shutil.rmtree, work, ignore_errors=True)
        (work / "app.ico").write_bytes(icon_file(ICON_IMAGES))
        # Without KELMORA_EXE, the installer builds a launcher that carries the icon.
        self.install_start_and_uninstall({"KELMORA_ICON": str(work / "app.ico")})

    def install_start_and_uninstall(self, icon_env=None):
        work = Path(tempfile.mkdtemp())
        self.addCleanup(shutil.rmtree, work, ignore_errors=True)
        (work / "runtime" / "bin").mkdir(parents=True)
        shutil.copyfile(STANDIN, work / "runtime" / "bin" / "javaw.exe")
        setup = DRIVE_C / f"setup-{uuid.uuid4().hex[:8]}.exe"
        env = dict(os.environ, JAVA_RUNTIME=str(work / "runtime"), KELMORA_EXE=str(KELMORA_EXE))
        if icon_env:
            del env["KELMORA_EXE"]
            env.update(icon_env)
        subprocess.run(["bash", str(SOURCE / "examples" / "installer" / "build.sh"), str(setup)],
                       check=True, capture_output=True, env=env)

        wine_quietly(setup, "/S")
        folder = DRIVE_C / "Program Files (x86)" / self.APP
        menu = DRIVE_C / "ProgramData" / "Microsoft" / "Windows" / "Start Menu" / "Programs" / self.APP
        shortcut = menu / f"{self.APP}.lnk"
        installed = {p.relative_to(folder).as_posix() for p in folder.rglob("*")}
        self.assertEqual(installed, {"KELMORA.exe", "config.ini", "app.jar", "Uninstall.exe", "java",
                                     "java/bin", "java/bin/javaw.exe"})

        # The shortcut as a real reader of .lnk files sees it.
        info = subprocess.run(["lnkinfo", str(shortcut)], check=True, capture_output=True, text=True).stdout
        fields = {k.strip(): v.strip() for k, _, v in (line.partition(":") for line in info.splitlines()) if v}
        install_dir = windows_path(folder)
        self.assertEqual(fields["Working directory"], install_dir)
        self.assertEqual(fields["Local path"], f"{install_dir}\\KELMORA.exe")
        if icon_env:
            self.assertEqual(fields["Icon location"], f"{install_dir}\\KELMORA.exe")
            for program in (folder / "KELMORA.exe", setup):
                shown = wine(PROGRAMS / "version_reader.exe", "--icons", windows_path(program)).stdout
                self.assertIn("IconGroups=1", shown.split(), program)

        # Started through the shortcut (Wine starts it in the folder the shortcut records); the
        # shell hands it on, so the record is waited for.
        RECORDS.mkdir(parents=True, exist_ok=True)
        record = RECORDS / f"{uuid.uuid4().hex}.jsonl"
        subprocess.run(["wine", "start", "/wait", windows_path(shortcut)], timeout=120,
                       env=dict(os.environ, STANDIN_RECORD=windows_path(record)),
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertTrue(wait_for(lambda: record.exists() and record.read_text().endswith("\n")),
                        "the shortcut started no runtime")
        started = json.loads(record.read_text().splitlines()[0])
        self.assertEqual(started["currentDirectory"], install_dir)
        self.assertEqual(started["commandLine"],
                         f'"{install_dir}\\java\\bin\\javaw.exe" -jar -Xmx768m "{install_dir}\\app.jar"')

        # The uninstaller copies itself away and returns at once; wait for it to finish.
        wine_quietly(folder / "Uninstall.exe", "/S")
        self.assertTrue(wait_for(lambda: not folder.exists() and not menu.exists()),
                        f"left behind: {list(folder.rglob('*')) if folder.exists() else list(menu.rglob('*'))}")
        key = f"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{self.APP}"
        self.assertNotEqual(wine("reg", "query", key).returncode, 0, "the uninstall entry is left")


if __name__ == "__main__":
    unittest.main()
