"""Starts the real Wayfarer on a private settings store and talks to it like an administrator.

Each GatewayProcess has its own temporary directory, store and environment; tests run side by
side without touching each other or the machine's own settings. Importing this module moves the
test process into a private network and mount namespace (see private_network.py) and clears the
proxy variables, so neither the tests' servers nor the gateway nor the clients a test starts can
reach or be reached from the machine's network, and no client slips past the gateway.
"""
import os
import shutil
import signal
import subprocess
import tempfile
import time

import private_network


def clear_proxy_variables(env):
    """Removes http_proxy, HTTPS_PROXY, NO_PROXY, ALL_PROXY ... in either case from env."""
    for name in [n for n in env if n.lower().endswith("_proxy")]:
        del env[name]
    return env


clear_proxy_variables(os.environ)
private_network.enter()

# A client a test starts talks from CLIENT_ADDRESS; the gateway connects out from GATEWAY_ADDRESS.
# An origin that sees CLIENT_ADDRESS was reached directly, past the gateway.
CLIENT_ADDRESS = "127.0.0.66"
GATEWAY_ADDRESS = "127.0.0.1"

BIN = os.environ.get("WAYFARER_BIN", os.path.join(os.path.dirname(__file__), "../../build/bin"))
PRODUCT_KEY = r"HKEY_LOCAL_MACHINE\Software\Wayfarer Computer Products Ltd.\Wayfarer\2.0"


class GatewayProcess:
    def __init__(self, wrapper=()):
        self.wrapper = list(wrapper)  # e.g. a command that enters a network namespace
        self.dir = tempfile.mkdtemp(prefix="wayfarer-it-")
        self.env = dict(os.environ)
        self.env["WAYFARER_REGISTRY"] = os.path.join(self.dir, "registry.db")
        self.env["WAYFARER_WINDIR"] = os.path.join(self.dir, "windows")
        self.env["LOGS_DIRECTORY"] = self.dir  # the access log stays in the test's directory
        self.env.pop("DISPLAY", None)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.proc = None

    def reg(self, *args, check=True):
        result = subprocess.run([os.path.join(BIN, "wayfarer-reg"), *args], env=self.env,
                                capture_output=True, text=True, timeout=30)
        if check and result.returncode != 0:
            raise AssertionError(f"wayfarer-reg {args}: {result.stderr}")
        return result

    def start(self, wait_for="running headless"):
        self.proc = subprocess.Popen([*self.wrapper, os.path.join(BIN, "Wayfarer")], env=self.env,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.stderr_lines = []
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            line = self.proc.stderr.readline()
            if not line:
                break
            self.stderr_lines.append(line)
            if wait_for in line:
                return self
        raise AssertionError("gateway did not start: " + "".join(self.stderr_lines))

    def in_private_network(self):
        """True while the running gateway sits in the test's private network namespace."""
        return self.proc is not None and private_network.inside(self.proc.pid)

    def stop(self, timeout=5):
        """SIGTERM; returns (exit code, seconds it took)."""
        if not self.proc:
            return None, 0
        began = time.monotonic()
        self.proc.send_signal(signal.SIGTERM)
        try:
            code = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            code = self.proc.wait()
        self.proc.stdout.close()
        self.proc.stderr.close()
        self.proc = None
        return code, time.monotonic() - began

    def close(self):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)


BUILT_IN = ["WWW", "Telnet", "FTP", "Socks", "POP3", "RealAudio", "SMTP", "News", "IRC", "DNS"]


def free_port(kind=None):
    import socket
    s = socket.socket(socket.AF_INET, kind or socket.SOCK_STREAM)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def config_text(active=None, mappings=(), dns_active=False):
    """REGEDIT4 text of a whole configuration.

    active: {kind name: port} of built-in services to switch on (others stay off);
    mappings: dicts with name, port, host, target_port and optional protocol, timeout.
    """
    active = active or {}
    lines = ["REGEDIT4", ""]
    total = len(BUILT_IN) + len(mappings)
    lines += [f"[{PRODUCT_KEY}\\Configuration]", '"CurrentTab"=dword:00000000',
              f'"TotalServices"=dword:{total:08x}', '"TotalSecurity"=dword:00000000', ""]
    for i, kind in enumerate(BUILT_IN):
        on = kind in active or (kind == "DNS" and dns_active)
        port = active.get(kind, 53 if kind == "DNS" else 1)
        lines += [f"[{PRODUCT_KEY}\\Service\\{i}]", f'"ServiceType"="{kind}"',
                  f'"IsActive"=dword:{int(on):08x}', f'"PortNum"=dword:{port:08x}']
        if kind == "DNS":
            lines += ['"UseDialler"=dword:00000000']
        else:
            lines += ['"TimeOut"=dword:00000000', '"TimeoutAfter"=dword:000000b4',
                      '"ListenCapacity"=dword:00000010']
        lines.append("")
    for n, m in enumerate(mappings, start=len(BUILT_IN)):
        timeout = m.get("timeout", 0)
        lines += [f"[{PRODUCT_KEY}\\Service\\{n}]",
                  f'"ServiceType"="{m.get("type", "TCP Mapped Link")}"',
                  '"IsActive"=dword:00000001', f'"PortNum"=dword:{m["port"]:08x}',
                  f'"TimeOut"=dword:{int(timeout > 0):08x}',
                  f'"TimeoutAfter"=dword:{timeout:08x}', '"ListenCapacity"=dword:00000080',
                  f'"DefaultHost"="{m["host"]}"', f'"DefaultHostPortNum"=dword:{m["target_port"]:08x}',
                  f'"ProtocolType"=dword:{m.get("protocol", 0):08x}',
                  f'"MappingName"="{m["name"]}"', ""]
    lines += [f"[{PRODUCT_KEY}\\Dialler]", '"DialOnDemand"=dword:00000000',
              '"Retires"=dword:00000000', '"AutoDisconnect"=dword:00000000',
              '"Minutes"=dword:00000000', '"Profile"=""', ""]
    return "\n".join(lines)


def configure(gw, **kwargs):
    path = os.path.join(gw.dir, "config.reg")
    with open(path, "w") as f:
        f.write(config_text(**kwargs))
    gw.reg("import", path)
