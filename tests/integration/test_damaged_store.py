"""A settings store that cannot be used ends the gateway's start, and a damaged count is bounded.

The real gateway meets a store file that is text, a directory, a database of another program,
a file with a damaged header or page: it must say so and end with a non-zero status within
5 s, and leave the file exactly as it was. A TotalServices beyond what the store holds must
not make start-up allocate without bound.
"""
import hashlib
import os
import sqlite3
import subprocess
import time
import unittest

from gateway_process import BIN, GatewayProcess, PRODUCT_KEY, configure, free_port


def digest(path):
    if os.path.isdir(path):
        return sorted(os.listdir(path))
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class DamagedStore(unittest.TestCase):
    def setUp(self):
        self.gw = GatewayProcess()
        self.path = self.gw.env["WAYFARER_REGISTRY"]

    def tearDown(self):
        self.gw.close()

    def good_store(self):
        configure(self.gw, active={"WWW": free_port()})
        # One file, no WAL beside it, so the damage below is all there is.
        with sqlite3.connect(self.path) as db:
            db.execute("PRAGMA journal_mode=DELETE")

    def start_fails(self):
        before = digest(self.path)
        began = time.monotonic()
        r = subprocess.run([os.path.join(BIN, "Wayfarer")], env=self.gw.env, capture_output=True,
                           text=True, timeout=30)
        took = time.monotonic() - began
        self.assertNotEqual(r.returncode, 0, r.stderr)
        self.assertLess(took, 5.0)
        self.assertIn("cannot be opened or read", r.stderr)
        self.assertNotIn("running headless", r.stderr)
        self.assertEqual(digest(self.path), before, "the damaged file is left as it was")
        return r.stderr

    def test_text_file(self):
        with open(self.path, "w") as f:
            f.write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n")
        self.assertIn("not a database", self.start_fails())

    def test_directory(self):
        os.mkdir(self.path)
        self.start_fails()

    def test_database_of_another_program(self):
        with sqlite3.connect(self.path) as db:
            db.execute("CREATE TABLE photos(id INTEGER PRIMARY KEY, title TEXT)")
            db.execute("INSERT INTO photos(title) VALUES ('harbour')")
        self.assertIn('"photos"', self.start_fails())

    def test_damaged_header(self):
        self.good_store()
        with open(self.path, "r+b") as f:
            f.write(b"not the magic string")
        self.start_fails()

    def test_damaged_page(self):
        self.good_store()
        size = os.path.getsize(self.path)
        page = 4096
        self.assertGreaterEqual(size, 2 * page)
        with open(self.path, "r+b") as f:
            f.seek(size - page)  # the last page: part of a table's b-tree
            f.write(b"\xff" * page)
        self.start_fails()

    def test_huge_total_services_is_bounded_and_reported(self):
        port = free_port()
        configure(self.gw, active={"WWW": port})
        self.gw.reg("set", PRODUCT_KEY + r"\Configuration", "TotalServices", "REG_DWORD",
                    str(0x7FFFFFF0))
        self.gw.start()
        import socket
        with socket.create_connection(("127.0.0.1", port), timeout=5):
            pass
        code, _ = self.gw.stop()
        self.assertEqual(code, 0)
        reported = [l for l in self.gw.stderr_lines if "TotalServices" in l]
        self.assertEqual(len(reported), 1, self.gw.stderr_lines)


if __name__ == "__main__":
    unittest.main()
