"""Failures raise what is promised, with the file and the reason, and leave every earlier file
as it was; bad arguments raise TypeError or ValueError saying what was expected."""

import math
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

import pytest

import tpjconv
from conftest import ALL_AT_03, EXAMPLE, EXAMPLE_BUS, read, run_tool


def files_in(directory):
    return sorted(p.name for p in pathlib.Path(directory).iterdir())


@pytest.mark.parametrize("what", ["input", "bus_file"])
def test_a_missing_file_is_file_not_found_and_nothing_is_written(what, tmp_path):
    (tmp_path / "out.dat").write_bytes(b"earlier\n")
    arguments = {"input": EXAMPLE, "bus_file": EXAMPLE_BUS}
    arguments[what] = tmp_path / "missing.dat"
    with pytest.raises(FileNotFoundError) as raised:
        tpjconv.convert(arguments["input"], bus_file=arguments["bus_file"], kis=ALL_AT_03,
                        output=tmp_path / "out.dat", check_log=tmp_path / "check.log")
    assert raised.value.filename == str(tmp_path / "missing.dat")
    assert raised.value.errno == 2
    assert "No such file or directory" in str(raised.value)
    assert files_in(tmp_path) == ["out.dat"] and read(tmp_path / "out.dat") == b"earlier\n"


def test_an_output_in_a_missing_folder_is_file_not_found(tmp_path):
    with pytest.raises(FileNotFoundError) as raised:
        tpjconv.convert(EXAMPLE, kis=ALL_AT_03, output=tmp_path / "out.dat",
                        report=tmp_path / "no" / "report.txt")
    assert raised.value.filename == str(tmp_path / "no" / "report.txt")
    assert files_in(tmp_path) == []


def cli_message(*args, cwd):
    """The command line's last message, without "tpjconv: "."""
    status, _, err = run_tool("--yes", *args, cwd=cwd)
    assert status == 1
    last = err.decode().splitlines()[-1]
    assert last.startswith("tpjconv: ")
    return last[len("tpjconv: "):]


def test_two_files_that_are_one_are_refused_with_the_command_lines_message(tmp_path):
    data = tmp_path / "in.dat"
    shutil.copy(EXAMPLE, data)
    (tmp_path / "check.log").write_bytes(b"earlier\n")
    with pytest.raises(tpjconv.Error) as raised:
        tpjconv.convert(str(data), kis=ALL_AT_03, output=str(tmp_path / "out.dat"),
                        check_log=str(tmp_path / "check.log"), report=str(tmp_path / "check.log"))
    error = raised.value
    assert (error.kind, error.errno) == ("collision", 0)
    assert str(error) == error.message == cli_message(
        data, "none", tmp_path / "out.dat", 0.3, 0.3, 0.3, tmp_path / "check.log",
        tmp_path / "check.log", cwd=tmp_path)
    assert files_in(tmp_path) == ["check.log", "in.dat"]
    assert read(tmp_path / "check.log") == b"earlier\n"

    with pytest.raises(tpjconv.Error, match="is the same file as INPUT"):
        tpjconv.convert(data, output=data)
    assert read(data) == read(EXAMPLE)


def test_an_input_that_cannot_be_read_is_a_tpjconv_error(tmp_path):
    with pytest.raises(tpjconv.Error) as raised:
        tpjconv.convert(tmp_path, kis=ALL_AT_03, output=tmp_path / "out.dat")
    error = raised.value
    assert (error.kind, error.errno, error.file, error.line) == ("open", 21, str(tmp_path), 0)
    assert str(error) == cli_message(tmp_path, "none", tmp_path / "out.dat", cwd=tmp_path)
    assert files_in(tmp_path) == []
    with pytest.raises(tpjconv.Error, match=" is a directory$"):
        tpjconv.convert(EXAMPLE, bus_file=tmp_path)


PERMISSIONS = r"""
import sys, tpjconv
input, output = sys.argv[1:3]
try:
    tpjconv.convert(input, kis=(0.3, 0.3, 0.3), output=output)
except PermissionError as error:
    print(error.errno, error.filename)
"""


def as_other_user(*args):
    """Runs a Python of this interpreter as uid and gid 65534 under root, else as the caller."""
    command = [sys.executable, *args]
    if os.geteuid() == 0:
        command = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--", *command]
    done = subprocess.run(command, capture_output=True, text=True, timeout=60,
                          env=dict(os.environ, PYTHONPATH=os.path.dirname(
                              os.path.dirname(tpjconv.__file__))))
    assert done.returncode == 0, done.stderr
    return done.stdout


def test_what_the_user_may_not_read_or_write_is_a_permission_error():
    # Under root the run drops to uid 65534, which may enter the folder but not add files to it
    # nor read the input; as any other user the folder and the input are made so for it.
    folder = pathlib.Path(tempfile.mkdtemp(prefix="tpjconv-permissions-"))
    try:
        shutil.copy(EXAMPLE, folder / "in.dat")
        shutil.copy(EXAMPLE, folder / "readable.dat")
        os.chmod(folder / "in.dat", 0o000 if os.geteuid() != 0 else 0o600)
        os.chmod(folder / "readable.dat", 0o644)
        os.chmod(folder, 0o555 if os.geteuid() != 0 else 0o755)
        assert as_other_user("-c", PERMISSIONS, str(folder / "in.dat"), "/dev/null") == (
            f"13 {folder / 'in.dat'}\n")
        assert as_other_user("-c", PERMISSIONS, str(folder / "readable.dat"),
                             str(folder / "out.dat")) == f"13 {folder / 'out.dat'}\n"
        assert not (folder / "out.dat").exists()
    finally:
        os.chmod(folder, 0o755)
        shutil.rmtree(folder)


@pytest.mark.parametrize("arguments, error, message", [
    ({"kis": 0.3}, TypeError, "kis must be a sequence of three Kis (gensal, gentpf, genrou), "
                              "each a number or None, not float"),
    ({"kis": "0.3"}, TypeError, "kis must be a sequence of three Kis"),
    ({"kis": (0.3, 0.3)}, ValueError, "kis must hold three Kis (gensal, gentpf, genrou), each a "
                                      "number or None, not 2"),
    ({"kis": [0.3, "0.3", 0.3]}, TypeError,
     "kis[1], the Kis of gentpf, must be a number, or None to leave gentpf unconverted, not str"),
    ({"kis": (True, None, None)}, TypeError, "kis[0], the Kis of gensal, must be a number"),
    ({"kis": (None, None, -1)}, ValueError,
     "kis[2], the Kis of genrou, must be a finite number of 0 or more within the 32-bit range, "
     "or None to leave genrou unconverted, not -1"),
    ({"kis": (math.inf, None, None)}, ValueError, "not inf"),
    ({"kis": (1e39, None, None)}, ValueError, "within the 32-bit range"),
    ({"tcmin": math.nan}, ValueError,
     "tcmin must be a finite number of 0 or more within the 32-bit range, not nan"),
    ({"tcmin": -0.01}, ValueError, "tcmin must be a finite number of 0 or more"),
    ({"tcmin": "0.025"}, TypeError, "tcmin must be a number, not str"),
    ({"bus_file": 7}, TypeError, "bus_file must be a path (str, bytes or os.PathLike), not int"),
    ({"output": 1.5}, TypeError, "output must be a path (str, bytes or os.PathLike), not float"),
])
def test_bad_arguments_say_what_was_expected(arguments, error, message, tmp_path):
    with pytest.raises(error) as raised:
        tpjconv.convert(EXAMPLE, **{"output": tmp_path / "out.dat", **arguments})
    assert message in str(raised.value)
    assert files_in(tmp_path) == []
    if "output" not in arguments and "bus_file" not in arguments:
        with pytest.raises(error) as raised:
            tpjconv.convert_text(b"", **arguments)
        assert message in str(raised.value)


def test_bad_text_arguments_say_what_was_expected():
    with pytest.raises(TypeError, match="^text must be str or bytes, not PosixPath$"):
        tpjconv.convert_text(EXAMPLE)
    with pytest.raises(TypeError, match="^bus_text must be str or bytes, not int$"):
        tpjconv.convert_text("", bus_text=3)
    with pytest.raises(ValueError, match=r"^text must hold only characters U\+0000 to U\+00FF"):
        tpjconv.convert_text("gensal \u20ac")
    with pytest.raises(TypeError, match="^input must be a path"):
        tpjconv.convert(None)


def test_a_kis_of_zero_and_a_tcmin_of_zero_are_accepted():
    result = tpjconv.convert(EXAMPLE, kis=(0, 0.0, None), tcmin=0)
    assert result.read == {"gensal": 2, "gentpf": 1, "genrou": 0}
