"""findings_frame(): the findings as a pandas table, or an ImportError that says how to get
pandas."""

import math
import subprocess
import sys

import pytest

import tpjconv
from conftest import ALL_AT_03, EXAMPLE, EXAMPLE_BUS, INPUTS


def test_the_frame_holds_the_findings_in_the_columns_of_the_findings_file():
    pandas = pytest.importorskip(
        "pandas", reason="pandas is not installed for this Python (Debian/Ubuntu: apt-get "
                         "install python3-pandas)")
    header = tpjconv.findings_csv_header().rstrip("\r\n").split(",")
    for files in INPUTS:
        input_path, bus_path = files.values[0]
        if input_path is None:
            continue
        result = tpjconv.convert(input_path, bus_file=bus_path, kis=ALL_AT_03)
        frame = result.findings_frame()
        assert isinstance(frame, pandas.DataFrame)
        assert list(frame.columns) == header
        assert len(frame) == len(result.findings)
        for row, finding in zip(frame.itertuples(index=False), result.findings):
            expected = finding.astuple()
            assert tuple(row)[:-1] == expected[:-1]
            assert (math.isnan(row.corrected_to) if expected[-1] is None
                    else row.corrected_to == expected[-1])
        assert str(frame["corrected_to"].dtype) == "float64"

    empty = tpjconv.convert_text(b"").findings_frame()
    assert list(empty.columns) == header and len(empty) == 0
    assert [str(empty[c].dtype) for c in ("base_kv", "value", "corrected_to")] == ["float64"] * 3


def test_without_pandas_the_frame_is_an_import_error_that_says_how_to_get_it():
    # None in sys.modules makes "import pandas" fail, as when it is not installed.
    code = ("import sys; sys.modules['pandas'] = None\n"
            "import tpjconv\n"
            f"result = tpjconv.convert({str(EXAMPLE)!r}, bus_file={str(EXAMPLE_BUS)!r}, "
            "kis=(0.3, 0.3, 0.3))\n"
            "try:\n"
            "    result.findings_frame()\n"
            "except ImportError as error:\n"
            "    print(error)\n")
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          timeout=60)
    assert done.returncode == 0, done.stderr
    assert done.stdout == (
        "findings_frame() needs pandas, which is not installed for this Python: install it "
        "(Debian/Ubuntu: apt-get install python3-pandas; otherwise: python -m pip install "
        "pandas), or read result.findings instead\n")
