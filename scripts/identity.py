#!/usr/bin/env python3
"""A packager's identity for the executable: its names, version, company and copyright, read
from the environment (the values as UTF-8 bytes, never through a shell), checked, and written
where the build and the release need them.

    identity.py --check             prints what is wrong, naming the variable, and exits 1
    identity.py --field NAME        prints exe-name or version, as the build uses them
    identity.py --write DIR         writes DIR/kelmora.rc, DIR/kelmora.manifest and DIR/exe-name
    identity.py --nsis FILE         writes the sample installer's defines (UTF-8)
    identity.py --cmake-args        prints -DNAME=VALUE for each variable given, each ended by NUL

An unset or empty variable takes its default: the executable is then the project's own."""
import os
import re
import sys
import unicodedata
from pathlib import Path

SOURCE = Path(__file__).resolve().parent.parent
TEXTS = ("KELMORA_PRODUCT_NAME", "KELMORA_DESCRIPTION", "KELMORA_COMPANY", "KELMORA_COPYRIGHT",
         "KELMORA_EXE_NAME")
VERSION = "KELMORA_VERSION"
LONGEST = 256
NOT_IN_FILE_NAMES = '\\/:*?"<>|'
DEVICES = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"} | {
    f"{port}{n}" for port in ("COM", "LPT") for n in (*"123456789", "¹", "²", "³")}


class Refused(Exception):
    pass


def given(name):
    """The variable's text, or '' when it is unset or empty."""
    raw = os.environb.get(name.encode(), b"")
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        raise Refused(f"{name} is not valid UTF-8") from None


def check_text(name, text):
    if len(text) > LONGEST:
        raise Refused(f"{name} is {len(text)} characters long; at most {LONGEST}")
    # Cc, and the line and paragraph separators, which break a line as a newline does.
    control = next((c for c in text if unicodedata.category(c) in ("Cc", "Zl", "Zp")), None)
    if control is not None:
        raise Refused(f"{name} holds a control character (U+{ord(control):04X}); a newline or a "
                      "tab is one too")


def parse_version(text):
    """1 to 4 numbers, each 0 to 65535, as the four of a Windows version."""
    if not re.fullmatch(r"[0-9]+(\.[0-9]+){0,3}", text, re.ASCII) or \
            any(int(n) > 65535 for n in text.split(".")):
        raise Refused(f"{VERSION} is '{text}': it must be 1 to 4 numbers, each 0 to 65535, "
                      "separated by dots (2.5.1)")
    numbers = [int(n) for n in text.split(".")]
    return numbers + [0] * (4 - len(numbers))


def is_device(name):
    """Windows opens a device for CON, NUL.txt, COM1 .tar.gz: the part before the first dot."""
    return name.split(".")[0].rstrip(" ").upper() in DEVICES


def check_exe_name(name, version):
    bad = next((c for c in name if c in NOT_IN_FILE_NAMES), None)
    if bad:
        raise Refused(f"KELMORA_EXE_NAME holds '{bad}', which a Windows file name cannot: "
                      "none of \\ / : * ? \" < > | may appear")
    if name[-1] in ". ":
        raise Refused("KELMORA_EXE_NAME ends in a dot or a blank, which Windows drops from a "
                      "file name")
    if is_device(name):
        raise Refused(f"KELMORA_EXE_NAME is '{name}', a name Windows keeps for a device (CON, "
                      "PRN, AUX, NUL, COM1-COM9, LPT1-LPT9), with or without an extension")
    if name.lower().endswith(".exe"):
        raise Refused("KELMORA_EXE_NAME is the name without .exe, which the build adds")
    archive = f"{name}-{version}-win32.zip"
    if len(archive.encode()) > 255:
        raise Refused(f"KELMORA_EXE_NAME is too long: the release archive's name {archive} takes "
                      f"{len(archive.encode())} bytes, and a file name at most 255")


def project_version():
    found = re.search(r"^project\(KELMORA VERSION ([0-9.]+)", (SOURCE / "CMakeLists.txt").read_text(), re.M)
    return found.group(1)


def read():
    """The checked identity, with every default filled in."""
    texts = {name: given(name) for name in TEXTS}
    for name, text in texts.items():
        check_text(name, text)
    numbers = parse_version(given(VERSION) or project_version())
    version = ".".join(map(str, numbers))
    given_product = texts["KELMORA_PRODUCT_NAME"]
    product = given_product or "KELMORA"
    exe_name = texts["KELMORA_EXE_NAME"]
    if exe_name:
        check_exe_name(exe_name, version)
    return {"product": product, "given-product": given_product, "description": texts["KELMORA_DESCRIPTION"] or product,
            "company": texts["KELMORA_COMPANY"], "copyright": texts["KELMORA_COPYRIGHT"],
            "exe-name": exe_name or "KELMORA", "original-name": exe_name and f"{exe_name}.exe",
            "version": version, "numbers": numbers, "program-id": f"com.kelmora.{identifier(product)}"}


def identifier(product):
    """The product name as the last part of a reverse-domain name: its ASCII letters and digits,
    accents dropped from the letters that have them (Gestão Fácil: GestaoFacil), App where
    none remain."""
    letters = "".join(c for c in unicodedata.normalize("NFKD", product) if c.isascii() and c.isalnum())
    return letters or "App"


def rc_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '""') + '"'


def xml_text(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")


def write(identity, folder):
    folder.mkdir(parents=True, exist_ok=True)
    strings = [("CompanyName", identity["company"]), ("FileDescription", identity["description"]),
               ("FileVersion", identity["version"]), ("LegalCopyright", identity["copyright"]),
               ("OriginalFilename", identity["original-name"]), ("ProductName", identity["product"]),
               ("ProductVersion", identity["version"]), ("ProgramID", identity["program-id"])]
    values = "".join(f"      VALUE {rc_string(key)}, {rc_string(value)}\n" for key, value in strings if value)
    record = (SOURCE / "resources" / "kelmora.rc.in").read_text(encoding="utf-8")
    record = record.replace("@NUMBERS@", ", ".join(map(str, identity["numbers"]))).replace("@VALUES@\n", values)
    manifest = (SOURCE / "resources" / "kelmora.manifest.in").read_text(encoding="utf-8")
    manifest = manifest.replace("@PROGRAM_ID@", identity["program-id"]).replace(
        "@VERSION@", identity["version"]).replace("@DESCRIPTION@", xml_text(identity["product"]))
    # Rewritten only when changed, so that an unchanged identity rebuilds nothing.
    for name, text in (("kelmora.rc", record), ("kelmora.manifest", manifest),
                       ("exe-name", identity["exe-name"])):
        path = folder / name
        if not path.exists() or path.read_text(encoding="utf-8") != text:
            path.write_text(text, encoding="utf-8", newline="\n")


def folder_name(identity, app):
    """A name for the install folder and the shortcut: the application's name without the
    characters a Windows file name cannot hold, else the executable's name."""
    name = "".join(c for c in app if c not in NOT_IN_FILE_NAMES).rstrip(". ")
    if not name or is_device(name):
        name = identity["exe-name"]
    return name


def write_nsis(identity, path):
    def nsis(text):
        return '"' + text.replace("$", "$$").replace('"', '$\\"') + '"'
    app = identity["given-product"] or "Kelmora Demo"
    defines = {"APP": app, "FOLDER": folder_name(identity, app), "EXE": identity["exe-name"] + ".exe",
               "VERSION": identity["version"], "PUBLISHER": identity["company"]}
    Path(path).write_text("".join(f"!define {key} {nsis(value)}\n" for key, value in defines.items() if value),
                          encoding="utf-8")


def main():
    if len(sys.argv) not in (2, 3) or sys.argv[1] not in ("--check", "--field", "--write", "--nsis",
                                                         "--cmake-args"):
        sys.exit(__doc__)
    try:
        identity = read()
    except Refused as refused:
        sys.exit(f"identity: {refused}")
    if sys.argv[1] == "--field":
        print(identity[sys.argv[2]])
    elif sys.argv[1] == "--write":
        write(identity, Path(sys.argv[2]))
    elif sys.argv[1] == "--nsis":
        write_nsis(identity, sys.argv[2])
    elif sys.argv[1] == "--cmake-args":
        values = {name: given(name) for name in (*TEXTS, VERSION)}
        sys.stdout.write("".join(f"-D{name}={value}\0" for name, value in values.items() if value))


if __name__ == "__main__":
    main()
