#!/usr/bin/env python3
"""Checks the built programs as a user's Windows would see them: GUI subsystem, the
version block, the application manifest (only the agent has one), and imports from
Windows system DLLs only, so no runtime DLL has to ship beside them.

    pecheck.py BIN_DIR      (exit status 1 when a check fails)
"""
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

import pefile

VERSION = (2, 0, 0, 5)
SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "gdi32.dll", "gdiplus.dll", "iphlpapi.dll", "kernel32.dll",
    "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
    "wininet.dll", "ws2_32.dll", "version.dll", "userenv.dll", "wintrust.dll", "crypt32.dll",
}
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # 10
}
PROGRAMS = {"Quenvodef.exe": False, "quenvocommon.exe": False, "quenvodata.exe": True}  # name: has manifest


def fixed_version(pe):
    for info in getattr(pe, "VS_FIXEDFILEINFO", []) or []:
        fv = (info.FileVersionMS >> 16, info.FileVersionMS & 0xFFFF, info.FileVersionLS >> 16, info.FileVersionLS & 0xFFFF)
        pv = (info.ProductVersionMS >> 16, info.ProductVersionMS & 0xFFFF, info.ProductVersionLS >> 16,
              info.ProductVersionLS & 0xFFFF)
        return fv, pv
    return None, None


def manifests(pe):
    found = []
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for rtype in resources.entries if resources else []:
        if rtype.id != pefile.RESOURCE_TYPE["RT_MANIFEST"]:
            continue
        for name in rtype.directory.entries:
            for lang in name.directory.entries:
                found.append(pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size))
    return found


def manifest_problems(xml_bytes):
    """What the agent's manifest lacks: supported systems, common controls 6, asInvoker, DPI awareness."""
    root = ET.fromstring(xml_bytes.decode("utf-8").lstrip("\ufeff"))
    ids = {e.get("Id", "").lower() for e in root.iter() if e.tag.endswith("supportedOS")}
    problems = []
    if ids != SUPPORTED_OS:
        problems.append(f"supportedOS ids {sorted(ids)}")
    if not any(e.tag.endswith("assemblyIdentity") and e.get("name") == "Microsoft.Windows.Common-Controls"
               and e.get("version", "").startswith("6.0") for e in root.iter()):
        problems.append("no common controls 6.0 dependency")
    levels = [e.get("level") for e in root.iter() if e.tag.endswith("requestedExecutionLevel")]
    if levels != ["asInvoker"]:
        problems.append(f"execution level {levels}")
    dpi = [e.text.strip().lower() for e in root.iter() if e.tag.endswith("dpiAware") and e.text]
    if not dpi or dpi[0] not in ("true", "true/pm", "per monitor"):
        problems.append("not DPI aware")
    return problems


def check(path: Path, wants_manifest):
    pe = pefile.PE(str(path))
    problems = []
    if path.suffix.lower() == ".exe" and pe.OPTIONAL_HEADER.Subsystem != pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"]:
        problems.append(f"subsystem {pe.OPTIONAL_HEADER.Subsystem}, not GUI")
    fv, pv = fixed_version(pe)
    if fv != VERSION or pv != VERSION:
        problems.append(f"version {fv} / {pv}")
    found = manifests(pe)
    if wants_manifest is False and found:
        problems.append("carries a manifest")
    if wants_manifest:
        problems += manifest_problems(found[0]) if len(found) == 1 else [f"{len(found)} manifests"]
    imports = {e.dll.decode().lower() for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    foreign = sorted(d for d in imports if d not in SYSTEM_DLLS and not d.startswith("api-ms-win-"))
    if foreign:
        problems.append(f"imports non-system DLLs {foreign}")
    return problems


def main(argv):
    folder = Path(argv[1])
    failed = False
    targets = [(folder / n, m) for n, m in PROGRAMS.items() if (folder / n).exists()]
    if (folder / "FileAssociation.dll").exists():
        targets.append((folder / "FileAssociation.dll", None))
    if not targets:
        print(f"no programs in {folder}")
        return 1
    for path, wants_manifest in targets:
        problems = check(path, wants_manifest)
        failed |= bool(problems)
        print(f"{path.name}: {'ok' if not problems else '; '.join(problems)}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
