"""Helpers for running the real KELMORA.exe under Wine in throw-away application folders."""
import json
import os
import shutil
import subprocess
import tempfile
import time
import uuid
from pathlib import Path

PREFIX = Path(os.environ["WINEPREFIX"])
DRIVE_C = PREFIX / "drive_c"
KELMORA_EXE = Path(os.environ["KELMORA_EXE"])
PROGRAMS = Path(os.environ["TEST_PROGRAMS"])
STANDIN = PROGRAMS / "javaw_standin.exe"
RECORDS = DRIVE_C / "kelmora-records"


def windows_path(unix_path):
    """C:\\... for a path inside drive_c, Z:\\... for any other."""
    p = Path(unix_path).resolve()
    try:
        rest = p.relative_to(DRIVE_C.resolve())
        return "C:\\" + str(rest).replace("/", "\\") if str(rest) != "." else "C:\\"
    except ValueError:
        return "Z:" + str(p).replace("/", "\\")


class AppFolder:
    """A folder as a packager ships it: KELMORA.exe, config.ini, java\\bin\\javaw.exe."""

    def __init__(self, name=None, parent=None):
        self.path = (parent or DRIVE_C) / (name or f"App-{uuid.uuid4().hex[:8]}")
        self.path.mkdir(parents=True, exist_ok=True)
        self.exe = self.path / "KELMORA.exe"
        shutil.copyfile(KELMORA_EXE, self.exe)

    @property
    def windows(self):
        return windows_path(self.path)

    def write_config(self, text, encoding="ascii", newline="\r\n"):
        data = text.replace("\n", newline).encode(encoding) if isinstance(text, str) else text
        (self.path / "config.ini").write_bytes(data)

    def install_runtime(self, relative="java/bin/javaw.exe", program=STANDIN):
        target = self.path / relative
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(program, target)
        return target


class Result:
    def __init__(self, returncode, records):
        self.returncode = returncode
        self.records = records

    @property
    def record(self):
        assert len(self.records) == 1, f"expected one child start, got {self.records}"
        return self.records[0]


class HeldChild:
    """Environment for stand-ins that say when they have started and then linger until released:
    a test acts while the launcher waits, on a host of any speed (emulated 32-bit programs start
    several times slower than native ones), with no fixed sleep."""

    def __init__(self):
        RECORDS.mkdir(parents=True, exist_ok=True)
        base = RECORDS / uuid.uuid4().hex
        self.started, self.hold = base.with_suffix(".started"), base.with_suffix(".hold")
        self.hold.write_bytes(b"")
        self.env = {"STANDIN_STARTED": windows_path(self.started),
                    "STANDIN_HOLD": windows_path(self.hold)}

    def wait_started(self, count=1, timeout=120):
        # The bound only turns a launcher that never starts its child into a failure, not a hang.
        deadline = time.monotonic() + timeout
        while not self.started.exists() or len(self.started.read_text().splitlines()) < count:
            if time.monotonic() > deadline:
                raise AssertionError(f"{count} stand-ins did not start within {timeout} s")
            time.sleep(0.05)

    def release(self):
        self.hold.unlink(missing_ok=True)


def run_launcher(exe, cwd, args=(), child_exit=None, child_sleep_ms=None, timeout=120,
                 extra_env=None):
    """Runs `exe` under Wine with `cwd` as its current directory; returns its exit code and
    what the stand-in runtime recorded (one entry per child started)."""
    RECORDS.mkdir(parents=True, exist_ok=True)
    record_file = RECORDS / f"{uuid.uuid4().hex}.jsonl"
    env = dict(os.environ, WINEDEBUG="-all", STANDIN_RECORD=windows_path(record_file))
    env.pop("STANDIN_EXIT", None)
    env.pop("STANDIN_SLEEP_MS", None)
    if child_exit is not None:
        env["STANDIN_EXIT"] = str(child_exit)
    if child_sleep_ms is not None:
        env["STANDIN_SLEEP_MS"] = str(child_sleep_ms)
    env.update(extra_env or {})
    completed = subprocess.run(["wine", str(exe), *args], cwd=cwd, env=env, timeout=timeout,
                               stdin=subprocess.DEVNULL, capture_output=True)
    records = []
    if record_file.exists():
        records = [json.loads(line) for line in record_file.read_text().splitlines() if line]
        record_file.unlink()
    return Result(completed.returncode, records)


def wine_reg(*args):
    """Runs Wine's reg.exe; its output is not needed."""
    subprocess.run(["wine", "reg", *args], check=True, env=dict(os.environ, WINEDEBUG="-all"),
                   stdin=subprocess.DEVNULL, capture_output=True, timeout=120)


def wine(*args, **kwargs):
    """Runs a Windows program to its end and captures its output."""
    return subprocess.run(["wine", *map(str, args)], capture_output=True, text=True,
                          stdin=subprocess.DEVNULL, timeout=120, **kwargs)


def drive(steps, timeout_ms=20000):
    # Read through a file: a desktop process that the driver happens to start would keep a
    # pipe open, and a reader of the pipe waiting, long after the driver has ended.
    with tempfile.TemporaryFile() as out:
        subprocess.run(["wine", str(PROGRAMS / "dialog_driver.exe"), "dialogs", str(timeout_ms), *steps],
                       stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL, timeout=120)
        out.seek(0)
        return json.loads(out.read())


def run_with_dialogs(exe, cwd, steps, env=None):
    """Starts `exe`, drives its dialogs through `steps`, returns (exit code, steps, records)."""
    RECORDS.mkdir(parents=True, exist_ok=True)
    record = RECORDS / f"{uuid.uuid4().hex}.jsonl"
    full_env = dict(os.environ, STANDIN_RECORD=windows_path(record), **(env or {}))
    launcher = subprocess.Popen(["wine", str(exe)], cwd=cwd, env=full_env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        seen = drive(steps)
        code = launcher.wait(timeout=60)
    finally:
        if launcher.poll() is None:
            launcher.kill()
    records = record.read_text().splitlines() if record.exists() else []
    return code, seen, records


def text_of(step, control_class):
    return [c["title"] for c in step["controls"] if c["class"].lower() == control_class.lower()]


