"""Creates (or shuts down) the private Wine prefix that one end-to-end test run shares.

A wineserver that inherits a captured pipe keeps the capturing caller waiting, so the
server is started persistent here with its output sent to /dev/null, before any test
captures the output of a wine command."""
import os
import shutil
import subprocess
import sys
from pathlib import Path

prefix = Path(os.environ["WINEPREFIX"])
quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def shutdown():
    subprocess.run(["wineserver", "-k"], **quiet)
    subprocess.run(["wineserver", "-w"], **quiet)


if sys.argv[1] == "create":
    shutdown()
    shutil.rmtree(prefix, ignore_errors=True)
    prefix.mkdir(parents=True)
    subprocess.run(["wineserver", "-p"], check=True, **quiet)
    subprocess.run(["wineboot", "-i"], check=True, **quiet)
    if not (prefix / "drive_c" / "windows" / "system32").is_dir():
        sys.exit("wineboot did not create the prefix")
    print(f"prefix ready: {prefix}")
else:
    shutdown()
    print("wineserver stopped")
