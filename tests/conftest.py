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


@pytest.fixture(scope="session")
def panic_class():
    """PanicException is no module attribute: take it from a call that raises it."""
    analysis = morvane.ForensicDeconstruction().analyze("Patient présente fièvre")
    try:
        morvane.MultiPathReasoning.simple().generate(analysis, "Medical")
    except BaseException as caught:  # noqa: B036 - PanicException derives from BaseException
        return type(caught)
    pytest.fail("an unlocked domain did not raise")


@pytest.fixture
def forensic():
    return morvane.ForensicDeconstruction()
