"""tramel.analyse: the coherence analysis and forecast of one series or many, by the library
calls the program makes, with the results as numpy arrays or pandas objects."""
import numbers
import warnings

import numpy as np
import pandas as pd

from . import _tramel
from ._data import TramelWarning, forecast_index, level_text, series_of, whole

DEFAULT_INTERVALS = (80, 95)
MODELS = ("as-specified", "changes", "levels", "auto")


def _real(value, what):
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{what} must be a number, not {value!r}")
    return float(value)


def threads_of(threads):
    """0 (every core the process may use) for None, else a count of 1 or more."""
    if threads is None:
        return 0
    threads = whole(threads, "threads")
    if threads < 1:
        raise ValueError(f"threads must be 1 or more, not {threads}")
    return threads


def settings_of(frame, *, band, threshold, lags, ahead, taper, model, intervals, ols_errors,
                backtest_origins=0):
    """The analysis settings as the compiled module takes them; it checks their values."""
    frame = whole(frame, "frame")
    if band is None:
        band = (1, (frame - 1) // 2)  # bin 1 up to the last bin below the Nyquist frequency
    try:
        first, last = band
    except (TypeError, ValueError):
        raise TypeError(f"band must be a pair (first_bin, last_bin), not {band!r}") from None
    if not isinstance(model, str):
        raise TypeError(f"model must be a string, one of {', '.join(MODELS)}")
    if intervals is DEFAULT_INTERVALS and model == "as-specified":
        intervals = ()  # the specified forecast has no intervals
    if intervals is None:
        intervals = ()
    if isinstance(intervals, numbers.Real):
        intervals = (intervals,)
    levels = [_real(level, "each interval level") for level in intervals]
    return {
        "frame_length": frame,
        "first_bin": whole(first, "band's first bin"),
        "last_bin": whole(last, "band's last bin"),
        "taper_percent": _real(taper, "taper"),
        "threshold": _real(threshold, "threshold"),
        "lags": whole(lags, "lags"),
        "frames_ahead": whole(ahead, "ahead"),
        "least_squares_errors": bool(ols_errors),
        "model": model,
        "interval_levels": levels,
        "backtest": backtest_origins > 0,
        "backtest_origins": backtest_origins,
    }


def say_warnings(texts, label, stacklevel):
    for text in texts:
        warnings.warn(f"{label}: {text}" if label else text, TramelWarning, stacklevel=stacklevel + 1)


def scores_frame(backtest):
    """A backtest's scores, one row per method and step ahead, as the program's --backtest
    table gives them: MASE, RMSE, the origins scored and missed, interval coverage."""
    rows = []
    levels = backtest["levels"]
    for method, steps in backtest["scores"].items():
        for step, s in enumerate(steps, 1):
            row = {"method": method, "step": step, "mase": s["mase"], "rmse": s["rmse"],
                   "origins": s["forecasts"], "missed": s["missed"]}
            for level, coverage in zip(levels, s["coverage"] or [np.nan] * len(levels)):
                row[f"cover_{level_text(level)}"] = coverage
            rows.append(row)
    return pd.DataFrame(rows)


class Result:
    """The analysis of one series.

    bins             DataFrame: bin, period, probability, significant, waveform_power, noise
    forecast         the forecast samples (float32; a pandas Series for pandas input, indexed
                     by the labels that continue the input's index)
    index            the forecast's index: the labels that continue the input's, or the
                     sample numbers for numpy input
    lower, upper     {level: bounds} of the forecast intervals, shaped as `forecast`
    model            the model that forecast the series ("auto" says what it chose)
    coefficients     variables x regressors; regressor u is variable u % variables at lag
                     u // variables + 1 (for changes and levels, variable 0 is bin 0)
    standard_errors, t_values   the same shape
    eigenvalues      DataFrame: real, imag, magnitude, period (in frames)
    observed         the last whole frames observed (up to 3), shaped as `forecast`
    warnings         the analysis' warnings (also given through the warnings module)
    statistics       mean, std_dev, skewness, kurtosis, c6, max, min
    scores           for model="auto", the backtest it chose by (as tramel.backtest's scores)
    fit              everything the library returned for the fit, as a dict
    """

    def __init__(self, raw, *, name, frame, first_bin, sampling, index, frames):
        self.name = name
        self.frame = frame
        self.frames = frames
        self.model = raw["model"]
        # Single-precision values stay float32, as the program holds them.
        self.statistics = {k: v if isinstance(v, bool) else np.float32(v)
                           for k, v in raw["statistics"].items()}
        self.warnings = list(raw["warnings"])
        self.significant = list(raw["significant"])
        bins = np.arange(first_bin, first_bin + len(raw["probabilities"]))
        self.bins = pd.DataFrame({
            "bin": bins,
            "period": frame * sampling / bins,
            "probability": raw["probabilities"],
            "significant": np.isin(bins, self.significant),
            "waveform_power": raw["waveform_power"],
            "noise": raw["noise"],
        })
        fit = raw["var"] if raw["var"] is not None else raw["model_fit"]
        self.fit = fit or {}
        self.coefficients = self.fit.get("coefficients")
        self.standard_errors = self.fit.get("standard_errors")
        self.t_values = self.fit.get("t")
        self.r_square = self.fit.get("r_square")
        if raw["var"] is not None:
            self.r_square = np.float32(self.r_square)
        e = raw["eigenvalues"]
        self.eigenvalues = pd.DataFrame({k: e[k] for k in ("real", "imag", "magnitude", "period")})
        b = raw["backtest"]
        self.scores = scores_frame(b) if b is not None else None
        # The frames before the first origin of the backtest, and how many origins.
        self.origins = (b["first_origin"], b["origins"]) if b is not None else None

        start = frames * frame  # the forecast follows the last whole frame
        values = raw["forecast"]
        self.index = forecast_index(index, start, len(values))
        self._pandas = index is not None
        self.forecast = self._shaped(values, name)
        observed = raw["last_frames"]  # the last whole frames (up to 3), for plots
        at = start - len(observed)
        self.observed_index = forecast_index(index, at, len(observed))
        self.observed = self._shaped(observed, name, self.observed_index)
        self.lower = {}
        self.upper = {}
        for level, lower, upper in raw["intervals"]:
            key = int(level) if float(level).is_integer() else float(level)
            self.lower[key] = self._shaped(lower, f"lower_{level_text(level)}")
            self.upper[key] = self._shaped(upper, f"upper_{level_text(level)}")

    def _shaped(self, values, name, index=None):
        index = self.index if index is None else index
        return pd.Series(values, index=index, name=name) if self._pandas else values

    def plot(self, ax=None):
        """The last whole frames observed, the forecast and its intervals as bands, with
        matplotlib; returns the Axes."""
        import matplotlib.pyplot as plt
        ax = ax if ax is not None else plt.gca()
        ax.plot(self.observed_index, np.asarray(self.observed), color="0.4", label="observed")
        ax.plot(self.index, np.asarray(self.forecast), color="C2", label=f"forecast ({self.model})")
        for k, level in enumerate(sorted(self.lower, reverse=True)):
            ax.fill_between(self.index, np.asarray(self.lower[level]),
                            np.asarray(self.upper[level]), color="C2", alpha=0.15 + 0.15 * k,
                            linewidth=0, label=f"{level_text(level)} % interval")
        ax.axvline(self.index[0], color="0.6", linestyle=":")
        ax.set_title(self.name if self.name is not None else "")
        ax.legend()
        return ax

    def to_frame(self):
        """The forecast and its intervals as one DataFrame on the forecast's time index."""
        columns = {"forecast": np.asarray(self.forecast)}
        for level in self.lower:
            columns[f"lower_{level_text(level)}"] = np.asarray(self.lower[level])
            columns[f"upper_{level_text(level)}"] = np.asarray(self.upper[level])
        return pd.DataFrame(columns, index=self.index)

    def __repr__(self):
        name = "" if self.name is None else f" {self.name!r}"
        return (f"<tramel.Result{name}: model {self.model}, {len(self.significant)} significant "
                f"bins of {len(self.bins)}, {len(self.forecast)} samples forecast>")


def analyse_series(data, frame, settings, *, sampling, threads, stacklevel):
    """The library's analysis of every series of `data`, and the Result of each."""
    series = series_of(data)
    raw = _tramel.analyse(series.rows, settings, threads_of(threads))
    frames = series.samples // settings["frame_length"]
    results = []
    for j, r in enumerate(raw):
        label = None if series.single and series.names[0] is None else series.label(j)
        say_warnings(r["warnings"], label, stacklevel + 1)
        if r["stop"] is not None:
            words = " ".join(r["stop"].split())  # the report's words, without its columns
            raise RuntimeError(f"{label}: {words}" if label else words)
        results.append(Result(r, name=series.names[j], frame=settings["frame_length"],
                              first_bin=settings["first_bin"], sampling=sampling,
                              index=series.index, frames=frames))
    left = series.samples - frames * settings["frame_length"]
    if left > 0:
        warnings.warn(f"the last {left} samples, after the last whole frame, take no part: the "
                      f"forecast starts at sample {frames * settings['frame_length']}",
                      TramelWarning, stacklevel=stacklevel + 1)
    return series, results


def analyse(data, frame, *, band=None, threshold=0.99, lags=1, ahead=1, taper=0.0, model="auto",
            intervals=DEFAULT_INTERVALS, sampling=None, threads=None, ols_errors=False):
    """The coherence analysis and forecast of `data`, as the program makes them.

    data       a 1-D numpy array or pandas Series (one series), a 2-D array (series in
               columns) or a DataFrame (a series a column); converted to float32. A pandas
               index of dates, periods, time spans or numbers must be regular, as a CSV time
               column must: whole calendar months, or every step within 1 % of the median step
               or the labels' last digit (a DatetimeIndex with a freq is regular in it); a gap
               or an irregular step raises ValueError naming its position and label, with or
               without sampling=. To analyse such values as consecutive samples, pass them
               alone (data.to_numpy()).
    frame      the frame length in samples (the cycle: 12 for monthly data with a yearly one)
    band       (first_bin, last_bin), bin k being k cycles per frame; by default 1 to the last
               bin below the Nyquist frequency
    threshold  a bin is significant when its coherence probability is above it
    lags, ahead   the VAR's lags and the frames forecast (1 to 10)
    taper      percent of each frame end tapered (0 to 25)
    model      "auto" (changes or levels, by a backtest), "changes", "levels", "as-specified"
    intervals  forecast interval levels in percent (not with "as-specified")
    sampling   the time between samples, for the bins' periods (default 1: periods in samples)
    threads    threads to use, as --threads (default: every core the process may use)
    ols_errors least-squares standard errors for "as-specified", as --ols-errors

    Returns a Result, or a list of them for a DataFrame or 2-D array. Raises ValueError for
    bad settings or data and RuntimeError when the analysis of a series stops.
    """
    settings = settings_of(frame, band=band, threshold=threshold, lags=lags, ahead=ahead,
                           taper=taper, model=model, intervals=intervals, ols_errors=ols_errors)
    sampling = 1.0 if sampling is None else _real(sampling, "sampling")
    series, results = analyse_series(data, frame, settings, sampling=sampling, threads=threads,
                                     stacklevel=2)
    return results[0] if series.single else results
