"""What the association component registers for the launcher, as 'wine reg export' shows it."""
import re

EXTENSIONS = [".ppt", ".pptx", ".doc", ".docx", ".xls", ".xlsx", ".csv"]
ICONS = {".ppt": "ppt.ico", ".pptx": "ppt.ico", ".doc": "doc.ico", ".docx": "doc.ico",
         ".xls": "xls.ico", ".xlsx": "xls.ico", ".csv": "xls.ico"}
KINDS = {".ppt": "presentation", ".doc": "document", ".xls": "spreadsheet", ".csv": "comma-separated values"}


def export(wine, key, *view):
    """The keys below key as 'wine reg export' writes them (view: "/reg:32" or "/reg:64"): {key: its section text}."""
    target = wine.drive_c / "export.reg"
    target.unlink(missing_ok=True)
    code, out = wine.reg("export", key, wine.win_path(target), "/y", *view)
    if code != 0:
        return {}
    blocks = re.split(r"\r?\n(?=\[)", target.read_bytes().decode("utf-16"))[1:]
    return {head[1:]: body.strip() for head, _, body in (block.partition("]") for block in blocks)}


def program(root, folder):
    """{key: sorted value lines} below root naming the launcher in folder: ProgIDs, Applications, Capabilities."""
    def text(value):
        return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'
    command = "@=" + text(f'"{folder}\\Quenvodef.exe" "%1"')
    app = f"{root}\\Software\\Classes\\Applications\\Quenvodef.exe"
    about = "quenvo office suite: presentations, documents, spreadsheets and comma-separated values"
    sections = {app: ['"FriendlyAppName"="quenvo"'], app + r"\shell\open\command": [command],
                app + r"\SupportedTypes": [f'"{e}"=""' for e in EXTENSIONS],
                app + r"\Capabilities": ['"ApplicationName"="quenvo"', f'"ApplicationDescription"="{about}"',
                                         '"ApplicationIcon"=' + text(f"{folder}\\icon\\doc.ico")],
                app + r"\Capabilities\FileAssociations": [f'"{e}"="Quenvo2021{e}"' for e in EXTENSIONS],
                root + r"\Software\RegisteredApplications": ['"quenvo"=' + text(app[len(root) + 1:] + r"\Capabilities")]}
    for ext in EXTENSIONS:  # .pptx is a presentation as .ppt is, and so on
        prog_id = f"{root}\\Software\\Classes\\Quenvo2021{ext}"
        sections.update({prog_id: [f'@="quenvo {KINDS[ext.rstrip("x")]}"'], prog_id + r"\shell\open\command": [command],
                         prog_id + r"\DefaultIcon": ["@=" + text(f"{folder}\\icon\\{ICONS[ext]}")]})
    return {key: sorted(lines) for key, lines in sections.items()}


def pointers(root):
    """{key: its value lines} of what names only our ProgIDs: the extensions' defaults and OpenWithProgids."""
    return {k: v for ext in EXTENSIONS for k, v in ((f"{root}\\Software\\Classes\\{ext}", [f'@="Quenvo2021{ext}"']),
            (f"{root}\\Software\\Classes\\{ext}\\OpenWithProgids", [f'"Quenvo2021{ext}"=hex(0):']))}


def found(sections, expected):
    """The exported sections that expected names, as it writes them (None for a missing key)."""
    return {key: sorted(sections[key].splitlines()) if key in sections else None for key in expected}
