#!/usr/bin/env python3
"""A long recording served by the real headless program: how long its history takes to load, the longest
a request waits meanwhile (the event loop held), and /api/readings over all of it, in time and in resident
memory over the idle program. Twice: first with no day summaries in the cache, then with them. Prints a
table.

    /usr/bin/python3 bench/history_bench.py --build BUILD_DIR [--days 365] [--folder READINGS]

--folder reuses readings written before (port ttyACM0, as scripts/sample-readings.py writes them).
"""
import argparse
import json
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.dont_write_bytecode = True  # no compiled leftovers in the tree
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests" / "web"))
from browser_test import WebPage, free_port  # noqa: E402

QUERIES = 5


def get(url):
    started = time.monotonic()
    with urllib.request.urlopen(url, timeout=60) as answer:
        body = answer.read()
    return body, (time.monotonic() - started) * 1000


def status_kb(pid, field):
    status = pathlib.Path(f"/proc/{pid}/status").read_text()
    return int(next(line.split()[1] for line in status.splitlines() if line.startswith(field + ":")))


def run(args, env, readings):
    """Starts the station on the recording and measures it; returns the figures."""
    port = free_port()
    url = f"http://127.0.0.1:{port}/"
    started = time.monotonic()
    station = subprocess.Popen(
        [f"{args.build}/src/vantro", "--headless", "--port", "ttyACM0", "--http", f"127.0.0.1:{port}"],
        env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        # The history loads once the page is served; every request meanwhile waits for the event loop.
        longest = 0.0
        count = 0
        while count < readings:
            try:
                body, waited = get(url + "api/readings?points=1")
                count = json.loads(body)["count"]
                longest = max(longest, waited)
            except OSError:
                pass
            time.sleep(0.01)
        loaded = (time.monotonic() - started) * 1000
        time.sleep(1)
        idle = status_kb(station.pid, "VmRSS")
        pathlib.Path(f"/proc/{station.pid}/clear_refs").write_text("5")  # the peak, from here
        times = [get(url + "api/readings")[1] for _ in range(QUERIES)]
        peak = status_kb(station.pid, "VmHWM") - idle
    finally:
        WebPage.stop(station)
    return loaded, longest, idle, statistics.median(times), max(times), peak


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--days", type=float, default=365)
    parser.add_argument("--folder")
    args = parser.parse_args()
    home = pathlib.Path(tempfile.mkdtemp(prefix="vantro-history-bench-"))
    try:
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        for name in ("CONFIG", "DATA", "CACHE"):
            env[f"XDG_{name}_HOME"] = str(home / name.lower())
        readings = home / "data" / "vantro" / "readings"
        if args.folder:
            readings.parent.mkdir(parents=True)
            readings.symlink_to(pathlib.Path(args.folder).resolve())
        else:
            subprocess.run([str(pathlib.Path(__file__).resolve().parent.parent / "scripts" / "sample-readings.py"),
                            str(readings), "ttyACM0", str(args.days)], check=True)
        total = sum(max(0, sum(1 for _ in open(day)) - 1) for day in readings.glob("*_ttyACM0.csv"))
        first = run(args, env, total)
        again = run(args, env, total)
    finally:
        shutil.rmtree(home, ignore_errors=True)
    print(f"| figure, {total} readings recorded | target | no summaries yet | with summaries |\n|---|---|---|---|")
    rows = (("process start -> history loaded", "<= 2.6 s the first time", "%.0f ms", 0),
            ("longest a request waited meanwhile (the event loop held)", "<= 50 ms", "%.0f ms", 1),
            ("resident memory, idle, history loaded", "-", "%.1f MB", 2),
            (f"/api/readings over all of it, median of {QUERIES}", "<= 300 ms", "%.0f ms", 3),
            ("that request, slowest", "-", "%.0f ms", 4),
            ("those requests: peak resident memory over idle", "<= 32 MB", "%.1f MB", 5))
    for name, target, shape, i in rows:
        scale = 1024 if "MB" in shape else 1
        print(f"| {name} | {target} | {shape % (first[i] / scale)} | {shape % (again[i] / scale)} |")


if __name__ == "__main__":
    main()
