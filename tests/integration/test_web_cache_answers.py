"""The web cache gives each client the answer its own request asked for: URLs that differ
only in case or in escaped characters are different objects, a gzip copy goes only to clients
that accept gzip, and private or no-store answers are never kept. curl through the real
proxy against a local origin that counts its requests."""
import gzip
import hashlib
import http.server
import os
import subprocess
import threading
import time
import unittest

from test_web_cache import cache_text
from gateway_process import GatewayProcess, configure, free_port


class Origin(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    counts = {}
    lock = threading.Lock()

    def log_message(self, *args):
        pass

    def do_GET(self):
        with Origin.lock:
            Origin.counts[self.path] = Origin.counts.get(self.path, 0) + 1
        body = ("body of " + self.path + " ") * 100
        headers = [("Last-Modified", "Thu, 01 Dec 1994 16:00:00 GMT")]
        data = body.encode()
        if self.path.startswith("/gz"):
            # Gzipped for whoever asks, without Vary, as many servers do by default.
            if "gzip" in self.headers.get("Accept-Encoding", ""):
                data = gzip.compress(data)
                headers.append(("Content-Encoding", "gzip"))
        elif self.path == "/private":
            headers.append(("Cache-Control", "private, max-age=600"))
        elif self.path == "/nostore":
            headers.append(("Cache-Control", "no-store"))
        self.send_response(200)
        for name, value in headers + [("Content-Length", str(len(data)))]:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)


def count(path):
    with Origin.lock:
        return Origin.counts.get(path, 0)


def digest(data):
    return hashlib.sha256(data).hexdigest()


class CacheAnswers(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Origin)
        cls.server.daemon_threads = True
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()
        cls.origin = f"127.0.0.1:{cls.server.server_address[1]}"
        cls.gw = GatewayProcess()
        cls.port = free_port()
        configure(cls.gw, active={"WWW": cls.port})
        cls.location = os.path.join(cls.gw.dir, "cache") + "/"
        os.mkdir(cls.location)
        path = os.path.join(cls.gw.dir, "cache.reg")
        with open(path, "w") as f:
            f.write(cache_text(cls.location))
        cls.gw.reg("import", path)
        cls.gw.start()

    @classmethod
    def tearDownClass(cls):
        code, _ = cls.gw.stop()
        cls.gw.close()
        cls.server.shutdown()
        cls.server.server_close()
        assert code == 0, f"gateway exit code {code}"

    def curl(self, path, *extra, host=None):
        r = subprocess.run(["curl", "-sS", "--max-time", "10", "-x", f"http://127.0.0.1:{self.port}",
                            *extra, f"http://{host or self.origin}{path}"],
                           capture_output=True, timeout=30)
        self.assertEqual(r.returncode, 0, r.stderr)
        return r.stdout

    def stored(self, path, seconds=5):
        """Waits until the origin's host directory holds as many files as now expected."""
        deadline = time.monotonic() + seconds
        host_dir = self.location + self.origin.replace(":", "~")
        while time.monotonic() < deadline:
            if os.path.isdir(host_dir) and any(path in n for n in os.listdir(host_dir)):
                return True
            time.sleep(0.05)
        return False

    def test_urls_differing_in_case_or_escaped_characters_are_separate_objects(self):
        for group in (["/Case.html", "/case.html"], ["/a/b.txt", "/a~b.txt", "/a:b.txt"]):
            for path in group:
                self.assertEqual(self.curl(path), (f"body of {path} " * 100).encode(), path)
            for path in group:  # again: from disk, each its own
                before = count(path)
                self.assertEqual(self.curl(path), (f"body of {path} " * 100).encode(), path)
                self.assertEqual(count(path), before, f"{path} came from the origin again")
        # The host part ignores case: the same object under another spelling of the host.
        host = self.origin.replace("127.0.0.1", "LOCALHOST")
        before = count("/Case.html")
        self.assertEqual(self.curl("/Case.html", host=host.lower()), b"body of /Case.html " * 100)
        self.assertEqual(self.curl("/Case.html", host=host), b"body of /Case.html " * 100)
        self.assertEqual(count("/Case.html"), before + 1)

    def test_gzip_copy_goes_only_to_clients_that_accept_gzip(self):
        plain = b"body of /gz1 " * 100
        zipped = self.curl("/gz1", "-H", "Accept-Encoding: gzip")
        self.assertEqual(gzip.decompress(zipped), plain)
        self.assertTrue(self.stored("gz1"))
        # Another client without gzip: the origin answers, and the coded copy stays.
        for _ in range(2):
            self.assertEqual(digest(self.curl("/gz1")), digest(plain))
        self.assertEqual(count("/gz1"), 3)
        self.assertEqual(digest(self.curl("/gz1", "--compressed")), digest(plain))
        self.assertEqual(count("/gz1"), 3, "a gzip-accepting client is served from disk")
        # A plain copy stored first is good for everyone.
        self.assertEqual(self.curl("/gz2"), b"body of /gz2 " * 100)
        self.assertTrue(self.stored("gz2"))
        self.assertEqual(self.curl("/gz2", "--compressed"), b"body of /gz2 " * 100)
        self.assertEqual(count("/gz2"), 1)

    def test_private_and_no_store_answers_are_never_stored(self):
        for path in ("/private", "/nostore"):
            for _ in range(2):
                self.assertEqual(self.curl(path), (f"body of {path} " * 100).encode())
            self.assertEqual(count(path), 2, path)
            self.assertFalse(self.stored(path.strip("/"), seconds=0.2), path)


if __name__ == "__main__":
    unittest.main()
