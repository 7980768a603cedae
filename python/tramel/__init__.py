"""tramel: forecasts of sampled series from what repeats in them frame after frame.

    import tramel
    r = tramel.analyse(series, frame=12)            # numpy or pandas in
    r.bins, r.forecast, r.lower[80], r.upper[95]     # results out
    r.to_frame()                                     # forecast and intervals on a time index
    tramel.backtest(series, frame=12, origins=8).scores
    tramel.run("examples/nottem")                    # a control-file folder: tramel.json's content
    tramel.forecast(table)                           # every series of a long or wide table
    tramel.backtest(table).summary                   # ... scored against seasonal naive

The calls are the library calls the program makes, so the numbers are the program's. Bad
settings or data raise ValueError, a stop of the analysis RuntimeError; the analysis' warnings
go through the warnings module (category tramel.TramelWarning). The GIL is released while the
library works.
"""
from . import _tramel
from ._analysis import Result, analyse
from ._backtest import Backtest, backtest
from ._shared import TramelWarning
from ._program import DataFile, read_data, run
from ._table import TableBacktest, forecast

__version__ = _tramel.version
__all__ = ["analyse", "backtest", "forecast", "run", "read_data", "Result", "Backtest",
           "TableBacktest", "DataFile", "TramelWarning"]
