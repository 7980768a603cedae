"""tramel.forecast, and tramel.backtest of a table: the series of a long table (a row per series
id, time stamp and value) or of a wide one (a column per series, the time as the index), each
analysed on its own by the library and shared out over the threads, with one table out."""
import numpy as np
import pandas as pd

from . import _tramel
from ._analysis import DEFAULT_INTERVALS, score_rows, settings_of
from ._data import (IrregularIndex, NotFinite, Series, check_finite, column_values, float32,
                    forecast_index, numbers_of, regularity, step_seconds)
from ._shared import is_dask, is_numbers, level_text, threads_of


def is_long(data, id_col):
    """Whether `data` is a long pandas table: a DataFrame with the id column, or that index."""
    return isinstance(data, pd.DataFrame) and (id_col in data.columns or data.index.name == id_col)


def is_table(data, id_col):
    """Whether `data` is a long table of series: a pandas one, or a Dask DataFrame."""
    return is_dask(data) or is_long(data, id_col)


def id_codes(data, id_col):
    """A long table with its id as a column, the code of each row's id and the ids (sorted)."""
    if data.index.name == id_col and id_col not in data.columns:
        data = data.reset_index()
    ids = data[id_col]
    if ids.isna().any():
        raise ValueError(f"{int(ids.isna().sum())} rows of the table have no {id_col}")
    codes, keys = pd.factorize(ids, sort=True)
    return data, codes, keys


class Table:
    """The series of a table one after another: their keys, their time stamps `times` (an
    Index) and values (float32, and as given in `given`), series j being its `counts[j]` rows
    starts[j] to ends[j] - 1 in time order; `index_of(j)` its index as tramel.analyse would take
    it alone (by default its rows of `times`); per series a status and message ("ok" and ""
    while nothing prevents its analysis) and the Regularity its stamps continue by (None: not
    known)."""

    def __init__(self, keys, times, given, counts, index_of=None):
        self.keys = keys
        self.times = times
        self.given = given
        self.values = float32(given, "data")
        self.ends = np.cumsum(counts)
        self.starts = self.ends - counts
        self.index_of = index_of if index_of is not None else lambda j: times[self.rows(j)]
        self.status = ["ok"] * len(keys)
        self.messages = [""] * len(keys)
        self.regular = [None] * len(keys)

    def __len__(self):
        return len(self.keys)

    def refuse(self, j, status, message):
        self.status[j] = status
        self.messages[j] = message

    def rows(self, j):
        return slice(self.starts[j], self.ends[j])


def _time_index(column, time_col):
    """The time column as an index of dates, periods, time spans or numbers; text is read as
    dates."""
    if (pd.api.types.is_datetime64_any_dtype(column.dtype) or pd.api.types.is_period_dtype(column.dtype)
            or pd.api.types.is_timedelta64_dtype(column.dtype) or is_numbers(column.dtype)):
        return pd.Index(column, name=time_col)
    try:
        return pd.DatetimeIndex(pd.to_datetime(column), name=time_col)
    except (TypeError, ValueError) as e:
        raise ValueError(f"the time column {time_col!r} holds neither dates, periods, time spans "
                         f"nor numbers ({e})") from None


def long_table(data, id_col, time_col, value_col):
    """The series of a long table, by id (in the order of the sorted ids), each in time order."""
    data, codes, keys = id_codes(data, id_col)
    for role, name in (("time_col", time_col), ("value_col", value_col)):
        if name not in data.columns:
            raise ValueError(f"the table has no column {name!r} ({role}= names it; the columns "
                             f"are {list(data.columns)})")
    times = _time_index(data[time_col], time_col)
    numbers = numbers_of(times)
    order = np.lexsort((numbers, codes)) if numbers is not None else np.argsort(codes, kind="stable")
    return Table(keys, times[order], column_values(data[value_col])[order],
                 np.bincount(codes, minlength=len(keys)))


def wide_table(data, id_col):
    """The series of a wide table, a column each in the order of the columns, the time as the
    index; the missing values before a column's first value and after its last are left out."""
    if not isinstance(data, pd.DataFrame):
        raise TypeError(f"the table must be a pandas or Dask DataFrame, not {type(data).__name__}")
    if data.shape[1] == 0:
        raise ValueError("the table holds no series")
    given, firsts, lasts = [], [], []
    for j, key in enumerate(data.columns):
        column = data.iloc[:, j]
        if not is_numbers(column.dtype):
            raise ValueError(f"column {key!r} is not a series of numbers: a long table needs the "
                             f"column {id_col!r} (id_col= names it), a wide one a column per series")
        present = np.flatnonzero(column.notna().to_numpy())
        first, last = (present[0], present[-1] + 1) if len(present) else (0, 0)
        given.append(column_values(column)[first:last])
        firsts.append(first)
        lasts.append(last)
    index = data.index
    times = index.take(np.concatenate([np.arange(a, b) for a, b in zip(firsts, lasts)]).astype(np.intp))
    return Table(pd.Index(data.columns), times, np.concatenate(given), np.array([len(g) for g in given]),
                 lambda j: index[firsts[j]:lasts[j]])


def _per_series(table, values, reduce):
    """`reduce` (np.minimum, np.maximum, np.add) of `values` over each series' rows, or with
    one value fewer than the rows, over each series' steps (value i the step from row i to
    i + 1); None for a series without any."""
    values = np.asarray(values)
    if len(values) < len(table.times):
        # The step out of a series' last row is not one of its own: it gives way to any other.
        if np.issubdtype(values.dtype, np.integer):
            info = np.iinfo(values.dtype)
            neutral = {np.minimum: info.max, np.maximum: info.min, np.add: 0}[reduce]
        else:
            neutral = {np.minimum: np.inf, np.maximum: -np.inf, np.add: 0}[reduce]
        values = np.append(values, neutral)
        values[table.ends[table.ends > 0] - 1] = neutral
        present = table.ends - table.starts >= 2
    else:
        present = table.ends > table.starts
    out = np.full(len(table), None, dtype=object)
    if present.any():
        out[present] = reduce.reduceat(values, table.starts[present])
    return out


def _exactly_regular(table, numbers):
    """Per series, how its stamps step when they do so exactly: every step the same and positive
    ("step"), or the same number of calendar months on one day of the month or each on a month's
    last day, at one time of day ("months", "month ends"); None otherwise. Such stamps meet the
    rule of a regular index whatever its tolerance, so that only the others need it, series by
    series; the step is returned beside it."""
    kinds, steps = [None] * len(table), [None] * len(table)
    if numbers is None or len(table.times) < 2:
        return kinds, steps
    long_enough = (table.ends - table.starts) >= 2
    d = np.diff(numbers)
    low, high = _per_series(table, d, np.minimum), _per_series(table, d, np.maximum)
    if isinstance(table.times, pd.DatetimeIndex):
        t = table.times
        with np.errstate(invalid="ignore"):  # the fields of a missing stamp (refused already)
            months = np.asarray(t.year * 12 + t.month, dtype=np.int64)
            day, time = np.asarray(t.day, dtype=np.int64), np.asarray((t - t.normalize()).asi8)
        ends = np.asarray(t.is_month_end, dtype=np.int64)
        dm = np.diff(months)
        dm_low, dm_high = _per_series(table, dm, np.minimum), _per_series(table, dm, np.maximum)
        one_time = _per_series(table, time, np.minimum) == _per_series(table, time, np.maximum)
        one_day = _per_series(table, day, np.minimum) == _per_series(table, day, np.maximum)
        all_ends = _per_series(table, ends, np.minimum) == 1
    for j in np.flatnonzero(long_enough):
        if isinstance(table.times, pd.DatetimeIndex) and dm_low[j] == dm_high[j] >= 1 and one_time[j] and (
                one_day[j] or all_ends[j]):
            kinds[j], steps[j] = ("months" if one_day[j] else "month ends"), int(dm_low[j])
        elif low[j] == high[j] and low[j] > 0:
            kinds[j], steps[j] = "step", low[j]
    return kinds, steps


def check_table(table):
    """Refuses, as tramel.analyse refuses them, the series with a value that is not finite, a
    missing time stamp, or stamps that are not regular (gaps, irregular or repeated steps)."""
    bad = ~np.isfinite(table.values)
    if bad.any():
        for j in np.flatnonzero(_per_series(table, bad.astype(np.int8), np.maximum) == 1):
            at = table.rows(j)
            series = Series(table.values[at][None, :], [table.keys[j]], table.index_of(j), True)
            try:
                check_finite(series, [table.given[at]])
            except NotFinite as e:
                table.refuse(j, "missing values", str(e))
    missing = np.asarray(table.times.isna())
    if missing.any():
        counts = _per_series(table, missing.astype(np.int64), np.add)
        for j in np.flatnonzero([c is not None and c > 0 for c in counts]):
            table.refuse(j, "missing values", f"{int(counts[j])} time stamps are missing")
    kinds, steps = _exactly_regular(table, numbers_of(table.times))
    for j in range(len(table)):
        if table.status[j] != "ok":
            continue
        if kinds[j] is not None:
            table.regular[j] = (kinds[j], steps[j])
            continue
        try:
            regularity(table.index_of(j))
        except IrregularIndex as e:
            table.refuse(j, "irregular", str(e))


def _stamps(index):
    """The index as the rows of a CSV time column, one a line: ISO 8601 stamps for dates (in UTC)
    and periods (their start), numbers of seconds for time spans and numbers, and the sample
    numbers for labels of any other kind."""
    if isinstance(index, pd.PeriodIndex):
        index = index.to_timestamp()
    if isinstance(index, pd.DatetimeIndex):
        if index.tz is not None:
            index = index.tz_convert("UTC").tz_localize(None)
        ns = index.asi8
        unit = "D" if not (ns % (86400 * 10 ** 9)).any() else "s" if not (ns % 10 ** 9).any() else "ns"
        return np.datetime_as_string(index.to_numpy(), unit=unit)
    if isinstance(index, pd.TimedeltaIndex):
        return np.array([f"{n // 10 ** 9}.{n % 10 ** 9:09d}" for n in index.asi8.tolist()])
    if is_numbers(index.dtype):
        return np.array([repr(v) for v in np.asarray(index).tolist()])
    return None


def analyse_table(table, settings, threads):
    """The library's analysis of every series not refused, each on its own, and for each series
    its outcome: the library's dict, or the status of what refused it."""
    asked = [j for j in range(len(table)) if table.status[j] == "ok"]
    # A day of hourly data has the week for a second cycle, as for tramel.analyse.
    requests = [{"values": table.values[table.rows(j)], "stamps": None,
                 "step_seconds": step_seconds(table.index_of(j))} for j in asked]
    if settings["frame_length"] == 0:
        # The stamps' text, once for the series whose stamps are the same.
        numbers = numbers_of(table.times)
        texts = {}
        for j, request in zip(asked, requests):
            at = table.rows(j)
            key = numbers[at].tobytes() if numbers is not None else at.stop - at.start
            if key not in texts:
                stamps = _stamps(table.index_of(j))
                texts[key] = "\n".join(stamps if stamps is not None else map(str, range(at.stop - at.start)))
            request["stamps"] = texts[key]
    raw = _tramel.analyse_table(requests, settings, threads_of(threads))
    outcomes = [{"status": table.status[j], "message": table.messages[j], "frame": None,
                 "left_out": 0, "model": None, "forecast": None, "intervals": [], "warnings": [],
                 "backtest": None} for j in range(len(table))]
    for j, outcome in zip(asked, raw):
        outcomes[j] = outcome
    return outcomes


def _message(outcome, samples):
    """What a series' outcome says: the words of its stop, or its warnings and the samples left
    out before its last whole frames."""
    if outcome["status"] != "ok":
        return " ".join(outcome["message"].split())  # the report's words, without its columns
    said = list(outcome["warnings"])
    if outcome["left_out"]:
        said.append(f"the first {outcome['left_out']} samples, before the last "
                    f"{(samples - outcome['left_out']) // outcome['frame']} whole frames, take no part")
    return "; ".join(said)


def _finite(values):
    """NaN for what is not finite, as tramel.json's null reads back."""
    return np.where(np.isfinite(values), values, np.float32(np.nan)).astype(np.float32)


class _Continuations:
    """The time stamps that follow each series' last: by arithmetic for dates without a time zone
    and numbers that step exactly; else as tramel.analyse continues the series' index, once for
    all the series that end at the same stamp and step alike."""

    def __init__(self, table):
        self.table = table
        self.known = {}
        times = table.times
        self.plain = (isinstance(times, pd.DatetimeIndex) and times.tz is None) or is_numbers(times.dtype)

    def after(self, j, left_out, count):
        table = self.table
        regular = table.regular[j]
        last = table.times[table.ends[j] - 1]
        if regular is not None and regular[0] == "step" and self.plain:
            ahead = np.arange(1, count + 1, dtype=np.asarray(regular[1]).dtype)
            if isinstance(table.times, pd.DatetimeIndex):
                return pd.DatetimeIndex(last.value + regular[1] * ahead, name=table.times.name)
            return pd.Index(last + regular[1] * ahead, name=table.times.name)
        key = (last, regular, count) if regular is not None else None
        if key not in self.known or key is None:
            analysed = table.index_of(j)[left_out:]
            self.known[key] = forecast_index(analysed, len(analysed), count)
        return self.known[key]


def table_of(table, outcomes, levels, id_col, time_col):
    """The forecast table: a row per forecast sample of each series that was forecast, one row
    (without a time or a forecast) for each that was not; in the order of the series."""
    continuations = _Continuations(table)
    which, times, at, values = [], [], [], []
    bounds = {f"{side}-{level_text(level)}": [] for level in levels for side in ("lo", "hi")}
    counts = []
    rows = 0
    for j, o in enumerate(outcomes):
        forecast = o["forecast"]
        count = len(forecast) if forecast is not None else 1
        counts.append(count)
        if forecast is None:
            values.append(np.full(1, np.nan, np.float32))
            for v in bounds.values():
                v.append(values[-1])
        else:
            times.append(continuations.after(j, o["left_out"], count))
            at.append(np.arange(rows, rows + count))
            values.append(forecast)
            for level, lower, upper in o["intervals"]:
                bounds[f"lo-{level_text(level)}"].append(lower)
                bounds[f"hi-{level_text(level)}"].append(upper)
        rows += count
    repeat = np.repeat(np.arange(len(table)), counts)
    column = {id_col: pd.Index(table.keys).take(repeat)}
    if times:
        stamps = pd.Series(times[0].append(times[1:]) if len(times) > 1 else times[0],
                           index=np.concatenate(at))
        column[time_col] = stamps.reindex(pd.RangeIndex(rows)).array
    else:
        column[time_col] = pd.array([pd.NaT] * rows, dtype="datetime64[ns]")
    out = pd.DataFrame(column)
    out["forecast"] = _finite(np.concatenate(values) if values else np.array([], np.float32))
    for name, v in bounds.items():
        out[name] = _finite(np.concatenate(v) if v else np.array([], np.float32))
    for name, take in (("model", lambda o: o["model"]), ("status", lambda o: o["status"])):
        out[name] = np.array([take(o) for o in outcomes], dtype=object)[repeat]
    out.insert(len(out.columns) - 1, "frame", pd.array([o["frame"] for o in outcomes], dtype="Int64")[repeat])
    samples = table.ends - table.starts
    out["message"] = np.array([_message(o, samples[j]) for j, o in enumerate(outcomes)], dtype=object)[repeat]
    return out


def table_series(data, id_col, time_col, value_col):
    """The series of a long or a wide table, those that tramel.analyse would refuse refused."""
    if is_long(data, id_col):
        table = long_table(data, id_col, time_col, value_col)
    else:
        table = wide_table(data, id_col)
    check_table(table)
    return table


def local_forecast(data, *, id_col, time_col, value_col, settings, threads):
    """The forecast table of a pandas table, on this machine."""
    table = table_series(data, id_col, time_col, value_col)
    outcomes = analyse_table(table, settings, threads)
    return table_of(table, outcomes, settings["interval_levels"], id_col, time_col)


def local_scores(data, *, id_col, time_col, value_col, settings, threads):
    """The backtest scores of every series of a pandas table, on this machine: a row per series,
    method and step (one row for a series that was not scored)."""
    table = table_series(data, id_col, time_col, value_col)
    outcomes = analyse_table(table, settings, threads)
    levels = settings["interval_levels"]
    covers = [f"cover_{level_text(level)}" for level in levels]
    samples = table.ends - table.starts
    rows = []
    for j, o in enumerate(outcomes):
        about = {"model": o["model"], "frame": o["frame"], "status": o["status"],
                 "message": _message(o, samples[j])}
        scored = score_rows(o["backtest"], levels, o["model"]) if o["backtest"] is not None else []
        for row in scored or [{"method": None, "step": None, "mase": np.nan, "rmse": np.nan,
                               "origins": 0, "missed": 0, **{c: np.nan for c in covers}}]:
            rows.append({id_col: table.keys[j], **row, **about})
    columns = [id_col, "method", "step", "mase", "rmse", "origins", "missed", *covers, "model",
               "frame", "status", "message"]
    scores = pd.DataFrame(rows, columns=columns)
    scores["step"] = scores["step"].astype("Int64")
    scores["frame"] = scores["frame"].astype("Int64")
    return scores


def summary_of(scores, id_col):
    """Per step, the model in use (what auto chose, series by series), as-specified and
    seasonal naive over the series scored: how many, their mean and median MASE, and the share
    of them whose MASE is below seasonal naive's."""
    ok = scores[scores["status"] == "ok"]
    mase = ok.set_index([id_col, "step", "method"])["mase"].unstack("method")
    in_use = ok.groupby([id_col, "step"])["model"].first().reindex(mase.index)
    columns = mase.columns.get_indexer(in_use.to_numpy())
    by_method = {"model": np.where(columns >= 0, mase.to_numpy()[np.arange(len(mase)), columns], np.nan)}
    for method in ("as-specified", "seasonal naive"):
        by_method[method] = mase[method].to_numpy() if method in mase.columns else np.full(len(mase), np.nan)
    steps = mase.index.get_level_values("step").to_numpy()
    naive = by_method["seasonal naive"]
    rows = []
    for step in np.unique(steps):
        at = steps == step
        for method, values in by_method.items():
            v, against = values[at].astype(np.float64), naive[at].astype(np.float64)
            scored = np.isfinite(v)
            both = scored & np.isfinite(against)
            rows.append({"step": int(step), "method": method, "series": int(scored.sum()),
                         "mase_mean": v[scored].mean() if scored.any() else np.nan,
                         "mase_median": np.median(v[scored]) if scored.any() else np.nan,
                         "beats_naive": (v[both] < against[both]).mean()
                         if both.any() and method != "seasonal naive" else np.nan})
    return pd.DataFrame(rows, columns=["step", "method", "series", "mase_mean", "mase_median",
                                       "beats_naive"]).set_index(["step", "method"])


class TableBacktest:
    """The backtest of every series of a table.

    scores   DataFrame, a row per series, method and step: the id, method, step, MASE, RMSE,
             the origins scored and missed, interval coverage (cover_LEVEL), the model in use
             (what auto chose), the frame, the series' status and message; one row with its
             status and message for a series that was not scored
    summary  DataFrame per step and method (the model in use, as-specified, seasonal naive):
             the series scored, their mean and median MASE, and beats_naive, the share of them
             whose MASE is below seasonal naive's
    """

    def __init__(self, scores, id_col):
        self.scores = scores
        self.summary = summary_of(scores, id_col)

    def __repr__(self):
        series = self.scores.iloc[:, 0].nunique()
        ok = self.scores.loc[self.scores["status"] == "ok"].iloc[:, 0].nunique()
        return (f"<tramel.TableBacktest: {ok} of {series} series scored>\n"
                f"{self.summary.to_string()}")


def forecast(data, *, id_col="unique_id", time_col="ds", value_col="y", frame=None, ahead=1,
             model="auto", intervals=DEFAULT_INTERVALS, band=None, threshold=0.99, lags=1,
             taper=0.0, threads=None, client=None, partitions=None, transform=None):
    """The forecast of every series of a table, each analysed on its own as tramel.analyse
    analyses it alone, over its last whole frames (so that the forecast follows its last
    value). A series that cannot be analysed or whose analysis stops gets a status and a
    message, and the others go on.

    data       a long table: a pandas DataFrame with a row per series id, time stamp and value
               (in any order), or a Dask DataFrame of one; or a wide one: a pandas DataFrame
               with a column per series and the time as the index (the missing values before a
               column's first value and after its last are left out)
    id_col, time_col, value_col   the long table's columns (the id may be its index); the
               output's id and time columns take these names
    frame      the frame length in samples; None (the default): each series' frame as
               `tramel init` chooses it for its time stamps (12 for monthly data, 24 for hourly,
               ...; else the lag of the autocorrelation's highest peak), its band from bin 1 to
               the last below Nyquist
    ahead      the frames forecast (1 to 10)
    model, intervals, threshold, lags, taper, transform   as tramel.analyse takes them (hourly
               series in frames of a day also weigh the week, as there)
    band       (first_bin, last_bin), with a frame only
    threads    threads to share the series over (default: every core the process may use; on a
               cluster, each task's, default 1)
    client     a dask.distributed Client: the series go to its workers in parts of whole series
               (a Dask DataFrame goes to the default scheduler without one)
    partitions with a client and a pandas table, the parts it is cut into (default: 4 per
               worker thread)

    The time stamps must be regular, as for tramel.analyse: a gap, an irregular step, a repeated
    stamp or a missing value stops that series only.

    Returns a DataFrame: id_col, time_col, forecast, lo-LEVEL and hi-LEVEL for each interval
    level, model (what auto chose), frame, status ("ok", "missing values", "irregular",
    "too short", "too long", "no frame", "no significant bins", "stopped") and message (a
    stop's words, or an ok series' warnings); a row per forecast sample of each ok series, one
    row (no time, no forecast) for each other; the series in the order of the sorted ids (the
    columns' order for a wide table). Raises ValueError for settings no series could meet."""
    settings = settings_of(frame, band=band, threshold=threshold, lags=lags, ahead=ahead,
                           taper=taper, model=model, intervals=intervals, ols_errors=False,
                           frame_chosen=True, transform=transform)
    return _over_table(data, local_forecast, dict(id_col=id_col, time_col=time_col,
                                                  value_col=value_col, settings=settings),
                       threads=threads, client=client, partitions=partitions)


def backtest_table(data, *, frame, origins, settings_args, id_col, time_col, value_col, threads,
                   client, partitions):
    """tramel.backtest of a table (see tramel.backtest)."""
    settings = settings_of(frame, backtest_origins=origins, frame_chosen=True, **settings_args)
    scores = _over_table(data, local_scores, dict(id_col=id_col, time_col=time_col,
                                                  value_col=value_col, settings=settings),
                         threads=threads, client=client, partitions=partitions)
    return TableBacktest(scores, id_col)


def _over_table(data, call, where, *, threads, client, partitions):
    """`call` (local_forecast, local_scores) on the table here, or on a Dask cluster."""
    if client is not None or is_dask(data):
        from ._cluster import on_cluster  # which needs this module
        return on_cluster(data, client, call, where, threads=threads, partitions=partitions)
    return call(data, threads=threads, **where)
