"""Sudden death of the gateway while its web cache stores large objects: kill -9 in the middle
of several transfers, restart on the same store and cache, and every object the proxy then
serves must be the origin's whole object (checked by hash), never a cut-off copy from disk.
The gateway runs in its own network namespace (office_network)."""
import hashlib
import os
import random
import socket
import subprocess
import threading
import time
import unittest

import office_network as office
from socket_helpers import listener, read_until, serve
from gateway_process import BIN, PRODUCT_KEY, GatewayProcess, configure, free_port
from test_web_cache import cache_text

WWW = 3128
ORIGIN_PORT = 8001
OBJECT_BYTES = 2 << 20
ROUNDS = 3
CLIENTS = 4
RNG = random.Random(4)


def body_of(path):
    return random.Random(path).randbytes(OBJECT_BYTES)


class Origin:
    """Serves /big/NAME as OBJECT_BYTES of its own bytes, slowly enough (64 KiB every 10 ms)
    that a kill lands in the middle of transfers; counts requests per path."""

    def __init__(self):
        self.count = {}
        self.lock = threading.Lock()

    def __call__(self, conn):
        with conn:
            try:
                head = read_until(conn, b"\r\n\r\n")
                path = head.split(b" ")[1].decode()
                with self.lock:
                    self.count[path] = self.count.get(path, 0) + 1
                body = body_of(path)
                conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n"
                             b"Last-Modified: Thu, 01 Dec 1994 16:00:00 GMT\r\n\r\n" % len(body))
                for at in range(0, len(body), 65536):
                    conn.sendall(body[at:at + 65536])
                    time.sleep(0.01)
            except OSError:
                pass  # the proxy died or gave up


def fetch(net, path):
    """(status line, body) of one HTTP/1.0 GET through the proxy; (None, b"") when the
    connection failed."""
    with net.inside("lan"):
        s = socket.socket()
    with s:
        s.settimeout(15)
        try:
            s.connect((office.GW_LAN, WWW))
            s.sendall(b"GET http://%s:%d%s HTTP/1.0\r\n\r\n" % (office.WAN_HOST.encode(),
                                                               ORIGIN_PORT, path.encode()))
            data = b""
            while part := s.recv(65536):
                data += part
        except OSError:
            return None, b""
    head, _, body = data.partition(b"\r\n\r\n")
    return head.split(b"\r\n")[0], body


@unittest.skipUnless(office.available(), "needs root and ip netns")
class SuddenDeath(unittest.TestCase):
    def setUp(self):
        self.net = office.OfficeNetwork(prefix="death")
        self.origin = Origin()
        with self.net.inside("wan"):
            self.server = listener(office.WAN_HOST, ORIGIN_PORT)
        serve(self.server, self.origin)
        self.gw = self.net.gateway()
        location = os.path.join(self.gw.dir, "cache") + "/"
        os.mkdir(location)
        self.location = location
        path = os.path.join(self.gw.dir, "cache.reg")
        with open(path, "w") as f:
            f.write(cache_text(location))
        configure(self.gw, active={"WWW": WWW})
        self.gw.reg("import", path)

    def tearDown(self):
        self.gw.close()
        self.server.close()
        self.net.close()

    def start(self):
        self.gw.start()
        self.drain = threading.Thread(target=self.gw.proc.stderr.read, daemon=True)
        self.drain.start()

    def kill(self):
        self.gw.proc.kill()  # SIGKILL: no shut-down code runs
        self.gw.proc.wait(timeout=10)
        self.drain.join(timeout=10)
        self.gw.proc.stdout.close()
        self.gw.proc.stderr.close()
        self.gw.proc = None

    def assert_whole(self, path, status, body):
        self.assertIsNotNone(status, f"{path}: no answer after a restart")
        self.assertTrue(status.startswith(b"HTTP/1.0 200") or status.startswith(b"HTTP/1.1 200"),
                        (path, status))
        self.assertEqual(hashlib.sha256(body).hexdigest(),
                         hashlib.sha256(body_of(path)).hexdigest(),
                         f"{path}: {len(body)} of {OBJECT_BYTES} bytes served after a restart")

    def test_killed_while_storing_never_serves_a_cut_object(self):
        paths = []
        for round_ in range(ROUNDS):
            self.start()
            batch = [f"/big/{round_}-{i}" for i in range(CLIENTS)]
            paths += batch
            clients = [threading.Thread(target=fetch, args=(self.net, p)) for p in batch]
            for c in clients:
                c.start()
            time.sleep(RNG.uniform(0.2, 0.6))
            self.kill()
            for c in clients:
                c.join(timeout=30)
        # The kills did land while objects were being written: their partial files remain
        # until a purge pass.
        self.assertTrue(self.partials(), "no kill landed in the middle of a store")
        self.start()
        started = time.monotonic()
        # Whatever the kills left on disk is served, or fetched again, whole; the second
        # round of fetches shows the cache does serve what it stored after the restart.
        for path in paths:
            self.assert_whole(path, *fetch(self.net, path))
        before = dict(self.origin.count)
        for path in paths:
            self.assert_whole(path, *fetch(self.net, path))
        from_disk = [p for p in paths if self.origin.count.get(p) == before.get(p)]
        self.assertTrue(from_disk, "no object came from the cache")
        # The first purge pass, a minute after the start, removes what the killed writers left
        # (and the host directories that held nothing else); the whole objects stay.
        whole = self.whole_files()
        while self.partials() and time.monotonic() - started < 100:
            time.sleep(1)
        self.assertEqual(self.partials(), [], "the purge pass left the killed writers' files")
        self.assertEqual(self.whole_files(), whole)

    def partials(self):
        return [name for _, _, files in os.walk(self.location) for name in files
                if name.startswith(".partial-")]

    def whole_files(self):
        return sorted(os.path.join(d, name) for d, _, files in os.walk(self.location)
                      for name in files if not name.startswith(".partial-"))


class SettingsWriteKilled(unittest.TestCase):
    """The settings store is written by a separate process (the console, or wayfarer-reg as
    here): kill -9 in the middle of an import of many values must leave every value at its
    old or its new text, and the store must open afterwards."""

    def test_every_value_is_old_or_new_after_a_killed_import(self):
        gw = GatewayProcess()
        self.addCleanup(gw.close)
        key = PRODUCT_KEY + r"\Configuration"
        names = [f"Value{i}" for i in range(300)]

        def text(generation):
            return "\n".join(["REGEDIT4", "", f"[{key}]"] +
                              [f'"{n}"="{n}-{generation}-' + "x" * 200 + '"' for n in names]) + "\n"

        path = os.path.join(gw.dir, "settings.reg")
        old = dict.fromkeys(names)
        for generation in range(8):
            with open(path, "w") as f:
                f.write(text(generation))
            writer = subprocess.Popen([os.path.join(BIN, "wayfarer-reg"), "import", path],
                                      env=gw.env, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
            time.sleep(RNG.uniform(0.0, 0.05))
            writer.kill()
            writer.wait(timeout=10)
            result = gw.reg("query", key, check=any(old.values()))
            lines = [line.split("\t") for line in result.stdout.splitlines()]
            now = {fields[0]: fields[2] for fields in lines if len(fields) == 3}
            new = dict(line.split("=", 1) for line in text(generation).splitlines()[3:])
            for n in names:
                self.assertIn(now.get(n), (old[n], new[f'"{n}"'].strip('"')),
                              f"{n} after the write of generation {generation}")
            old = {n: now.get(n) for n in names}

    def test_console_writes_killed_leave_each_value_old_or_new(self):
        """settings_writer saves the Cache, Dial, Security and Services pages' values and the
        master password, generation after generation, through the pages' own functions; it is
        killed a few milliseconds after a random generation was reported whole."""
        gw = GatewayProcess()
        self.addCleanup(gw.close)
        configure(gw, mappings=[{"name": "map", "port": free_port(), "host": "127.0.0.1",
                                 "target_port": 7}])
        writer_path = os.path.join(BIN, "settings_writer")

        def writer(*args):
            return subprocess.Popen([writer_path, *args], env=gw.env, stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, text=True)

        def check(last):
            result = subprocess.run([writer_path, "check", str(last)], env=gw.env,
                                    capture_output=True, text=True, timeout=30)
            self.assertEqual(result.returncode, 0,
                             f"after generation {last}:\n{result.stdout}{result.stderr}")
            return [line.split("\t")[1] for line in result.stdout.splitlines()]

        first = writer("write", "0", "1")
        out, err = first.communicate(timeout=60)
        self.assertEqual((first.returncode, out), (0, "1\n"), err)
        last = 1
        torn_rounds = 0
        for _ in range(30):
            proc = writer("write", str(last), "1000")
            for _ in range(RNG.randint(1, 4)):
                line = proc.stdout.readline()
                if not line:
                    proc.wait(timeout=10)
                    self.fail(proc.stderr.read())
                last = int(line)
            time.sleep(RNG.uniform(0.0, 0.01))
            proc.kill()
            proc.wait(timeout=10)
            rest = proc.stdout.read().split()
            proc.stdout.close()
            proc.stderr.close()
            last = int(rest[-1]) if rest else last
            verdicts = check(last)
            torn_rounds += "old" in verdicts and "new" in verdicts
        # Some kill landed between two values of one generation, or the test proved nothing.
        self.assertTrue(torn_rounds, "no kill landed in the middle of a generation")
        # The gateway itself starts on the store the kills left behind.
        gw.start()


if __name__ == "__main__":
    unittest.main()
