"""Times the conversion of one dynamic-data file through tpjconv.convert against the command line,
both in one run, in turns, with the same arguments: no bus numbers file, Kis 0.3 for the three
models, the converted file, check log and report written. Checks that both write the same bytes.

    PYTHONPATH=build/python python3 bench/python_bench.py DAT
        [--tpjconv build/tpjconv] [--repetitions 5] [--dir DIR]

The command line is timed as a process (wall clock from start to exit, and its CPU time), the
module as the call (wall clock around tpjconv.convert, and this process's CPU time meanwhile);
the findings become Python objects only when asked for, after the timing. Target: the call takes at most 5% longer
than the command line (median over median).
"""

import argparse
import filecmp
import os
import pathlib
import resource
import statistics
import subprocess
import sys
import tempfile
import time

import tpjconv

NAMES = ("out.dat", "check.log", "report.txt")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("dat", type=pathlib.Path)
    parser.add_argument("--tpjconv", type=pathlib.Path,
                        default=pathlib.Path(__file__).resolve().parent.parent / "build" /
                        "tpjconv")
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--dir", type=pathlib.Path, default=None,
                        help="where the outputs go (default: a temporary folder, removed)")
    options = parser.parse_args()

    with tempfile.TemporaryDirectory(dir=options.dir) as scratch:
        cli_dir = pathlib.Path(scratch) / "cli"
        module_dir = pathlib.Path(scratch) / "module"
        cli_dir.mkdir()
        module_dir.mkdir()

        def children_cpu():
            usage = resource.getrusage(resource.RUSAGE_CHILDREN)
            return usage.ru_utime + usage.ru_stime

        def cli():
            started, cpu = time.perf_counter(), children_cpu()
            subprocess.run([str(options.tpjconv), "--yes", str(options.dat), "none",
                            str(cli_dir / NAMES[0]), "0.3", "0.3", "0.3",
                            str(cli_dir / NAMES[1]), str(cli_dir / NAMES[2])],
                           stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
            return time.perf_counter() - started, children_cpu() - cpu

        def module():
            started, cpu = time.perf_counter(), time.process_time()
            result = tpjconv.convert(options.dat, kis=(0.3, 0.3, 0.3),
                                     output=module_dir / NAMES[0],
                                     check_log=module_dir / NAMES[1],
                                     report=module_dir / NAMES[2])
            return time.perf_counter() - started, time.process_time() - cpu, result

        cli()  # the page cache filled, the outputs of both made once
        findings = len(module()[2].findings)
        for name in NAMES:
            if not filecmp.cmp(cli_dir / name, module_dir / name, shallow=False):
                print(f"{name}: the module's differs from the command line's", file=sys.stderr)
                return 1
        times = {"command line": [], "tpjconv.convert": []}
        for _ in range(options.repetitions):
            times["command line"].append(cli())
            times["tpjconv.convert"].append(module()[:2])

    size = options.dat.stat().st_size / 1e6
    print(f"{options.dat} ({size:.0f} MB, {findings} findings), {options.repetitions} runs "
          f"each, in turns; Python {sys.version.split()[0]} at {sys.executable}")
    print(f"{'':18}{'median s':>10}{'fastest s':>11}{'median cpu s':>14}")
    medians = {}
    for what, runs in times.items():
        wall = [run[0] for run in runs]
        cpu = [run[1] for run in runs]
        medians[what] = (statistics.median(wall), statistics.median(cpu))
        print(f"{what:18}{medians[what][0]:10.3f}{min(wall):11.3f}{medians[what][1]:14.3f}")
    wall_ratio = medians["tpjconv.convert"][0] / medians["command line"][0]
    cpu_ratio = medians["tpjconv.convert"][1] / medians["command line"][1]
    print(f"tpjconv.convert / command line: {wall_ratio:.3f} wall clock, {cpu_ratio:.3f} cpu "
          f"(target at most 1.050 wall clock: {'met' if wall_ratio <= 1.05 else 'not met'})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
