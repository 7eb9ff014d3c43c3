"""Builds the verrin package: the library sources and the binding compiled into
one extension module, with the bundled resource set as package data.

The sources are those of the library in the enclosing repository, so the
package is built from a clone:

    /usr/bin/python3 -m pip install --no-build-isolation --no-index ./python

VERRIN_JOBS sets the number of parallel compile jobs (default: all cores).
"""

import glob
import os
import re
import shutil
import subprocess

from pybind11.setup_helpers import ParallelCompile, Pybind11Extension, build_ext
from setuptools import setup
from setuptools.command.build_py import build_py

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

# Folders of the repository the package does not compile: those that hold no
# library code, and corpus/ (conversion of corpora), which the package does not call.
NOT_LIBRARY = {"cli", "tests", "bench", "python", "scripts", "docs", "resources",
               "include", "tools", "corpus", "fuzz", "examples", "packaging", "debian",
               "serve", "ports"}


def library_sources():
    sources = []
    for entry in sorted(os.listdir(ROOT)):
        folder = os.path.join(ROOT, entry)
        if entry in NOT_LIBRARY or entry.startswith((".", "build")) or not os.path.isdir(folder):
            continue
        sources += sorted(glob.glob(os.path.join(folder, "*.cc")))
    return sources


def pkg_config(*args):
    try:
        out = subprocess.run(["pkg-config", *args, "icu-uc", "icu-i18n", "icu-io"],
                             check=True, capture_output=True, text=True).stdout
    except (OSError, subprocess.CalledProcessError) as error:
        raise SystemExit("verrin needs ICU (Debian: apt-get install libicu-dev pkg-config): "
                         f"{error}")
    return out.split()


def project_version():
    with open(os.path.join(ROOT, "include", "verrin", "verrin.h"), encoding="utf-8") as header:
        text = header.read()
    parts = [re.search(r"#define VERRIN_VERSION_%s ([0-9]+)" % part, text)
             for part in ("MAJOR", "MINOR", "PATCH")]
    return ".".join(p.group(1) for p in parts) if all(parts) else "0.0.0"


class build_py_with_resources(build_py):
    """Copies the bundled resource sets into the package."""

    def run(self):
        super().run()
        for name in ("default", "web"):
            source = os.path.join(ROOT, "resources", name)
            target = os.path.join(self.build_lib, "verrin", "resources", name)
            if os.path.isdir(target):
                shutil.rmtree(target)
            shutil.copytree(source, target)


class build_ext_always(build_ext):
    """Compiles every source each time: setuptools would reuse an object file
    whose source is unchanged even when a header it includes has changed."""

    def initialize_options(self):
        super().initialize_options()
        self.force = True


ParallelCompile("VERRIN_JOBS", default=0).install()

extension = Pybind11Extension(
    "verrin._verrin",
    sorted(glob.glob(os.path.join(HERE, "src", "*.cc"))) + library_sources(),
    include_dirs=[ROOT, os.path.join(ROOT, "include")],
    # The package passes its own resource directory; these are the library's
    # fallbacks for an installation under /usr, as the CMake build sets them.
    define_macros=[("VERRIN_BUILDING_LIBRARY", "1"),
                   ("VERRIN_INSTALL_RESOURCE_DIR", '"/usr/share/verrin/default"'),
                   ("VERRIN_RESOURCE_DIR_FROM_LIBDIR", '"../share/verrin/default"'),
                   ("VERRIN_RESOURCE_DIR_FROM_BINDIR", '"../share/verrin/default"')],
    # Python's own flags build with -O2 -fwrapv; the library is tuned for and
    # tested with the optimisation of the CMake Release build.
    extra_compile_args=pkg_config("--cflags") + ["-g0", "-O3", "-fno-wrapv"],
    extra_link_args=pkg_config("--libs"),
    cxx_std=17,
)

setup(
    name="verrin",
    version=project_version(),
    description="Named-entity tagging of Chinese text (persons, locations, organizations)",
    packages=["verrin"],
    package_data={"verrin": ["py.typed", "*.pyi"]},
    ext_modules=[extension],
    cmdclass={"build_ext": build_ext_always, "build_py": build_py_with_resources},
    python_requires=">=3.9",
    zip_safe=False,
)
