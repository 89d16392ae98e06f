"""Converts the gensal, gentpf and genrou records of a dynamic-data file to gentpj."""

import os
from typing import Literal, Optional, Sequence, Union

import pandas

_Path = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
_Kis = Optional[float]
_Model = Literal["gensal", "gentpf", "genrou"]

__version__: str

class Error(Exception):
    """A conversion that failed for another reason than a missing file or a permission.

    str() is the message the command line prints after 'tpjconv: '."""

    kind: Literal["invalid_argument", "open", "create", "collision", "read", "write", "replace",
                  "out_of_memory"]
    """What failed."""
    errno: int
    """The system's error number; 0 when the system gave none."""
    file: Optional[str]
    """The file concerned; None when none."""
    line: int
    """The line of that file being read; 0 when none."""
    message: str
    """The message, as str() gives it."""

class Finding:
    """One finding: a rule a record broke, with the fields of a row of the findings file."""

    @property
    def file(self) -> str:
        """The input's name, as the conversion was given it."""
    @property
    def line(self) -> int:
        """The record's first line in the input, from 1."""
    @property
    def model(self) -> _Model:
        """'gensal', 'gentpf' or 'genrou'."""
    @property
    def bus(self) -> int:
        """The bus number of the record."""
    @property
    def bus_name(self) -> str:
        """The bus name, without its padding blanks."""
    @property
    def base_kv(self) -> float:
        """The base kV of the record."""
    @property
    def unit_id(self) -> str:
        """The unit ID, without its padding blanks."""
    @property
    def level(self) -> int:
        """The check level the record was converted at: 0 corrects, 1 only reports."""
    @property
    def code(self) -> int:
        """The check code of the check-log line, such as 209."""
    @property
    def rule(self) -> str:
        """The rule's own text, such as 'lpd > 0.4*ld'."""
    @property
    def parameter(self) -> str:
        """The gentpj parameter the rule judges, such as 'lpd'."""
    @property
    def value(self) -> float:
        """That parameter's value when the rule judged it."""
    @property
    def corrected_to(self) -> Optional[float]:
        """The value the rule set, or None when it did not correct it."""
    @property
    def corrected(self) -> bool:
        """Whether the rule corrected the value."""
    def csv_row(self) -> str:
        """The finding's row of the findings file (CSV, with its CR LF line end)."""
    def astuple(self) -> tuple[str, int, str, int, str, float, str, int, int, str, str, float,
                               Optional[float]]:
        """The fields as a tuple, in the order of the class's fields."""

class Warning:
    """One warning: input not read as meant, a name that differs from the bus numbers file, an
    entry listed twice or never used."""

    @property
    def kind(self) -> Literal["record", "name_mismatch", "bus_file", "unused_entry", "settings",
                              "files"]:
        """What it is about."""
    @property
    def file(self) -> str:
        """The file it concerns; '' when none."""
    @property
    def line(self) -> int:
        """The line of that file; 0 when none."""
    @property
    def text(self) -> str:
        """What the warning says, as the command line says it."""
    def astuple(self) -> tuple[str, str, int, str]:
        """The fields as a tuple, in the order of the class's fields."""

class RuleCount:
    """A row of the findings summary: the check-log lines of one rule of one model."""

    @property
    def model(self) -> _Model:
        """'gensal', 'gentpf' or 'genrou'."""
    @property
    def code(self) -> int:
        """The check code."""
    @property
    def rule(self) -> str:
        """The rule's own text."""
    @property
    def count(self) -> int:
        """Its check-log lines."""
    @property
    def corrected(self) -> int:
        """Of those, the findings whose value was corrected."""
    @property
    def finding(self) -> bool:
        """False for the salient-pole line 000, which is no finding."""
    def astuple(self) -> tuple[str, int, str, int, int, bool]:
        """The fields as a tuple, in the order of the class's fields."""

class Result:
    """What a conversion gives back."""

    @property
    def read(self) -> dict[str, int]:
        """Records handed to a converter, by model name: {'gensal': n, ...}."""
    @property
    def changed(self) -> dict[str, int]:
        """Records with findings and a report block, by model name."""
    @property
    def findings(self) -> list[Finding]:
        """Every finding, in the order of the check log."""
    @property
    def warnings(self) -> list[Warning]:
        """Every warning, in the order they were given."""
    @property
    def rules(self) -> list[RuleCount]:
        """The findings summary: by model, then code, then rule."""
    @property
    def converted(self) -> Union[str, bytes, None]:
        """convert_text(): the converted file (str, or bytes when the text was bytes);
        convert(): None."""
    @property
    def check_log(self) -> Union[str, bytes, None]:
        """convert_text(): the check log; convert(): None."""
    @property
    def report(self) -> Union[str, bytes, None]:
        """convert_text(): the comparison report; convert(): None."""
    def findings_frame(self) -> pandas.DataFrame:
        """The findings as a pandas.DataFrame with the columns of the findings file.

        Raises ImportError, saying how to install it, when pandas is missing."""

def convert(input: _Path, bus_file: Optional[_Path] = None,
            kis: Sequence[_Kis] = (None, None, None), tcmin: float = 0.025,
            output: Optional[_Path] = None, check_log: Optional[_Path] = None,
            report: Optional[_Path] = None) -> Result:
    """Converts the dynamic-data file `input` as the command line does, without its prompt.

    bus_file: the bus numbers file, or None to convert every record of the enabled models at
    check level 0. kis: the Kis of gensal, gentpf and genrou, each a number of 0 or more, or None
    to leave that model unconverted. output, check_log, report: the files to write, each None to
    write none; put in place only when all are complete. Raises FileNotFoundError or
    PermissionError (with the file), tpjconv.Error for other failures, TypeError or ValueError
    for bad arguments."""

def convert_text(text: Union[str, bytes], bus_text: Union[str, bytes, None] = None,
                 kis: Sequence[_Kis] = (None, None, None), tcmin: float = 0.025,
                 name: _Path = "<text>", bus_name: _Path = "<bus text>") -> Result:
    """Converts a dynamic-data file held in memory; the same as convert() on a file.

    str stands for bytes through Latin-1 (each character U+0000 to U+00FF one byte); the
    result's converted, check_log and report are of the type of text."""

def findings_csv_header() -> str:
    """The header row of the findings file, with its CR LF line end."""

def version() -> str:
    """The library's version."""
