"""What the calls take in and give back: numpy arrays and pandas objects turned into float32
series (the program's samples are single precision), and the time index of a forecast."""
import warnings

import numpy as np
import pandas as pd


class TramelWarning(UserWarning):
    """A warning of the analysis (tramel's own words), or of the module about its input."""


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


def _float32(values, what):
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


def _column_values(column):
    """A pandas Series' values as a plain numeric array, missing values as NaN."""
    if pd.api.types.is_extension_array_dtype(column.dtype):
        return column.to_numpy(dtype=np.float64, na_value=np.nan)
    return column.to_numpy()


def series_of(data):
    """The series of `data`: a 1-D array or pandas Series (one series), a 2-D array (series
    in columns) or a DataFrame (one series a column)."""
    if isinstance(data, pd.DataFrame):
        columns = [_column_values(data.iloc[:, j]) for j in range(data.shape[1])]
        names, index, single = list(data.columns), data.index, False
    elif isinstance(data, pd.Series):
        columns, names, index, single = [_column_values(data)], [data.name], data.index, True
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
    rows = np.stack([_float32(c, "data") for c in columns])
    series = Series(np.ascontiguousarray(rows), names, index, single)
    _check_finite(series, columns)
    return series


def _check_finite(series, columns):
    """NaN, infinite values and values beyond single precision are refused, naming the first."""
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
        raise ValueError(f"{where} is NaN: the analysis needs finite values "
                         "(drop or fill the missing values first)")
    if np.isfinite(value):
        raise ValueError(f"{where} is {value!r}, beyond single precision (the program's samples "
                         "are float32, at most about 3.4e38 in magnitude)")
    raise ValueError(f"{where} is infinite: the analysis needs finite values")


def _regular_step(index):
    """The constant step of a numeric index, or None."""
    if len(index) < 2 or not pd.api.types.is_numeric_dtype(index.dtype):
        return None
    steps = np.diff(np.asarray(index))
    if np.all(steps == steps[0]) and steps[0] != 0:
        return steps[0]
    return None


def forecast_index(index, start, count):
    """The index of `count` forecast samples from position `start` of the input on: the input's
    own labels where they exist, then the labels that continue it (a DatetimeIndex or
    PeriodIndex by its frequency, a RangeIndex or regular numeric index by its step). For numpy
    input (index None) the sample numbers."""
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
    else:
        step = _regular_step(index)
        if step is not None:
            last = index[-1]
            return pd.Index(inside + [last + step * (k + 1) for k in range(beyond)], name=index.name)
    if beyond <= 0:
        return pd.Index(inside, name=index.name)
    warnings.warn("the input's index has no regular frequency or step to continue: the forecast "
                  "is indexed by sample numbers", TramelWarning, stacklevel=5)
    return pd.RangeIndex(positions.start, positions.stop, name="sample")
