#!/usr/bin/env python3
"""The station's web page in headless Chromium or Firefox, against the real program and the virtual board: the reading
shown and kept live, the board unplugged and plugged back, the recorded days on the chart and downloaded.

    browser_test.py --build BUILD_DIR [--chromedriver PATH | --firefox PATH]
                                                  VANTRO_WEB_PNG=x.png also saves the page, in Chromium
"""
import argparse
import datetime
import json
import math
import os
import pathlib
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import unittest
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

sys.dont_write_bytecode = True  # no compiled leftovers in the tree
from marionette import Firefox  # noqa: E402

ARGS = None
# The port's name as the user gave it, markup and quotes and all: the page must show it as text.
PORT_NAME = "<b>x&\"'board"
STEM = re.sub(r"[^A-Za-z0-9._-]", "_", PORT_NAME)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait(condition, seconds=15, driver=None):
    return WebDriverWait(driver, seconds, poll_frequency=0.05).until(lambda _: condition())


def celsius_text(raw):
    # As the station computes it: 125/256 of a degree a step, exact ties rounded up.
    hundredths = (raw * 3125 + 32) // 64
    return f"{hundredths // 100}.{hundredths % 100:02d}"


def write_day(folder, day, stem):
    """A recorded day of one reading a minute, a slow swing over the day, as the station writes it."""
    midnight = datetime.datetime.combine(day, datetime.time())
    lines = ["time,celsius,low,high\n"]
    for minute in range(24 * 60):
        local = (midnight + datetime.timedelta(minutes=minute)).astimezone()
        raw = round(44 + 8 * math.sin(2 * math.pi * (minute - 540) / 1440))
        lines.append(f"{local.isoformat(timespec='milliseconds')},{celsius_text(raw)},{raw & 255},{raw >> 8}\n")
    path = folder / f"{day.isoformat()}_{stem}.csv"
    path.write_text("".join(lines))
    return path


class WebPage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = pathlib.Path(tempfile.mkdtemp(prefix="vantro-web-"))
        cls.addClassCleanup(shutil.rmtree, cls.dir, ignore_errors=True)
        cls.env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        for name in ("CONFIG", "DATA", "CACHE"):
            cls.env[f"XDG_{name}_HOME"] = str(cls.dir / name.lower())
        readings = cls.dir / "data" / "vantro" / "readings"
        readings.mkdir(parents=True)
        today = datetime.date.today()
        cls.days = [write_day(readings, today - datetime.timedelta(days=n), STEM) for n in (1, 2)]
        cls.board = None
        cls.addClassCleanup(lambda: cls.stop(cls.board))
        cls.plug_board()
        port = free_port()
        cls.url = f"http://127.0.0.1:{port}/"
        cls.station = subprocess.Popen(
            [f"{ARGS.build}/src/vantro", "--headless", "--port", str(cls.dir / PORT_NAME), "--http",
             f"127.0.0.1:{port}"], env=cls.env, stdout=subprocess.DEVNULL)
        cls.addClassCleanup(cls.stop, cls.station)
        wait(cls.station_answers)
        cls.downloads = cls.dir / "downloads"
        cls.downloads.mkdir()
        cls.browser = Firefox(ARGS.firefox, free_port(), cls.downloads) if ARGS.firefox else cls.chromium()
        cls.addClassCleanup(cls.browser.quit)
        cls.browser.get(cls.url)

    @classmethod
    def chromium(cls):
        options = webdriver.ChromeOptions()
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1200,1400"):
            options.add_argument(argument)
        options.add_experimental_option("prefs", {"download.default_directory": str(cls.downloads)})
        browser = webdriver.Chrome(service=Service(ARGS.chromedriver), options=options)
        browser.execute_cdp_cmd("Page.setDownloadBehavior", {"behavior": "allow", "downloadPath": str(cls.downloads)})
        return browser

    @staticmethod
    def stop(process, how=signal.SIGTERM):
        if process.poll() is None:
            process.send_signal(how)
        process.wait(10)
        if process.stdout:
            process.stdout.close()

    @classmethod
    def plug_board(cls):
        cls.board = subprocess.Popen(
            [f"{ARGS.build}/tools/vboard/vantro-vboard", "--link", str(cls.dir / PORT_NAME), "--interval", "200"],
            env=cls.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        assert cls.board.stdout.readline().strip(), "the virtual board names no port"

    @classmethod
    def station_answers(cls):
        try:
            return cls.state()
        except OSError:
            return None

    @classmethod
    def state(cls):
        with urllib.request.urlopen(cls.url + "api/state", timeout=5) as answer:
            return json.load(answer)

    def shown(self):
        return self.browser.execute_script(
            "const t = document.getElementById('temperature');"
            "return [t.textContent, t.dataset.time, document.getElementById('link').textContent];")

    def link_words(self):
        return self.shown()[2]

    def test_1_shows_the_stations_reading(self):
        def same_reading():
            reading = self.state()["reading"]
            text, time, _ = self.shown()
            return reading and time == reading["time"] and (text, f"{reading['celsius']:.2f} °C")

        shown, expected = wait(same_reading)
        self.assertEqual(shown, expected)
        self.assertEqual(self.browser.find_element(By.ID, "port").text, str(self.dir / PORT_NAME))
        self.assertFalse(self.browser.find_elements(By.CSS_SELECTOR, "#port *"))
        self.assertRegex(shown, r"^-?\d+\.\d\d °C$")

    def test_2_new_reply_shows_without_reload(self):
        wait(lambda: self.shown()[1])
        self.browser.execute_script("window.__loaded = 1;")
        before = self.shown()[1]
        wait(lambda: self.shown()[1] != before, seconds=1)
        self.assertEqual(self.browser.execute_script("return window.__loaded;"), 1)

    def test_3_unplug_and_plug_back(self):
        wait(lambda: self.link_words() == "Replies arriving")
        self.browser.execute_script("window.__loaded = 1;")
        self.stop(self.board, signal.SIGKILL)
        wait(lambda: self.link_words() != "Replies arriving")
        self.assertIn(self.link_words(), ("Waiting for the port", "Port closed", "Board silent"))
        self.assertTrue(self.browser.find_element(By.ID, "banner").get_attribute("hidden") is not None)
        type(self).plug_board()
        wait(lambda: self.link_words() == "Replies arriving", seconds=20)
        self.assertEqual(self.browser.execute_script("return window.__loaded;"), 1)

    def test_4_seven_days_draw_the_recorded_days(self):
        self.browser.find_element(By.CSS_SELECTOR, ".spans [data-span='7d']").click()
        chart = self.browser.find_element(By.ID, "chart")
        wait(lambda: chart.get_attribute("data-span") == "7d")
        self.assertGreaterEqual(int(chart.get_attribute("data-count")), 2 * 24 * 60)
        self.assertGreater(int(chart.get_attribute("data-points")), 0)
        pressed = self.browser.find_element(By.CSS_SELECTOR, ".spans [aria-pressed='true']")
        self.assertEqual(pressed.text, "7 days")

    def test_5_recorded_day_downloads_whole(self):
        recorded = self.days[1]
        day = recorded.name[:10]
        link = wait(lambda: self.browser.find_elements(By.CSS_SELECTOR, f"#days-body a[href='days/{day}.csv']"))
        link[0].click()
        downloaded = self.downloads / f"{day}.csv"
        wait(lambda: downloaded.exists() and downloaded.stat().st_size == recorded.stat().st_size)
        self.assertEqual(downloaded.read_bytes(), recorded.read_bytes())

    def test_6_picture(self):
        picture = os.environ.get("VANTRO_WEB_PNG")
        if not picture or ARGS.firefox:
            self.skipTest("the picture is Chromium's, when VANTRO_WEB_PNG names it")
        self.browser.find_element(By.CSS_SELECTOR, ".spans [data-span='24h']").click()
        chart = self.browser.find_element(By.ID, "chart")
        wait(lambda: chart.get_attribute("data-span") == "24h")
        self.browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                     {"width": 1200, "height": 1400, "deviceScaleFactor": 1, "mobile": False})
        self.assertTrue(self.browser.save_screenshot(picture))

    def test_7_fits_a_phone_in_light_and_dark(self):
        def luminance(colour):
            r, g, b = (int(c) / 255 for c in re.findall(r"\d+", colour)[:3])
            return 0.2126 * r + 0.7152 * g + 0.0722 * b

        looks = {}
        for dark in (False, True):
            self.show_as(375, 740, dark)
            wait(lambda: self.browser.execute_script(
                "return innerWidth <= 420 && matchMedia('(prefers-color-scheme: dark)').matches;") == dark)
            # Nothing wider than the phone: no sideways scrolling.
            self.assertLessEqual(self.browser.execute_script(
                "return document.documentElement.scrollWidth - innerWidth;"), 0)
            looks[dark] = [luminance(c) for c in self.browser.execute_script(
                "const style = (id) => getComputedStyle(document.getElementById(id));"
                "return [getComputedStyle(document.body).backgroundColor, style('temperature').color];")]
        self.show_as(1200, 1400, False)
        (light_page, light_text), (dark_page, dark_text) = looks[False], looks[True]
        self.assertGreater(light_page, 0.7)
        self.assertLess(dark_page, 0.3)
        self.assertLess(light_text, 0.3)
        self.assertGreater(dark_text, 0.7)

    def show_as(self, width, height, dark):
        if ARGS.firefox:
            self.browser.set_viewport(width, height)
            self.browser.set_preference("layout.css.prefers-color-scheme.content-override", 0 if dark else 1)
            return
        self.browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                     {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": width < 600})
        scheme = {"name": "prefers-color-scheme", "value": "dark" if dark else "light"}
        self.browser.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": [scheme]})


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--chromedriver", default="/usr/bin/chromedriver")
    parser.add_argument("--firefox", help="Firefox's program: the test runs in it instead of Chromium")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
