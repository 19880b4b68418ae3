#!/usr/bin/env python3
"""Speed and size of the programs under Wine, each beside a bare baseline, in one run.

    bench/run [--runs N]        (python3 -m bench.run_bench from the repository's root)

Each timing is the median of N runs (default 15), taken in turns with its baseline.
--before BIN_DIR times another build's launcher and agent (an earlier commit's) in the same
turns, for a before-and-after figure from one run.
"""
import argparse
import json
import re
import shutil
import statistics
import subprocess
import time
from collections import defaultdict
from pathlib import Path

import pefile

from tools.testkit.dev_server import DevServer
from tools.testkit.wine import Build, Wine, install, records, wait_for

BUILD = Build("win64")
BIN = BUILD.bin
BENCHBIN = BUILD.dir / "benchbin"
SIZE_TARGETS = {"Quenvodef.exe": 256, "quenvocommon.exe": 256, "quenvodata.exe": 512}  # KiB
DOWNLOAD_MIB = 256


def median_ms(samples):
    return statistics.median(samples) * 1000


def report(name, ours, base, target, higher_is_better=False):
    ratio = ours / base if base else float("inf")
    ok = ratio >= target if higher_is_better else ratio <= target
    sign = ">=" if higher_is_better else "<="
    print(f"  {name:<28} {ratio:6.2f}x  (target {sign} {target:.2f}x)  {'ok' if ok else 'MISSED'}")
    return ok


def launcher_latency(wine, folder, program, runs):
    """Seconds from the launcher's start until the stand-in main program starts."""
    received = folder / "received.txt"
    exe = folder / program
    samples = []
    for _ in range(runs):
        received.unlink(missing_ok=True)
        measured = wine.run_measured(exe, f'"{wine.win_path(exe)}" "C:\\some folder\\a b.docx"')
        started = wait_for(lambda: records(received), timeout=20)
        assert started, f"{program} did not start quenvo.exe"
        qpc = started[0]["qpc"]
        samples.append((qpc - measured["started"]) / measured["frequency"])
    return samples


def bench_launcher(wine, runs, before):
    print("\nLauncher: start until quenvo.exe starts")
    ours_dir = install(wine, "bench/ours", "Quenvodef.exe", ("fake_quenvo.exe", "quenvo.exe"))
    base_dir = install(wine, "bench/base", BENCHBIN / "baseline_launcher.exe", ("fake_quenvo.exe", "quenvo.exe"))
    then_dir = before and install(wine, "bench/before", before / "Quenvodef.exe", ("fake_quenvo.exe", "quenvo.exe"))
    ours, base, then = [], [], []
    for _ in range(runs):  # in turns, so that drift in the machine's load hits both alike
        ours += launcher_latency(wine, ours_dir, "Quenvodef.exe", 1)
        base += launcher_latency(wine, base_dir, "baseline_launcher.exe", 1)
        then += launcher_latency(wine, then_dir, "Quenvodef.exe", 1) if before else []
    print(f"  Quenvodef.exe       median {median_ms(ours):7.1f} ms")
    print(f"  bare ShellExecuteW  median {median_ms(base):7.1f} ms")
    if before:
        print(f"  before ({before})  median {median_ms(then):7.1f} ms")
        report("launcher before / baseline", median_ms(then), median_ms(base), 1.10)
    return report("launcher / baseline", median_ms(ours), median_ms(base), 1.10)


def bench_agent(wine, runs, before):
    print("\nAgent: data=run with three requests, start to exit")
    server = DevServer({"v": "1.0.0.3", "t1": "a", "t2": "b", "t3": "c", "u": "http://dl/x.exe", "sz": "1"})
    wine.set_proxy(server.start())
    try:
        ours_exe, base_exe = BIN / "quenvodata.exe", BENCHBIN / "baseline_agent.exe"
        platform_exe = BENCHBIN / "baseline_agent_platform.exe"
        then_exe = before and install(wine, "bench/before agent", before / "quenvodata.exe") / "quenvodata.exe"
        ours, base, platform, then = [], [], [], []
        for _ in range(runs):
            for exe, samples in [(ours_exe, ours)] + ([(then_exe, then)] if before else []):
                wine.reg("delete", r"HKCU\Software\quenvo", "/v", "rday", "/f")  # a first run of the day
                sent = len(server.requests)
                samples.append(wine.run_measured(exe, f'"{wine.win_path(exe)}" data=run')["micros"] / 1e6)
                assert len(server.requests) - sent == 3, f"{exe} did not make its three requests"
            base.append(wine.run_measured(base_exe, f'"{wine.win_path(base_exe)}"')["micros"] / 1e6)
            platform.append(wine.run_measured(platform_exe, f'"{wine.win_path(platform_exe)}"')["micros"] / 1e6)
        print(f"  quenvodata data=run median {median_ms(ours):7.1f} ms")
        print(f"  bare three GETs     median {median_ms(base):7.1f} ms")
        print(f"  the same, after the platform start every agent start must make (COM, common")
        print(f"  controls 6 through the manifest, registry, IP Helper): median {median_ms(platform):7.1f} ms")
        ok = report("agent / baseline", median_ms(ours), median_ms(base), 1.15)
        ok &= report("agent / platform-start baseline", median_ms(ours), median_ms(platform), 1.05)
        if before:
            print(f"  before ({before}) median {median_ms(then):7.1f} ms")
            report("agent before / platform-start baseline", median_ms(then), median_ms(platform), 1.05)
        return ok
    finally:
        server.stop()


def bench_download(wine, runs):
    probe = BUILD.testbin / "update_download_probe.exe"
    print(f"\nDownloader: {DOWNLOAD_MIB} MiB through the local proxy")
    if not probe.exists():
        print("  (no download probe built)")
        return True
    size = DOWNLOAD_MIB << 20
    server = DevServer({"files": {"/f/big.bin": {"size": size}}})
    port = server.start()
    wine.set_proxy(port)
    target = wine.drive_c / "bench" / "big.bin"
    target.parent.mkdir(exist_ok=True)
    bare = BENCHBIN / "baseline_download.exe"
    url = "http://dl.quenvo.com/f/big.bin"

    def timed(program, args):
        target.unlink(missing_ok=True)
        start = time.monotonic()
        wine.run_raw(program, " ".join(f'"{a}"' for a in [wine.win_path(program), *args]), timeout=900)
        seconds = time.monotonic() - start
        assert target.stat().st_size == size, f"{program.name}: the download is incomplete"
        return seconds

    try:
        ours, bare8, bare64, curl = [], [], [], []
        for _ in range(max(3, runs // 3)):
            messages = target.with_suffix(".jsonl")
            timed(probe, [url, wine.win_path(target), str(size), wine.win_path(messages)])
            # The download thread's own time: the probe writes its records only afterwards.
            ours.append(json.loads(messages.read_text().splitlines()[-1])["ms"] / 1000)
            bare8.append(timed(bare, [url, wine.win_path(target), "8192"]))
            bare64.append(timed(bare, [url, wine.win_path(target), "65536"]))
            start = time.monotonic()
            subprocess.run(["curl", "-s", "-o", "/dev/null", "-x", f"http://127.0.0.1:{port}", url], check=True)
            curl.append(time.monotonic() - start)
        rate = {name: DOWNLOAD_MIB / statistics.median(samples)
                for name, samples in [("ours", ours), ("bare8", bare8), ("bare64", bare64), ("curl", curl)]}
        print(f"  download thread (8 KiB blocks, a message each)      {rate['ours']:7.1f} MiB/s")
        print(f"  bare WinInet loop, 8 KiB reads, no messages         {rate['bare8']:7.1f} MiB/s")
        print(f"  bare WinInet loop, 64 KiB reads                     {rate['bare64']:7.1f} MiB/s")
        print(f"  curl, native                                        {rate['curl']:7.1f} MiB/s")
        return report("downloader / curl", rate["ours"], rate["curl"], 0.60, higher_is_better=True)
    finally:
        target.unlink(missing_ok=True)
        server.stop()


def contributors(map_file, top=6):
    """Bytes each archive or object brings into the linked program, from the link map."""
    sizes = defaultdict(int)
    in_map = False
    pending = None
    for line in map_file.read_text(errors="replace").splitlines():
        if line.startswith("Linker script and memory map"):
            in_map = True
            continue
        if not in_map:
            continue
        m = re.match(r"^ (\.[\w.$]+)?\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$", line)
        if m and (m.group(1) or pending):
            name = Path(m.group(3).split("(")[0]).name
            if (m.group(1) or pending).startswith((".text", ".data", ".rdata", ".bss", ".pdata", ".xdata")):
                sizes[name] += int(m.group(2), 16)
            pending = None
        else:
            single = re.match(r"^ (\.[\w.$]+)$", line)
            pending = single.group(1) if single else None
    return sorted(sizes.items(), key=lambda kv: -kv[1])[:top]


def bench_sizes():
    print("\nSizes of the stripped x86_64 programs")
    ok = True
    for name, limit in SIZE_TARGETS.items():
        path = BIN / name
        if not path.exists():
            print(f"  {name}: not built")
            continue
        size = path.stat().st_size
        fits = size <= limit * 1024
        ok &= fits
        print(f"  {name:<18} {size / 1024:7.1f} KiB (target <= {limit} KiB) {'ok' if fits else 'MISSED'}")
        pe = pefile.PE(str(path), fast_load=True)
        sections = [(s.Name.rstrip(b"\0").decode(), s.SizeOfRawData) for s in pe.sections]
        print("    sections: " + ", ".join(f"{n} {b / 1024:.1f} KiB" for n, b in sections))
        map_file = BUILD.dir / "maps" / f"{path.stem}.map"
        if map_file.exists():
            print("    largest: " + ", ".join(f"{n} {b // 1024} KiB" for n, b in contributors(map_file)))
    return ok


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--before", type=Path, help="another build's bin folder, timed in the same turns")
    args = parser.parse_args()
    if args.runs < 10:
        parser.error("at least 10 runs")
    prefix = BUILD.dir / "bench-prefix"
    shutil.rmtree(prefix, ignore_errors=True)
    wine = Wine(prefix, BUILD).boot()
    try:
        results = [bench_launcher(wine, args.runs, args.before)]
        if (BIN / "quenvodata.exe").exists():
            results.append(bench_agent(wine, args.runs, args.before))
        results.append(bench_download(wine, args.runs))
        results.append(bench_sizes())
    finally:
        wine.shutdown()
    print("\nall targets met" if all(results) else "\nsome targets missed")


if __name__ == "__main__":
    main()
