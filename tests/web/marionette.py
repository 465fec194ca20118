"""Firefox in headless mode, driven over its own remote protocol (Marionette: length-prefixed JSON on a local
socket), with the part of Selenium's driver interface that the page's test uses. Debian packages no
geckodriver; Firefox needs none for this."""
import json
import pathlib
import shutil
import socket
import subprocess
import tempfile
import time

ELEMENT = "element-6066-11e4-a52e-4f735466cecf"

# Nothing reaches beyond the machine: no updates, telemetry, safe-browsing lists or connectivity probes. A
# download lands in the folder given, unasked.
PREFERENCES = {
    "app.update.enabled": False,
    "app.normandy.enabled": False,
    "browser.safebrowsing.malware.enabled": False,
    "browser.safebrowsing.phishing.enabled": False,
    "browser.safebrowsing.downloads.enabled": False,
    "browser.shell.checkDefaultBrowser": False,
    "browser.startup.homepage_override.mstone": "ignore",
    "browser.download.folderList": 2,
    "browser.download.useDownloadDir": True,
    "browser.download.always_ask_before_handling_new_types": False,
    "browser.helperApps.neverAsk.saveToDisk": "text/csv",
    "datareporting.policy.dataSubmissionEnabled": False,
    "datareporting.healthreport.uploadEnabled": False,
    "dom.push.connection.enabled": False,
    "extensions.update.enabled": False,
    "media.gmp-manager.url": "",
    "network.captive-portal-service.enabled": False,
    "network.connectivity-service.enabled": False,
    "services.settings.server": "http://127.0.0.1:9/",
    "toolkit.telemetry.reportingpolicy.firstRun": False,
    "remote.prefs.recommended": True,
}


class Element:
    def __init__(self, browser, reference):
        self.browser = browser
        self.id = reference[ELEMENT]

    def click(self):
        self.browser.command("WebDriver:ElementClick", {"id": self.id})

    @property
    def text(self):
        return self.browser.command("WebDriver:GetElementText", {"id": self.id})["value"]

    def get_attribute(self, name):
        return self.browser.command("WebDriver:GetElementAttribute", {"id": self.id, "name": name})["value"]


class Firefox:
    def __init__(self, binary, port, downloads, width=1200, height=1400):
        """Firefox listening for its driver on `port` of 127.0.0.1, downloading into `downloads`."""
        self.profile = pathlib.Path(tempfile.mkdtemp(prefix="vantro-firefox-"))
        preferences = dict(PREFERENCES, **{"marionette.port": port, "browser.download.dir": str(downloads)})
        (self.profile / "user.js").write_text(
            "".join(f"user_pref({json.dumps(k)}, {json.dumps(v)});\n" for k, v in preferences.items()))
        self.process = subprocess.Popen(
            [binary, "--headless", "--marionette", "--remote-allow-system-access", "--no-remote", "--profile",
             str(self.profile), "--width", str(width), "--height", str(height), "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.socket = self.connect(port)
        self.buffer = b""
        self.last_id = 0
        self.read_message()  # the greeting
        self.command("WebDriver:NewSession", {"capabilities": {"alwaysMatch": {"pageLoadStrategy": "normal"}}})

    def connect(self, port, seconds=30):
        deadline = time.monotonic() + seconds
        while True:
            try:
                return socket.create_connection(("127.0.0.1", port), timeout=60)
            except OSError:
                if time.monotonic() > deadline or self.process.poll() is not None:
                    raise
                time.sleep(0.1)

    def read_message(self):
        while b":" not in self.buffer:
            self.receive()
        length, _, rest = self.buffer.partition(b":")
        while len(rest) < int(length):
            self.receive()
            length, _, rest = self.buffer.partition(b":")
        self.buffer = rest[int(length):]
        return json.loads(rest[:int(length)])

    def receive(self):
        piece = self.socket.recv(65536)
        if not piece:
            raise ConnectionError("Firefox closed its remote connection")
        self.buffer += piece

    def command(self, name, parameters=None):
        self.last_id += 1
        message = json.dumps([0, self.last_id, name, parameters or {}]).encode()
        self.socket.sendall(str(len(message)).encode() + b":" + message)
        while True:
            kind, answered, error, result = self.read_message()
            if kind == 1 and answered == self.last_id:
                break
        if error:
            raise RuntimeError(f"{name}: {error.get('error')}: {error.get('message')}")
        return result

    def get(self, url):
        self.command("WebDriver:Navigate", {"url": url})

    def execute_script(self, script, *args):
        return self.command("WebDriver:ExecuteScript", {"script": script, "args": list(args)})["value"]

    def find_elements(self, by, value):
        found = self.command("WebDriver:FindElements", {"using": self.strategy(by), "value": self.selector(by, value)})
        return [Element(self, e) for e in (found if isinstance(found, list) else found["value"])]

    def find_element(self, by, value):
        found = self.command("WebDriver:FindElement", {"using": self.strategy(by), "value": self.selector(by, value)})
        return Element(self, found["value"])

    @staticmethod
    def strategy(by):
        return "css selector" if by == "id" else by

    @staticmethod
    def selector(by, value):
        return f'[id="{value}"]' if by == "id" else value

    def set_viewport(self, width, height):
        """A viewport of that many CSS pixels. A headless window is at least 500 pixels wide, so a narrower one
        is zoomed, as a phone shows a page at more device pixels to the CSS pixel."""
        zoom = max(1.0, 500 / width)
        self.command("WebDriver:SetWindowRect", {"width": round(width * zoom), "height": round(height * zoom)})
        self.chrome_script("gBrowser.selectedBrowser.fullZoom = arguments[0];", zoom)

    def set_preference(self, name, value):
        kind = "Bool" if isinstance(value, bool) else "Int" if isinstance(value, int) else "String"
        self.chrome_script(f"Services.prefs.set{kind}Pref(arguments[0], arguments[1]);", name, value)

    def chrome_script(self, script, *args):
        """A script run in the browser's own window rather than the page's."""
        self.command("Marionette:SetContext", {"value": "chrome"})
        try:
            return self.execute_script(script, *args)
        finally:
            self.command("Marionette:SetContext", {"value": "content"})

    def quit(self):
        try:
            self.command("Marionette:Quit", {"flags": ["eForceQuit"]})
        except (OSError, RuntimeError):
            pass
        self.socket.close()
        try:
            self.process.wait(15)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)
