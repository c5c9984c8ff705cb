"""Runs a test module again inside private namespaces, for tests that need fixed ports or
their own /etc files: the outer run's single test passes when the inner run passes."""
import os
import subprocess
import sys


def run_inside(test, module, flag, mount=True, timeout=600):
    """Runs `module` with `flag`=1 in a new network (and, with mount, mount) namespace."""
    env = dict(os.environ, **{flag: "1"})
    here = os.path.dirname(os.path.abspath(__file__))
    unshare = ["unshare", "-n"] + (["-m", "--propagation", "private"] if mount else [])
    r = subprocess.run(unshare + [sys.executable, "-m", "unittest", "-v", module], cwd=here,
                       env=env, capture_output=True, text=True, timeout=timeout)
    sys.stderr.write(r.stdout + r.stderr)
    test.assertEqual(r.returncode, 0)
