#!/usr/bin/python3
"""Demo: register the suite's document types with quenvocommon.exe, then open a document by its
type through the shell and show what the main program received.

    tools/demo_registrar.py PREFIX_DIR BUILD_DIR

PREFIX_DIR is a Wine prefix (made when missing); BUILD_DIR a win64 build (bin/ and testbin/).
The suite's main program is played by the test stand-in, which records its command line."""
import json
import os
import shutil
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
FOLDER = "Program Files/quenvo suite demo"
DOCUMENT = "quenvo demo docs/quarterly report.docx"


def section(title):
    print(f"\n== {title}")


def show_query(wine, key):
    code, out = wine.reg("query", key)
    print(f"> wine reg query {key}")
    for line in out.splitlines():
        if line.strip():
            print("  " + line.strip())


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    prefix, build = Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve()
    os.environ["QUENVO_BUILD_DIR"] = str(build)
    sys.path.insert(0, str(REPO / "tests" / "blackbox"))
    from wine import Wine, install  # noqa: E402  (reads QUENVO_BUILD_DIR)

    wine = Wine(prefix)
    booted = not (prefix / "system.reg").exists()
    if booted:
        print(f"Making a Wine prefix in {prefix} ...")
        wine.boot()
    try:
        folder = install(wine, FOLDER, "quenvocommon.exe", "Quenvodef.exe", "FileAssociation.dll",
                         ("fake_quenvo.exe", "quenvo.exe"))
        shutil.copytree(build / "bin" / "icon", folder / "icon", dirs_exist_ok=True)
        exe = folder / "quenvocommon.exe"

        section("1. Register: quenvocommon.exe from a folder with blanks")
        print(f"> {wine.win_path(exe)}")
        code, _ = wine.run_raw(exe, f'"{wine.win_path(exe)}"')
        print(f"  exit code {code}")

        section("2. What FileAssociation.dll recorded for the current user (HKCU\\Software\\Classes)")
        show_query(wine, r"HKCU\Software\Classes\.docx")
        show_query(wine, r"HKCU\Software\Classes\.docx\OpenWithProgids")
        show_query(wine, r"HKCU\Software\Classes\Quenvo2021.docx\DefaultIcon")
        show_query(wine, r"HKCU\Software\Classes\Quenvo2021.docx\shell\open\command")
        show_query(wine, r"HKCU\Software\Classes\Quenvo2021.csv\DefaultIcon")

        section("3. Open a document by its type, through the shell")
        print("  (Wine's shell reads only HKLM\\Software\\Classes, unlike Windows, which merges in the")
        print("   per-user classes: the demo copies the .docx keys there first. The product writes none.)")
        wine.mirror_classes_to_machine([".docx", "Quenvo2021.docx"])
        document = wine.drive_c / DOCUMENT
        document.parent.mkdir(parents=True, exist_ok=True)
        document.write_text("demo")
        received = folder / "received.txt"
        received.unlink(missing_ok=True)
        print(f'> wine cmd /c start "" "{wine.win_path(document)}"')
        wine._quiet(["wine", "cmd", "/c", "start", "", wine.win_path(document)])
        deadline = time.monotonic() + 15
        while not received.exists() and time.monotonic() < deadline:
            time.sleep(0.1)
        if not received.exists():
            print("  the main program was not started")
            return 1
        record = json.loads(received.read_text().splitlines()[0])
        print("  The shell started Quenvodef.exe, which started the main program. quenvo.exe received:")
        print(f"    command line: {record['cmdline']}")
        print(f"    folder:       {record['cwd']}")

        section("4. Register again: every type is associated already, nothing is rewritten")
        before = wine.reg("query", r"HKCU\Software\Classes", "/s")[1]
        code, _ = wine.run_raw(exe, f'"{wine.win_path(exe)}"')
        after = wine.reg("query", r"HKCU\Software\Classes", "/s")[1]
        print(f"  exit code {code}; per-user classes {'unchanged' if before == after else 'CHANGED'}")
        return 0
    finally:
        if booted:
            wine.shutdown()


if __name__ == "__main__":
    sys.exit(main())
