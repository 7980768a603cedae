"""What the calls take in and give back: numpy arrays and pandas objects turned into float32
series (the program's samples are single precision), and the time index of a forecast."""
import warnings

import numpy as np
import pandas as pd

from ._shared import TramelWarning, is_numbers


class IrregularIndex(ValueError):
    """An index with a gap or an irregular step."""


class NotFinite(ValueError):
    """A value that is NaN, infinite or beyond single precision."""


class Series:
    """The series of one call: float32 rows (one series a row), their names, the input's
    index (None for numpy input) and whether the input was a single series."""

    def __init__(self, rows, names, index, single):
        self.rows = rows
        self.names = names
        self.index = index
        self.single = single

    @property
    def samples(self):
        return self.rows.shape[1]

    def label(self, j):
        """How messages name series j: its name, or its number from 1."""
        name = self.names[j]
        if name is None:
            return f"series {j + 1}"
        return f"series {name!r}"


def float32(values, what):
    """The values as float32, each the nearest single-precision number to its value, as the
    data reader makes them."""
    values = np.asarray(values)
    if values.dtype == object or not (np.issubdtype(values.dtype, np.floating)
                                      or np.issubdtype(values.dtype, np.integer)
                                      or values.dtype == np.bool_):
        raise TypeError(f"{what} must be numbers, not {values.dtype}")
    if values.dtype == np.float32:
        return values
    with np.errstate(over="ignore", invalid="ignore"):
        return values.astype(np.float32)


def column_values(column):
    """A pandas Series' values as a plain numeric array, missing values as NaN."""
    if pd.api.types.is_extension_array_dtype(column.dtype):
        return column.to_numpy(dtype=np.float64, na_value=np.nan)
    return column.to_numpy()


def series_of(data):
    """The series of `data`: a 1-D array or pandas Series (one series), a 2-D array (series
    in columns) or a DataFrame (one series a column)."""
    if isinstance(data, pd.DataFrame):
        columns = [column_values(data.iloc[:, j]) for j in range(data.shape[1])]
        names, index, single = list(data.columns), data.index, False
    elif isinstance(data, pd.Series):
        columns, names, index, single = [column_values(data)], [data.name], data.index, True
    else:
        values = np.asarray(data)
        index = None
        single = values.ndim == 1
        if values.ndim not in (1, 2):
            raise ValueError(f"data must be one series or series in columns (1 or 2 "
                             f"dimensions), not {values.ndim} dimensions")
        columns = [values] if single else [values[:, j] for j in range(values.shape[1])]
        names = [None] * len(columns)
    if not columns:
        raise ValueError("data hold no series")
    if index is not None:
        regularity(index)
    rows = np.stack([float32(c, "data") for c in columns])
    series = Series(np.ascontiguousarray(rows), names, index, single)
    check_finite(series, columns)
    return series


def check_finite(series, columns):
    """NaN, infinite values and values beyond single precision are refused (NotFinite), naming
    the first."""
    rows = series.rows
    bad = ~np.isfinite(rows)
    if not bad.any():
        return
    j = int(np.argmax(bad.any(axis=1)))
    i = int(np.argmax(bad[j]))
    where = f"value {i}" if series.single else f"value {i} of {series.label(j)}"
    if series.index is not None:
        where += f" (index {series.index[i]})"
    value = columns[j][i]
    if np.isnan(rows[j, i]):
        raise NotFinite(f"{where} is NaN: the analysis needs finite values "
                         "(drop or fill the missing values first)")
    if np.isfinite(value):
        raise NotFinite(f"{where} is {value!r}, beyond single precision (the program's samples "
                         "are float32, at most about 3.4e38 in magnitude)")
    raise NotFinite(f"{where} is infinite: the analysis needs finite values")


def numbers_of(index):
    """The labels as numbers that keep their order and spacing: nanoseconds, period ordinals or
    the numbers themselves; None for labels of another kind."""
    if isinstance(index, (pd.DatetimeIndex, pd.TimedeltaIndex, pd.PeriodIndex)):
        return index.asi8
    if is_numbers(index.dtype):
        return np.asarray(index)
    return None


class Regularity:
    """How a regular index steps: `months` calendar months (labels on the same day of the month,
    or on month ends: `month_ends`), or a fixed step, the mean of `span` over `steps`, both in
    units of the labels' last digit, `digit` (nanoseconds for dates and time spans)."""

    def __init__(self, months=0, month_ends=False, span=0, steps=0, digit=1):
        self.months = months
        self.month_ends = month_ends
        self.span = span
        self.steps = steps
        self.digit = digit


# The lengths a label's last digit may have, in nanoseconds: powers of ten up to a second, a
# minute, a day.
_DIGITS_NS = [10 ** k for k in range(10)] + [60 * 10 ** 9, 86400 * 10 ** 9]


def _last_digit(values):
    """The length of the last digit all `values` (integer nanoseconds) are written to."""
    length = 1
    for d in _DIGITS_NS:
        if np.all(values % d == 0):
            length = d
    return length


def _months_text(months):
    return f"{months} month" + ("" if months == 1 else "s")


def _step_text(index, step):
    if isinstance(index, (pd.DatetimeIndex, pd.TimedeltaIndex)):
        return str(pd.Timedelta(int(step), unit="ns"))
    return f"{step:g}" if isinstance(step, float) else str(step)


def regularity(index):
    """The Regularity of an index, as the program's rule for a time column: whole calendar
    months, or each step within 1 % of the median step or, where rounding explains it, the
    mean step rounded down or up to the labels' last digit (neither when that comes to half a
    step). Raises ValueError naming the first label that breaks it (IrregularIndex). None for an
    index that needs no check (a RangeIndex, a DatetimeIndex
    with a frequency) or has no spacing (labels that are no numbers, dates or periods)."""
    if len(index) < 2 or isinstance(index, (pd.RangeIndex, pd.MultiIndex, pd.CategoricalIndex)):
        return None
    if isinstance(index, pd.DatetimeIndex) and index.freq is not None:
        return None  # regular in its frequency (business days too) by pandas' own check
    values = numbers_of(index)
    if values is None:
        return None
    if isinstance(index, (pd.DatetimeIndex, pd.TimedeltaIndex)):
        digit = _last_digit(values)
    else:  # period ordinals and whole numbers count in ones; other numbers have no last digit
        digit = 1 if np.issubdtype(values.dtype, np.integer) else 0
    n = len(values)
    steps = np.diff(values)
    # Calendar months (dates only): the labels on the same day of the month, or each on a
    # month's last day, at one time of day, the same number of months apart.
    calendar_break = 1
    if isinstance(index, pd.DatetimeIndex):
        m = np.asarray(index.year * 12 + index.month, dtype=np.int64)
        day, times = np.asarray(index.day), np.asarray(index - index.normalize())
        ends = np.asarray(index.is_month_end)
        first_months = m[1] - m[0]
        month_ends = bool(day[1] != day[0] and ends[0] and ends[1])
        if first_months >= 1 and times[1] == times[0] and (day[1] == day[0] or month_ends):
            fits = (np.diff(m) == first_months) & (times[1:] == times[0])
            fits &= ends[1:] if month_ends else day[1:] == day[0]
            calendar_break = int(np.argmin(fits)) + 1 if not fits.all() else n
        if calendar_break == n:
            return Regularity(months=int(first_months), month_ends=month_ends)
    # A fixed step.
    median = np.partition(steps, (len(steps) - 1) // 2)[(len(steps) - 1) // 2]
    tolerance = median // 100 if digit else median / 100
    if 2 * tolerance >= median:
        tolerance = 0
    # Where rounding explains it, the mean step rounded down or up to the last digit (the two
    # differ only when the mean step is no whole number of the digit).
    below = above = 0
    if digit and 2 * digit < median:
        units, left = divmod(int(values[-1] - values[0]), digit)
        below = units // (n - 1) * digit
        above = below + (digit if units % (n - 1) or left else 0)
        if below == above:
            below = above = 0
    rounded = (steps == below) | (steps == above) if above else np.zeros(len(steps), dtype=bool)
    bad = ~((np.abs(steps - median) <= tolerance) | rounded) | ~(steps > 0)
    fixed_break = int(np.argmax(bad)) + 1 if bad.any() else n
    if fixed_break == n:
        digit = digit or 1
        return Regularity(span=(values[-1] - values[0]) // digit if isinstance(digit, int) else
                          values[-1] - values[0], steps=n - 1, digit=digit)
    # Said by the rule that held longer, as the program says it.
    by_months = 1 < calendar_break >= fixed_break
    i = calendar_break if by_months else fixed_break
    step = steps[i - 1]
    where = f"the index is not regular at position {i} (label {index[i]}): "
    if not step > 0:
        what = f"it is not later than the one before ({index[i - 1]})"
    elif by_months:
        on_day = times[i] == times[0] and (ends[i] if month_ends else day[i] == day[0])
        found = _months_text(m[i] - m[i - 1]) if on_day else _step_text(index, step)
        what = (f"it is {found} after the one before ({index[i - 1]}), but the first two labels "
                f"are {_months_text(first_months)} apart")
    else:
        what = (f"it is {_step_text(index, step)} after the one before ({index[i - 1]}), but the "
                f"labels are {_step_text(index, median)} apart (the median step, ")
        rules = ([f"within {_step_text(index, tolerance)} of it, 1 % of it"] if tolerance else []) + (
            [f"the mean step rounded to the labels' last digit, {_step_text(index, below)} or "
             f"{_step_text(index, above)}"] if above else [])
        what += "each step " + ", or ".join(rules) + ")" if rules else "which every step must be)"
    raise IrregularIndex(where + what + ": the analysis takes its samples one after another, so a gap or "
                     "an irregular step would move the later ones; fill in the missing rows or "
                     "resample, or pass the values alone (data.to_numpy(), with sampling=) to "
                     "analyse them as consecutive samples")


def step_seconds(index):
    """The seconds from one label to the next of a regular index of dates or time spans (its
    mean step), or None (numbers, calendar months, a RangeIndex, no index)."""
    if not isinstance(index, (pd.DatetimeIndex, pd.TimedeltaIndex)) or len(index) < 2:
        return None
    if index.freq is not None:  # regular in it: a fixed step, or calendar months (none)
        try:
            return pd.Timedelta(index.freq).total_seconds()
        except (TypeError, ValueError):
            return None
    regular = regularity(index)
    if regular is None or regular.months or regular.steps <= 0:
        return None
    return regular.digit * regular.span / regular.steps / 1e9


def forecast_index(index, start, count):
    """The index of `count` forecast samples from position `start` of the input on: the input's
    own labels where they exist, then the labels that continue it (a DatetimeIndex or
    PeriodIndex by its frequency or its regular step, a RangeIndex or numeric index by its
    step). For numpy input (index None) the sample numbers."""
    positions = range(start, start + count)
    if index is None:
        return pd.RangeIndex(start, start + count, name="sample")
    n = len(index)
    inside = list(index[start:min(start + count, n)]) if start < n else []
    beyond = max(0, start + count - max(n, start))
    if isinstance(index, pd.RangeIndex):
        step = index.step
        first = index.start + start * step
        return pd.RangeIndex(first, first + count * step, step, name=index.name)
    if beyond <= 0:
        return pd.Index(inside, name=index.name)
    regular = regularity(index)
    later = range(max(n, start), start + count)
    if isinstance(index, (pd.DatetimeIndex, pd.PeriodIndex)):
        freq = index.freq
        if freq is None and isinstance(index, pd.DatetimeIndex) and n >= 3:
            freq = pd.infer_freq(index)
        if freq is not None:
            if isinstance(index, pd.PeriodIndex):
                more = pd.period_range(index[-1], periods=beyond + 1, freq=freq)[1:]
                return pd.PeriodIndex(inside + list(more), freq=freq, name=index.name)
            more = pd.date_range(index[-1], periods=beyond + 1, freq=freq)[1:]
            return pd.DatetimeIndex(inside + list(more), freq=freq, name=index.name)
    if regular is not None and regular.months:
        offset = (pd.offsets.MonthEnd(regular.months) if regular.month_ends
                  else pd.DateOffset(months=regular.months))
        return pd.DatetimeIndex(inside + [index[-1] + offset * (k - n + 1) for k in later],
                                name=index.name)
    if regular is not None and isinstance(index, (pd.DatetimeIndex, pd.TimedeltaIndex)):
        # The mean step, in the labels' last digit, so that labels finer than the spacing keep
        # their pattern, as the program's stamps after the data do.
        first, digit, span = int(index.asi8[0]), int(regular.digit), int(regular.span)
        ns = [first + digit * ((2 * k * span + regular.steps) // (2 * regular.steps)) for k in later]
        more = pd.to_datetime(ns) if isinstance(index, pd.DatetimeIndex) else pd.to_timedelta(ns)
        if isinstance(index, pd.DatetimeIndex) and index.tz is not None:
            more = more.tz_localize("UTC").tz_convert(index.tz)
        return pd.Index(inside + list(more), name=index.name)
    if regular is not None:
        first = index[0]
        if np.all(np.diff(np.asarray(index)) == index[1] - index[0]):
            return pd.Index(inside + [index[-1] + (index[1] - index[0]) * (k - n + 1) for k in later],
                            name=index.name)
        return pd.Index(inside + [first + regular.span * k / regular.steps for k in later],
                        name=index.name)
    warnings.warn("the input's index has no regular frequency or step to continue: the forecast "
                  "is indexed by sample numbers", TramelWarning, stacklevel=5)
    return pd.RangeIndex(positions.start, positions.stop, name="sample")
