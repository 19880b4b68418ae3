"""The demo: the programs, as built, in a fresh Wine prefix (build/demo-prefix).

    python3 -m tools.demo        (from the repository's root; tools/demo builds first)
"""
import shutil
import time

from tools.demo_agent import demo_agent
from tools.demo_registrar import demo_registrar
from tools.demo_update import demo_update
from tools.testkit.wine import REPO, Build, Wine, install, records, wait_for


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
    started = wait_for(lambda: records(suite / "received.txt"))
    if started:
        print(f"  quenvo.exe got: {started[-1]['cmdline']}")
        print(f"  its folder    : {started[-1]['cwd']}")
    else:
        print("  quenvo.exe was not started")
    show_registry(wine)


def main():
    prefix = REPO / "build" / "demo-prefix"
    shutil.rmtree(prefix, ignore_errors=True)
    print(f"Making a fresh Wine prefix in {prefix} ...")
    start = time.monotonic()
    wine = Wine(prefix, Build("win64")).boot()
    print(f"  ready in {time.monotonic() - start:.1f} s")
    try:
        demo_launcher(wine)
        demo_registrar(wine)
        demo_agent(wine)
        demo_update(wine)
    finally:
        wine.shutdown()


if __name__ == "__main__":
    main()
