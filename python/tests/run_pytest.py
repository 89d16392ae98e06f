"""Runs the module's pytest tests with this interpreter; exits 77 (ctest: skipped), saying why,
when this interpreter has no pytest."""

import sys

try:
    import pytest
except ImportError:
    print(f"skipped: pytest is not installed for {sys.executable} (Debian/Ubuntu: apt-get "
          "install python3-pytest, which is for /usr/bin/python3; configure with "
          "-DPython_EXECUTABLE=/usr/bin/python3)")
    sys.exit(77)

sys.exit(pytest.main(["-q", "-p", "no:cacheprovider", "-rs", *sys.argv[1:]]))
