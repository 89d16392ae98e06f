"""Conversions on two threads at once give what they give one after the other, and the
interpreter's lock is free while a conversion runs."""

import os
import subprocess
import sys
import threading

import tpjconv
from conftest import ALL_AT_03, EXAMPLE, EXAMPLE_BUS, corpus_files, read


def inputs():
    """The example and the largest corpus file, or the example twice without the corpus."""
    largest = max(corpus_files(), key=lambda p: p.stat().st_size, default=EXAMPLE)
    return [(EXAMPLE, EXAMPLE_BUS), (largest, None)]


def outcome(result, folder):
    return (result.read, result.changed, result.findings, result.warnings, result.rules,
            [read(folder / name) for name in ("out.dat", "check.log", "report.txt")])


def convert_into(files, folder):
    folder.mkdir(parents=True, exist_ok=True)
    return tpjconv.convert(files[0], bus_file=files[1], kis=ALL_AT_03,
                           output=folder / "out.dat", check_log=folder / "check.log",
                           report=folder / "report.txt")


def test_two_threads_give_what_one_after_the_other_gives(tmp_path):
    alone = [outcome(convert_into(files, tmp_path / f"alone{i}"), tmp_path / f"alone{i}")
             for i, files in enumerate(inputs())]
    texts = [read(files[0]) for files in inputs()]
    alone_text = [tpjconv.convert_text(text, kis=ALL_AT_03) for text in texts]
    for round_ in range(20):
        results = {}
        start = threading.Barrier(4)

        def work(i, files):
            start.wait()
            folder = tmp_path / f"round{round_}-{i}"
            results[i] = outcome(convert_into(files, folder), folder)

        def work_text(i, text):
            start.wait()
            results[i] = tpjconv.convert_text(text, kis=ALL_AT_03)

        threads = [threading.Thread(target=work, args=(i, files))
                   for i, files in enumerate(inputs())]
        threads += [threading.Thread(target=work_text, args=(2 + i, text))
                    for i, text in enumerate(texts)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        assert [results[0], results[1]] == alone
        for i in (0, 1):
            for field in ("converted", "check_log", "report", "findings", "warnings", "rules"):
                assert getattr(results[2 + i], field) == getattr(alone_text[i], field)


# A conversion whose input is a FIFO waits in open() until a writer comes; the writer is this
# program's main thread, which runs only when the conversion has let go of the interpreter.
WAITS_FOR_THE_MAIN_THREAD = r"""
import os, sys, threading, tpjconv
fifo, data = sys.argv[1], open(sys.argv[2], 'rb').read()
results = []
thread = threading.Thread(target=lambda: results.append(
    tpjconv.convert(fifo, kis=(0.3, 0.3, 0.3))))
thread.start()
with open(fifo, 'wb') as writer:
    writer.write(data)
thread.join()
print(results[0].read)
"""


def test_the_interpreter_lock_is_released_while_converting(tmp_path):
    fifo = tmp_path / "fifo.dat"
    os.mkfifo(fifo)
    try:
        done = subprocess.run([sys.executable, "-c", WAITS_FOR_THE_MAIN_THREAD, str(fifo),
                               str(EXAMPLE)], capture_output=True, text=True, timeout=30)
    except subprocess.TimeoutExpired:
        raise AssertionError("the conversion held the interpreter's lock while it waited for "
                             "its input") from None
    assert done.returncode == 0, done.stderr
    assert done.stdout == "{'gensal': 2, 'gentpf': 1, 'genrou': 4}\n"
