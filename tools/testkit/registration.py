"""What the association component registers for the launcher, as 'wine reg export' shows it, and
what the shell shows of it in each UI language."""
import copy
import json
import re

EXTENSIONS = [".ppt", ".pptx", ".doc", ".docx", ".xls", ".xlsx", ".csv"]
ICONS = {".ppt": "ppt.ico", ".pptx": "ppt.ico", ".doc": "doc.ico", ".docx": "doc.ico",
         ".xls": "xls.ico", ".xlsx": "xls.ico", ".csv": "xls.ico"}
KINDS = {".ppt": "presentation", ".doc": "document", ".xls": "spreadsheet", ".csv": "comma-separated values"}
# The launcher's string ids that the registration names ("@<launcher>,-<id>"), and what the shell
# shows for them by the Unix locale, which Wine takes the UI language from.
STRING_IDS = {"presentation": 101, "document": 102, "spreadsheet": 103, "comma-separated values": 104, "description": 110}
ABOUT = "quenvo office suite: presentations, documents, spreadsheets and comma-separated values"
SHOWN = {"en_US.UTF-8": {**{kind: f"quenvo {kind}" for kind in KINDS.values()}, "description": ABOUT},
         "zh_CN.UTF-8": {"presentation": "quenvo 演示文稿", "document": "quenvo 文档", "spreadsheet": "quenvo 电子表格",
                         "comma-separated values": "quenvo 逗号分隔值文件",
                         "description": "quenvo 办公套件：演示文稿、文档、电子表格和逗号分隔值文件"}}
APPLICATION = r"Software\Classes\Applications\Quenvodef.exe"
PROG_IDS = [f"Software\\Classes\\Quenvo2021{ext}" for ext in EXTENSIONS]


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
    launcher = f"{folder}\\Quenvodef.exe"
    command = "@=" + text(f'"{launcher}" "%1"')
    app = f"{root}\\{APPLICATION}"
    sections = {app: ['"FriendlyAppName"="quenvo"'], app + r"\shell\open\command": [command],
                app + r"\SupportedTypes": [f'"{e}"=""' for e in EXTENSIONS],
                app + r"\Capabilities": ['"ApplicationName"="quenvo"',
                                         '"ApplicationDescription"=' + text(f"@{launcher},-{STRING_IDS['description']}"),
                                         '"ApplicationIcon"=' + text(f"{launcher},0")],
                app + r"\Capabilities\FileAssociations": [f'"{e}"="Quenvo2021{e}"' for e in EXTENSIONS],
                root + r"\Software\RegisteredApplications": ['"quenvo"=' + text(app[len(root) + 1:] + r"\Capabilities")]}
    for ext in EXTENSIONS:  # .pptx is a presentation as .ppt is, and so on
        prog_id = f"{root}\\Software\\Classes\\Quenvo2021{ext}"
        kind = KINDS[ext.rstrip("x")]
        sections.update({prog_id: [f'@="quenvo {kind}"', '"FriendlyTypeName"=' + text(f"@{launcher},-{STRING_IDS[kind]}")],
                         prog_id + r"\shell\open\command": [command],
                         prog_id + r"\DefaultIcon": ["@=" + text(f"{folder}\\icon\\{ICONS[ext]}")]})
    return {key: sorted(lines) for key, lines in sections.items()}


def pointers(root):
    """{key: its value lines} of what names only our ProgIDs: the extensions' defaults and OpenWithProgids."""
    return {k: v for ext in EXTENSIONS for k, v in ((f"{root}\\Software\\Classes\\{ext}", [f'@="Quenvo2021{ext}"']),
            (f"{root}\\Software\\Classes\\{ext}\\OpenWithProgids", [f'"Quenvo2021{ext}"=hex(0):']))}


def found(sections, expected):
    """The exported sections that expected names, as it writes them (None for a missing key)."""
    return {key: sorted(sections[key].splitlines()) if key in sections else None for key in expected}


def shown(wine, root, locale):
    """{(key, name): text} of the indirect strings below root (HKCU or HKLM) in our ProgIDs, Applications
    entry and Capabilities, as SHLoadIndirectString gives them to a program of the build under test in locale."""
    speaking, out = copy.copy(wine), wine.drive_c / "shown.jsonl"
    speaking.env = dict(wine.env, LC_ALL=locale, LANG=locale)
    out.unlink(missing_ok=True)
    keys = [("" if root == "HKCU" else root + "\\") + key for key in PROG_IDS + [APPLICATION, APPLICATION + r"\Capabilities"]]
    code, output = speaking.start([wine.build.testbin / "regdump.exe", keys[0], wine.win_path(out), *keys[1:]])
    assert code == 0, f"regdump ended with {code}; Wine's output:\n{output[-3000:]}"
    rows = map(json.loads, out.read_text().splitlines())
    return {(r["key"].removeprefix(root + "\\"), r["name"]): r["resolved"] for r in rows if "resolved" in r}


def expected_shown(locale):
    """What shown() finds: each type's name and the suite's description in locale's language."""
    texts = SHOWN[locale]
    return {**{(key, "FriendlyTypeName"): texts[KINDS[ext.rstrip("x")]] for key, ext in zip(PROG_IDS, EXTENSIONS)},
            (APPLICATION + r"\Capabilities", "ApplicationDescription"): texts["description"]}
