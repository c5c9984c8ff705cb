"""Runs one whole-program test module for CTest: `run_module.py test_name`.

The module runs inside the private network of private_network.py, without proxy variables,
whatever it imports itself.

A skipped case is never reported as passed: under ./test (WAYFARER_SKIP_IS_FAILURE=1, where
every tool is installed) a skip fails the run; elsewhere, when nothing failed, the marker line
that CTest's SKIP_REGULAR_EXPRESSION matches is printed, so the suite shows as skipped.
"""
import os
import sys
import unittest

import gateway_process  # importing it enters the private network, clears the proxy variables

SKIP_MARKER = "WAYFARER-TESTS-SKIPPED"


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: run_module.py MODULE")
    assert gateway_process.private_network.inside()
    program = unittest.main(module=sys.argv[1], argv=[sys.argv[0], "-v"], exit=False)
    result = program.result
    sys.stderr.flush()
    if not result.wasSuccessful():
        return 1
    if result.skipped:
        if os.environ.get("WAYFARER_SKIP_IS_FAILURE") == "1":
            print(f"{len(result.skipped)} test(s) skipped: a skip is a failure where every "
                  "tool is installed")
            return 1
        print(f"{SKIP_MARKER}: {len(result.skipped)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
