"""No open proxy: who may use the gateway, which targets it opens, and that every web request
is checked. A LAN client, the gateway and the Internet side live in three namespaces (see
office_network.py); servers on the Internet side use TEST-NET addresses."""
import os
import socket
import stat
import struct
import threading
import unittest

import office_network as office
from socket_helpers import WAIT, connect, echo, listener, read_exact, read_to_close, read_until, serve
from gateway_process import PRODUCT_KEY, GatewayProcess, configure

PORTS = {"WWW": 3128, "Socks": 1080, "Telnet": 2323, "FTP": 2121, "POP3": 1110, "RealAudio": 1090}
TCP_MAP, UDP_MAP = 4000, 5300
ECHO_PORT, UDP_ECHO_PORT, ORIGIN_A, ORIGIN_B, AUDIO_PORT = 7, 9999, 8001, 8002, 7070
ACCESS_DENIED = b"Access Denied</H1><P> The Rule Set Does Not Permit This Action"
SOCKS_DENIED = b"Access Denied. Contact Your Administrator\r\n"
TELNET_PROMPT = b"Wayfarer (Host Name) >"
TELNET_DENIED = b"Access Denied\r\nContact Your Administrator.\r\n"
POP3_DENIED = b"-ERR  Access Denied Contact Your Administrator\r\n"
FTP_DENIED = b"500 Access Denied. Contact Your Administrator.\r\n"
REALAUDIO_DENIED = (2, b"BAD information was passed in the proxy dialog")
KEYWORD = "forbiddenword"


def keep_alive_origin(name):
    """An HTTP/1.1 origin that ignores "Connection: close" and answers every request on a
    connection with its own name and the path it was asked for."""
    def handle(conn):
        with conn:
            data = b""
            while True:
                while b"\r\n\r\n" not in data:
                    part = conn.recv(4096)
                    if not part:
                        return
                    data += part
                head, data = data.split(b"\r\n\r\n", 1)
                path = head.split(b" ")[1]
                body = name + b" " + path
                conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n"
                             b"Connection: keep-alive\r\n\r\n%s" % (len(body), body))
    return handle


def closed_without_a_byte(sock):
    try:
        return sock.recv(16) == b""
    except ConnectionResetError:
        return True


def udp_exchange(net, side, address, port, datagram, source=None, wait=1.5):
    with net.inside(side):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    with s:
        if source:
            s.bind((source, 0))
        s.settimeout(wait)
        s.sendto(datagram, (address, port))
        try:
            return s.recv(65536)
        except socket.timeout:
            return None


def dns_query(name):
    wire = b"".join(bytes([len(p)]) + p.encode() for p in name.split(".")) + b"\0"
    return struct.pack(">HHHHHH", 0x4142, 0x0100, 1, 0, 0, 0) + wire + struct.pack(">HH", 1, 1)


def realaudio_dialogue(sock, host, port):
    """Runs the player's side of the dialogue; returns (code, text) of the reply."""
    sock.settimeout(WAIT)
    assert read_exact(sock, 4) == bytes([0, 2, 1, 1])
    for body in (b"\x01", b"\x02" + host.encode(), b"\x03" + struct.pack(">H", port),
                 b"\x05\x01", b"\x00"):
        sock.sendall(struct.pack(">H", len(body)) + body)
    length = struct.unpack(">H", read_exact(sock, 2))[0]
    body = read_exact(sock, length)
    return body[1], body[2:]


def start_gateway(net, allowed=None, rules=()):
    gw = net.gateway()
    configure(gw, active=PORTS, dns_active=True, mappings=[
        dict(name="Echo", port=TCP_MAP, host=office.WAN_HOST, target_port=ECHO_PORT),
        dict(name="UdpEcho", type="UDP Mapped Link", port=UDP_MAP, host=office.WAN_HOST,
             target_port=UDP_ECHO_PORT, protocol=1)])
    if allowed is not None:
        gw.reg("set", PRODUCT_KEY + r"\Configuration", "AllowedClients", "REG_SZ", allowed)
    for n, (service, host, data) in enumerate(rules):
        key = PRODUCT_KEY + rf"\Security\{n}"
        gw.reg("set", key, "ServiceNum", "REG_DWORD", str(service))
        gw.reg("set", key, "ClientIP", "REG_SZ", "All")
        gw.reg("set", key, "HostIP", "REG_SZ", host)
        gw.reg("set", key, "Data", "REG_SZ", data)
    gw.reg("set", PRODUCT_KEY + r"\Configuration", "TotalSecurity", "REG_DWORD", str(len(rules)))
    gw.start()
    return gw


def stop_and_read_log(gw):
    """Ends the gateway and returns what it wrote on stderr after its start line."""
    gw.proc.terminate()
    log = gw.proc.stderr.read()
    gw.proc.wait(timeout=WAIT)
    return log


@unittest.skipUnless(office.available(), "needs root and ip netns")
class Office(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.net = office.OfficeNetwork()
        cls.sockets = []
        try:
            with cls.net.inside("wan"):
                for address, port, handle in (
                        (office.WAN_HOST, ECHO_PORT, echo),
                        (office.WAN_OTHER, ECHO_PORT, echo),
                        (office.WAN_HOST, ORIGIN_A, keep_alive_origin(b"A")),
                        (office.WAN_OTHER, ORIGIN_B, keep_alive_origin(b"B")),
                        (office.WAN_HOST, AUDIO_PORT, echo),
                        (office.WAN_OTHER, AUDIO_PORT, echo)):
                    cls.sockets.append(listener(address, port))
                    serve(cls.sockets[-1], handle)
                udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
                udp.bind((office.WAN_HOST, UDP_ECHO_PORT))
            cls.sockets.append(udp)
            threading.Thread(target=cls.udp_echo, args=(udp,), daemon=True).start()
            with cls.net.inside("gw"):  # a service only the gateway machine reaches
                cls.sockets.append(listener("127.0.0.1", ECHO_PORT))
            serve(cls.sockets[-1], echo)
            cls.gw = start_gateway(cls.net, rules=[(10, office.WAN_HOST, ""),
                                                   (1, "All", KEYWORD)])
        except Exception:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        code = 0
        if getattr(cls, "gw", None):
            code, _ = cls.gw.stop()
            cls.gw.close()
        for s in cls.sockets:
            s.close()
        cls.net.close()
        assert code == 0, f"gateway exit code {code}"

    @staticmethod
    def udp_echo(sock):
        while True:
            try:
                data, peer = sock.recvfrom(65536)
            except OSError:
                return
            sock.sendto(b"echo:" + data, peer)

    def lan(self, port, address=office.GW_LAN):
        with self.net.inside("lan"):
            return connect(address, port)

    def curl(self, side, proxy, *urls, extra=()):
        r = self.net.run(side, "curl", "-sS", "--max-time", "10", "-x", proxy, *extra, *urls)
        return r.stdout

    def test_wan_client_is_closed_on_every_service_and_lan_client_served(self):
        for port in [*PORTS.values(), TCP_MAP]:
            with self.net.inside("wan"):
                s = connect(office.GW_WAN, port)
            with s:
                self.assertTrue(closed_without_a_byte(s), port)
        self.assertIsNone(udp_exchange(self.net, "wan", office.GW_WAN, UDP_MAP, b"x"))
        self.assertIsNone(udp_exchange(self.net, "wan", office.GW_WAN, 53, dns_query("localhost")))
        # The same services answer the LAN.
        with self.lan(TCP_MAP) as s:
            s.sendall(b"ping")
            self.assertEqual(read_exact(s, 4), b"ping")
        self.assertEqual(udp_exchange(self.net, "lan", office.GW_LAN, UDP_MAP, b"x", wait=WAIT),
                         b"echo:x")
        answer = udp_exchange(self.net, "lan", office.GW_LAN, 53, dns_query("localhost"), wait=WAIT)
        self.assertIsNotNone(answer)
        self.assertEqual(answer[:2], b"AB")

    def test_realaudio_udp_relay_takes_datagrams_only_from_its_server(self):
        with self.net.inside("wan"):
            server = listener(office.WAN_OTHER, AUDIO_PORT + 1)
            from_server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            stranger = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        with self.net.inside("lan"):
            audio = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        player = self.lan(PORTS["RealAudio"])
        with server, from_server, stranger, audio, player:
            server.settimeout(WAIT)
            audio.bind((office.LAN_CLIENT, 0))
            player.settimeout(WAIT)
            self.assertEqual(read_exact(player, 4), bytes([0, 2, 1, 1]))
            for body in (b"\x01", b"\x02" + office.WAN_OTHER.encode(),
                         b"\x03" + struct.pack(">H", AUDIO_PORT + 1), b"\x04\x00\x04", b"\x05\x02",
                         b"\x00"):
                player.sendall(struct.pack(">H", len(body)) + body)
            conn, _ = server.accept()
            with conn:
                read_exact(player, struct.unpack(">H", read_exact(player, 2))[0])  # "connected"
                player.sendall(b"PLAY" + struct.pack(">H", audio.getsockname()[1]))
                gateway_udp = struct.unpack(">H", read_exact(conn, 6)[4:6])[0]
                stranger.bind((office.WAN_HOST, 0))
                from_server.bind((office.WAN_OTHER, 0))
                stranger.sendto(b"injected", (office.GW_WAN, gateway_udp))
                from_server.sendto(b"audio", (office.GW_WAN, gateway_udp))
                audio.settimeout(WAIT)
                self.assertEqual(audio.recv(100), b"audio")
                audio.settimeout(0.5)
                with self.assertRaises(socket.timeout):
                    audio.recv(100)

    def test_loopback_and_own_targets_are_denied_to_lan_clients(self):
        proxy = f"http://{office.GW_LAN}:{PORTS['WWW']}"
        for host in ("127.0.0.1", "localhost", "2130706433", office.GW_WAN):
            out = self.curl("lan", proxy, f"http://{host}:{ECHO_PORT}/")
            self.assertIn(ACCESS_DENIED, out, host)
        s = self.lan(PORTS["Socks"])
        with s:
            s.sendall(struct.pack(">BBH4s", 4, 1, ECHO_PORT, socket.inet_aton("127.0.0.1")) + b"\0")
            self.assertEqual(read_to_close(s), SOCKS_DENIED)
        with self.lan(PORTS["Telnet"]) as s:
            self.assertTrue(read_until(s, TELNET_PROMPT).endswith(TELNET_PROMPT))
            s.sendall(b"localhost\r\n")
            got = read_until(s, TELNET_DENIED + TELNET_PROMPT)
            self.assertIn(TELNET_DENIED + TELNET_PROMPT, got)
        with self.lan(PORTS["POP3"]) as s:
            self.assertTrue(read_until(s, b"\r\n").startswith(b"+OK"))
            s.sendall(b"USER me<127.0.0.1>\r\n")
            self.assertEqual(read_until(s, b"\r\n"), POP3_DENIED)
        with self.lan(PORTS["FTP"]) as s:
            read_until(s, b"\r\n")
            s.sendall(b"USER me@127.0.0.1\r\n")
            self.assertIn(FTP_DENIED, read_until(s, FTP_DENIED))

    def test_gateway_machine_reaches_its_loopback_but_never_its_own_ports(self):
        proxy = f"http://127.0.0.1:{PORTS['WWW']}"
        with self.net.inside("gw"):
            s = connect("127.0.0.1", PORTS["Socks"])
        with s:
            s.sendall(struct.pack(">BBH4s", 4, 1, ECHO_PORT, socket.inet_aton("127.0.0.1")) + b"\0")
            self.assertEqual(read_exact(s, 8)[:2], b"\x00\x5a")
            s.sendall(b"ping")
            self.assertEqual(read_exact(s, 4), b"ping")
        # A request to the proxy itself would be forwarded to itself again and again.
        for host in ("127.0.0.1", office.GW_LAN, "localhost"):
            out = self.curl("gw", proxy, f"http://{host}:{PORTS['WWW']}/127.0.0.1/x")
            self.assertIn(ACCESS_DENIED, out, host)
            out = self.curl("lan", f"http://{office.GW_LAN}:{PORTS['WWW']}",
                            f"http://{host}:{PORTS['WWW']}/x")
            self.assertIn(ACCESS_DENIED, out, host)

    def test_second_request_on_a_kept_connection_is_checked_and_sent_to_its_own_host(self):
        proxy = f"http://{office.GW_LAN}:{PORTS['WWW']}"
        a = f"http://{office.WAN_HOST}:{ORIGIN_A}"
        b = f"http://{office.WAN_OTHER}:{ORIGIN_B}"
        self.assertEqual(self.curl("lan", proxy, f"{a}/one", f"{b}/two"), b"A /oneB /two")
        out = self.curl("lan", proxy, f"{a}/ok", f"{a}/{KEYWORD}")
        self.assertTrue(out.startswith(b"A /ok"), out)
        self.assertIn(ACCESS_DENIED, out)
        self.assertNotIn(KEYWORD.encode(), out.replace(ACCESS_DENIED, b""))
        # Body bytes the request announces go to its server; the request after them goes to
        # the host it names, never over the first request's server connection. (The origin
        # answers without reading a body: were the body still on its way then, the gateway
        # could not tell where the next request begins and would rightly close.)
        with self.lan(PORTS["WWW"]) as s:
            s.sendall(f"POST {a}/post HTTP/1.1\r\nContent-Length: 4\r\n\r\nbody".encode())
            self.assertTrue(read_until(s, b"A /post").endswith(b"A /post"))
            s.sendall(f"GET {b}/next HTTP/1.1\r\n\r\n".encode())
            self.assertTrue(read_until(s, b"B /next").endswith(b"B /next"))
        # A one-request client's further bytes are never forwarded.
        with self.lan(PORTS["WWW"]) as s:
            s.sendall(f"POST {a}/post HTTP/1.0\r\nContent-Length: 4\r\n\r\nbody".encode())
            self.assertTrue(read_until(s, b"A /post").endswith(b"A /post"))
            s.sendall(f"GET {b}/smuggled HTTP/1.0\r\n\r\n".encode())
            self.assertEqual(read_to_close(s), b"")

    def test_realaudio_rule_denies_its_host(self):
        with self.lan(PORTS["RealAudio"]) as s:
            self.assertEqual(realaudio_dialogue(s, office.WAN_HOST, AUDIO_PORT), REALAUDIO_DENIED)
        with self.lan(PORTS["RealAudio"]) as s:
            self.assertEqual(realaudio_dialogue(s, office.WAN_OTHER, AUDIO_PORT)[0], 0)


@unittest.skipUnless(office.available(), "needs root and ip netns")
class WiderClientSets(unittest.TestCase):
    def setUp(self):
        self.net = office.OfficeNetwork()
        self.addCleanup(self.net.close)
        with self.net.inside("wan"):
            for address in (office.WAN_HOST, office.WAN_OTHER):
                s = listener(address, ECHO_PORT)
                self.addCleanup(s.close)
                serve(s, echo)

    def echoed(self, source):
        with self.net.inside("wan"):
            s = connect(office.GW_WAN, TCP_MAP, source=source)
        with s:
            s.sendall(b"ping")
            try:
                return read_exact(s, 4) == b"ping"
            except ConnectionResetError:
                return False

    def test_any_and_an_explicit_prefix(self):
        gw = start_gateway(self.net, allowed="any")
        try:
            self.assertTrue(self.echoed(office.WAN_HOST))
        finally:
            gw.close()
        gw = start_gateway(self.net, allowed="203.0.113.0/24; 192.168.77.0/24")
        try:
            self.assertTrue(self.echoed(office.WAN_OTHER))
            self.assertFalse(self.echoed(office.WAN_HOST))
            self.assertFalse(self.echoed(office.WAN_HOST))
            log = stop_and_read_log(gw)
            self.assertEqual(log.count(f"refused client {office.WAN_HOST} "), 1, log)
            self.assertNotIn(office.WAN_OTHER, log)
        finally:
            gw.close()

    def test_unreadable_setting_means_lan_and_is_reported(self):
        gw = start_gateway(self.net, allowed="192.168.77.0/24;everyone")
        try:
            self.assertFalse(self.echoed(office.WAN_OTHER))
            with self.net.inside("lan"):
                s = connect(office.GW_LAN, TCP_MAP)
            with s:
                s.sendall(b"ping")
                self.assertEqual(read_exact(s, 4), b"ping")
            log = "".join(gw.stderr_lines) + stop_and_read_log(gw)
            self.assertEqual(log.count("AllowedClients"), 2, log)  # reported, then one refusal
        finally:
            gw.close()


class FreshStore(unittest.TestCase):
    def test_first_start_writes_a_private_store_with_lan_only(self):
        gw = GatewayProcess()
        self.addCleanup(gw.close)
        store = os.path.join(gw.dir, "state", "wayfarer", "registry.db")
        gw.env["WAYFARER_REGISTRY"] = store
        old = os.umask(0)  # the gateway, not the umask, must keep the store private
        try:
            gw.start()
        finally:
            os.umask(old)
        self.assertEqual(stat.S_IMODE(os.stat(store).st_mode), 0o600)
        self.assertEqual(stat.S_IMODE(os.stat(os.path.dirname(store)).st_mode), 0o700)
        out = gw.reg("query", PRODUCT_KEY + r"\Configuration", "AllowedClients").stdout
        self.assertIn("lan", out)


if __name__ == "__main__":
    unittest.main()
