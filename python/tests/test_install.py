"""The module works where cmake --install puts it, and loads in another CPython of its version."""

import os
import pathlib
import shutil
import subprocess
import sys
import sysconfig

import pytest

import tpjconv
from conftest import BUILD_DIR, EXAMPLE, EXAMPLE_BUS, SOURCE_DIR

USE = ("import tpjconv; print(tpjconv.__file__); "
       f"print(tpjconv.convert({str(EXAMPLE)!r}, bus_file={str(EXAMPLE_BUS)!r}, "
       "kis=(0.3, 0.3, 0.3)).read)")
READ = "{'gensal': 2, 'gentpf': 1, 'genrou': 3}"


def run_python(python, path):
    return subprocess.run([python, "-c", USE], capture_output=True, text=True, timeout=60,
                          env=dict(os.environ, PYTHONPATH=str(path)), cwd="/")


def test_the_installed_module_converts(tmp_path):
    cmake = os.environ.get("TPJCONV_CMAKE") or shutil.which("cmake")
    install_dir = os.environ.get("TPJCONV_PYTHON_INSTALL_DIR")
    if not cmake or not install_dir:
        pytest.skip("run through ctest, which names cmake and the install folder")
    prefix = tmp_path / "prefix"
    done = subprocess.run([cmake, "--install", str(BUILD_DIR), "--prefix", str(prefix),
                           "--component", "python"], capture_output=True, text=True,
                          timeout=120)
    assert done.returncode == 0, done.stdout + done.stderr
    package = prefix / install_dir / "tpjconv"
    suffix = sysconfig.get_config_var("EXT_SUFFIX")
    assert sorted(p.name for p in package.iterdir()) == sorted(
        ["__init__.py", "__init__.pyi", "py.typed", "_tpjconv" + suffix])
    used = run_python(sys.executable, prefix / install_dir)
    assert used.returncode == 0, used.stderr
    assert used.stdout == f"{package / '__init__.py'}\n{READ}\n"


def test_the_module_loads_in_another_cpython_of_its_version():
    this = pathlib.Path(sys.executable).resolve()
    others = []
    for folder in os.environ.get("PATH", "").split(os.pathsep):
        candidate = pathlib.Path(folder) / "python3"
        if not candidate.is_file() or not os.access(candidate, os.X_OK):
            continue
        probe = subprocess.run(
            [str(candidate), "-c", "import sys, sysconfig; print(sys.implementation.name, "
             "sysconfig.get_config_var('EXT_SUFFIX'), sys.prefix)"],
            capture_output=True, text=True, timeout=60)
        answer = f"cpython {sysconfig.get_config_var('EXT_SUFFIX')} "
        if probe.returncode == 0 and probe.stdout.startswith(answer) and \
                probe.stdout[len(answer):].strip() != sys.prefix:
            others.append(candidate)
    if not others:
        pytest.skip(f"no other CPython with the suffix {sysconfig.get_config_var('EXT_SUFFIX')} "
                    f"than {this} on PATH")
    path = pathlib.Path(tpjconv.__file__).parent.parent
    for python in others:
        used = run_python(str(python), path)
        assert used.returncode == 0, f"{python}: {used.stderr}"
        assert used.stdout.endswith(f"\n{READ}\n"), python
