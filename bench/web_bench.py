#!/usr/bin/env python3
"""The station's web page, measured against the real headless program and the virtual board replying ten
times a second: the first paint of the 24 h chart over 7 recorded days in headless Chromium, a reading's way
to the page's event stream, and what 32 open event streams cost the program. Prints a table.

    /usr/bin/python3 bench/web_bench.py --build BUILD_DIR [--seconds 60] [--chromedriver PATH]
"""
import argparse
import datetime
import json
import math
import os
import pathlib
import selectors
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.dont_write_bytecode = True  # no compiled leftovers in the tree
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests" / "web"))
from browser_test import WebPage, celsius_text, free_port, wait  # noqa: E402
from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402

WEEK_SECONDS = 7 * 24 * 3600
LOADS = 5
LATENCIES = 200
STREAMS = 32

# Run before the page's own script: the time of the first task after the frame that first drew the chart with
# points, and for each reading on the page's own event stream how long ago the station took it.
PAGE_PROBE = """
window.__latencies = [];
const NativeEventSource = window.EventSource;
window.EventSource = class extends NativeEventSource {
  constructor(...args) {
    super(...args);
    this.addEventListener('reading',
      (e) => window.__latencies.push(Date.now() - Date.parse(JSON.parse(e.data).time)));
  }
};
new MutationObserver((changes, observer) => {
  const chart = document.getElementById('chart');
  if (!chart || !(Number(chart.dataset.points) > 0)) return;
  observer.disconnect();
  setTimeout(() => { window.__painted = performance.now(); });
}).observe(document, { subtree: true, attributes: true, attributeFilter: ['data-points'] });
"""


def write_week(folder, stem, end):
    """A reading a second for the week up to `end`, a day's swing, in the recording's day files."""
    files = {}
    prefix = offset = None
    for t in range(end - WEEK_SECONDS, end):
        if prefix is None or t % 60 == 0:
            local = datetime.datetime.fromtimestamp(t).astimezone()
            stamp = local.isoformat(timespec="milliseconds")
            prefix, offset = stamp[:17], stamp[23:]
            minute = local.hour * 60 + local.minute
            raw = round(44 + 8 * math.sin(2 * math.pi * (minute - 540) / 1440))
            values = f"{celsius_text(raw)},{raw & 255},{raw >> 8}\n"
            lines = files.setdefault(stamp[:10], ["time,celsius,low,high\n"])
        lines.append(f"{prefix}{t % 60:02d}.000{offset},{values}")
    for day, lines in files.items():
        (folder / f"{day}_{stem}.csv").write_text("".join(lines))


def recorded(url):
    try:
        with urllib.request.urlopen(url + "api/readings?points=1", timeout=5) as answer:
            return json.load(answer)["count"] >= WEEK_SECONDS
    except OSError:
        return False


def cpu_seconds(pid):
    fields = pathlib.Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def resident_kb(pid):
    status = pathlib.Path(f"/proc/{pid}/status").read_text()
    return int(next(line.split()[1] for line in status.splitlines() if line.startswith("VmRSS:")))


def open_stream(port):
    """An event stream, or None while the station has no room for one more."""
    stream = socket.create_connection(("127.0.0.1", port))
    stream.sendall(b"GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
    head = b""
    while b"\r\n\r\n" not in head:
        head += stream.recv(4096)
    if not head.startswith(b"HTTP/1.1 200"):
        stream.close()
        return None
    stream.setblocking(False)
    return stream


def share(pid, streams, seconds):
    """CPU of the station as a share of one core, its resident memory growth in kB, and the readings each
    stream got, over `seconds` while the streams are read."""
    readings = {stream: 0 for stream in streams}
    tails = {stream: b"" for stream in streams}
    selector = selectors.DefaultSelector()
    for stream in streams:
        selector.register(stream, selectors.EVENT_READ)
    cpu, rss, start = cpu_seconds(pid), resident_kb(pid), time.monotonic()
    while (left := start + seconds - time.monotonic()) > 0:
        for key, _ in selector.select(left):
            received = key.fileobj.recv(65536)
            if not received:
                selector.unregister(key.fileobj)
                continue
            data = tails[key.fileobj] + received
            readings[key.fileobj] += data.count(b"event: reading")
            tails[key.fileobj] = data[-13:]
    elapsed = time.monotonic() - start
    return 100 * (cpu_seconds(pid) - cpu) / elapsed, resident_kb(pid) - rss, sorted(readings.values())


def percentile(values, share_of):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, math.ceil(share_of * len(ordered)) - 1)]


def page_figures(args, url):
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1200,1400"):
        options.add_argument(argument)
    browser = webdriver.Chrome(service=Service(args.chromedriver), options=options)
    try:
        browser.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": PAGE_PROBE})
        loads = []
        for load in range(LOADS):
            if load:
                browser.refresh()
            else:
                browser.get(url)
            loads.append(wait(lambda: browser.execute_script(
                "const r = performance.getEntriesByType('resource').find((e) => e.name.includes('api/readings'));"
                "const p = performance.getEntriesByName('first-contentful-paint')[0];"
                "return window.__painted && r && p && [window.__painted, p.startTime, r.startTime,"
                " r.responseEnd - r.startTime];")))
        browser.execute_script("window.__latencies = [];")
        latencies = wait(lambda: browser.execute_script(
            f"return window.__latencies.length >= {LATENCIES} && window.__latencies;"), seconds=LATENCIES)
    finally:
        browser.quit()
    return [statistics.median(column) for column in zip(*loads)], latencies


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--chromedriver", default="/usr/bin/chromedriver")
    args = parser.parse_args()
    folder = pathlib.Path(tempfile.mkdtemp(prefix="vantro-web-bench-"))
    processes = []
    try:
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        for name in ("CONFIG", "DATA", "CACHE"):
            env[f"XDG_{name}_HOME"] = str(folder / name.lower())
        readings = folder / "data" / "vantro" / "readings"
        readings.mkdir(parents=True)
        write_week(readings, "board", int(time.time()))
        processes.append(subprocess.Popen(
            [f"{args.build}/tools/vboard/vantro-vboard", "--link", str(folder / "board"), "--interval", "100"],
            env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True))
        assert processes[0].stdout.readline().strip(), "the virtual board names no port"
        port = free_port()
        url = f"http://127.0.0.1:{port}/"
        station = subprocess.Popen(
            [f"{args.build}/src/vantro", "--headless", "--port", str(folder / "board"), "--http",
             f"127.0.0.1:{port}"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        processes.append(station)

        wait(lambda: recorded(url), seconds=60)
        (painted, first, asked, answered), latencies = page_figures(args, url)
        idle = share(station.pid, [], args.seconds)
        streams = [wait(lambda: open_stream(port)) for _ in range(STREAMS)]
        busy = share(station.pid, streams, args.seconds)
        for stream in streams:
            stream.close()
    finally:
        for process in reversed(processes):
            WebPage.stop(process)
        shutil.rmtree(folder, ignore_errors=True)
    seconds = f"{args.seconds:g} s"
    print("| figure | target | measured |\n|---|---|---|")
    print(f"| first paint with the 24 h chart (7 days recorded, 604 800 readings), median of {LOADS} loads "
          f"| <= 300 ms | {painted:.0f} ms |")
    print(f"| those loads: first paint of anything; api/readings (24 h) asked at, answered in | - "
          f"| {first:.0f} ms; {asked:.0f} ms, {answered:.0f} ms |")
    print(f"| reading taken -> the page's event stream delivers it, {len(latencies)} readings, median "
          f"| <= 50 ms | {statistics.median(latencies):.0f} ms (95th percentile {percentile(latencies, 0.95)} ms) |")
    for name, (cpu, growth, counts) in (("no event streams", idle), (f"{STREAMS} event streams", busy)):
        got = f", readings a stream {counts[0]}-{counts[-1]}" if counts else ""
        print(f"| {name}, 10 readings/s, {seconds}: CPU | <= 2 % | {cpu:.2f} % |")
        print(f"| {name}: resident memory growth | <= 4 MB | {growth} kB{got} |")


if __name__ == "__main__":
    main()
