"""Threads: two Python threads analysing at once get what they get one after the other, every
`threads` count gives the same numbers, and the GIL is free while the library works."""
import threading
import sys
import time
import warnings

import numpy as np
import pandas as pd

import tramel
from conftest import data_path

ECG = tramel.read_data(data_path("ecg")).values.iloc[:, 0].to_numpy()
SEATBELTS = tramel.read_data(data_path("seatbelts"), 3).values.iloc[:168]


def numbers(result):
    """Every number a result holds, for comparison bit for bit."""
    arrays = [result.bins[c].to_numpy() for c in ("probability", "waveform_power", "noise")]
    arrays += [np.asarray(result.forecast), result.coefficients, result.standard_errors]
    arrays += [np.asarray(result.lower[k]) for k in result.lower]
    arrays += [np.asarray(result.upper[k]) for k in result.upper]
    return [a.tobytes() for a in arrays if a is not None] + [result.model]  # smooth: no VAR


def analyses():
    """Two different calls: a long series with a model chosen by backtest, and three series."""
    return [
        lambda: [tramel.analyse(ECG, 120, band=(1, 58), threshold=0.999, ahead=3)],
        lambda: tramel.analyse(SEATBELTS, 12, band=(1, 2), model="levels", intervals=(50, 90)),
    ]


def test_two_threads_at_once_get_what_they_get_one_after_the_other():
    warnings.simplefilter("ignore", tramel.TramelWarning)
    calls = analyses()
    alone = [[numbers(r) for r in call()] for call in calls]
    for _ in range(3):
        got = [None, None]
        start = threading.Barrier(2)

        def work(i):
            start.wait()
            got[i] = [numbers(r) for r in calls[i]()]

        workers = [threading.Thread(target=work, args=(i,)) for i in range(2)]
        for w in workers:
            w.start()
        for w in workers:
            w.join()
        assert got == alone
    # The same call in both threads at once.
    got = [None, None]
    workers = [threading.Thread(target=lambda i=i: got.__setitem__(i, [numbers(r) for r in calls[1]()]))
               for i in range(2)]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    assert got == [alone[1], alone[1]]


def test_every_thread_count_gives_the_same_numbers():
    warnings.simplefilter("ignore", tramel.TramelWarning)
    frame = pd.concat([SEATBELTS] * 2, axis=1)  # six series, shared out over the threads
    expected = [numbers(r) for r in tramel.analyse(frame, 12, band=(1, 2), model="auto", threads=1)]
    for threads in (2, 3, 8, None):
        got = [numbers(r) for r in tramel.analyse(frame, 12, band=(1, 2), model="auto",
                                                  threads=threads)]
        assert got == expected, threads


def test_the_gil_is_released_during_the_analysis():
    """With the interpreter told never to switch threads by itself, this thread runs while the
    worker is inside the library only if the library lets the GIL go: holding it, the worker
    would keep it from its first line to its last, and this loop would not turn once."""
    long = np.tile(ECG, 20)
    warnings.simplefilter("ignore", tramel.TramelWarning)
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1000.0)
    try:
        inside = threading.Event()
        turns = 0

        def work():
            inside.set()
            tramel.analyse(long, 120, band=(1, 58), threshold=0.999, model="as-specified",
                           threads=1)

        worker = threading.Thread(target=work)
        worker.start()
        inside.wait()  # blocks: the worker runs up to the library
        while worker.is_alive():
            turns += 1
            time.sleep(0)  # lets the GIL go for the worker's last lines after the library
        worker.join()
    finally:
        sys.setswitchinterval(interval)
    assert turns > 1
