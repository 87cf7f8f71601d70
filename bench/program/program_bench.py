#!/usr/bin/env python3
"""The real program, timed and weighed from outside.

For 2 and for 10 panels, a demo machine whose terminal lists 12 symbols, with the notice window open
and the demo's voice, runs build/app/pennant as a user starts it. Start-up: from the moment the
process is started to the first (and the last) panel whose page shows a price, as the program reads
it back from the page (--report-quotes-shown prints the system's monotonic clock, which this
script noted just before starting it). Memory, with 10 panels once the window has settled: the
proportional set size of the program and every process under it (its Chromium), and how many other
Chromium processes the machine ran at that moment (they share pages with ours and lower its PSS;
the resident size of the tree, which counts shared pages in full, bounds it from above).

usage: program_bench.py BUILD_DIR OUT_JSON [--runs N] [--settle SECONDS]
"""
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET

SYMBOLS = ["EURUSD", "GBPUSD", "USDJPY", "AUDUSD", "USDCHF", "XAUUSD", "USDCAD", "NZDUSD", "EURJPY", "GBPJPY"]
TERMINAL_SYMBOLS = 12
SETTINGS = "C/Program Files/Pennant/Pennant.xml"


def prepare(build, source, root, panels):
    """A demo machine as scripts/run makes it, with `panels` panels laid out in two rows."""
    subprocess.run([f"{build}/tools/demomachine/pennant-demo-machine", root, f"{source}/core/Pennant.xml"],
                   check=True, stdout=subprocess.DEVNULL)
    library, engine = f"{build}/voice/mandarin", f"{build}/speech-engine/libvoxling.so"
    if os.path.exists(f"{library}/VoiceDef.dat") and os.path.exists(engine):
        subprocess.run([f"{build}/tools/voicegen/voicegen", "install", "--machine-root", root, "--library", library,
                        "--engine", os.path.abspath(engine)], check=True, stdout=subprocess.DEVNULL)
    path = os.path.join(root, SETTINGS)
    tree = ET.parse(path)
    window = tree.getroot().find("Window")
    floats = window.find("Float")
    template = floats.find("Item")
    for item in list(floats):
        floats.remove(item)
    for i, symbol in enumerate(SYMBOLS[:panels]):
        item = ET.SubElement(floats, "Item", dict(template.attrib))
        item.set("Symbol", symbol)
        item.set("Left", str(20 + (i % 5) * 190))
        item.set("Top", str(40 + (i // 5) * 150))
    window.find("FXNews").set("Status", "1")
    tree.write(path, encoding="UTF-8", xml_declaration=True)


def descendants(pid):
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                ppid = int(f.read().rsplit(")", 1)[1].split()[1])
        except (OSError, ValueError, IndexError):
            continue
        children.setdefault(ppid, []).append(int(entry))
    out, todo = [], [pid]
    while todo:
        p = todo.pop()
        out.append(p)
        todo.extend(children.get(p, []))
    return out


def rollup_kb(pid, key="Pss:"):
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            for line in f:
                if line.startswith(key):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def is_chromium(pid):
    try:
        with open(f"/proc/{pid}/comm") as f:
            comm = f.read().strip()
    except OSError:
        return False
    return comm.startswith("chrom") or "headless" in comm


def run_once(build, root, panels, sites, settle, weigh):
    """Starts the program, waits for every panel to show a price (and, to weigh it, the settling
    time after), stops it the way Ctrl+C does. Times in ms from the start."""
    cmd = [f"{build}/app/pennant", "--machine-root", root, "--report-quotes-shown",
           "--setting", f"terminal.symbols={TERMINAL_SYMBOLS}"]
    for s in sites:
        cmd += ["--setting", s]
    t0 = time.monotonic()
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    shown = []
    deadline = t0 + 60
    result = {"shown_ms": shown}
    try:
        os.set_blocking(proc.stdout.fileno(), True)
        for line in proc.stdout:
            if "quote shown on the" in line and "monotonic clock" in line:
                clock = float(line.rsplit("monotonic clock", 1)[1].split()[0])
                shown.append((clock - t0) * 1000.0)
                if len(shown) == panels:
                    break
            if time.monotonic() > deadline:
                break
        if weigh and len(shown) == panels:
            time.sleep(settle)
            tree = descendants(proc.pid)
            mine = set(tree)
            result["program_MB"] = rollup_kb(proc.pid) / 1024.0
            result["browser_MB"] = sum(rollup_kb(p) for p in tree if p != proc.pid) / 1024.0
            result["total_MB"] = result["program_MB"] + result["browser_MB"]
            # Counts every shared page whole in each process: above what the tree alone would use.
            result["rss_MB"] = sum(rollup_kb(p, "Rss:") for p in tree) / 1024.0
            result["browser_processes"] = len(tree) - 1
            result["other_chromium"] = sum(1 for p in os.listdir("/proc")
                                           if p.isdigit() and int(p) not in mine and is_chromium(int(p)))
    finally:
        proc.send_signal(signal.SIGINT)
        try:
            proc.communicate(timeout=20)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.communicate()
    return result


def main():
    args = sys.argv[1:]
    if len(args) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    build, out = os.path.abspath(args[0]), args[1]
    runs, settle = 5, 10.0
    if "--runs" in args:
        runs = int(args[args.index("--runs") + 1])
    if "--settle" in args:
        settle = float(args[args.index("--settle") + 1])
    source = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    work = tempfile.mkdtemp(prefix="pennant-program-bench-")
    sites_file = os.path.join(work, "sites")
    sites_proc = subprocess.Popen([f"{build}/tools/fixture-sites/fixture-sites", "--settings-file", sites_file],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    report = {"load_before": os.getloadavg(), "cpus": os.cpu_count()}
    try:
        for _ in range(100):
            if os.path.exists(sites_file) and os.path.getsize(sites_file) > 0:
                break
            time.sleep(0.05)
        sites = open(sites_file).read().split() if os.path.exists(sites_file) else []
        for panels in (2, 10):
            root = os.path.join(work, f"machine-{panels}")
            prepare(build, source, root, panels)
            firsts, lasts, weights = [], [], []
            # One run first, not counted: the files the program reads come into the page cache.
            for i in range(runs + 1):
                r = run_once(build, root, panels, sites, settle, weigh=(panels == 10 and i == runs))
                print(f"program bench: {panels} panels, run {i}: shown at "
                      + ", ".join(f"{v:.0f}" for v in r["shown_ms"]) + " ms"
                      + (f"; {r['total_MB']:.0f} MB" if "total_MB" in r else ""), file=sys.stderr)
                if i == 0 or len(r["shown_ms"]) < panels:
                    continue
                firsts.append(min(r["shown_ms"]))
                lasts.append(max(r["shown_ms"]))
                if "total_MB" in r:
                    weights.append(r)
            report[f"startup_{panels}"] = {
                "first_ms": statistics.median(firsts) if firsts else None,
                "first_range_ms": [min(firsts), max(firsts)] if firsts else None,
                "last_ms": statistics.median(lasts) if lasts else None,
                "runs": len(firsts),
            }
            if weights:
                report["memory_10"] = weights[-1]
    finally:
        sites_proc.terminate()
        sites_proc.wait()
        shutil.rmtree(work, ignore_errors=True)
    report["load_after"] = os.getloadavg()
    with open(out, "w") as f:
        json.dump(report, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
