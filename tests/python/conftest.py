import platform
import sys

import pytest


def pytest_report_header(config):
    impl = platform.python_implementation()
    extra = ""
    if impl == "PyPy":
        v = sys.pypy_version_info
        extra = f" (PyPy {v.major}.{v.minor}.{v.micro})"
    return f"interpreter: {impl} {platform.python_version()}{extra} at {sys.executable}"


@pytest.fixture(scope="session")
def references():
    """{grid row: [(call, put) for each strike]} at 30 digits, once a session."""
    from kou_grid import mpmath_references

    return mpmath_references()
