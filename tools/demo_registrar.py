"""The registrar's part of the demo: register the suite's document types with quenvocommon.exe,
then open a document by its type through the shell and show what the main program received.
The suite's main program is played by the test stand-in, which records its command line."""
import shutil

from tools.testkit.wine import install, records, wait_for

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


def demo_registrar(wine):
    print("\n=== File-association registrar: register the types, then double-click a document ===")
    folder = install(wine, FOLDER, "quenvocommon.exe", "Quenvodef.exe", "FileAssociation.dll",
                     ("fake_quenvo.exe", "quenvo.exe"))
    shutil.copytree(wine.build.bin / "icon", folder / "icon", dirs_exist_ok=True)
    exe = folder / "quenvocommon.exe"

    section("1. Register: quenvocommon.exe from a folder with blanks")
    print(f"> {wine.win_path(exe)}")
    code, _ = wine.run_raw(exe, f'"{wine.win_path(exe)}"')
    print(f"  exit code {code}")

    section("2. What FileAssociation.dll registered for the current user (all of it: no installer registered the machine)")
    show_query(wine, r"HKCU\Software\Classes\.docx")
    show_query(wine, r"HKCU\Software\Classes\.docx\OpenWithProgids")
    show_query(wine, r"HKCU\Software\Classes\Quenvo2021.docx\DefaultIcon")
    show_query(wine, r"HKCU\Software\Classes\Quenvo2021.docx\shell\open\command")
    show_query(wine, r"HKCU\Software\Classes\Quenvo2021.csv")
    show_query(wine, r"HKCU\Software\Classes\Quenvo2021.csv\DefaultIcon")
    show_query(wine, r"HKCU\Software\Classes\Applications\Quenvodef.exe")
    show_query(wine, r"HKCU\Software\RegisteredApplications")

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
    wine.open_document(document)
    started = wait_for(lambda: records(received))
    if not started:
        print("  the main program was not started")
        return
    print("  The shell started Quenvodef.exe, which started the main program. quenvo.exe received:")
    print(f"    command line: {started[0]['cmdline']}")
    print(f"    folder:       {started[0]['cwd']}")

    section("4. Register again: every type is associated already, nothing is rewritten")
    before = wine.reg("query", r"HKCU\Software\Classes", "/s")[1]
    code, _ = wine.run_raw(exe, f'"{wine.win_path(exe)}"')
    after = wine.reg("query", r"HKCU\Software\Classes", "/s")[1]
    print(f"  exit code {code}; per-user classes {'unchanged' if before == after else 'CHANGED'}")
