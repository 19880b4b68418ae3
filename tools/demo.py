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

from dev_server import DevServer  # noqa: E402
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


def demo_agent(wine):
    from demo_agent import demo_agent as run_agent_demo  # prints its own heading
    run_agent_demo(wine)


FONT_REPLACEMENTS = ('[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
                     '"微软雅黑"="WenQuanYi Zen Hei"\r\n"宋体"="WenQuanYi Zen Hei"\r\n')


def demo_update_window(wine):
    heading("Update window: the offer downloaded and shown, under a private X server")
    folder = install(wine, "update demo", "update_harness.exe", ("fake_quenvo.exe", "quenvo_setup.exe"))
    shutil.copytree(REPO / "art" / "update", folder / "update", dirs_exist_ok=True)
    wine.import_reg(FONT_REPLACEMENTS)  # the window's CJK fonts, from fonts-wqy-zenhei
    setup = folder / "quenvo_setup.exe"
    server = DevServer({"v": "1.0.1", "t1": "quenvo 2.1", "u": "http://dl.quenvo.com/f/quenvo_setup.exe",
                        "sz": str(setup.stat().st_size)}, files_dir=str(folder))
    wine.set_proxy(server.start())
    number = next(n for n in range(91, 140) if not Path(f"/tmp/.X{n}-lock").exists())
    xvfb = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shots = REPO / "build" / "demo-shots"
    shots.mkdir(parents=True, exist_ok=True)
    try:
        wait_for(lambda: Path(f"/tmp/.X11-unix/X{number}").exists(), timeout=10)
        # Wine's desktop keeps the display it started with: restart the server with this one.
        wine.shutdown()
        subprocess.run(["wineserver", "-w"], env=wine.env, check=False)
        wine.env["DISPLAY"] = f":{number}"
        subprocess.run(["wineserver", "-p"], env=wine.env, check=False)
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
        xvfb.terminate()
        xvfb.wait(timeout=10)


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
        demo_agent(wine)
        demo_update_window(wine)
    finally:
        wine.shutdown()


if __name__ == "__main__":
    main()
