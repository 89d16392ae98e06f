"""The module converts exactly as the command line does: the same files byte for byte, the
findings of the check log in its order, and the same from text as from files."""

import re
import subprocess

import pytest

import tpjconv
from conftest import ALL_AT_03, EXAMPLE, INPUTS, TOOL, read, run_tool, run_tool_on

# A check-log line: model, bus, name, base kV, unit ID, code, then the texts of the findings on
# that value so far, the finding's own last.
CHECK_LOG_LINE = re.compile(
    r'^(\w+), (\S+) *, "(.*)", (\S+) *, "(.*)" ,(\d{3}),  ,(.*)$')


def findings_of_check_log(text):
    """(model, bus, bus name, unit ID, code, texts) of each check-log line that is a finding:
    every line after the heading but the salient-pole lines 000."""
    lines = text.decode("latin-1").split("\n")
    assert lines[0].startswith("Model   Bus")
    rows = []
    for line in lines[1:]:
        if not line:
            continue
        match = CHECK_LOG_LINE.match(line)
        assert match, f"not a check-log line: {line!r}"
        model, bus, name, _, unit_id, code, texts = match.groups()
        if code != "000":
            rows.append((model, int(bus), name.strip(), unit_id.strip(), int(code),
                         texts.rstrip()))
    return rows


@pytest.mark.parametrize("files", INPUTS)
def test_convert_writes_the_files_of_the_command_line(files, tmp_path):
    input_path, bus_path = files
    status, err = run_tool_on(input_path, bus_path, tmp_path / "cli")
    assert status == 0, err
    out = tmp_path / "module"
    out.mkdir()
    result = tpjconv.convert(str(input_path), bus_file=bus_path, kis=ALL_AT_03,
                             output=out / "out.dat", check_log=out / "check.log",
                             report=out / "report.txt")
    for name in ("out.dat", "check.log", "report.txt"):
        assert read(out / name) == read(tmp_path / "cli" / name), name
    assert result.converted is None and result.check_log is None and result.report is None

    # The findings are the check log's finding lines, in order.
    logged = findings_of_check_log(read(out / "check.log"))
    assert len(result.findings) == len(logged)
    for finding, (model, bus, name, unit_id, code, texts) in zip(result.findings, logged):
        assert (finding.model, finding.bus, finding.bus_name.strip(), finding.unit_id.strip(),
                finding.code) == (model, bus, name, unit_id, code)
        assert texts == finding.rule or texts.endswith("," + finding.rule), (texts, finding)
        assert finding.file == str(input_path)
        assert finding.corrected == (finding.corrected_to is not None)

    # The totals lines of the console.
    read_line = "Read    this many records:  %5d gensal %5d gentpf %5d genrou" % tuple(
        result.read[m] for m in ("gensal", "gentpf", "genrou"))
    changed_line = "Changed this many records:  %5d  nesal %5d  netpf %5d  nerou" % tuple(
        result.changed[m] for m in ("gensal", "gentpf", "genrou"))
    assert read_line.encode() in err.splitlines()
    assert changed_line.encode() in err.splitlines()
    # Every warning of the console, in its order; the summary counts the check-log lines.
    console = [line for line in err.decode("latin-1").splitlines()
               if line.startswith("tpjconv: ") or line.startswith("Name    mismatch")]
    shown = [w.text for w in result.warnings]
    assert len(console) == len(shown)
    for line, text in zip(console, shown):
        assert line.endswith(text)
    finding_rows = sum(row.count for row in result.rules if row.finding)
    assert finding_rows == len(result.findings)
    assert sum(row.corrected for row in result.rules) == sum(f.corrected for f in
                                                            result.findings)


def test_findings_equal_the_rows_of_the_findings_file(tmp_path):
    """The command line's --findings file holds exactly the rows of result.findings."""
    help_text = subprocess.run([str(TOOL), "--help"], capture_output=True).stdout
    if b"--findings" not in help_text:
        pytest.skip("this build's command line has no --findings option")
    for files in INPUTS:
        input_path, bus_path = files.values[0]
        if input_path is None:
            continue
        work = tmp_path / input_path.name
        status, err = run_tool_on(input_path, bus_path, work, "--findings",
                                  work / "findings.csv")
        assert status == 0, err
        result = tpjconv.convert(str(input_path), bus_file=bus_path, kis=ALL_AT_03)
        rows = tpjconv.findings_csv_header() + "".join(f.csv_row() for f in result.findings)
        assert read(work / "findings.csv") == rows.encode()


@pytest.mark.parametrize("files", INPUTS)
def test_convert_text_gives_what_convert_writes(files, tmp_path):
    input_path, bus_path = files
    result = tpjconv.convert(input_path, bus_file=bus_path, kis=ALL_AT_03, tcmin=0.03,
                             output=tmp_path / "out.dat", check_log=tmp_path / "check.log",
                             report=tmp_path / "report.txt")
    data = read(input_path)
    bus = read(bus_path) if bus_path else None
    from_bytes = tpjconv.convert_text(data, bus_text=bus, kis=ALL_AT_03, tcmin=0.03,
                                      name=str(input_path), bus_name=str(bus_path))
    assert from_bytes.converted == read(tmp_path / "out.dat")
    assert from_bytes.check_log == read(tmp_path / "check.log")
    assert from_bytes.report == read(tmp_path / "report.txt")
    for field in ("read", "changed", "findings", "warnings", "rules"):
        assert getattr(from_bytes, field) == getattr(result, field), field

    # str stands for the bytes through Latin-1, both ways.
    from_str = tpjconv.convert_text(data.decode("latin-1"),
                                    bus_text=bus.decode("latin-1") if bus else None,
                                    kis=ALL_AT_03, tcmin=0.03, name=str(input_path),
                                    bus_name=str(bus_path))
    assert from_str.converted == from_bytes.converted.decode("latin-1")
    assert from_str.check_log == from_bytes.check_log.decode("latin-1")
    assert from_str.report == from_bytes.report.decode("latin-1")
    assert from_str.findings == from_bytes.findings


def test_convert_text_warns_as_convert_of_a_bus_list_that_selects_no_record(tmp_path):
    bus = tmp_path / "plant.bus"
    for bus_text in (b"bus id level kis name\n8\n", b""):
        bus.write_bytes(bus_text)
        result = tpjconv.convert(EXAMPLE, bus_file=bus, kis=ALL_AT_03)
        from_text = tpjconv.convert_text(read(EXAMPLE), bus_text=bus_text, kis=ALL_AT_03,
                                         name=str(EXAMPLE), bus_name=str(bus))
        assert any("lists no generator" in w.text for w in result.warnings), bus_text
        assert from_text.warnings == result.warnings, bus_text
        assert from_text.findings == result.findings, bus_text


RECORD = ('gensal     {bus} "{name}" 18.00 "1 " : #9 mva=100.0 5.0 0.05 0.08 3.0 0.0 1.8 1.2 '
          '0.3 0.25 0.40 0.1 0.1 0.003 0.0 0.0\n')


def test_eight_bit_bytes_come_through_and_texts_read_as_the_findings_file_reads_them():
    # A bus name in Latin-1 (0xE9) and one in UTF-8 (0xC3 0xA9), each breaking ll > 0.95*lppd.
    data = (RECORD.format(bus=1, name="CAF\xc9").encode("latin-1") +
            RECORD.format(bus=2, name="CAF\xc3\xa9").encode("latin-1") +
            b"comment \x80\xff\x00 kept\n")
    result = tpjconv.convert_text(data, kis=(0.3, None, None))
    assert result.converted.endswith(b"comment \x80\xff\x00 kept\n")
    assert result.converted.count(b"gentpj") == 2
    assert b'"CAF\xc9"' in result.converted and b'"CAF\xc3\xa9"' in result.converted
    names = [f.bus_name for f in result.findings]
    assert names and set(names) == {"CAF\u00c9", "CAF\u00e9"}
    assert all(f.csv_row().split(",")[4] in ("CAF\u00c9", "CAF\u00e9") for f in result.findings)

    as_text = tpjconv.convert_text(data.decode("latin-1"), kis=(0.3, None, None))
    assert as_text.converted.encode("latin-1") == result.converted
    assert [f.bus_name for f in as_text.findings] == names


def test_findings_carry_the_values_as_the_findings_file_writes_them():
    # ll 0.40 is above 0.95 * lppd 0.25: code 113 sets it to 0.2375. The 32-bit values read
    # back as their shortest decimals, 0.4 rather than 0.4000000059604645.
    result = tpjconv.convert_text(b"heading\n" + RECORD.format(bus=7, name="X").encode(),
                                  kis=(0.3, None, None))
    assert [f.astuple() for f in result.findings] == [
        ("<text>", 2, "gensal", 7, "X", 18.0, "1", 0, 113, "ll > 0.95*lppd", "ll", 0.4, 0.2375)]
    assert result.findings[0].csv_row() == (
        "<text>,2,gensal,7,X,18,1,0,113,ll > 0.95*lppd,ll,0.4,0.2375\r\n")
    assert [r.astuple() for r in result.rules] == [
        ("gensal", 113, "ll > 0.95*lppd", 1, 1, True)]


def test_an_output_of_none_is_not_written(tmp_path):
    result = tpjconv.convert(EXAMPLE, kis=ALL_AT_03, check_log=tmp_path / "check.log")
    assert sorted(p.name for p in tmp_path.iterdir()) == ["check.log"]
    text = tpjconv.convert_text(read(EXAMPLE), kis=ALL_AT_03)
    assert read(tmp_path / "check.log") == text.check_log
    assert [f.astuple()[1:] for f in result.findings] == [f.astuple()[1:] for f in text.findings]


def test_no_model_enabled_is_said_and_the_file_copied(tmp_path):
    result = tpjconv.convert(EXAMPLE, output=tmp_path / "out.dat")
    status, _, _ = run_tool(EXAMPLE, "none", "cli.dat", "--yes", cwd=tmp_path)
    assert status == 0
    assert read(tmp_path / "out.dat") == read(tmp_path / "cli.dat")
    assert result.read == {"gensal": 0, "gentpf": 0, "genrou": 0}
    assert [(w.kind, w.text) for w in result.warnings] == [
        ("settings", "no model enabled (every Kis is None): nothing will be converted")]


def test_tcmin_and_a_model_left_out_reach_the_conversion_as_on_the_command_line(tmp_path):
    # tcmin 0.045 is above the example's tppdo 0.040 of bus 101 and its tppqo 0.020 of bus 401;
    # gentpf is left out (None here, -1 there).
    status, _, err = run_tool("--yes", EXAMPLE, "none", tmp_path / "cli.dat", "0.3",
                              "-1", "0.25", tmp_path / "cli.log", tmp_path / "cli.txt", "0.045",
                              cwd=tmp_path)
    assert status == 0, err
    result = tpjconv.convert(EXAMPLE, kis=(0.3, None, 0.25), tcmin=0.045,
                             output=tmp_path / "out.dat", check_log=tmp_path / "out.log",
                             report=tmp_path / "out.txt")
    for mine, theirs in (("out.dat", "cli.dat"), ("out.log", "cli.log"), ("out.txt", "cli.txt")):
        assert read(tmp_path / mine) == read(tmp_path / theirs), mine
    assert result.read == {"gensal": 2, "gentpf": 0, "genrou": 4}
    assert any(f.code == 202 and f.bus == 101 for f in result.findings)
