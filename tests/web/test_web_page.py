#!/usr/bin/python3
"""The web page in a real browser: Debian's headless chromium through
chromedriver, on hdmi-matrix-server and the simulator, all started here on
127.0.0.1 and stopped after. Screenshots go into the output folder.

Usage: test_web_page.py SERVER SIMULATOR OUTPUT_FOLDER
"""
import json
import pathlib
import re
import socket
import subprocess
import urllib.error
import urllib.request
import sys
import tempfile
import unittest

from selenium import webdriver
from selenium.webdriver import ActionChains
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "support"))
from programs import Program  # noqa: E402

SERVER, SIMULATOR, OUTPUT = sys.argv[1:4]
WAIT = 10  # seconds for what should take a moment


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
        cls.start_server(0)
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
    def start_server(cls, port):
        cls.server = Program(SERVER, "--port", f"tcp://127.0.0.1:{cls.sim_port}", "--videohub",
                             "127.0.0.1:0", "--no-line", "--web", f"127.0.0.1:{port}", "--poll",
                             "0", "--state-dir", cls.folder.name)
        cls.hub_port = int(cls.server.seen(r"Videohub protocol on 127\.0\.0\.1:(\d+)").group(1))

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
            buttons = g.find_elements(By.CSS_SELECTOR, ".inputs button")
            self.assertEqual([x.accessible_name for x in buttons],
                             [f"Input {i}" for i in range(1, 9)])
            self.assertEqual([x.get_attribute("aria-pressed") for x in buttons],
                             ["true" if i == o else "false" for i in range(1, 9)])
        self.assertEqual([x.accessible_name for x in b.find_elements(By.CSS_SELECTOR,
                                                                    "#presets button")],
                         [f"Recall preset {p}" for p in (1, 2, 3)])
        # In the closed set-up, so by their text.
        self.assertEqual([x.get_attribute("textContent") for x in
                          b.find_elements(By.CSS_SELECTOR, "#preset-saves button")],
                         [f"Save as preset {p}" for p in (1, 2, 3)])
        self.assertEqual(b.find_element(By.ID, "status").aria_role, "status")

    def test_2_two_taps_route_and_both_sessions_see_it(self):
        p, d = self.phone, self.desk
        self.wait(p, lambda: self.shows(p, 1, 1), "the routing shown")
        self.assertEqual(p.execute_script("return innerWidth"), 390)
        self.assertLessEqual(p.execute_script("return document.documentElement.scrollWidth"), 390)
        for row in p.find_elements(By.CSS_SELECTOR, ".row")[:2]:
            row.click()  # the compact list's rows open their inputs
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

    def test_4_keyboard_one_stop_per_output_and_arrows(self):
        b = self.desk
        stops = []
        for _ in range(30):
            ActionChains(b).send_keys(Keys.TAB).perform()
            stops.append(b.switch_to.active_element)
            if len(stops) > 1 and stops[-2].get_attribute("aria-pressed") == "true":
                break
        # Output 1 shows input 2, output 2 input 3: the next Tab is output 2.
        first, second = stops[-2], stops[-1]
        self.assertEqual(first, self.button(b, 1, 2))
        self.assertEqual(second, self.button(b, 2, 3))
        ActionChains(b).key_down(Keys.SHIFT).send_keys(Keys.TAB).key_up(Keys.SHIFT).perform()
        for _ in range(4):
            ActionChains(b).send_keys(Keys.ARROW_RIGHT).perform()
        focused = b.switch_to.active_element
        self.assertEqual(focused, self.button(b, 1, 6))
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
        self.wait(p, lambda: "(last known)" in p.find_element(By.CSS_SELECTOR, ".row").text,
                  "routes marked as last known")
        routing = p.find_elements(By.CSS_SELECTOR, "#outputs .inputs button, #presets button")
        self.assertTrue(routing and not any(x.is_enabled() for x in routing))
        p.save_screenshot(f"{OUTPUT}/web-page-390-switcher-away.png")
        self.start_simulator(self.sim_port)
        self.wait(p, lambda: "switcher" not in self.status(p), "the switcher back")
        self.server.stop()
        self.wait(p, lambda: "server cannot be reached" in self.status(p), "the server away")
        counted = {self.status(p)}
        self.wait(p, lambda: counted.add(self.status(p)) or len(counted) > 1, "a countdown")
        self.assertTrue(p.find_element(By.ID, "retry").is_displayed())
        port = re.search(r":(\d+)/", self.url).group(1)
        self.start_server(port)
        self.server.seen("web page on")
        # Live again by itself, with the routing of the simulator started
        # afresh.
        status = p.find_element(By.ID, "status")
        WebDriverWait(p, 4).until(
            lambda _: "warn" not in status.get_attribute("class") and self.shows(p, 2, 2))

    def test_5b_undo_puts_a_scene_recall_back_in_one_salvo(self):
        b = self.desk
        scene = (By.CSS_SELECTOR, "#scenes button")
        self.wait(b, lambda: b.find_elements(*scene), "the scene's button")
        for o, i in ((1, 5), (2, 6)):
            self.button(b, o, i).click()
            self.wait(b, lambda: self.shows(b, o, i), "the route")
        b.execute_script("performance.clearResourceTimings()")
        b.find_element(*scene).click()
        self.wait(b, lambda: self.shows(b, 1, 1) and self.shows(b, 2, 2), "the scene recalled")
        self.assertEqual(b.switch_to.active_element, b.find_element(*scene))
        undo = b.find_element(By.ID, "undo")
        self.assertTrue(undo.is_displayed())
        before = len(self.sim.lines)
        undo.click()
        self.wait(b, lambda: self.shows(b, 1, 5) and self.shows(b, 2, 6), "the routing put back")
        self.assertEqual(sorted(x for x in self.sim.lines[before:] if x.startswith("< cir")),
                         ["< cir 04", "< cir 15"])
        self.assertEqual(b.execute_script(
            "return performance.getEntriesByType('resource').map(e => e.name)"
            ".filter(n => /api.v1.(outputs|routes)/.test(n))"), [self.url + "api/v1/routes"])
        self.assertFalse(undo.is_displayed())
        # Deleting asks first; "no" keeps the scene.
        b.execute_script("document.getElementById('setup').open = true")
        b.find_element(By.CSS_SELECTOR, "#scene-list button[aria-label='Delete Lecture']").click()
        self.assertIn("Delete the scene Lecture?", b.switch_to.alert.text)
        b.switch_to.alert.dismiss()
        self.assertEqual(len(b.find_elements(*scene)), 1)
        b.execute_script("document.getElementById('setup').open = false; scrollTo(0, 0)")

    def test_5c_a_locked_output_and_its_note_while_locked(self):
        b = self.desk
        b.find_element(By.ID, "take-mode").click()
        self.button(b, 4, 1).click()
        held = socket.create_connection(("127.0.0.1", self.hub_port), WAIT)
        prelude = b""
        while b"END PRELUDE:" not in prelude:
            prelude += held.recv(65536)
        held.sendall(b"VIDEO OUTPUT LOCKS:\n3 O\n\n")
        group = b.find_element(By.CSS_SELECTOR, "#outputs > :nth-child(4)")
        self.wait(b, lambda: "Locked by 127.0.0.1" in group.text, "the lock and its holder")
        self.assertFalse(any(x.is_enabled() for x in group.find_elements(By.CSS_SELECTOR,
                                                                          ".inputs button")))
        self.assertTrue(self.button(b, 5, 1).is_enabled())
        b.execute_cdp_cmd("Emulation.setEmulatedMedia", {
            "features": [{"name": "prefers-color-scheme", "value": "dark"}]})
        b.save_screenshot(f"{OUTPUT}/web-page-1280-dark-locked.png")
        b.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})
        b.find_element(By.ID, "take").click()
        self.wait(b, lambda: "Not switched" in group.text, "the refusal noted")
        b.find_element(By.ID, "take-mode").click()
        held.sendall(b"VIDEO OUTPUT LOCKS:\n3 U\n\n")
        self.wait(b, lambda: "Not switched" not in group.text and "Locked" not in group.text,
                  "the note gone with its cause")
        self.assertTrue(self.button(b, 4, 1).is_enabled())
        held.close()

    def test_5d_phone_list_and_take_bar(self):
        p = browser(375, 812, self.folder.name + "/small")
        try:
            p.get(self.url)
            self.wait(p, lambda: len(p.find_elements(By.CSS_SELECTOR, ".row")) == 8, "the list")
            self.assertLessEqual(p.find_element(By.ID, "strip").rect["height"], 0.12 * 812)
            on_screen = "const r = arguments[0].getBoundingClientRect();" \
                        "return r.top >= 0 && r.bottom <= innerHeight"
            for row in p.find_elements(By.CSS_SELECTOR, ".row"):
                self.assertTrue(p.execute_script(on_screen, row), row.text)
            p.find_element(By.ID, "take-mode").click()
            p.find_elements(By.CSS_SELECTOR, ".row")[7].click()
            p.execute_script("arguments[0].scrollIntoView({block: 'center'})", self.button(p, 8, 3))
            self.button(p, 8, 3).click()
            take = p.find_element(By.ID, "take")
            self.assertEqual(take.text, "Take (1)")
            self.assertTrue(p.execute_script(on_screen, take))
            self.assertEqual(take.value_of_css_property("background-color"), "rgba(10, 88, 168, 1)")
            p.find_elements(By.CSS_SELECTOR, ".row")[7].click()
            p.execute_script("scrollTo(0, 0)")
            p.save_screenshot(f"{OUTPUT}/web-page-375-list.png")
            p.find_element(By.ID, "cancel").click()
            p.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": 320, "height": 640, "deviceScaleFactor": 1, "mobile": True})
            self.assertLessEqual(p.execute_script("return document.documentElement.scrollWidth"),
                                 320)
            p.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": 768, "height": 1024, "deviceScaleFactor": 1, "mobile": True})
            first, second = p.find_elements(By.CSS_SELECTOR, "#outputs > *")[:2]
            self.assertEqual(first.rect["y"], second.rect["y"])  # two columns on a tablet
        finally:
            p.quit()

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
        self.sim.seen(r"< cir 77")  # the salvo's last
        self.assertEqual([x for x in self.sim.lines[before:] if x.startswith("< cir")],
                         ["< cir " + f"{o}{o}" for o in range(8)])
        self.server.seen(r'audit: local from 127\.0\.0\.1: recall scene "Lecture"')
        # The set-up's save buttons, made from the presets the state names,
        # ask first and then save.
        b.find_element(By.CSS_SELECTOR, "#setup summary").click()
        b.find_element(By.CSS_SELECTOR, "#preset-saves button[data-save='2']").click()
        b.switch_to.alert.accept()
        self.sim.seen(r"< msa 1")
        b.execute_script("document.getElementById('setup').open = false; scrollTo(0, 0)")

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
        self.assertIn("op (operator)", b.find_element(By.ID, "who").get_attribute("textContent"))
        self.button(b, 1, 7).click()
        self.sim.seen(r"< cir 06")
        self.wait(b, lambda: self.shows(b, 1, 7), "the route shown")
        self.server.seen(r"audit: op from 127\.0\.0\.1: route output 1 to input 7")
        b.find_element(By.CSS_SELECTOR, "#menu summary").click()
        b.find_element(By.ID, "sign-out").click()
        self.wait(b, lambda: b.find_element(By.ID, "sign-in").is_displayed(), "signed out")
        self.assertFalse(b.find_element(By.ID, "main").is_displayed())

        self.sign_in(b, "watch", "watch-secret-1")
        rights = b.find_element(By.ID, "rights")
        self.assertIn("viewer", rights.text)
        controls = b.find_elements(By.CSS_SELECTOR,
                                   "#outputs .inputs button, #presets button, #take-mode")
        self.assertEqual(len(controls), 8 * 8 + 3 + 1)
        for c in controls:
            self.assertFalse(c.is_enabled())
            self.assertEqual(c.get_attribute("aria-describedby"), "rights")
        b.save_screenshot(f"{OUTPUT}/web-page-1280-viewer.png")
        b.find_element(By.CSS_SELECTOR, "#menu summary").click()
        b.find_element(By.ID, "sign-out").click()
        self.wait(b, lambda: b.find_element(By.ID, "sign-in").is_displayed(), "signed out")

    def api(self, method, path, token, body=None):
        request = urllib.request.Request(self.url + "api/v1/" + path, method=method,
                                         data=json.dumps(body or {}).encode(),
                                         headers={"Authorization": "Bearer " + token,
                                                  "Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=WAIT) as r:
                return r.status
        except urllib.error.HTTPError as e:
            return e.code

    def test_7_rooms_a_panel_and_a_limited_token(self):
        made = subprocess.run([SERVER, "--state-dir", self.folder.name, "token", "add", "setup",
                               "--role", "admin"], text=True, check=True, capture_output=True)
        admin = made.stdout.strip()
        self.server.seen(r'token "setup" added as admin')
        self.assertEqual(self.api("PUT", "rooms/Hall%20A", admin, {"outputs": [1, 2]}), 200)
        made = subprocess.run([SERVER, "--state-dir", self.folder.name, "token", "add", "panel",
                               "--role", "operator", "--rooms", "Hall A"], text=True, check=True,
                              capture_output=True)
        panel = made.stdout.strip()
        self.server.seen(r'token "panel" added as operator')
        before = len(self.sim.lines)
        self.assertEqual(self.api("PUT", "outputs/5/input", panel, {"input": 3}), 403)
        self.assertEqual(self.api("PUT", "outputs/2/input", panel, {"input": 4}), 200)
        self.sim.seen(r"< cir 13")
        self.assertEqual([x for x in self.sim.lines[before:] if x.startswith("< cir")],
                         ["< cir 13"])
        b = self.phone
        b.get(self.url + "?room=Hall%20A")
        self.sign_in(b, "op", "op-secret-1")
        self.assertEqual(b.find_element(By.ID, "room-name").text, "Hall A")
        shown = [g for g in b.find_elements(By.CSS_SELECTOR, "#outputs > *") if g.is_displayed()]
        self.assertEqual([g.accessible_name for g in shown], ["Output 1", "Output 2"])
        b.save_screenshot(f"{OUTPUT}/web-page-390-room.png")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
