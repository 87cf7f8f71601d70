#!/usr/bin/env python3
"""The real program, timed and weighed from outside.

For 2 and for 10 panels, a demo machine whose terminal lists 12 symbols, with the notice window open
and the demo's voice, runs build/app/pennant as a user starts it. Start-up: from the moment the
process is started to the first and to the last panel whose page shows a price, as the program reads
it back from the page (--report-quotes-shown prints the system's monotonic clock, which this
script noted just before starting it); medians over the runs. Memory, with 10 panels and the talking
clock on: the program runs for two minutes (--weigh-seconds) with its local time set so that the
half-hour chime (a MIDI tune, then the time spoken) strikes about 40 seconds in; every second the
proportional set size of the program and every process under it (its Chromium) is read, and the
peak is reported, with how many other Chromium processes the machine ran at that moment (they share
pages with ours and lower its PSS; the resident size of the tree, which counts shared pages in full,
bounds it from above).

usage: program_bench.py BUILD_DIR OUT_JSON [--runs N] [--weigh-seconds SECONDS]
"""
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import xml.etree.ElementTree as ET

SYMBOLS = ["EURUSD", "GBPUSD", "USDJPY", "AUDUSD", "USDCHF", "XAUUSD", "USDCAD", "NZDUSD", "EURJPY", "GBPJPY"]
TERMINAL_SYMBOLS = 12
SETTINGS = "C/Program Files/Pennant/Pennant.xml"


def prepare(build, source, root, panels, clock=False):
    """A demo machine as scripts/run makes it, with `panels` panels laid out in two rows (and the
    talking clock on, striking the half hour)."""
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
    if clock:
        tree.getroot().find("Settings/VoiceClock").attrib.update({"Checked": "1", "Clock30": "1"})
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


def start(build, root, sites, extra=(), env=None):
    cmd = [f"{build}/app/pennant", "--machine-root", root, "--setting", f"terminal.symbols={TERMINAL_SYMBOLS}"]
    cmd += list(extra)
    for s in sites:
        cmd += ["--setting", s]
    return subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, env=env)


def stop(proc):
    """The way Ctrl+C does."""
    proc.send_signal(signal.SIGINT)
    try:
        proc.communicate(timeout=20)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.communicate()


def run_once(build, root, panels, sites):
    """Starts the program, waits for every panel to show a price, stops it. Times in ms from the
    start."""
    t0 = time.monotonic()
    proc = start(build, root, sites, ["--report-quotes-shown"])
    shown = []
    deadline = t0 + 60
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
    finally:
        stop(proc)
    return shown


def weigh(build, root, sites, seconds, chime_after=40):
    """Runs the program for `seconds` with its local time `chime_after` seconds short of a half
    hour, reading the tree's PSS every second; the peak reading and when the chime came."""
    now = time.time()
    # Local time = UTC + the offset; the clock (a real one) reads it through TZ.
    offset = int((30 * 60 - chime_after - now) % 3600)
    env = dict(os.environ, TZ=f"BNC-0:{offset // 60:02d}:{offset % 60:02d}")
    t0 = time.monotonic()
    proc = start(build, root, sites, env=env)
    events = {}

    def read():
        for line in proc.stdout:
            for key, mark in (("chime", "clock chimes:"), ("spoken", "clock speaks:")):
                if mark in line and key not in events:
                    events[key] = time.monotonic() - t0

    reader = threading.Thread(target=read, daemon=True)
    reader.start()
    peak, samples = None, []
    try:
        while time.monotonic() - t0 < seconds and proc.poll() is None:
            next_at = time.monotonic() + 1.0
            tree = descendants(proc.pid)
            program = rollup_kb(proc.pid) / 1024.0
            browser = sum(rollup_kb(p) for p in tree if p != proc.pid) / 1024.0
            at = time.monotonic() - t0
            samples.append((round(at, 1), round(program + browser, 1), round(program, 1)))
            if peak is None or program + browser > peak["total_MB"]:
                mine = set(tree)
                peak = {
                    "total_MB": program + browser, "program_MB": program, "browser_MB": browser,
                    "at_s": at,
                    # Counts every shared page whole in each process: above what the tree alone uses.
                    "rss_MB": sum(rollup_kb(p, "Rss:") for p in tree) / 1024.0,
                    "browser_processes": len(tree) - 1,
                    "other_chromium": sum(1 for p in os.listdir("/proc")
                                          if p.isdigit() and int(p) not in mine and is_chromium(int(p))),
                }
            time.sleep(max(0.0, next_at - time.monotonic()))
    finally:
        stop(proc)
        reader.join(timeout=5)
    if peak is not None:
        peak.update(seconds=seconds, samples=len(samples), chime_s=events.get("chime"),
                    spoken_s=events.get("spoken"),
                    after_chime_MB=max((v for t, v, _ in samples if "chime" in events and t >= events["chime"]),
                                       default=None))
    return peak, samples


def main():
    args = sys.argv[1:]
    if len(args) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    build, out = os.path.abspath(args[0]), args[1]
    runs, seconds = 5, 120.0
    if "--runs" in args:
        runs = int(args[args.index("--runs") + 1])
    if "--weigh-seconds" in args:
        seconds = float(args[args.index("--weigh-seconds") + 1])
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
            firsts, lasts = [], []
            # One run first, not counted: the files the program reads come into the page cache.
            for i in range(runs + 1):
                shown = run_once(build, root, panels, sites)
                print(f"program bench: {panels} panels, run {i}: shown at "
                      + ", ".join(f"{v:.0f}" for v in shown) + " ms", file=sys.stderr)
                if i == 0 or len(shown) < panels:
                    continue
                firsts.append(min(shown))
                lasts.append(max(shown))
            report[f"startup_{panels}"] = {
                "first_ms": statistics.median(firsts) if firsts else None,
                "first_range_ms": [min(firsts), max(firsts)] if firsts else None,
                "last_ms": statistics.median(lasts) if lasts else None,
                "last_range_ms": [min(lasts), max(lasts)] if lasts else None,
                "runs": len(firsts),
            }
        root = os.path.join(work, "machine-weighed")
        prepare(build, source, root, 10, clock=True)
        peak, samples = weigh(build, root, sites, seconds)
        print("program bench: memory each second (s: total/program MB): "
              + " ".join(f"{t:.0f}:{v:.0f}/{p:.0f}" for t, v, p in samples), file=sys.stderr)
        if peak is not None:
            report["memory_10"] = peak
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
