"""tramel.analyse: the coherence analysis and forecast of one series or many, by the library
calls the program makes, with the results as numpy arrays or pandas objects."""
import numbers
import warnings

import numpy as np
import pandas as pd

from . import _tramel
from ._data import forecast_index, series_of, step_seconds
from ._shared import TramelWarning, level_text, real, say_warnings, threads_of, whole

DEFAULT_INTERVALS = (80, 95)


def settings_of(frame, *, band, threshold, lags, ahead, taper, model, intervals, ols_errors,
                backtest_origins=None, frame_chosen=False, transform=None):
    """The analysis settings as the compiled module takes them (a backtest over
    `backtest_origins` origins, none for None); the library checks their values against its
    rules. With `frame_chosen`, frame None leaves the frame and band at 0, to be chosen per
    series."""
    if frame is None and frame_chosen:
        if band is not None:
            raise ValueError("band needs a frame: with frame=None each series' frame and band "
                             "are chosen as tramel init chooses them")
        frame, band = 0, (0, 0)
    frame = whole(frame, "frame")
    if band is None:
        band = (1, _tramel.default_last_bin(frame))  # the program's default band
    try:
        first, last = band
    except (TypeError, ValueError):
        raise TypeError(f"band must be a pair (first_bin, last_bin), not {band!r}") from None
    if not isinstance(model, str):
        raise TypeError(f"model must be a string, not {model!r}")
    if transform is not None and not isinstance(transform, str):
        raise TypeError(f"transform must be a string, not {transform!r}")
    if intervals is DEFAULT_INTERVALS and model == "as-specified":
        intervals = ()  # the specified forecast has no intervals
    if intervals is None:
        intervals = ()
    if isinstance(intervals, numbers.Real):
        intervals = (intervals,)
    levels = [real(level, "each interval level") for level in intervals]
    return {
        "frame_length": frame,
        "first_bin": whole(first, "band's first bin"),
        "last_bin": whole(last, "band's last bin"),
        "taper_percent": real(taper, "taper"),
        "threshold": real(threshold, "threshold"),
        "lags": whole(lags, "lags"),
        "frames_ahead": whole(ahead, "ahead"),
        "least_squares_errors": bool(ols_errors),
        "model": model,
        "interval_levels": levels,
        "backtest": backtest_origins is not None,
        "backtest_origins": 0 if backtest_origins is None else whole(backtest_origins, "origins"),
        "transform": transform,
    }


def _numbers(values, dtype=np.float32):
    """tramel.json's numbers (None for what is not finite) as an array of `dtype`: a
    single-precision value is written as its shortest decimal, which reads back to the same
    float32."""
    return np.array([np.nan if v is None else v for v in values], dtype=np.float64).astype(dtype)


def _flat(frames):
    return [v for frame in frames for v in frame]


# The backtest's methods, as tramel.json names them and as the score table does (the smooth
# ones where the backtest scored them).
_METHODS = {"as_specified": "as-specified", "changes": "changes", "levels": "levels",
            "seasonal_naive": "seasonal naive", "smooth": "smooth", "smooth_log": "smooth (log)",
            "smooth_by_weekday": "smooth by weekday", "smooth_in_weeks": "smooth in weeks"}


def score_rows(backtest, levels, model=None):
    """A backtest's scores as dicts, one per method and step ahead, as the program's --backtest
    table gives them: MASE, RMSE, the origins scored and missed, interval coverage at
    `levels`; and rows for `model`, the model in use, when no method has its name (smooth on
    its chosen scale, auto's combination): the backtest's scores of what it forecast with."""
    rows = []
    methods = [(key, name) for key, name in _METHODS.items() if key in backtest]
    if model is not None and model not in _METHODS.values() and "model" in backtest:
        methods.append(("model", model))
    for key, method in methods:
        for s in backtest[key]:
            row = {"method": method, "step": s["step"], "mase": _numbers([s["mase"]], np.float64)[0],
                   "rmse": _numbers([s["rmse"]], np.float64)[0], "origins": s["forecasts"],
                   "missed": s["missed"]}
            covered = [c["coverage"] for c in s.get("coverage", [])] or [None] * len(levels)
            for level, coverage in zip(levels, _numbers(covered, np.float64)):
                row[f"cover_{level_text(level)}"] = coverage
            rows.append(row)
    return rows


class Result:
    """The analysis of one series: what tramel.json holds for it, as numpy and pandas values
    (a value that is not finite, null in tramel.json, is NaN).

    bins             DataFrame: bin, period, probability, significant, waveform_power, noise
    forecast         the forecast samples (float32; a pandas Series for pandas input, indexed
                     by the labels that continue the input's index)
    index            the forecast's index: the labels that continue the input's, or the
                     sample numbers for numpy input
    lower, upper     {level: bounds} of the forecast intervals, shaped as `forecast`
    model            the model that forecast the series ("auto" says what it chose)
    coefficients     variables x regressors; regressor u is variable u % variables at lag
                     u // variables + 1 (for changes and levels, variable 0 is bin 0); float32
                     for as-specified, float64 for the models that follow the level
    standard_errors, t_values   the same shape
    eigenvalues      DataFrame: real, imag, magnitude, period (in frames)
    observed         the last whole frames observed (up to 3), shaped as `forecast`
    warnings         the analysis' warnings (also given through the warnings module)
    statistics       mean, std_dev, skewness, kurtosis, c6, max, min
    scores           for model="auto", the backtest it chose by (as tramel.backtest's scores)
    fit              tramel.json's "var" and "model_fit" of the series, as one dict
    """

    def __init__(self, raw, *, name, frame, sampling, index, frames, levels, warnings):
        self.name = name
        self.warnings = list(warnings)
        self.frame = frame
        self.frames = frames
        self.model = raw["model"]
        self.statistics = {k: v if isinstance(v, bool) else _numbers([v])[0]
                           for k, v in raw["statistics"].items()}
        bins = raw["bins"]
        numbers = np.array([b["bin"] for b in bins])
        self.significant = [b["bin"] for b in bins if b["significant"]]
        self.bins = pd.DataFrame({
            "bin": numbers,
            "period": frame * sampling / numbers,
            "probability": _numbers([b["probability"] for b in bins]),
            "significant": [b["significant"] for b in bins],
            "waveform_power": _numbers([b["waveform_power"] for b in bins]),
            "noise": _numbers([b["noise"] for b in bins]),
        })
        var = raw.get("var")
        self.fit = {**(var or {}), **raw.get("model_fit", {})}
        # The specified VAR's numbers are single precision, the models' double.
        dtype = np.float64 if "model_fit" in raw else np.float32
        rows = var["coefficients"] if var else []

        def matrix(key):
            values = _numbers([c[key] for row in rows for c in row], dtype)
            return values.reshape(len(rows), -1) if rows else None
        self.coefficients = matrix("value")
        self.standard_errors = matrix("std_error")
        self.t_values = matrix("t")
        self.r_square = _numbers([var["r_square"]], dtype)[0] if var else None
        e = raw.get("eigenvalues", [])
        self.eigenvalues = pd.DataFrame({k: _numbers([v[k] for v in e])
                                         for k in ("real", "imag", "magnitude", "period")})
        b = raw.get("backtest")
        self.scores = pd.DataFrame(score_rows(b, levels, raw.get("model"))) if b is not None else None
        # The frames before the first origin of the backtest, and how many origins.
        self.origins = (b["first_origin"], b["origins"]) if b is not None else None

        start = frames * frame  # the forecast follows the last whole frame
        values = _numbers(_flat(raw["forecast"]))
        self.index = forecast_index(index, start, len(values))
        self._pandas = index is not None
        self.forecast = self._shaped(values, name)
        observed = _numbers(_flat(raw["last_frames"]))
        at = start - len(observed)
        self.observed_index = forecast_index(index, at, len(observed))
        self.observed = self._shaped(observed, name, self.observed_index)
        self.lower = {}
        self.upper = {}
        for interval in raw.get("intervals", []):
            level = interval["level"]
            key = int(level) if float(level).is_integer() else float(level)
            self.lower[key] = self._shaped(_numbers(_flat(interval["lower"])),
                                           f"lower_{level_text(level)}")
            self.upper[key] = self._shaped(_numbers(_flat(interval["upper"])),
                                           f"upper_{level_text(level)}")

    def _shaped(self, values, name, index=None):
        index = self.index if index is None else index
        return pd.Series(values, index=index, name=name) if self._pandas else values

    def plot(self, ax=None):
        """The last whole frames observed, the forecast and its intervals as bands, with
        matplotlib.

        ax   the matplotlib Axes to draw on (default: the current one)

        Returns the Axes."""
        import matplotlib.pyplot as plt
        ax = ax if ax is not None else plt.gca()
        ax.plot(self.observed_index, np.asarray(self.observed), color="0.4", label="observed")
        ax.plot(self.index, np.asarray(self.forecast), color="C2", label=f"forecast ({self.model})")
        for k, level in enumerate(sorted(self.lower, reverse=True)):
            ax.fill_between(self.index, np.asarray(self.lower[level]),
                            np.asarray(self.upper[level]), color="C2", alpha=0.15 + 0.15 * k,
                            linewidth=0, label=f"{level_text(level)} % interval")
        ax.axvline(self.index[0], color="0.6", linestyle=":")
        # Ticks that do not overlap: dates in their shortest words (the offset, e.g. the day of
        # sub-second stamps, once at the axis' end), other numbers at most 6 to an axis. The
        # legend above the axes, where it covers no data, in as many columns as fit beside the
        # title on its left (the entries drawn on the Axes before, such as held-back data, too).
        if isinstance(self.index, pd.DatetimeIndex):
            import matplotlib.dates as mdates
            locator = mdates.AutoDateLocator(minticks=3, maxticks=7)
            ax.xaxis.set_major_locator(locator)
            ax.xaxis.set_major_formatter(mdates.ConciseDateFormatter(locator))
        else:
            from matplotlib.ticker import MaxNLocator
            ax.xaxis.set_major_locator(MaxNLocator(nbins=6))
        title = ax.set_title(self.name if self.name is not None else "", loc="left")
        entries = len(ax.get_legend_handles_labels()[1])
        for columns in range(entries, 0, -1):
            legend = ax.legend(loc="lower right", bbox_to_anchor=(1.0, 1.0), ncol=columns,
                               frameon=False, fontsize="small", borderaxespad=0.2)
            get_renderer = getattr(ax.figure.canvas, "get_renderer", None)
            if get_renderer is None:
                break
            renderer = get_renderer()
            room = ax.get_window_extent(renderer).width - title.get_window_extent(renderer).width
            if legend.get_window_extent(renderer).width <= 0.95 * room:
                break
        return ax

    def to_frame(self):
        """The forecast and its intervals as one DataFrame on the forecast's time index: the
        columns forecast, lower_LEVEL and upper_LEVEL. It takes no parameters."""
        columns = {"forecast": np.asarray(self.forecast)}
        for level in self.lower:
            columns[f"lower_{level_text(level)}"] = np.asarray(self.lower[level])
            columns[f"upper_{level_text(level)}"] = np.asarray(self.upper[level])
        return pd.DataFrame(columns, index=self.index)

    def __repr__(self):
        name = "" if self.name is None else f" {self.name!r}"
        return (f"<tramel.Result{name}: model {self.model}, {len(self.significant)} significant "
                f"bins of {len(self.bins)}, {len(self.forecast)} samples forecast>")


def analyse_series(data, settings, *, sampling, threads, stacklevel):
    """The library's analysis of every series of `data`, and the Result of each (`sampling`
    the time between samples, None for 1)."""
    sampling = 1.0 if sampling is None else real(sampling, "sampling")
    series = series_of(data)
    step = step_seconds(series.index)
    if step is not None:
        settings = dict(settings, step_seconds=step)  # a day of hourly data has the week too
    raw = _tramel.analyse(series.rows, settings, threads_of(threads))
    frames = series.samples // settings["frame_length"]
    results = []
    for j, r in enumerate(raw):
        label = None if series.single and series.names[0] is None else series.label(j)
        say_warnings(r["warnings"], label, stacklevel + 1)
        if r["stop"] is not None:
            words = " ".join(r["stop"].split())  # the report's words, without its columns
            raise RuntimeError(f"{label}: {words}" if label else words)
        results.append(Result(r["result"], name=series.names[j], frame=settings["frame_length"],
                              sampling=sampling, index=series.index, frames=frames,
                              levels=settings["interval_levels"], warnings=r["warnings"]))
    left = series.samples - frames * settings["frame_length"]
    if left > 0:
        warnings.warn(f"the last {left} samples, after the last whole frame, take no part: the "
                      f"forecast starts at sample {frames * settings['frame_length']}",
                      TramelWarning, stacklevel=stacklevel + 1)
    return series, results


def analyse(data, frame, *, band=None, threshold=0.99, lags=1, ahead=1, taper=0.0, model="auto",
            intervals=DEFAULT_INTERVALS, sampling=None, threads=None, ols_errors=False,
            transform=None):
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
    threshold  a bin is significant when its coherence probability is above it (0 <= P < 1)
    lags       the VAR's lags (1 or more)
    ahead      the frames forecast (1 to 10)
    taper      percent of each frame end tapered (0 to 25)
    model      "auto" (series by series the best of as-specified, changes, levels, smooth and
               seasonal naive, or the best combined, by a backtest), "changes", "levels",
               "smooth", "as-specified". For an index of dates a frame of a day of hourly (or
               faster) data has the week for a second cycle: from 3 weeks on, auto also weighs
               a waveform for each day of the week and frames of a week.
    intervals  forecast interval levels in percent (not with "as-specified", which has none)
    transform  the scale of smooth, as --transform: "none", "log" or "auto" (the default for
               smooth and auto: the backtest chooses); only with "smooth" or "auto"
    sampling   the time between samples, for the bins' periods (default 1: periods in samples)
    threads    threads to use, as --threads (default: every core the process may use)
    ols_errors least-squares standard errors for "as-specified", as --ols-errors

    The defaults are those recommended for new work: model "auto" with intervals at 80 and 95
    percent. tramel.run's are the program's own (as-specified, no intervals), as the command
    line has them.

    Returns a Result, or a list of them for a DataFrame or 2-D array. Raises ValueError for
    bad settings or data (a broken rule in the program's words) and RuntimeError when the
    analysis of a series stops.
    """
    settings = settings_of(frame, band=band, threshold=threshold, lags=lags, ahead=ahead,
                           taper=taper, model=model, intervals=intervals, ols_errors=ols_errors,
                           transform=transform)
    series, results = analyse_series(data, settings, sampling=sampling, threads=threads, stacklevel=2)
    return results[0] if series.single else results
