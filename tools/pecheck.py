#!/usr/bin/env python3
"""Checks the built programs as a user's Windows would see them: GUI subsystem, the
version block, the application manifest (only the agent has one, per-monitor DPI aware), the
launcher's and the agent's icon groups, imports from Windows system DLLs only, so no runtime
DLL has to ship beside them, and the hardening: ASLR with relocations, NX, high-entropy
addresses above 4 GiB (64-bit), no section both writable and executable, no shared writable
section, and stack canaries whose guard is seeded at start-up and costs no crypto provider.
Any other program or DLL in a folder (a test twin of a program) gets the hardening checks alone.

    pecheck.py FOLDER...    (exit status 1 when a check fails)
"""
import struct
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
STACK_COOKIE_FAST_FAIL = bytes([0xB9, 0x02, 0, 0, 0, 0xCD, 0x29])  # mov ecx, FAST_FAIL_STACK_COOKIE_CHECK_FAILURE; int 0x29
CRYPTO_PROVIDER_CALLS = (b"CryptAcquireContext", b"CryptGenRandom")
RANDOM_SOURCE = ("advapi32.dll", b"SystemFunction036")  # RtlGenRandom, which the guard is seeded from
SEEDER_REACH = 64  # bytes from a constructor's entry within which it calls the random source
CHARACTERISTICS = {"DYNAMIC_BASE": 0x40, "NX_COMPAT": 0x100, "HIGH_ENTROPY_VA": 0x20}
SCN_SHARED, SCN_EXECUTE, SCN_WRITE = 0x10000000, 0x20000000, 0x80000000
PROGRAMS = {"Quenvodef.exe": False, "quenvocommon.exe": False, "quenvodata.exe": True}  # name: has manifest
# Open with, Explorer, the title and task bars show a program's first icon group: the launcher's
# and the agent's are the suite's.
WITH_ICON = {"Quenvodef.exe", "quenvodata.exe"}
# Per-monitor DPI awareness: Windows 10 1607 and later take the first mode of dpiAwareness that they
# know (PerMonitorV2 from 1703, PerMonitor on 1607) and ignore dpiAware; earlier ones read only
# dpiAware, where "true/pm" is per-monitor on 8.1 and system-aware on 7 and 8. An element in
# another namespace is ignored by Windows, so the namespaces count.
DPI_AWARE = ("{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware", ["true/pm"])
DPI_AWARENESS = ("{http://schemas.microsoft.com/SMI/2016/WindowsSettings}dpiAwareness", ["permonitorv2", "permonitor"])


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


def icon_groups(pe):
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    return [t for t in resources.entries if t.id == pefile.RESOURCE_TYPE["RT_GROUP_ICON"]] if resources else []


def manifest_problems(xml_bytes):
    """What the agent's manifest lacks: supported systems, common controls 6, asInvoker, per-monitor
    DPI awareness in both forms."""
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
    for tag, wanted in (DPI_AWARE, DPI_AWARENESS):
        values = [[mode.strip().lower() for mode in (e.text or "").split(",")] for e in root.iter(tag)]
        if values != [wanted]:
            problems.append(f"{tag.partition('}')[2]} {values}, not {wanted}")
    return problems


def canary_checks(pe):
    """How many calls reach the stack-smashing handler (our __stack_chk_fail): each is the
    failing branch of one function's canary check. The files are stripped, so the handler is
    found by what only it does: the stack-cookie fast fail, `mov ecx, 2` then `int 0x29`. Its
    entry is the last call target at or before that, and no further than a few instructions."""
    text = next((s for s in pe.sections if s.Name.rstrip(b"\0") == b".text"), None)
    if text is None:
        return 0
    code, base = text.get_data(), text.VirtualAddress
    fails = [base + i for i in range(len(code)) if code.startswith(STACK_COOKIE_FAST_FAIL, i)]
    if len(fails) != 1:
        return 0
    targets = {}
    for i in range(len(code) - 4):
        if code[i] == 0xE8:
            target = base + i + 5 + struct.unpack_from("<i", code, i + 1)[0]
            targets[target] = targets.get(target, 0) + 1
    entries = [t for t in targets if fails[0] - 32 <= t <= fails[0]]
    return targets[max(entries)] if entries else 0


def crypto_provider_imports(pe):
    """Crypto provider calls in the import table: none may run at start-up, and none is needed."""
    return sorted(imp.name.decode() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) for imp in entry.imports
                  if imp.name and imp.name.startswith(CRYPTO_PROVIDER_CALLS))


def executable(pe):
    """(address, bytes) of each code section."""
    base = pe.OPTIONAL_HEADER.ImageBase
    return [(base + s.VirtualAddress, s.get_data()) for s in pe.sections if s.Characteristics & SCN_EXECUTE]


def random_source_calls(pe, slots):
    """Addresses of the calls to the random source through its import slots: `call [slot]`, or a call
    of an import thunk `jmp [slot]`. x64 addresses the slot relative to the next instruction, x86
    absolutely."""
    wide = pe.OPTIONAL_HEADER.Magic == 0x20B
    calls, thunks = set(), set()
    for address, code in executable(pe):
        for i in range(len(code) - 5):
            if code[i] == 0xFF and code[i + 1] in (0x15, 0x25):
                slot = address + i + 6 + struct.unpack_from("<i", code, i + 2)[0] if wide else \
                    struct.unpack_from("<I", code, i + 2)[0]
                if slot in slots:
                    (calls if code[i + 1] == 0x15 else thunks).add(address + i)
    for address, code in executable(pe):
        calls |= {address + i for i in range(len(code) - 4)
                  if code[i] == 0xE8 and address + i + 5 + struct.unpack_from("<i", code, i + 1)[0] in thunks}
    return calls


def constructors(pe):
    """The start-up code's constructor list (GCC's .ctors, which mingw's linker puts in the code):
    {where: entry} for the pointers between a -1 and a 0, each one relocated. The start-up code
    calls them from the last to the first."""
    size = 8 if pe.OPTIONAL_HEADER.Magic == 0x20B else 4
    image, base = pe.get_memory_mapped_image(), pe.OPTIONAL_HEADER.ImageBase
    relocated = {r.rva for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []) for r in block.entries if r.type}

    def read(rva):
        return int.from_bytes(image[rva:rva + size], "little")

    for address, code in executable(pe):
        start, end = address - base, address - base + len(code)
        for rva in sorted(r for r in relocated if start <= r < end and read(r - size) == (1 << 8 * size) - 1):
            entries = {}
            while rva in relocated:
                entries[rva] = read(rva)
                rva += size
            if read(rva) == 0:
                return entries
    return {}


def seeding_problem(pe):
    """Why the canaries' guard would never be seeded, or None: the random source not imported, or
    no constructor that calls it."""
    name = RANDOM_SOURCE[1].decode()
    slots = {imp.address for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) for imp in entry.imports
             if (entry.dll.decode().lower(), imp.name) == RANDOM_SOURCE}
    if not slots:
        return f"stack guard not seeded from {name} (not imported)"
    calls = random_source_calls(pe, slots)
    if any(entry <= call < entry + SEEDER_REACH for entry in constructors(pe).values() for call in calls):
        return None
    return f"stack guard not seeded from {name} (no constructor calls it)"


def hardening_problems(pe):
    """What the file lacks of ASLR (with relocations), NX, high-entropy addresses above 4 GiB
    (64-bit), W^X sections, unshared writable sections and stack canaries with a seeded guard, and
    what it has of a crypto provider."""
    wide = pe.OPTIONAL_HEADER.Magic == 0x20B
    wanted = ["DYNAMIC_BASE", "NX_COMPAT"] + (["HIGH_ENTROPY_VA"] if wide else [])
    flags = pe.OPTIONAL_HEADER.DllCharacteristics
    problems = [f"no {name}" for name in wanted if not flags & CHARACTERISTICS[name]]
    relocations = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    if pe.FILE_HEADER.Characteristics & 0x1 or relocations.Size == 0:  # IMAGE_FILE_RELOCS_STRIPPED
        problems.append("no relocations, so ASLR can't move it")
    if wide and pe.OPTIONAL_HEADER.ImageBase < 1 << 32:
        problems.append(f"image base {pe.OPTIONAL_HEADER.ImageBase:#x} below 4 GiB")
    for section in pe.sections:
        name, traits = section.Name.rstrip(b"\0").decode(errors="replace"), section.Characteristics
        if traits & SCN_WRITE and traits & SCN_EXECUTE:
            problems.append(f"section {name} writable and executable")
        if traits & SCN_WRITE and traits & SCN_SHARED:
            problems.append(f"section {name} writable and shared")
    if canary_checks(pe) < 2:
        problems.append("no stack canary checks")
    if seeding := seeding_problem(pe):
        problems.append(seeding)
    if crypto := crypto_provider_imports(pe):
        problems.append(f"imports crypto provider calls {crypto}")
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
    if path.name in WITH_ICON and not icon_groups(pe):
        problems.append("no icon group")
    imports = {e.dll.decode().lower() for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    foreign = sorted(d for d in imports if d not in SYSTEM_DLLS and not d.startswith("api-ms-win-"))
    if foreign:
        problems.append(f"imports non-system DLLs {foreign}")
    return problems + hardening_problems(pe)


def main(argv):
    failed = False
    for folder in map(Path, argv[1:]):
        files = sorted(p for p in folder.glob("*") if p.suffix.lower() in (".exe", ".dll"))
        if not files:
            print(f"no programs in {folder}")
            return 1
        for path in files:
            shipped = path.name in PROGRAMS or path.name == "FileAssociation.dll"
            problems = check(path, PROGRAMS.get(path.name)) if shipped else hardening_problems(pefile.PE(str(path)))
            failed |= bool(problems)
            said = f"ok ({canary_checks(pefile.PE(str(path)))} canary checks)" if not problems else "; ".join(problems)
            print(f"{path.name}: {said}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
