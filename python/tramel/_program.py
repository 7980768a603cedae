"""tramel.run: the program on a control-file folder, in-process; tramel.read_data: a data file
read as the program reads it."""
import collections
import json as json_module
import os
import warnings

import pandas as pd

from . import _tramel
from ._shared import TramelWarning, real, say_warnings, threads_of, whole

DataFile = collections.namedtuple("DataFile", "title count rate format values")
DataFile.__doc__ = """A data file as the program reads it: its title (line 1), the number of
data and the sampling rate or interval (line 2), the record format, and the values of every
datum (a DataFrame of float32, a column per series)."""


def _console_words(text):
    """What the program's standard error says of a stop: its own lines ("tramel: ...") without
    the prefix, warnings and notes left out; the lines of the program's fixed wording when it
    has no line of its own."""
    lines = [line for line in text.splitlines() if line.strip()]
    fixed = [line for line in lines if not line.startswith("tramel: ")]
    own = [line[len("tramel: "):] for line in lines if line.startswith("tramel: ")]
    own = [line for line in own if not line.startswith(("warning: ", "note: "))]
    return [" ".join(line.split()) for line in (own or fixed)]


def run(folder, *, model=None, intervals=(), backtest=0, threads=None, ols_errors=False,
        json=False, plot=False, csv=False):
    """Runs the program on `folder` exactly as `tramel [OPTIONS] FOLDER` does, writing the
    report and the forecast file there (and tramel.json, the plots, NAME.forecast.csv when
    asked), and returns what tramel.json holds, as Python objects. Nothing is printed: the
    program's warnings go through the warnings module.

    folder      holds tramel.cnl and the data file it names
    model       --model: "as-specified", "changes", "levels" or "auto"; by default, as for
                the command line, auto for CSV data and as-specified for the two-line layout
    intervals   --intervals: levels in percent (turns csv on); none by default
    backtest    --backtest K: the origins of a backtest; 0 (the default) for none
    threads     --threads (default: every core the process may use)
    ols_errors  --ols-errors
    json, plot, csv   --json, --plot, --csv: also write those files

    The defaults are the program's own, as the command line has them; tramel.analyse's are
    those recommended for new work (model "auto", intervals at 80 and 95 percent).

    Raises ValueError when the options, the control file or the data stop the program (a
    broken rule in the program's words, after the control-file line or the run it concerns),
    RuntimeError when the analysis of a series does (the results so far are the exception's
    `results`)."""
    folder = os.fspath(folder)
    if not os.path.exists(folder):
        raise FileNotFoundError(f"the folder {folder} does not exist")
    if not os.path.isdir(folder):
        raise NotADirectoryError(f"{folder} is not a folder")
    if model is not None and not isinstance(model, str):
        raise TypeError(f"model must be a string, not {model!r}")
    levels = [real(level, "each interval level") for level in intervals]
    backtest = whole(backtest, "backtest")
    status, _out, err, text = _tramel.run({
        "folder": folder, "json": bool(json), "plot": bool(plot), "threads": threads_of(threads),
        "strict": False, "least_squares_errors": bool(ols_errors), "model": model,
        "interval_levels": levels, "backtest_origins": backtest, "csv": bool(csv)})
    document = json_module.loads(text)
    say_warnings(document["warnings"], None, 2)
    if status == 0:
        return document
    words = "; ".join(_console_words(err)) or "the program stopped"
    runs = document["runs"]
    in_analysis = bool(runs and runs[-1]["series"] and not runs[-1]["series"][-1]["completed"])
    error = (RuntimeError if in_analysis else ValueError)(words)
    error.results = document
    raise error


def read_data(path, series=1):
    """A data file read as the program reads it (line 1 the title; line 2 the number of data,
    the rate and the record format; then the records).

    path     the data file
    series   the values of each datum (the control file's "No. of data/file"; default 1)

    Returns a DataFile; warns (TramelWarning) when the file ends before its last datum."""
    series = whole(series, "series")
    d = _tramel.read_data(os.fspath(path), series)
    if d["early_end"] is not None:
        datum, zeros = d["early_end"]
        warnings.warn(f"{os.fspath(path)} ends before datum {d['count']}: the last datum read "
                      f"is {datum - 1}, and {zeros} values were set to zero", TramelWarning,
                      stacklevel=2)
    values = pd.DataFrame({name: row for name, row in zip(d["names"], d["values"])})
    title = d["title"].rstrip() if d["title"] is not None else None
    return DataFile(title, d["count"], d["rate"], d["format"].rstrip(), values)
