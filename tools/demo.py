"""The demo: the programs, as built, in a fresh Wine prefix (build/demo-prefix).

    python3 -m tools.demo        (from the repository's root; tools/demo builds first)
"""
import shutil
import time

from tools.demo_agent import demo_agent
from tools.demo_registrar import demo_registrar
from tools import signing
from tools.testkit.dev_server import DevServer
from tools.testkit.display import on_display
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


def demo_update_window(wine):
    heading("Update window: the offer downloaded, checked and shown, under a private X server")
    folder = install(wine, "update demo", "update_harness.exe")
    # The window starts only an installer signed by the publisher: the stand-in plays the
    # installer, signed by a throwaway test root that this prefix is told to trust.
    certificates = REPO / "build" / "demo-certificates"
    root = signing.make_root(certificates)
    leaf = signing.make_leaf(root, certificates, wine.build.cache("QUENVO_PUBLISHER"))
    setup = folder / "quenvo_setup.exe"
    signing.sign(wine.build.testbin / "fake_quenvo.exe", setup, leaf, time.time())
    wine.trust_root(root.cert)
    print(f"  the offered installer is signed by {signing.subject_cn(leaf.cert)!r}, under a test root the prefix trusts")
    server = DevServer({"v": "1.0.1", "t1": "quenvo 2.1", "u": "http://dl.quenvo.com/f/quenvo_setup.exe",
                        "sz": str(setup.stat().st_size)}, files_dir=str(folder))
    wine.set_proxy(server.start())
    shots = REPO / "build" / "demo-shots"
    shots.mkdir(parents=True, exist_ok=True)
    try:
        with on_display(wine):
            exe = folder / "update_harness.exe"
            args = [wine.win_path(exe), "--offer-from", "http://update.quenvo.com/version.php",
                    "--shots", wine.win_path(shots), "--steps", "wait:finished,shot:finished", "--exit-after-steps"]
            code, seconds = wine.run_raw(exe, " ".join(f'"{a}"' for a in args), timeout=120)
        print(f"  harness exit code {code} after {seconds:.1f} s")
        for r in server.requests:
            print(f"  server got: {r['kind']:8} {r['host']}{r['path']}  agent={r['user_agent']!r}")
        shot = shots / "finished.png"
        print(f"  screenshot of the finished window: {shot if shot.exists() else '(none taken)'}")
    finally:
        server.stop()


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
        demo_update_window(wine)
    finally:
        wine.shutdown()


if __name__ == "__main__":
    main()
