"""Headless Chromium driven over its DevTools pipe (no driver, no library beyond Python's
own): load a page at a width, collect what its console said, every request it made, how
wide the document is, and a screenshot."""
import base64
import fcntl
import json
import os
import shutil
import subprocess
import tempfile
import time


def chromium_path():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        found = shutil.which(name)
        if found:
            return found
    return None


class Browser:
    def __init__(self, temp_dir):
        # A profile of its own in the test's folder: as user nobody there is no home to use.
        self.profile = tempfile.mkdtemp(prefix="chromium-", dir=temp_dir)
        r3, w3 = os.pipe()  # our commands -> Chromium's fd 3
        r4, w4 = os.pipe()  # Chromium's fd 4 -> our answers
        # Chromium's ends above 9, so that putting them on 3 and 4 clobbers neither.
        for fd in (r3, w4):
            high = fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10)
            os.close(fd)
            if fd == r3:
                r3 = high
            else:
                w4 = high
        args = [chromium_path(), "--headless", "--disable-gpu", "--disable-quic", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--disable-dev-shm-usage", "--hide-scrollbars", "--remote-debugging-pipe",
                "--user-data-dir=" + self.profile, "about:blank"]
        if os.geteuid() == 0:
            args.insert(1, "--no-sandbox")

        # Chromium reads its commands on fd 3 and answers on fd 4: a shell puts the pipes there.
        trampoline = ["bash", "-c", 'exec 3<&%d 4>&%d %d<&- %d>&-; exec "$@"' % (r3, w4, r3, w4), "bash"]
        self.proc = subprocess.Popen(trampoline + args, pass_fds=(r3, w4), stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL, env=dict(os.environ, HOME=self.profile))
        os.close(r3)
        os.close(w4)
        self.out = os.fdopen(w3, "wb", buffering=0)
        self.inp = os.fdopen(r4, "rb", buffering=0)
        self.buffer = b""
        self.next_id = 0
        self.events = []
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        for domain in ("Page", "Runtime", "Network", "Log"):
            self.call(domain + ".enable", session=True)

    def _read(self):
        while b"\0" not in self.buffer:
            chunk = self.inp.read(65536)
            if not chunk:
                raise RuntimeError("Chromium closed its DevTools pipe")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, params=None, session=False):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = self.session
        self.out.write(json.dumps(message).encode() + b"\0")
        while True:
            answer = self._read()
            if answer.get("id") == self.next_id:
                if "error" in answer:
                    raise RuntimeError(method + ": " + json.dumps(answer["error"]))
                return answer.get("result", {})
            self.events.append(answer)

    def wait_for(self, method, seconds=20):
        end = time.time() + seconds
        while time.time() < end:
            for e in self.events:
                if e.get("method") == method:
                    return e
            self.events.append(self._read())
        raise RuntimeError("no " + method)

    def load(self, url, width, height=800, screenshot=None):
        """The page at `url` in a window `width` CSS pixels wide: (console errors, request
        URLs, scrollWidth, innerWidth)."""
        self.call("Emulation.setDeviceMetricsOverride",
                  {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": width < 600}, session=True)
        self.events = []
        self.call("Page.navigate", {"url": url}, session=True)
        self.wait_for("Page.loadEventFired")
        sizes = self.call("Runtime.evaluate", {
            "expression": "JSON.stringify([document.documentElement.scrollWidth, window.innerWidth])",
            "returnByValue": True}, session=True)["result"]["value"]
        scroll_width, inner_width = json.loads(sizes)
        # Let late messages (a refused resource reports after the load) arrive.
        self.call("Runtime.evaluate", {"expression": "new Promise(r => setTimeout(r, 200))", "awaitPromise": True},
                  session=True)
        errors, requests = [], []
        for e in self.events:
            m, p = e.get("method"), e.get("params", {})
            if m == "Runtime.consoleAPICalled" and p.get("type") in ("error", "assert"):
                errors.append(json.dumps(p.get("args")))
            elif m == "Runtime.exceptionThrown":
                errors.append(json.dumps(p.get("exceptionDetails", {}).get("text")))
            elif m == "Log.entryAdded" and p.get("entry", {}).get("level") == "error":
                errors.append(p["entry"].get("text", ""))
            elif m == "Network.requestWillBeSent":
                requests.append(p["request"]["url"])
        if screenshot:
            full = self.call("Page.getLayoutMetrics", session=True)["cssContentSize"]
            shot = self.call("Page.captureScreenshot", {
                "format": "png", "captureBeyondViewport": True,
                "clip": {"x": 0, "y": 0, "width": width, "height": min(full["height"], 6000), "scale": 1}},
                session=True)
            with open(screenshot, "wb") as f:
                f.write(base64.b64decode(shot["data"]))
        return errors, requests, scroll_width, inner_width

    def evaluate(self, expression):
        return self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True},
                         session=True)["result"].get("value")

    def close(self):
        try:
            self.call("Browser.close")
        except Exception:
            pass
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.profile, ignore_errors=True)
