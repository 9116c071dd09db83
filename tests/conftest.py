import os
import subprocess
import sys
import textwrap

import pytest

import morvane

# The sanitized run preloads the AddressSanitizer runtime; address-space limits and
# sub-interpreter shutdown behave differently there.
UNDER_ASAN = "libasan" in os.environ.get("LD_PRELOAD", "")


def run_python(code, timeout=120):
    """Runs `code` in a fresh interpreter that imports the same morvane module."""
    env = dict(os.environ)
    module_dir = os.path.dirname(morvane.__file__)
    env["PYTHONPATH"] = module_dir + os.pathsep + env.get("PYTHONPATH", "")
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        capture_output=True,
        text=True,
        timeout=timeout,
        env=env,
    )


@pytest.fixture
def forensic():
    return morvane.ForensicDeconstruction()
