"""The installed distribution: where the module is imported from, what the wheel put there.

tools/wheels.sh runs this (with the API and bit-identity tests) in a fresh
environment that has only the built wheel, from a scratch directory, and sets
JDPRICER_SOURCE_TREE to the repository: the module must come from the
environment, never from the sources or a build directory.
"""
import importlib.metadata
import os
import sys
from pathlib import Path

import jdpricer


def test_module_is_imported_from_the_running_environment():
    module = Path(jdpricer.__file__).resolve()
    assert Path(sys.prefix).resolve() in module.parents, (module, sys.prefix)
    source = os.environ.get("JDPRICER_SOURCE_TREE")
    if source:
        assert Path(source).resolve() not in module.parents, (module, source)


def test_distribution_installs_the_module_and_its_stubs():
    dist = importlib.metadata.distribution("jdpricer")
    files = {str(f): f for f in dist.files}
    assert "jdpricer-stubs/__init__.pyi" in files
    modules = [f for name, f in files.items() if name.startswith("jdpricer.") and name.endswith(".so")]
    assert [Path(str(f.locate())).resolve() for f in modules] == [Path(jdpricer.__file__).resolve()]
