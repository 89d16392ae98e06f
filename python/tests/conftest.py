"""What the tests share: where the tool, the build, the sources and the corpus are, and a run of
the command line. Run from the source folder with PYTHONPATH=build/python, or through ctest,
which sets the TPJCONV_* variables."""

import os
import pathlib
import subprocess

import pytest

SOURCE_DIR = pathlib.Path(os.environ.get("TPJCONV_SOURCE_DIR",
                                         pathlib.Path(__file__).resolve().parents[2]))
BUILD_DIR = pathlib.Path(os.environ.get("TPJCONV_BUILD_DIR", SOURCE_DIR / "build"))
TOOL = pathlib.Path(os.environ.get("TPJCONV_BINARY", BUILD_DIR / "tpjconv"))
CORPUS_DIR = pathlib.Path(os.environ.get("TPJCONV_CORPUS_DIR", SOURCE_DIR.parent / "shared" /
                                         "corpus"))
EXAMPLE = SOURCE_DIR / "examples" / "plant.dat"
EXAMPLE_BUS = SOURCE_DIR / "examples" / "plant.bus"
ALL_AT_03 = (0.3, 0.3, 0.3)


def corpus_files():
    """The corpus's dynamic-data files; none when the corpus is not there."""
    if not CORPUS_DIR.is_dir():
        return []
    return sorted(CORPUS_DIR.glob("*.dat"))


# Each input the command line and the module are compared on: the bundled example with its bus
# numbers file, and each corpus file with every generator at Kis 0.3.
INPUTS = [pytest.param((EXAMPLE, EXAMPLE_BUS), id="plant.dat")] + [
    pytest.param((path, None), id=path.name) for path in corpus_files()]
if not corpus_files():
    INPUTS.append(pytest.param(
        (None, None), id="corpus",
        marks=pytest.mark.skip(reason=f"the shared corpus of real dynamic-data files is not "
                                      f"at {CORPUS_DIR}")))


def run_tool(*args, cwd):
    """Runs the command line; its status, standard output and standard error (bytes)."""
    done = subprocess.run([str(TOOL), *map(str, args)], cwd=cwd, stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=120)
    return done.returncode, done.stdout, done.stderr


def run_tool_on(input_path, bus_path, directory, *options):
    """Converts as the module's tests do, every model at 0.3, into out.dat, check.log and
    report.txt of `directory`; returns the status and standard error."""
    directory.mkdir(parents=True, exist_ok=True)
    status, _, err = run_tool("--yes", *options, input_path, bus_path or "none",
                              directory / "out.dat", "0.3", "0.3", "0.3",
                              directory / "check.log", directory / "report.txt", cwd=directory)
    return status, err


def read(path):
    return pathlib.Path(path).read_bytes()
