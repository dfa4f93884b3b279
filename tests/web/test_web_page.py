#!/usr/bin/python3
"""The web page in a real browser: Debian's headless chromium through
chromedriver, on hdmi-matrix-server and the simulator, all started here on
127.0.0.1 and stopped after. Screenshots go into the output folder.

Usage: test_web_page.py SERVER SIMULATOR OUTPUT_FOLDER
"""
import re
import subprocess
import sys
import tempfile
import threading
import unittest

from selenium import webdriver
from selenium.webdriver import ActionChains
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

SERVER, SIMULATOR, OUTPUT = sys.argv[1:4]
WAIT = 10  # seconds for what should take a moment


class Program:
    """A program of the test's own, its output collected line by line."""

    def __init__(self, *args):
        self.lines = []
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        text=True)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        with self.process.stdout:
            for line in self.process.stdout:
                self.lines.append(line.rstrip("\n"))

    def seen(self, pattern, timeout=WAIT):
        def match(_):
            return next((m for m in map(re.compile(pattern).search, self.lines) if m), None)
        return WebDriverWait(None, timeout).until(match, f"no line like {pattern!r}")

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


def browser(width, height, profile):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for a in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
              "--disable-background-networking", "--disable-component-update", "--disable-sync",
              f"--user-data-dir={profile}"):
        options.add_argument(a)
    b = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    # Headless windows are at least 500 pixels wide: the phone's viewport as
    # the browser's device mode sets it.
    b.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
        "width": width, "height": height, "deviceScaleFactor": 1, "mobile": width < 500})
    return b


class WebPage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.start_simulator(0)
        cls.server = Program(SERVER, "--port", f"tcp://127.0.0.1:{cls.sim_port}", "--no-videohub",
                             "--no-line", "--web", "127.0.0.1:0", "--poll", "0", "--state-dir",
                             cls.folder.name)
        cls.url = cls.server.seen(r"web page on (http://127\.0\.0\.1:\d+/)").group(1)
        cls.phone = browser(390, 844, cls.folder.name + "/phone")
        cls.desk = browser(1280, 800, cls.folder.name + "/desk")
        for b in (cls.phone, cls.desk):
            b.get(cls.url)

    @classmethod
    def tearDownClass(cls):
        for b in (cls.phone, cls.desk):
            b.quit()
        cls.server.stop()
        cls.sim.stop()
        cls.folder.cleanup()

    @classmethod
    def start_simulator(cls, port):
        cls.sim = Program(SIMULATOR, "--tcp", str(port))
        cls.sim_port = int(cls.sim.seen(r"tcp://127\.0\.0\.1:(\d+)").group(1))

    def wait(self, b, condition, what):
        return WebDriverWait(b, WAIT).until(lambda _: condition(), what)

    def button(self, b, output, input):
        return b.find_element(By.CSS_SELECTOR, f"#outputs > :nth-child({output}) "
                                               f".inputs > :nth-child({input})")

    def shows(self, b, output, input):
        return self.button(b, output, input).get_attribute("aria-pressed") == "true"

    def status(self, b):
        return b.find_element(By.ID, "status").text

    def test_1_what_a_screen_reader_is_told(self):
        b = self.desk
        self.wait(b, lambda: self.shows(b, 1, 1), "the routing shown")
        groups = b.find_elements(By.CSS_SELECTOR, "#outputs > *")
        self.assertEqual(len(groups), 8)
        for o, g in enumerate(groups, 1):
            self.assertEqual((g.aria_role, g.accessible_name), ("group", f"Output {o}"))
            buttons = g.find_elements(By.TAG_NAME, "button")
            self.assertEqual([x.accessible_name for x in buttons],
                             [f"Input {i}" for i in range(1, 9)])
            self.assertEqual([x.get_attribute("aria-pressed") for x in buttons],
                             ["true" if i == o else "false" for i in range(1, 9)])
        self.assertEqual([x.accessible_name for x in b.find_elements(By.CSS_SELECTOR,
                                                                    "#presets button")],
                         [f"Recall preset {p}" for p in (1, 2, 3)])
        self.assertEqual(b.find_element(By.ID, "status").aria_role, "status")

    def test_2_two_taps_route_and_both_sessions_see_it(self):
        p, d = self.phone, self.desk
        self.wait(p, lambda: self.shows(p, 1, 1), "the routing shown")
        self.assertEqual(p.execute_script("return innerWidth"), 390)
        self.assertLessEqual(p.execute_script("return document.documentElement.scrollWidth"), 390)
        self.button(p, 1, 2).click()
        self.button(p, 2, 3).click()
        # "cir OI": output and input counted from 0.
        self.sim.seen(r"< cir 01")
        self.sim.seen(r"< cir 12")
        for b in (p, d):
            self.wait(b, lambda: self.shows(b, 1, 2) and self.shows(b, 2, 3), "both routes shown")
            self.assertFalse(self.shows(b, 1, 1))
        p.save_screenshot(f"{OUTPUT}/web-page-390.png")
        d.save_screenshot(f"{OUTPUT}/web-page-1280.png")

    def test_3_take_mode_sends_one_salvo(self):
        b = self.desk
        mode = b.find_element(By.ID, "take-mode")
        mode.click()
        self.assertEqual(mode.get_attribute("aria-pressed"), "true")
        before = len(self.sim.lines)
        self.button(b, 3, 4).click()
        self.button(b, 4, 5).click()
        self.assertTrue(self.button(b, 3, 4).accessible_name.startswith("Input 4"))
        self.assertIn("staged", self.button(b, 3, 4).accessible_name)
        self.assertFalse(self.shows(b, 3, 4))
        take = b.find_element(By.ID, "take")
        self.assertEqual(take.text, "Take (2)")
        take.click()
        self.wait(b, lambda: self.shows(b, 3, 4) and self.shows(b, 4, 5), "the salvo shown")
        self.assertEqual([x for x in self.sim.lines[before:] if x.startswith("< cir")],
                         ["< cir 23", "< cir 34"])
        self.assertEqual(b.execute_script(
            "return performance.getEntriesByType('resource').map(e => e.name)"
            ".filter(n => /api.v1.(outputs|routes)/.test(n))"), [self.url + "api/v1/routes"])
        mode.click()

    def test_4_keyboard_with_visible_focus(self):
        b = self.desk
        for _ in range(40):
            ActionChains(b).send_keys(Keys.TAB).perform()
            focused = b.switch_to.active_element
            if focused.accessible_name.startswith("Input 6"):
                break
        self.assertEqual(focused.value_of_css_property("outline-style"), "solid")
        self.assertEqual(focused.value_of_css_property("outline-width"), "3px")
        focused.send_keys(Keys.SPACE)
        self.sim.seen(r"< cir 05")
        self.wait(b, lambda: self.shows(b, 1, 6), "the route made by keyboard")

    def test_5_status_while_the_switcher_and_the_server_are_away(self):
        p = self.phone
        self.wait(p, lambda: self.shows(p, 2, 3), "the routing shown")
        self.sim.stop()
        self.wait(p, lambda: "switcher is not answering" in self.status(p), "the switcher away")
        p.save_screenshot(f"{OUTPUT}/web-page-390-switcher-away.png")
        self.start_simulator(self.sim_port)
        self.wait(p, lambda: "switcher" not in self.status(p), "the switcher back")
        self.server.stop()
        self.wait(p, lambda: "server cannot be reached" in self.status(p), "the server away")
        port = re.search(r":(\d+)/", self.url).group(1)
        type(self).server = Program(SERVER, "--port", f"tcp://127.0.0.1:{self.sim_port}",
                              "--no-videohub", "--no-line", "--web", f"127.0.0.1:{port}",
                              "--poll", "0", "--state-dir", self.folder.name)
        # Reconnected by itself, with the routing of the simulator started
        # afresh.
        status = p.find_element(By.ID, "status")
        WebDriverWait(p, 40).until(
            lambda _: "warn" not in status.get_attribute("class") and self.shows(p, 2, 2))

    def test_5a_scene_captured_and_recalled(self):
        b = self.desk
        b.get(self.url)
        self.wait(b, lambda: self.shows(b, 2, 2), "the routing shown")
        b.find_element(By.CSS_SELECTOR, "#setup summary").click()
        b.find_element(By.ID, "scene-name").send_keys("Lecture" + Keys.ENTER)
        scene = (By.CSS_SELECTOR, "#scenes button")
        self.wait(b, lambda: b.find_elements(*scene), "the scene's button")
        self.assertEqual(b.find_element(*scene).accessible_name, "Lecture")
        self.wait(b, lambda: b.find_element(*scene).get_attribute("aria-pressed") == "true",
                  "the scene active")
        b.execute_script("document.getElementById('setup').open = false; scrollTo(0, 0)")
        self.button(b, 1, 4).click()
        self.wait(b, lambda: b.find_element(*scene).get_attribute("aria-pressed") == "false",
                  "the scene no longer active")
        before = len(self.sim.lines)
        b.find_element(*scene).click()
        self.wait(b, lambda: b.find_element(*scene).get_attribute("aria-pressed") == "true",
                  "the scene recalled")
        self.assertEqual([x for x in self.sim.lines[before:] if x.startswith("< cir")],
                         ["< cir " + f"{o}{o}" for o in range(8)])
        self.server.seen(r'audit: local from 127\.0\.0\.1: recall scene "Lecture"')

    def account(self, *words, password):
        subprocess.run([SERVER, "--state-dir", self.folder.name, *words], input=password + "\n",
                       text=True, check=True, capture_output=True)

    def sign_in(self, b, user, password):
        self.wait(b, lambda: b.find_element(By.ID, "sign-in").is_displayed(), "the sign-in form")
        b.find_element(By.ID, "user").clear()
        b.find_element(By.ID, "user").send_keys(user)
        b.find_element(By.ID, "password").send_keys(password + Keys.ENTER)
        self.wait(b, lambda: b.find_element(By.ID, "main").is_displayed(), "signed in")
        self.wait(b, lambda: self.shows(b, 8, 8), "the routing shown")

    def test_6_accounts_sign_in_route_sign_out(self):
        b = self.desk
        self.account("user", "add", "op", "--role", "operator", password="op-secret-1")
        self.account("user", "add", "watch", "--role", "viewer", password="watch-secret-1")
        self.server.seen(r"audit: local from the command line: user \"watch\" added as viewer")
        b.get(self.url)
        self.wait(b, lambda: b.find_element(By.ID, "sign-in").is_displayed(), "the sign-in form")
        form = b.find_element(By.ID, "sign-in")
        self.assertEqual([x.accessible_name for x in form.find_elements(By.CSS_SELECTOR,
                                                                       "input, button")],
                         ["User", "Password", "Sign in"])
        self.sign_in(b, "op", "op-secret-1")
        self.assertIn("op (operator)", b.find_element(By.ID, "who").text)
        self.button(b, 1, 7).click()
        self.sim.seen(r"< cir 06")
        self.wait(b, lambda: self.shows(b, 1, 7), "the route shown")
        self.server.seen(r"audit: op from 127\.0\.0\.1: route output 1 to input 7")
        b.find_element(By.ID, "sign-out").click()
        self.wait(b, lambda: b.find_element(By.ID, "sign-in").is_displayed(), "signed out")
        self.assertFalse(b.find_element(By.ID, "main").is_displayed())

        self.sign_in(b, "watch", "watch-secret-1")
        rights = b.find_element(By.ID, "rights")
        self.assertIn("viewer", rights.text)
        controls = b.find_elements(By.CSS_SELECTOR, "#outputs button, #presets button, #take-mode")
        self.assertEqual(len(controls), 8 * 8 + 3 + 1)
        for c in controls:
            self.assertFalse(c.is_enabled())
            self.assertEqual(c.get_attribute("aria-describedby"), "rights")
        b.save_screenshot(f"{OUTPUT}/web-page-1280-viewer.png")
        b.find_element(By.ID, "sign-out").click()
        self.wait(b, lambda: b.find_element(By.ID, "sign-in").is_displayed(), "signed out")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
