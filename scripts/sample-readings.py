#!/usr/bin/env python3
"""Writes recorded readings as the program records them: one CSV file per local day for one port.

A slowly varying room temperature (a daily swing, drift and the board's 0.49 degree steps), one reading
every INTERVAL seconds, ending now, with one half-hour gap where the board was unplugged.
Usage: sample-readings.py FOLDER PORT DAYS [INTERVAL]
"""
import math
import os
import random
import sys
import time


def line(t_ms, raw):
    seconds, millis = divmod(t_ms, 1000)
    local = time.localtime(seconds)
    offset = local.tm_gmtoff // 60
    sign = "-" if offset < 0 else "+"
    offset = abs(offset)
    hundredths = (raw * 3125 + 32) // 64
    return "%s.%03d%s%02d:%02d,%d.%02d,%d,%d\n" % (
        time.strftime("%Y-%m-%dT%H:%M:%S", local), millis, sign, offset // 60, offset % 60,
        hundredths // 100, hundredths % 100, raw & 0xFF, raw >> 8)


def main():
    folder, port, days = sys.argv[1], sys.argv[2], float(sys.argv[3])
    interval = float(sys.argv[4]) if len(sys.argv) > 4 else 1.0
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(7)
    end = int(time.time() * 1000)
    start = end - int(days * 86400 * 1000)
    gap = (start + (end - start) * 2 // 3, start + (end - start) * 2 // 3 + 30 * 60 * 1000)
    files = {}
    drift = 0.0
    t = start
    step = int(interval * 1000)
    while t < end:
        if not gap[0] <= t < gap[1]:
            hour = time.localtime(t // 1000).tm_hour + time.localtime(t // 1000).tm_min / 60
            drift = max(-1.5, min(1.5, drift + rng.gauss(0, 0.01)))
            celsius = 21.5 + 2.5 * math.sin((hour - 9) / 24 * 2 * math.pi) + drift + rng.gauss(0, 0.15)
            raw = max(0, round(celsius * 1024 / 500))
            day = time.strftime("%Y-%m-%d", time.localtime(t // 1000))
            if day not in files:
                path = os.path.join(folder, "%s_%s.csv" % (day, port))
                files[day] = open(path, "w")
                files[day].write("time,celsius,low,high\n")
            files[day].write(line(t, raw))
        t += step
    for f in files.values():
        f.close()


if __name__ == "__main__":
    main()
