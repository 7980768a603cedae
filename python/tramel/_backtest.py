"""tramel.backtest: a rolling-origin backtest, as the program's --backtest runs it, with the
forecasts at every origin beside the data and seasonal naive."""
import numpy as np
import pandas as pd

from . import _tramel
from ._analysis import DEFAULT_INTERVALS, analyse_series, settings_of
from ._shared import level_text, threads_of
from ._table import backtest_table, is_table


class Backtest:
    """The backtest of one series.

    forecasts  DataFrame, a row per origin, step ahead and sample: origin (the frames before
               it), step, time (the input's index label, or the sample number), actual, the
               forecast of the model in use with its interval bounds (NaN for smooth and
               combinations, whose forecasts at the origins are scored but not given),
               as_specified (NaN where the specified forecast stops) and seasonal_naive (the
               frame before the origin)
    scores     DataFrame, a row per method and step: MASE, RMSE, the origins scored and
               missed, interval coverage, as the program's --backtest table
    table      the program's --backtest table: per step the model, as-specified and seasonal
               naive side by side
    model      the model in use ("auto" says what it chose)
    """

    def __init__(self, name, model, forecasts, scores):
        self.name = name
        self.model = model
        self.forecasts = forecasts
        self.scores = scores

    @property
    def table(self):
        """The program's --backtest table: per step, the model in use, as-specified and
        seasonal naive, with MASE, RMSE, the origins scored and the interval coverage (a
        property: no parameters)."""
        order = {self.model: 0, "as-specified": 1, "seasonal naive": 2}
        shown = self.scores[self.scores["method"].isin(order)].copy()
        shown["order"] = shown["method"].map(order)
        shown = shown.sort_values(["step", "order"]).drop(columns=["order", "missed"])
        return shown.set_index(["step", "method"])

    def __repr__(self):
        name = "" if self.name is None else f" {self.name!r}"
        return (f"<tramel.Backtest{name}: model {self.model}, "
                f"{self.forecasts['origin'].nunique()} origins>\n{self.scores.to_string()}")


def _forecast_rows(values, origins, model, frame, frames, index):
    """The table of forecasts: every origin, step and sample that the sample still holds."""
    columns = {"origin": [], "step": [], "position": [], "actual": [], "forecast": [],
               "as_specified": [], "seasonal_naive": []}
    bounds = {}
    for o in origins:
        origin = o["origin"]
        # The VAR models' forecasts at the origin; smooth's and a combination's are not given
        # (their scores are), so their forecast stays NaN beside the others.
        ahead = o.get(model)
        specified = o["as-specified"]
        shown = ahead if ahead is not None else specified if model not in o else None
        for step in range(len(shown) // frame if shown is not None else 0):
            if origin + step >= frames:
                break
            at = slice(step * frame, (step + 1) * frame)
            first = (origin + step) * frame
            columns["origin"].extend([origin] * frame)
            columns["step"].extend([step + 1] * frame)
            columns["position"].extend(range(first, first + frame))
            columns["actual"].extend(values[first:first + frame])
            columns["forecast"].extend(ahead[at] if ahead is not None else [np.nan] * frame)
            columns["as_specified"].extend(specified[at] if specified is not None
                                           else [np.nan] * frame)
            columns["seasonal_naive"].extend(values[(origin - 1) * frame:origin * frame])
            for level, lower, upper in o.get(f"{model}_intervals", []):
                bounds.setdefault(f"lower_{level_text(level)}", []).extend(lower[at])
                bounds.setdefault(f"upper_{level_text(level)}", []).extend(upper[at])
    positions = columns.pop("position")
    table = pd.DataFrame({"origin": columns["origin"], "step": columns["step"]})
    table["time"] = positions if index is None else list(index[positions]) if positions else []
    for name in ("actual", "forecast"):
        table[name] = np.asarray(columns[name], dtype=np.float32)
    for name, v in bounds.items():
        table[name] = np.asarray(v, dtype=np.float32)
    table["as_specified"] = np.asarray(columns["as_specified"], dtype=np.float32)
    table["seasonal_naive"] = np.asarray(columns["seasonal_naive"], dtype=np.float32)
    return table


def backtest(data, frame=None, origins=8, *, band=None, threshold=0.99, lags=1, ahead=1,
             taper=0.0, model="auto", intervals=DEFAULT_INTERVALS, sampling=None, threads=None,
             ols_errors=False, id_col="unique_id", time_col="ds", value_col="y", client=None,
             partitions=None, transform=None):
    """A rolling-origin backtest over the last `origins` whole frames of each series, as
    `tramel --backtest K` runs it: at each origin the frames before it are analysed as a run
    would analyse them and forecast `ahead` frames, which the data that follow score.

    data         as tramel.analyse takes it; or a table of series as tramel.forecast takes it:
                 a long table (with the column id_col, or a Dask DataFrame), or with frame=None
                 a wide DataFrame
    frame        the frame length in samples; for a table, None (the default) chooses each
                 series' frame as tramel.forecast does
    origins      the frame boundaries scored: 1 to the frames less 4 (each origin has at
                 least 4 frames before it)
    band, threshold, lags, ahead, taper, intervals, sampling, threads, ols_errors
                 as tramel.analyse takes them, with the same defaults
    model        "changes", "levels", "smooth" or "auto" (the default; as-specified is scored
                 beside it)
    transform    the scale of smooth, as tramel.analyse takes it
    id_col, time_col, value_col, client, partitions
                 for a table, as tramel.forecast takes them

    Returns a Backtest, or a list of them for a DataFrame or 2-D array; for a table a
    TableBacktest (its per-series scores and their summary against seasonal naive), in which a
    series that cannot be scored has its status and message. Raises ValueError for bad
    settings (a broken rule in the program's words) and RuntimeError when the analysis of a
    series stops (a table's series are each given their status instead)."""
    if is_table(data, id_col) or client is not None or (frame is None and isinstance(data, pd.DataFrame)):
        if ols_errors or sampling is not None:
            raise ValueError("ols_errors and sampling are not for a table of series")
        return backtest_table(data, frame=frame, origins=origins, settings_args=dict(
            band=band, threshold=threshold, lags=lags, ahead=ahead, taper=taper, model=model,
            intervals=intervals, ols_errors=False, transform=transform), id_col=id_col, time_col=time_col,
            value_col=value_col, threads=threads, client=client, partitions=partitions)
    settings = settings_of(frame, band=band, threshold=threshold, lags=lags, ahead=ahead,
                           taper=taper, model=model, intervals=intervals, ols_errors=ols_errors,
                           backtest_origins=origins, transform=transform)
    series, results = analyse_series(data, settings, sampling=sampling, threads=threads, stacklevel=2)
    frames = series.samples // settings["frame_length"]
    backtests = []
    for j, result in enumerate(results):
        first, count = result.origins
        raw = _tramel.backtest_origins(series.rows[j:j + 1], settings, first, count,
                                       threads_of(threads))
        table = _forecast_rows(series.rows[j], raw, result.model, settings["frame_length"],
                               frames, series.index)
        backtests.append(Backtest(series.names[j], result.model, table, result.scores))
    return backtests[0] if series.single else backtests
