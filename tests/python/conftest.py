import platform
import sys


def pytest_report_header(config):
    impl = platform.python_implementation()
    extra = ""
    if impl == "PyPy":
        v = sys.pypy_version_info
        extra = f" (PyPy {v.major}.{v.minor}.{v.micro})"
    return f"interpreter: {impl} {platform.python_version()}{extra} at {sys.executable}"
