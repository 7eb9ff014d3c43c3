#!/usr/bin/env python3
"""Drives the page of `verrin serve` in headless Chromium through chromedriver.

Types a sentence, presses the button and checks that 江泽民 is highlighted as a
person and 北京 as a location; checks that an error of the service is shown;
saves a screenshot. Exit status 0 when every check holds, 1 otherwise.

Usage: page_test.py VERRIN SCREENSHOT.png
"""
import base64
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import traceback
import urllib.error
import urllib.request

SENTENCE = "国家主席江泽民在北京人民大会堂会见了美国总统克林顿。"
ELEMENT = "element-6066-11e4-a52e-4f735466cecf"
CHROMIUM_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--window-size=900,600",
]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def call(method, url, body=None):
    data = None if body is None else json.dumps(body).encode()
    request = urllib.request.Request(url, data=data, method=method,
                                     headers={"Content-Type": "application/json"})
    try:
        with urllib.request.urlopen(request, timeout=60) as response:
            return json.loads(response.read() or b"{}").get("value")
    except urllib.error.HTTPError as e:
        raise RuntimeError(f"{method} {url}: {e.code} {e.read()[:300]!r}") from None


class Browser:
    def __init__(self, driver_url, profile):
        self.base = driver_url
        options = {"binary": shutil.which("chromium") or "/usr/bin/chromium",
                   "args": CHROMIUM_FLAGS + ["--user-data-dir=" + profile]}
        value = call("POST", self.base + "/session", {"capabilities": {"alwaysMatch": {
            "browserName": "chrome", "goog:chromeOptions": options}}})
        self.session = self.base + "/session/" + value["sessionId"]

    def go(self, url):
        call("POST", self.session + "/url", {"url": url})

    def find_all(self, css):
        found = call("POST", self.session + "/elements", {"using": "css selector", "value": css})
        return [e[ELEMENT] for e in found]

    def find(self, css):
        found = self.find_all(css)
        if not found:
            raise RuntimeError("no element " + css)
        return found[0]

    def text(self, element):
        return call("GET", f"{self.session}/element/{element}/text")

    def type(self, css, text):
        element = self.find(css)
        call("POST", f"{self.session}/element/{element}/clear", {})
        call("POST", f"{self.session}/element/{element}/value", {"text": text})

    def click(self, css):
        call("POST", f"{self.session}/element/{self.find(css)}/click", {})

    def script(self, source, *args):
        return call("POST", self.session + "/execute/sync", {"script": source, "args": list(args)})

    def wait_for(self, predicate, what, seconds=30):
        deadline = time.time() + seconds
        while time.time() < deadline:
            value = predicate()
            if value:
                return value
            time.sleep(0.1)
        raise RuntimeError("timed out waiting for " + what)

    def screenshot(self, path):
        with open(path, "wb") as out:
            out.write(base64.b64decode(call("GET", self.session + "/screenshot")))

    def close(self):
        call("DELETE", self.session)


def main():
    verrin, screenshot = sys.argv[1], sys.argv[2]
    failures = []

    def check(condition, message):
        print(("ok   " if condition else "FAIL ") + message)
        if not condition:
            failures.append(message)

    profile = tempfile.mkdtemp(prefix="verrin-chromium-")
    server = subprocess.Popen([verrin, "serve", "--port", "0", "--threads", "1",
                               "--max-bytes", "4096"], stdout=subprocess.PIPE)
    driver_port = free_port()
    driver = subprocess.Popen(["chromedriver", f"--port={driver_port}"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    browser = None
    try:
        line = server.stdout.readline().decode()
        match = re.search(r"(http://\S+)", line)
        if not match:
            raise RuntimeError("verrin serve printed no address: " + line)
        base = match.group(1)
        deadline = time.time() + 60
        while True:
            try:
                urllib.request.urlopen(base + "healthz", timeout=5)
                break
            except (urllib.error.URLError, ConnectionError):
                if time.time() > deadline:
                    raise RuntimeError("the service did not become ready")
                time.sleep(0.2)
        driver_url = f"http://127.0.0.1:{driver_port}"
        for _ in range(100):
            try:
                call("GET", driver_url + "/status")
                break
            except (urllib.error.URLError, ConnectionError, RuntimeError):
                time.sleep(0.1)
        browser = Browser(driver_url, profile)
        browser.go(base)

        # An error of the service is shown on the page: a text over --max-bytes.
        browser.script("document.getElementById('text').value = arguments[0];", "北京" * 2000)
        browser.click("#tag")
        status = browser.wait_for(
            lambda: browser.script("const s = document.getElementById('status');"
                                   "return s.className === 'error' ? s.textContent : '';"),
            "the error message")
        check("413" in status and "4096 bytes" in status, "the page shows the 413 error: " + status)

        browser.type("#text", SENTENCE)
        browser.click("#tag")
        browser.wait_for(lambda: browser.find_all("#output mark"), "highlighted entities")
        persons = [browser.text(e) for e in browser.find_all("#output mark.ent-P")]
        locations = [browser.text(e) for e in browser.find_all("#output mark.ent-L")]
        print("persons:", persons, "locations:", locations)
        check("江泽民" in persons, "江泽民 is highlighted as a person")
        check("北京" in locations, "北京 is highlighted as a location")
        check(browser.text(browser.find("#output")) == SENTENCE,
              "the highlighted text is the sentence, nothing lost")
        counts = browser.text(browser.find("#counts"))
        check(f"Persons: {len(persons)}" in counts and f"Locations: {len(locations)}" in counts,
              "the counts match the highlights: " + counts)
        answer = browser.script("return document.getElementById('json').textContent;")
        check(json.loads(answer)["results"][0]["entities"][0]["text"] == "江泽民",
              "the JSON of the answer is on the page")
        check(browser.script("return document.getElementById('status').className;") == "",
              "no error is shown after a good answer")
        browser.screenshot(screenshot)
        print("screenshot:", screenshot)
    except Exception as e:  # every failure is reported, then cleaned up
        failures.append(repr(e))
        traceback.print_exc()
    finally:
        if browser is not None:
            try:
                browser.close()
            except Exception:
                pass
        driver.terminate()
        server.send_signal(signal.SIGTERM)
        server.wait(timeout=30)
        driver.wait(timeout=30)
        shutil.rmtree(profile, ignore_errors=True)
    print("browser test:", "FAILED" if failures else "passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
