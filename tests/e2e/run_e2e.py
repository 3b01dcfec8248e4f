#!/usr/bin/env python3
"""Runs one end-to-end case (a TestCase class of e2e_cases) against the built tarvel-player.

    run_e2e.py CASE [CASE...]      e.g. run_e2e.py StartUp LoopPlayback

Environment: TARVEL_PLAYER (the program), TARVEL_E2E_MEDIA (media writer), TARVEL_E2E_CD_SHIM
(disc image shim), TARVEL_TEST_TMP (scratch folders; a failed case leaves its folder there).

The program lets one copy run per machine (an abstract-namespace socket). As root, the cases
run in a network namespace of their own, where no other copy on the machine can be seen."""

import os
import shutil
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ISOLATED = "TARVEL_E2E_ISOLATED"


def reexec_isolated():
    if os.environ.get(ISOLATED) or os.geteuid() != 0 or shutil.which("unshare") is None:
        return
    if subprocess.run(["unshare", "-n", "true"], capture_output=True).returncode != 0:
        return
    env = dict(os.environ)
    env[ISOLATED] = "1"
    os.execvpe("unshare", ["unshare", "-n", sys.executable] + sys.argv, env)


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    reexec_isolated()
    sys.dont_write_bytecode = True  # keep the source folder clean
    sys.path.insert(0, HERE)
    import e2e_cases
    suite = unittest.TestSuite()
    loader = unittest.TestLoader()
    for name in sys.argv[1:]:
        suite.addTests(loader.loadTestsFromTestCase(getattr(e2e_cases, name)))
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
