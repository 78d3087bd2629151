"""What a packager takes: the release archive and its checksums (the same from any folder), an
Authenticode signature, and the sample installer, whose Start-menu shortcut starts the launcher
in the install folder."""
import contextlib
import hashlib
import http.server
import json
import os
import shutil
import stat
import struct
import subprocess
import tempfile
import threading
import time
import unittest
import uuid
import xml.etree.ElementTree as ET
import zipfile
import zlib
from pathlib import Path

from kelmora_e2e import (DRIVE_C, KELMORA_EXE, PROGRAMS, RECORDS, STANDIN, AppFolder, run_launcher,
                         wine, windows_path)
from test_identity import ASM_V1, RT_GROUP_ICON, RT_ICON, RT_MANIFEST, load, resources

SOURCE = Path(os.environ["PROJECT_SOURCE_DIR"])


def copy_of_the_source(target):
    """The files git knows (tracked, or new and not ignored) as they stand, at another path."""
    listed = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=SOURCE,
                            check=True, capture_output=True).stdout.decode().split("\0")
    for name in filter(None, listed):
        if (SOURCE / name).is_file():
            (target / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(SOURCE / name, target / name)


def release(folder, icon=None, locale="C.UTF-8", cwd=None, env=None):
    """Runs the release script of `folder`, from `cwd` (the folder itself by default), where a
    relative `icon` is named from; `env` adds to the environment, without the caller's own
    release and signing settings."""
    full = {k: v for k, v in os.environ.items()
            if not k.startswith(("KELMORA_ICON", "SIGN_", "SOURCE_DATE_EPOCH"))}
    full.update(env or {}, LC_ALL=locale)
    if icon:
        full["KELMORA_ICON"] = str(icon)
    return subprocess.run(["bash", str(folder / "scripts" / "release.sh")], cwd=cwd or folder,
                          capture_output=True, text=True, env=full)


class Refusals:
    """What every refusal must leave: a release made before, in dist/, as it was."""

    @contextlib.contextmanager
    def source_with_a_release_in_dist(self):
        with tempfile.TemporaryDirectory() as work:
            folder = Path(work) / "kelmora"
            copy_of_the_source(folder)
            (folder / "dist").mkdir()
            (folder / "dist" / "KELMORA.exe").write_bytes(b"the release before")
            yield folder

    def assert_release_kept(self, folder):
        self.assertEqual(sorted(p.name for p in (folder / "dist").iterdir()), ["KELMORA.exe"])
        self.assertEqual((folder / "dist" / "KELMORA.exe").read_bytes(), b"the release before")


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


def version_strings(path):
    """The version record's strings, in order, as pefile reads them."""
    for info in load(path).FileInfo[0]:
        if info.Key == b"StringFileInfo":
            return [(key.decode(), value.decode()) for key, value in info.StringTable[0].entries.items()]
    return []


def as_pefile_shows(text):
    """pefile writes each half of a UTF-16 surrogate pair as a \\uXXXX escape."""
    return "".join(c if ord(c) < 0x10000 else "".join(f"\\u{u:04x}" for u in struct.unpack(
        "<2H", c.encode("utf-16-le"))) for c in text)


class Identity(Refusals, unittest.TestCase):
    """A packager's own names and version: KELMORA_PRODUCT_NAME=... scripts/release.sh."""

    def test_every_value_reaches_the_file_whole_and_runs_nothing(self):
        with tempfile.TemporaryDirectory() as work:
            canary = Path(work) / "ran"
            given = {
                "KELMORA_PRODUCT_NAME": f'Gestão Fácil; Café & Cia "Ltda" $(touch {canary}) `touch {canary}` '
                                        "\\n <&> 日本 😀",
                "KELMORA_DESCRIPTION": "Gestão — descrição ‘x’ %PATH% ${HOME} \\",
                "KELMORA_VERSION": "2.5.1",
                "KELMORA_COMPANY": f'Café & Cia "Ltda" $(touch {canary})',
                "KELMORA_COPYRIGHT": "© 2026 Café & Cia — 版权所有",
                "KELMORA_EXE_NAME": "Gestão Fácil $x & 'y'",
            }
            exe, archive = "Gestão Fácil $x & 'y'.exe", "Gestão Fácil $x & 'y'-2.5.1.0-win32.zip"
            sums = []
            for folder in (Path(work) / "one", Path(work) / "two" / "other"):
                copy_of_the_source(folder)
                built = release(folder, env=given)
                self.assertEqual(built.returncode, 0, built.stderr)
                dist = folder / "dist"
                self.assertEqual(sorted(p.name for p in dist.iterdir()), sorted([exe, archive, "SHA256SUMS"]))
                subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=dist, check=True, capture_output=True)
                sums.append((dist / "SHA256SUMS").read_text())
            self.assertEqual(sums[0], sums[1], "the same identity, the same bytes")
            self.assertFalse(canary.exists(), "a value was run by a shell")
            with zipfile.ZipFile(dist / archive) as zipped:
                self.assertEqual(zipped.namelist(), [exe, "config.ini", "PACKAGING.txt"])
                self.assertEqual(zipped.read(exe), (dist / exe).read_bytes())
            installed = DRIVE_C / f"identity-{uuid.uuid4().hex[:8]}.exe"
            shutil.copyfile(dist / exe, installed)

        product = given["KELMORA_PRODUCT_NAME"]
        strings = version_strings(installed)
        program_id = dict(strings).pop("ProgramID")
        self.assertRegex(program_id, r"^com\.kelmora\.GestaoFacilCafeCiaLtdatouch[A-Za-z0-9]+$")
        expected = [("CompanyName", given["KELMORA_COMPANY"]), ("FileDescription", given["KELMORA_DESCRIPTION"]),
                    ("FileVersion", "2.5.1.0"), ("LegalCopyright", given["KELMORA_COPYRIGHT"]),
                    ("OriginalFilename", exe), ("ProductName", product), ("ProductVersion", "2.5.1.0"),
                    ("ProgramID", program_id)]
        self.assertEqual(strings, [(key, as_pefile_shows(value)) for key, value in expected])
        fixed = load(installed).VS_FIXEDFILEINFO[0]
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS,
                          fixed.ProductVersionLS), (0x20005, 0x10000, 0x20005, 0x10000))
        manifest = ET.fromstring(dict((n, d) for n, _, d in resources(load(installed))[RT_MANIFEST])[1])
        own = manifest.find(f"{ASM_V1}assemblyIdentity").attrib
        self.assertEqual((own["name"], own["version"]), (program_id, "2.5.1.0"))
        self.assertEqual(manifest.find(f"{ASM_V1}description").text, product)

        # As Explorer reads it, and the launcher still starts its runtime.
        shown = wine(PROGRAMS / "version_reader.exe", windows_path(installed)).stdout.splitlines()
        self.assertEqual(shown, ["Fixed.FileVersion=2.5.1.0", "Fixed.ProductVersion=2.5.1.0"]
                         + [f"{key}={value}" for key, value in expected])
        app = AppFolder()
        app.install_runtime()
        app.write_config("[KELMORA]\nNOME_JAR=app.jar\n")
        shutil.copyfile(installed, app.exe)
        result = run_launcher(app.exe, app.path)
        self.assertEqual((result.returncode, result.record["commandLine"]),
                         (0, f'{app.windows}\\java\\bin\\javaw.exe -jar -Xmx768m "{app.windows}\\app.jar"'))

    def test_a_bad_value_is_refused_before_anything_is_built(self):
        cases = [("KELMORA_VERSION", v, "must be 1 to 4 numbers, each 0 to 65535")
                 for v in ("1.2.3.4.5", "65536", "1..2", "v1", "1.0 ", "١")]
        cases += [(name, text, reason) for name in ("KELMORA_PRODUCT_NAME", "KELMORA_COPYRIGHT") for text, reason in (
            ("Gestão\nFácil", "holds a control character (U+000A)"), ("a\tb", "U+0009"), ("a\u2028b", "U+2028"),
            ("x" * 257, "is 257 characters long; at most 256"), ("Caf\udce9", "is not valid UTF-8"))]
        cases += [("KELMORA_EXE_NAME", f"a{c}b", f"holds '{c}'") for c in '\\/:*?"<>|']
        cases += [("KELMORA_EXE_NAME", name, reason) for name, reason in (
            ("app.", "ends in a dot or a blank"), ("app ", "ends in a dot or a blank"), ("a\x7fb", "control"),
            ("CON", "a name Windows keeps for a device"), ("com1.txt", "keeps for a device"),
            ("LPT9", "keeps for a device"), ("nul .tar.gz", "keeps for a device"), ("app.exe", "without .exe"),
            ("日本" * 80, "a file name at most 255"))]
        with self.source_with_a_release_in_dist() as folder:
            for name, value, reason in cases:
                with self.subTest(f"{name}={value!r}"):
                    refused = release(folder, env={name: value})
                    self.assertNotEqual(refused.returncode, 0)
                    self.assertIn(f"identity: {name}", refused.stderr)
                    self.assertIn(reason, refused.stderr)
                    self.assertFalse((folder / "build" / "release").exists(), "built")
                    self.assert_release_kept(folder)
            # A plain build refuses it too, when it is configured.
            configured = subprocess.run(["cmake", "--preset", "mingw", "-DKELMORA_VERSION=1.2.3.4.5"],
                                        cwd=folder, capture_output=True, text=True)
            self.assertNotEqual(configured.returncode, 0)
            self.assertIn("identity: KELMORA_VERSION is '1.2.3.4.5'", " ".join(configured.stderr.split()))


def png_image(size, rgba, colour_type=6):
    """A PNG image of one colour: RGBA (colour type 6), or RGB (2) when given three values."""
    raw = b"".join(b"\0" + bytes(rgba) * size for _ in range(size))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, colour_type, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bitmap_image(size, bgra, bits=32):
    """A bitmap of one colour: 32 bits a pixel, or 8 with that colour first in its palette."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, 0, 0)
    mask = b"\0" * (((size + 31) // 32) * 4 * size)
    if bits == 8:
        return header + bytes(bgra[:3]) + b"\0" * 1021 + b"\0" * (((size + 3) // 4) * 4 * size) + mask
    return header + bytes(bgra) * (size * size) + mask


def icon_file(images):
    """An .ico file of (size, bits, image bytes), the images after the directory in order; its
    directory says 0 planes and 0 bits, as many tools write it."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, _, image in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 0, 0, len(image), offset)
        offset += len(image)
    return directory + b"".join(image for _, _, image in images)


# The kinds an icon holds: bitmaps small and large, of 32 and 8 bits a pixel, and a
# PNG-compressed 256 x 256 image.
ICON_IMAGES = [(16, 32, bitmap_image(16, (40, 120, 200, 255))), (32, 8, bitmap_image(32, (40, 120, 200, 255), 8)),
               (32, 32, bitmap_image(32, (40, 120, 200, 255))), (256, 32, png_image(256, (200, 40, 40, 255)))]


class Icon(Refusals, unittest.TestCase):
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
        for number, (size, bits, image) in enumerate(ICON_IMAGES):
            width, height, _, _, planes, bit_count, length, icon_id = struct.unpack_from("<BBBBHHIH", group,
                                                                                        6 + 14 * number)
            # Planes and bit count as the image's own header has them, not the directory's 0.
            self.assertEqual((width, height, planes, bit_count, length), (size % 256, size % 256, 1, bits, len(image)))
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
            ("an RGB PNG image", icon_file(ICON_IMAGES[:1] + [(256, 24, png_image(256, (200, 40, 40), 2))]),
             "image 2 of 2 is a PNG image in RGB at 8 bits per channel, which Windows may not draw as an icon: "
             "save it as 8-bit RGBA"),
            ("a folder", None, "cannot be read"),
            ("no such file", "missing", "cannot be read"),
        ]
        with self.source_with_a_release_in_dist() as folder:
            for name, data, reason in cases:
                with self.subTest(name):
                    icon = folder.parent / f"{name}.ico"
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
                    self.assert_release_kept(folder)


def what_a_reader_sees(path):
    """Every resource (the version record and the manifest among them) and the imports."""
    image = load(path)
    imports = sorted((d.dll, tuple(i.name for i in d.imports)) for d in image.DIRECTORY_ENTRY_IMPORT)
    return resources(image), imports


SOFTHSM = "/usr/lib/softhsm/libsofthsm2.so"


class TimeStampAuthority(http.server.BaseHTTPRequestHandler):
    """RFC 3161 over HTTP on the loopback address: each query answered by `openssl ts -reply`."""
    config = None

    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        reply = subprocess.run(["openssl", "ts", "-reply", "-config", str(self.config), "-queryfile", "/dev/stdin",
                                "-out", "/dev/stdout"], input=query, capture_output=True, check=True).stdout
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


class Signing(Refusals, unittest.TestCase):
    """Both ways to sign: a PKCS#12 file, and a key on a PKCS#11 token (a SoftHSM2 token, set up
    as a packager's USB token is: the key made on it, never extractable)."""
    PASSWORD = "pass word-" + uuid.uuid4().hex
    PIN = "pin-" + uuid.uuid4().hex[:8]
    TOKEN_KEY = "pkcs11:token=release;object=token-signer;type=private"
    TOKEN_CERT = "pkcs11:token=release;object=token-signer;type=cert"

    @classmethod
    def setUpClass(cls):
        cls.work = Path(tempfile.mkdtemp())
        w = cls.work
        (w / "tokens").mkdir()
        (w / "softhsm2.conf").write_text(f"directories.tokendir = {w / 'tokens'}\nobjectstore.backend = file\n"
                                         "log.level = ERROR\n")
        (w / "engine.cnf").write_text(
            "openssl_conf = conf\n[conf]\nengines = engines\n[engines]\npkcs11 = pkcs11\n[pkcs11]\n"
            f"dynamic_path = {cls.engine()}\nMODULE_PATH = {SOFTHSM}\n")
        cls.token_env = {"SOFTHSM2_CONF": str(w / "softhsm2.conf")}
        tool_env = dict(os.environ, SIGN_PASSWORD=cls.PASSWORD, **cls.token_env)

        def run(*args, **env):
            subprocess.run(args, cwd=w, check=True, capture_output=True, env=dict(tool_env, **env))

        def issue(name, usage, request):
            (w / f"{name}.ext").write_text(f"extendedKeyUsage={usage}\nkeyUsage=digitalSignature\n")
            run("openssl", "x509", "-req", "-in", request, "-CA", "ca.crt", "-CAkey", "ca.key",
                "-CAcreateserial", "-out", f"{name}.crt", "-days", "2", "-extfile", f"{name}.ext")

        run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.crt",
            "-days", "2", "-subj", "/CN=KELMORA test CA", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign")
        for name, usage in (("signer", "codeSigning"), ("server", "serverAuth"), ("tsa", "critical,timeStamping")):
            run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key", "-out", f"{name}.csr",
                "-subj", f"/CN=KELMORA test {name}")
            issue(name, usage, f"{name}.csr")
            run("openssl", "pkcs12", "-export", "-inkey", f"{name}.key", "-in", f"{name}.crt", "-certfile",
                "ca.crt", "-out", f"{name}.p12", "-passout", "env:SIGN_PASSWORD")

        run("softhsm2-util", "--init-token", "--free", "--label", "release", "--pin", cls.PIN, "--so-pin", cls.PIN)
        token = ["pkcs11-tool", "--module", SOFTHSM, "--token-label", "release", "--login", "--pin", cls.PIN]
        for number, (name, usage) in enumerate((("token-signer", "codeSigning"), ("token-server", "serverAuth"))):
            run(*token, "--keypairgen", "--key-type", "rsa:2048", "--label", name, "--id", f"0{number}")
            run("openssl", "req", "-new", "-engine", "pkcs11", "-keyform", "engine", "-subj", f"/CN=KELMORA {name}",
                "-key", f"pkcs11:token=release;object={name};type=private;pin-value={cls.PIN}",
                "-out", f"{name}.csr", OPENSSL_CONF=str(w / "engine.cnf"))
            issue(name, usage, f"{name}.csr")
            run("openssl", "x509", "-in", f"{name}.crt", "-outform", "DER", "-out", f"{name}.der")
            run(*token, "--write-object", f"{name}.der", "--type", "cert", "--label", name, "--id", f"0{number}")
        # The .p12 road's key imported too, for the same bytes from either road.
        run("openssl", "pkey", "-in", "signer.key", "-outform", "DER", "-out", "signer.key.der")
        run("openssl", "x509", "-in", "signer.crt", "-outform", "DER", "-out", "signer.der")
        for kind, data in (("privkey", "signer.key.der"), ("cert", "signer.der")):
            run(*token, "--write-object", data, "--type", kind, "--label", "imported", "--id", "10")
        (w / "chain.pem").write_text((w / "signer.crt").read_text() + (w / "ca.crt").read_text())

        (w / "tsa.cnf").write_text(
            "[tsa]\ndefault_tsa = kelmora\n[kelmora]\n"
            f"serial = {w / 'tsa.serial'}\nsigner_cert = {w / 'tsa.crt'}\nsigner_key = {w / 'tsa.key'}\n"
            "signer_digest = sha256\ndefault_policy = 1.2.3.4.1\ndigests = sha256, sha384, sha512\n"
            "accuracy = secs:1\ness_cert_id_alg = sha256\n")
        (w / "tsa.serial").write_text("01\n")
        TimeStampAuthority.config = w / "tsa.cnf"
        cls.tsa = http.server.ThreadingHTTPServer(("127.0.0.1", 0), TimeStampAuthority)
        threading.Thread(target=cls.tsa.serve_forever, daemon=True).start()
        cls.tsa_url = f"http://127.0.0.1:{cls.tsa.server_address[1]}/"

        # Every program the script starts is logged with its arguments on the way.
        cls.log = w / "arguments.log"
        cls.bin = w / "bin"
        cls.bin.mkdir()
        for tool in ("osslsigncode", "openssl"):
            wrapper = cls.bin / tool
            wrapper.write_text(f'#!/bin/sh\nprintf "%s\\n" "{tool} $*" >>"{cls.log}"\n'
                               f'exec {shutil.which(tool)} "$@"\n')
            wrapper.chmod(wrapper.stat().st_mode | stat.S_IEXEC)

    @staticmethod
    def engine():
        found = subprocess.run(["openssl", "version", "-e"], capture_output=True, text=True, check=True).stdout
        return Path(found.split('"')[1]) / "pkcs11.so"

    @classmethod
    def tearDownClass(cls):
        cls.tsa.shutdown()
        shutil.rmtree(cls.work, ignore_errors=True)

    def token(self, pin=None, **settings):
        """The environment of a release signed on the token, with `settings` changed."""
        env = dict(self.token_env, PATH=f"{self.bin}:{os.environ['PATH']}", SIGN_PKCS11_MODULE=SOFTHSM,
                   SIGN_PKCS11_KEY=self.TOKEN_KEY, SIGN_PKCS11_CERT=self.TOKEN_CERT, SIGN_PIN=pin or self.PIN,
                   SIGN_CAFILE=str(self.work / "ca.crt"), no_proxy="127.0.0.1")
        env.update(settings)
        return {k: v for k, v in env.items() if v is not None}

    def verify(self, exe):
        return subprocess.run(["osslsigncode", "verify", "-CAfile", str(self.work / "ca.crt"), "-TSA-CAfile",
                               str(self.work / "ca.crt"), "-ignore-crl", "-in", str(exe)],
                              capture_output=True, text=True)

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


    def test_a_release_signed_on_the_token_verifies_with_its_time_stamp(self):
        with tempfile.TemporaryDirectory() as work:
            folder = Path(work) / "kelmora"
            copy_of_the_source(folder)
            built = release(folder, env=self.token(SIGN_TIMESTAMP_URL=self.tsa_url))
            self.assertEqual(built.returncode, 0, built.stderr)
            dist = folder / "dist"
            verified = self.verify(dist / "KELMORA.exe")
            self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)
            self.assertIn("Subject: /CN=KELMORA token-signer", verified.stdout)
            self.assertIn("Timestamp Server Signature verification: ok", verified.stdout)
            self.assertEqual(what_a_reader_sees(dist / "KELMORA.exe"), what_a_reader_sees(KELMORA_EXE))
            with zipfile.ZipFile(dist / "KELMORA-1.0.0.0-win32.zip") as archive:
                self.assertEqual(archive.read("KELMORA.exe"), (dist / "KELMORA.exe").read_bytes())
            subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=dist, check=True, capture_output=True)
        logged = self.log.read_text()
        self.assertIn("osslsigncode sign", logged)
        self.assertNotIn(self.PIN, logged)

    def test_the_same_key_on_a_token_and_in_a_p12_gives_the_same_release(self):
        p12 = dict(PATH=f"{self.bin}:{os.environ['PATH']}", SIGN_P12=str(self.work / "signer.p12"),
                   SIGN_PASSWORD=self.PASSWORD, SIGN_CAFILE=str(self.work / "ca.crt"))
        token = self.token(SIGN_PKCS11_KEY="pkcs11:token=release;object=imported;type=private",
                           SIGN_PKCS11_CERT=None, SIGN_CERTS=str(self.work / "chain.pem"))
        sums = []
        with tempfile.TemporaryDirectory() as work:
            folder = Path(work) / "kelmora"
            copy_of_the_source(folder)
            for env in (p12, token):
                built = release(folder, env=dict(env, SOURCE_DATE_EPOCH="1700000000"))
                self.assertEqual(built.returncode, 0, built.stderr)
                sums.append((folder / "dist" / "SHA256SUMS").read_text())
                verified = self.verify(folder / "dist" / "KELMORA.exe")
                self.assertIn("Signing time: Nov 14 22:13:20 2023 GMT", verified.stdout)
        self.assertEqual(sums[0], sums[1])
        self.assertNotIn(hashlib.sha256(KELMORA_EXE.read_bytes()).hexdigest(), sums[0], "signed")

    def test_a_signer_that_cannot_sign_is_refused_and_the_release_in_dist_kept(self):
        server = {"SIGN_PKCS11_KEY": "pkcs11:token=release;object=token-server;type=private",
                  "SIGN_PKCS11_CERT": "pkcs11:token=release;object=token-server;type=cert"}
        cases = [
            ("a wrong PIN", self.token(pin="0000"), "SIGN_PIN is wrong for token release (tried once"),
            ("a certificate not for code signing", self.token(**server), "is not for code signing"),
            ("a .p12 file too", self.token(SIGN_P12=str(self.work / "signer.p12"), SIGN_PASSWORD=self.PASSWORD),
             "both a .p12 file"),
            ("no such module", self.token(SIGN_PKCS11_MODULE=str(self.work / "none.so")), "does not exist"),
            ("a module that does not load", self.token(SIGN_PKCS11_MODULE=str(self.work / "ca.crt")),
             "does not load"),
            ("a key the URI does not find", self.token(SIGN_PKCS11_KEY="pkcs11:token=release;object=none"),
             "SIGN_PKCS11_KEY finds no private key on token release"),
            ("a certificate the URI does not find", self.token(SIGN_PKCS11_CERT="pkcs11:object=none;type=cert"),
             "SIGN_PKCS11_CERT finds no certificate on token release"),
            ("a token the URI does not find", self.token(SIGN_PKCS11_KEY="pkcs11:token=other;object=token-signer"),
             "SIGN_PKCS11_KEY matches no token present (release)"),
            ("a signature that does not verify", self.token(SIGN_CAFILE=None), "does not verify"),
        ]
        with self.source_with_a_release_in_dist() as folder:
            for name, env, reason in cases:
                with self.subTest(name):
                    self.log.write_text("")
                    refused = release(folder, env=env)
                    self.assertNotEqual(refused.returncode, 0)
                    self.assertIn(reason, refused.stderr)
                    self.assertEqual(len(refused.stderr.strip().splitlines()), 1, refused.stderr)
                    self.assert_release_kept(folder)
                    if name == "a wrong PIN":
                        self.assertNotIn("osslsigncode sign", self.log.read_text(), "the PIN tried again")


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


def registry_values(key):
    """The string values of a registry key, as reg export writes them (UTF-16)."""
    exported = DRIVE_C / f"reg-{uuid.uuid4().hex[:8]}.reg"
    if wine("reg", "export", key, windows_path(exported), "/y").returncode != 0:
        return None
    text = exported.read_bytes().decode("utf-16")
    exported.unlink()
    values = {}
    for line in text.splitlines():
        name, equals, value = line.partition("=")
        if equals and name.startswith('"') and value.startswith('"'):
            values[name[1:-1]] = value[1:-1].replace('\\"', '"').replace("\\\\", "\\")
    return values


class Installer(unittest.TestCase):
    def test_install_start_from_the_shortcut_and_uninstall(self):
        self.install_start_and_uninstall()

    def test_with_an_icon_and_an_identity_the_setup_the_folder_and_the_shortcut_follow_them(self):
        work = Path(tempfile.mkdtemp())
        self.addCleanup(shutil.rmtree, work, ignore_errors=True)
        (work / "app.ico").write_bytes(icon_file(ICON_IMAGES))
        # Without KELMORA_EXE, the installer builds a launcher that carries both.
        self.install_start_and_uninstall(
            {"KELMORA_ICON": str(work / "app.ico"), "KELMORA_PRODUCT_NAME": 'Gestão Fácil "Ltda" $(x) ©',
             "KELMORA_COMPANY": 'Café & Cia "Ltda" $HOME', "KELMORA_VERSION": "2.5.1",
             "KELMORA_EXE_NAME": "Gestão $x"},
            app='Gestão Fácil "Ltda" $(x) ©', folder_name="Gestão Fácil Ltda $(x) ©", exe="Gestão $x.exe",
            publisher='Café & Cia "Ltda" $HOME', version="2.5.1.0")

    def install_start_and_uninstall(self, given=None, app="Kelmora Demo", folder_name="Kelmora Demo",
                                    exe="KELMORA.exe", publisher=None, version="1.0.0.0"):
        work = Path(tempfile.mkdtemp())
        self.addCleanup(shutil.rmtree, work, ignore_errors=True)
        (work / "runtime" / "bin").mkdir(parents=True)
        shutil.copyfile(STANDIN, work / "runtime" / "bin" / "javaw.exe")
        setup = DRIVE_C / f"setup-{uuid.uuid4().hex[:8]}.exe"
        env = dict(os.environ, JAVA_RUNTIME=str(work / "runtime"), KELMORA_EXE=str(KELMORA_EXE))
        if given:
            del env["KELMORA_EXE"]
            env.update(given)
        subprocess.run(["bash", str(SOURCE / "examples" / "installer" / "build.sh"), str(setup)],
                       check=True, capture_output=True, env=env)

        wine_quietly(setup, "/S")
        folder = DRIVE_C / "Program Files (x86)" / folder_name
        menu = DRIVE_C / "ProgramData" / "Microsoft" / "Windows" / "Start Menu" / "Programs" / folder_name
        shortcut = menu / f"{folder_name}.lnk"
        installed = {p.relative_to(folder).as_posix() for p in folder.rglob("*")}
        self.assertEqual(installed, {exe, "config.ini", "app.jar", "Uninstall.exe", "java",
                                     "java/bin", "java/bin/javaw.exe"})
        key = f"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{folder_name}"
        entry = registry_values(key)
        self.assertEqual({name: entry.get(name) for name in ("DisplayName", "Publisher", "DisplayVersion")},
                         {"DisplayName": app, "Publisher": publisher, "DisplayVersion": version})

        # The shortcut as a real reader of .lnk files sees it.
        info = subprocess.run(["lnkinfo", str(shortcut)], check=True, capture_output=True, text=True).stdout
        fields = {k.strip(): v.strip() for k, _, v in (line.partition(":") for line in info.splitlines()) if v}
        install_dir = windows_path(folder)
        self.assertEqual(fields["Working directory"], install_dir)
        self.assertEqual(fields["Local path"], f"{install_dir}\\{exe}")
        if given:
            self.assertEqual(fields["Icon location"], f"{install_dir}\\{exe}")
            for program in (folder / exe, setup):
                shown = wine(PROGRAMS / "version_reader.exe", "--icons", windows_path(program)).stdout
                self.assertIn("IconGroups=1", shown.split(), program)
            shown = wine(PROGRAMS / "version_reader.exe", windows_path(folder / exe)).stdout.splitlines()
            self.assertIn(f"ProductName={app}", shown)

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
        self.assertIsNone(registry_values(key), "the uninstall entry is left")


if __name__ == "__main__":
    unittest.main()
