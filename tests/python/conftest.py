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


# CPython before 3.10 still lets PyLong_AsLong fall back to __int__ (with a
# DeprecationWarning), so for n an __int__-only argument enters its hook twice
# -- once there, once in pybind11's int(obj) retry -- where 3.10 and later
# enter it once. The outcome (TypeError, nothing left pending) is the same;
# only the hook count that test_hardening's HOOK_LOGS records differs.
_INT_HOOK_TWICE = "test_hardening.py::test_exception_inside_a_conversion_hook_becomes_type_error[n-__int__-"


def pytest_collection_modifyitems(config, items):
    if platform.python_implementation() != "CPython" or sys.version_info >= (3, 10):
        return
    for item in items:
        if _INT_HOOK_TWICE in item.nodeid:
            item.add_marker(
                pytest.mark.xfail(
                    reason="CPython < 3.10: PyLong_AsLong also calls __int__, so the hook runs twice",
                    raises=AssertionError,
                    strict=True,
                )
            )
