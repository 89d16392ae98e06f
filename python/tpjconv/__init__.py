"""Converts the gensal, gentpf and genrou records of a dynamic-data file to gentpj.

    import tpjconv
    result = tpjconv.convert("plant.dat", bus_file="plant.bus", kis=(0.3, None, 0.3),
                             output="out.dat", check_log="check.log", report="report.txt")
    result.read, result.changed, result.findings, result.warnings, result.rules
    result.findings_frame()          # a pandas.DataFrame, when pandas is installed

    text_result = tpjconv.convert_text(data, kis=(0.3, 0.3, 0.3))
    text_result.converted, text_result.check_log, text_result.report
"""

from ._tpjconv import (Error, Finding, Result, RuleCount, Warning, convert, convert_text,
                       findings_csv_header, version)

__version__ = version()
# Warning is left out, so that "from tpjconv import *" does not hide the built-in Warning.
__all__ = ["Error", "Finding", "Result", "RuleCount", "convert", "convert_text",
           "findings_csv_header", "version"]

for _name in __all__ + ["Warning"]:
    _item = globals()[_name]
    if hasattr(_item, "__module__"):
        try:
            _item.__module__ = __name__
        except (AttributeError, TypeError):
            pass
del _name, _item
