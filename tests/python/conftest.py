"""Shared fixtures of the Python package's tests.

The package under test is the installed one (scripts/python-test.sh puts it on
the path); VERRIN_CLI names the command it is compared with.
"""

import os
import subprocess

import pytest

import verrin

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EXAMPLE = os.path.join(REPO, "resources", "example.txt")
SMALL_RESOURCES = os.path.join(REPO, "tests", "data", "tagger")


@pytest.fixture(scope="session")
def tagger():
    """The bundled resource set, as a user gets it without arguments."""
    return verrin.Tagger()


@pytest.fixture(scope="session")
def cli():
    path = os.environ.get("VERRIN_CLI") or os.path.join(REPO, "build", "verrin")
    if not os.access(path, os.X_OK):
        if "VERRIN_CLI" in os.environ:
            pytest.fail(f"VERRIN_CLI={path} is not an executable")
        pytest.skip(f"no verrin command at {path} (build it or set VERRIN_CLI)")
    return path


def run_cli(cli, args, text):
    """Output of `verrin ARGS` with `text` on standard input."""
    result = subprocess.run([cli, *args], input=text.encode("utf-8"), capture_output=True,
                            check=True)
    return result.stdout.decode("utf-8")
