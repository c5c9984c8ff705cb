"""Deny rules stored before start-up, and a mapping that has to dial first, on the real gateway."""
import socket
import time
import unittest

from gateway_process import PRODUCT_KEY, GatewayProcess, configure, free_port
from socket_helpers import TcpServer, echo

REMOTE_ACCESS = r"HKLM\System\CurrentControlSet\Services\RemoteAccess\Parameters"
E10026 = b"Wayfarer v2.0 E-10026: Could not connect to server.\r\n"


def talk(port, source="127.0.0.1"):
    """Connects from source, sends a line, returns everything received until the close."""
    with socket.create_connection(("127.0.0.1", port), timeout=20, source_address=(source, 0)) as c:
        c.sendall(b"ping\n")
        c.shutdown(socket.SHUT_WR)
        got = b""
        while data := c.recv(4096):
            got += data
        return got


class GatewayTest(unittest.TestCase):
    def setUp(self):
        self.echo = TcpServer(echo, timeout=None)
        self.addCleanup(self.echo.close)
        self.gw = GatewayProcess()
        self.addCleanup(self.gw.close)
        self.port = free_port()
        configure(self.gw, mappings=[dict(name="Echo", port=self.port, host="127.0.0.1",
                                          target_port=self.echo.port)])


class StoredRuleTest(GatewayTest):
    def test_rule_stored_before_start_up_refuses_one_client_only(self):
        key = PRODUCT_KEY + r"\Security\0"
        self.gw.reg("set", key, "ServiceNum", "REG_DWORD", "6")
        self.gw.reg("set", key, "ClientIP", "REG_SZ", "127.0.0.1")
        self.gw.reg("set", key, "HostIP", "REG_SZ", "All")
        self.gw.reg("set", key, "Data", "REG_SZ", "")
        self.gw.reg("set", PRODUCT_KEY + r"\Configuration", "TotalSecurity", "REG_DWORD", "1")
        self.gw.start()
        self.assertEqual(talk(self.port, "127.0.0.1"), b"Access Denied Contact Admin \0" + E10026)
        self.assertEqual(talk(self.port, "127.0.0.2"), b"ping\n")


class DialFirstTest(GatewayTest):
    def dial_setup(self, result, name="office-user"):
        """The simulated line answers only the account office-user, after 300 ms."""
        entry = REMOTE_ACCESS + r"\Simulator\Entries\Office"
        self.gw.reg("set", REMOTE_ACCESS, "Provider", "REG_SZ", "simulated")
        self.gw.reg("set", entry, "DelayMs", "REG_DWORD", "300")
        self.gw.reg("set", entry, "Result", "REG_DWORD", str(result))
        self.gw.reg("set", entry, "User", "REG_SZ", "office-user")
        self.gw.reg("set", PRODUCT_KEY + r"\Dialler", "DialOnDemand", "REG_DWORD", "1")
        self.gw.reg("set", PRODUCT_KEY + r"\Dialler", "Profile", "REG_SZ", "Office")
        for value, text in (("Name", name), ("Password", ""), ("Domain", "")):
            self.gw.reg("set", PRODUCT_KEY + r"\Dialler\Office", value, "REG_SZ", text)
        self.gw.start()

    def test_session_waits_for_the_dial_and_then_relays(self):
        self.dial_setup(result=0)
        began = time.monotonic()
        self.assertEqual(talk(self.port), b"ping\n")
        # The session waited out the line's 300 ms dial before it connected.
        self.assertGreaterEqual(time.monotonic() - began, 0.3)
        self.assertEqual(talk(self.port), b"ping\n", "the link stays up for the next session")

    def test_dial_with_the_wrong_account_fails_the_session(self):
        # Same line, other account: only a real dial tells the two apart.
        self.dial_setup(result=0, name="someone-else")
        self.assertEqual(talk(self.port), E10026)

    def test_failed_dial_gives_the_session_its_failure_text(self):
        self.dial_setup(result=678)
        self.assertEqual(talk(self.port), E10026)


if __name__ == "__main__":
    unittest.main()
