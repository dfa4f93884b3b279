#!/usr/bin/python3
"""The server watched by a real Prometheus (Debian's), all started here on
127.0.0.1 and stopped after: promtool checks the rules, the example scrape
job and a scrape; Prometheus, scraping with a viewer's token from a file,
sees the switcher up, a route counted, and the switcher down once the
simulator stops.

Usage: test_prometheus.py SERVER SIMULATOR RULES SCRAPE_EXAMPLE
"""
import json
import pathlib
import socket
import subprocess
import sys
import tempfile
import unittest
import urllib.error
import urllib.parse
import urllib.request

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "support"))
from programs import Program, until  # noqa: E402

SERVER, SIMULATOR, RULES, SCRAPE = sys.argv[1:5]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def get(url, token=None):
    request = urllib.request.Request(url)
    if token:
        request.add_header("Authorization", f"Bearer {token}")
    try:
        with urllib.request.urlopen(request, timeout=5) as r:
            return r.status, r.headers.get("Content-Type"), r.read()
    except urllib.error.HTTPError as e:
        return e.code, None, b""


class Monitoring(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)
        d = self.folder.name
        self.token = subprocess.run(
            [SERVER, "--state-dir", d, "token", "add", "prometheus", "--role", "viewer"],
            check=True, capture_output=True, text=True).stdout.strip()
        with open(f"{d}/token", "w", encoding="utf-8") as f:
            f.write(self.token + "\n")
        self.sim = Program(SIMULATOR, "--tcp", "0", "--quiet")
        self.addCleanup(self.sim.stop)
        sim_port = self.sim.seen(r"tcp://127\.0\.0\.1:(\d+)").group(1)
        self.metrics = free_port()
        self.server = Program(SERVER, "--port", f"tcp://127.0.0.1:{sim_port}", "--videohub",
                              "127.0.0.1:0", "--no-line", "--web", "127.0.0.1:0", "--metrics",
                              f"127.0.0.1:{self.metrics}", "--poll", "1", "--state-dir", d)
        self.addCleanup(self.server.stop)
        self.web = self.server.seen(r"web page on (http://127\.0\.0\.1:\d+)/").group(1)
        self.hub = int(self.server.seen(r"Videohub protocol on 127\.0\.0\.1:(\d+)").group(1))
        self.server.seen("switcher found")

    def test_checked_by_promtool(self):
        for args in (["check", "rules", RULES], ["check", "config", self.example_config()]):
            done = subprocess.run(["promtool", *args], capture_output=True, text=True)
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        # The token is needed once accounts exist, on either port.
        self.assertEqual(get(f"http://127.0.0.1:{self.metrics}/metrics")[0], 401)
        self.assertEqual(get(f"http://127.0.0.1:{self.metrics}/api/v1/state", self.token)[0], 404)
        status, kind, page = get(f"{self.web}/metrics", self.token)
        self.assertEqual((status, kind), (200, "text/plain; version=0.0.4; charset=utf-8"))
        self.assertIn(b"\nhdmi_matrix_switcher_up 1\n", page)
        done = subprocess.run(["promtool", "check", "metrics"], input=page, capture_output=True)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertEqual(done.stdout + done.stderr, b"")

    def example_config(self):
        # The example scrape job, its token file the test's.
        with open(SCRAPE, encoding="utf-8") as f:
            text = f.read().replace("/etc/prometheus/hdmi-matrix.token", f"{self.folder.name}/token")
        path = f"{self.folder.name}/example.yml"
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        return path

    def test_scraped_by_prometheus(self):
        port = free_port()
        config = f"{self.folder.name}/prometheus.yml"
        with open(config, "w", encoding="utf-8") as f:
            json.dump({"global": {"scrape_interval": "1s", "scrape_timeout": "1s"},
                       "scrape_configs": [{
                           "job_name": "hdmi-matrix",
                           "authorization": {"credentials_file": f"{self.folder.name}/token"},
                           "static_configs": [{"targets": [f"127.0.0.1:{self.metrics}"]}]}]}, f)
        prometheus = Program("prometheus", f"--config.file={config}",
                             f"--storage.tsdb.path={self.folder.name}/data",
                             f"--web.listen-address=127.0.0.1:{port}")
        self.addCleanup(prometheus.stop)

        def value(query):
            try:
                _, _, body = get(f"http://127.0.0.1:{port}/api/v1/query?" +
                                 urllib.parse.urlencode({"query": query}))
            except OSError:
                return None  # not listening yet
            result = json.loads(body or "{}").get("data", {}).get("result", [])
            return result[0]["value"][1] if result else "none"

        until("switcher up", lambda: value("hdmi_matrix_switcher_up") == "1")
        with socket.create_connection(("127.0.0.1", self.hub), timeout=5) as hub:
            hub.sendall(b"VIDEO OUTPUT ROUTING:\n1 3\n\n")
            got = b""
            while b"ACK\n\n" not in got:
                got += hub.recv(4096)
        routed = 'hdmi_matrix_requests_total{frontend="videohub",kind="route",outcome="done"}'
        until("route counted", lambda: value(routed) == "1")
        until("routing", lambda: value('hdmi_matrix_output_input{output="2"}') == "4")
        self.sim.stop()
        until("switcher down", lambda: value("hdmi_matrix_switcher_up") == "0")
        # What the switcher said is not given while it is gone.
        until("routing withheld", lambda: value('hdmi_matrix_output_input{output="2"}') == "none")
        self.assertEqual(value("hdmi_matrix_switcher_absent_total"), "1")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
