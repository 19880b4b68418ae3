"""What the association component registers for the launcher, as 'wine reg export' shows it, for
the registrar's and the installer's tests."""
import re

EXTENSIONS = [".ppt", ".pptx", ".doc", ".docx", ".xls", ".xlsx", ".csv"]
ICONS = {".ppt": "ppt.ico", ".pptx": "ppt.ico", ".doc": "doc.ico", ".docx": "doc.ico",
         ".xls": "xls.ico", ".xlsx": "xls.ico", ".csv": "xls.ico"}
TYPE_NAMES = {".ppt": "presentation", ".pptx": "presentation", ".doc": "document", ".docx": "document",
              ".xls": "spreadsheet", ".xlsx": "spreadsheet", ".csv": "comma-separated values"}
DESCRIPTION = "quenvo office suite: presentations, documents, spreadsheets and comma-separated values"
CAPABILITIES = r"Software\Classes\Applications\Quenvodef.exe\Capabilities"


def export(wine, key, *view):
    """The keys below key as 'wine reg export' writes them: {key path: its section text}.
    view: "/reg:32" or "/reg:64" for a machine key of one view."""
    target = wine.drive_c / "export.reg"
    target.unlink(missing_ok=True)
    code, out = wine.reg("export", key, wine.win_path(target), "/y", *view)
    if code != 0:
        return {}
    blocks = re.split(r"\r?\n(?=\[)", target.read_bytes().decode("utf-16"))[1:]
    return {head[1:]: body.strip() for head, _, body in (block.partition("]") for block in blocks)}


def quoted(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def program(root, folder_win):
    """{key: its value lines} of what names the launcher in folder_win (Windows path) or describes
    the suite, below root (HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE): the ProgIDs, the launcher's
    Applications entry with its Capabilities, and the RegisteredApplications value."""
    launch = f'"{folder_win}\\Quenvodef.exe" "%1"'
    command = f'@="{quoted(launch)}"'
    app = f"{root}\\Software\\Classes\\Applications\\Quenvodef.exe"
    sections = {
        app: ['"FriendlyAppName"="quenvo"'],
        f"{app}\\shell\\open\\command": [command],
        f"{app}\\SupportedTypes": [f'"{e}"=""' for e in EXTENSIONS],
        f"{app}\\Capabilities": ['"ApplicationName"="quenvo"', f'"ApplicationDescription"="{DESCRIPTION}"',
                                 f'"ApplicationIcon"="{quoted(folder_win)}\\\\icon\\\\doc.ico"'],
        f"{app}\\Capabilities\\FileAssociations": [f'"{e}"="Quenvo2021{e}"' for e in EXTENSIONS],
        f"{root}\\Software\\RegisteredApplications": [f'"quenvo"="{quoted(CAPABILITIES)}"'],
    }
    for ext in EXTENSIONS:
        prog_id = f"{root}\\Software\\Classes\\Quenvo2021{ext}"
        sections[prog_id] = [f'@="quenvo {TYPE_NAMES[ext]}"']
        sections[f"{prog_id}\\DefaultIcon"] = [f'@="{quoted(folder_win)}\\\\icon\\\\{ICONS[ext]}"']
        sections[f"{prog_id}\\shell\\open\\command"] = [command]
    return {key: sorted(lines) for key, lines in sections.items()}


def pointers(root, extensions=EXTENSIONS, default=True):
    """{key: its value lines} of what names only our ProgIDs: OpenWithProgids and, without the
    user's own choice, the extension's default."""
    sections = {}
    for ext in extensions:
        sections[f"{root}\\Software\\Classes\\{ext}\\OpenWithProgids"] = [f'"Quenvo2021{ext}"=hex(0):']
        sections[f"{root}\\Software\\Classes\\{ext}"] = [f'@="Quenvo2021{ext}"'] if default else []
    return sections


def found(sections, expected):
    """The sections that expected names, as sorted value lines ([] for a key without values, None
    for a missing key): compare with expected."""
    return {key: sorted(sections[key].splitlines()) if key in sections else None for key in expected}
