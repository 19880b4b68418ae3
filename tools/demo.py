#!/usr/bin/env python3
"""The demo: the programs, as built, in a fresh Wine prefix (build/demo-prefix)."""
import json
import shutil
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "blackbox"))
sys.path.insert(0, str(REPO / "tools"))

from wine import BUILD, Wine, install, wait_for  # noqa: E402


def heading(text):
    print(f"\n=== {text} ===")


def show_registry(wine):
    for name, text in sorted(wine.reg_texts().items()):
        print(f"  HKCU\\Software\\quenvo  {name:8} = {text!r}")


def demo_launcher(wine):
    heading("Document launcher: Quenvodef.exe opens a document whose path has blanks")
    suite = install(wine, "Program Files/quenvo suite", "Quenvodef.exe", ("fake_quenvo.exe", "quenvo.exe"))
    docs = wine.drive_c / "users" / "Public" / "My Documents"
    docs.mkdir(parents=True, exist_ok=True)
    (docs / "Quarterly report.docx").write_bytes(b"demo")
    line = f'"{wine.win_path(suite / "Quenvodef.exe")}" "{wine.win_path(docs / "Quarterly report.docx")}"'
    print(f"  command line : {line}")
    code, seconds = wine.run_raw(suite / "Quenvodef.exe", line, cwd=docs)
    print(f"  exit code    : {code}  ({seconds:.2f} s)")
    received = suite / "received.txt"
    if wait_for(received.exists):
        record = json.loads(received.read_text().splitlines()[-1])
        print(f"  quenvo.exe got: {record['cmdline']}")
        print(f"  its folder    : {record['cwd']}")
    else:
        print("  quenvo.exe was not started")
    show_registry(wine)


def demo_registrar(prefix):
    heading("File-association registrar: register the types, then double-click a document")
    subprocess.run([sys.executable, str(REPO / "tools" / "demo_registrar.py"), str(prefix), str(BUILD)], check=False)


def main():
    prefix = REPO / "build" / "demo-prefix"
    shutil.rmtree(prefix, ignore_errors=True)
    print(f"Making a fresh Wine prefix in {prefix} ...")
    start = time.monotonic()
    wine = Wine(prefix).boot()
    print(f"  ready in {time.monotonic() - start:.1f} s")
    try:
        demo_launcher(wine)
        demo_registrar(prefix)
    finally:
        wine.shutdown()


if __name__ == "__main__":
    main()
