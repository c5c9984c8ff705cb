"""Tests that need fixed ports or their own /etc files run their module again inside private
namespaces: the outer run's single test passes when the inner run passes."""
import os
import subprocess
import sys
import tempfile


def run_inside(test, module, flag, mount=True, timeout=600):
    """Runs `module` with `flag`=1 in a new network (and, with mount, mount) namespace."""
    env = dict(os.environ, **{flag: "1"})
    here = os.path.dirname(os.path.abspath(__file__))
    unshare = ["unshare", "-n"] + (["-m", "--propagation", "private"] if mount else [])
    r = subprocess.run(unshare + [sys.executable, "-m", "unittest", "-v", module], cwd=here,
                       env=env, capture_output=True, text=True, timeout=timeout)
    sys.stderr.write(r.stdout + r.stderr)
    test.assertEqual(r.returncode, 0)


def own_etc_files(hosts, resolv):
    """Inside the namespaces: loopback up, and the given hosts and resolv.conf (with hosts
    looked up in the file first, then DNS) bound over /etc. Returns the temporary directory
    holding them (files there can be rewritten in place); the caller cleans it up."""
    files = tempfile.TemporaryDirectory(prefix="wayfarer-ns-")
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    for name, text in (("hosts", hosts), ("resolv.conf", resolv),
                       ("nsswitch.conf", "hosts: files dns\n")):
        path = os.path.join(files.name, name)
        with open(path, "w") as f:
            f.write(text)
        subprocess.run(["mount", "--bind", path, "/etc/" + name], check=True)
    return files
