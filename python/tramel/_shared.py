"""What the calls of the package share: the conversion of their arguments (the library checks
their values against its rules), the kinds of data they tell apart, the words of interval
levels, and the warnings said."""
import math
import numbers
import operator
import warnings

import pandas as pd


class TramelWarning(UserWarning):
    """A warning of the analysis (tramel's own words), or of the module about its input."""


def whole(value, what):
    """An integer setting: ints (and numpy integers) only."""
    try:
        return operator.index(value)
    except TypeError:
        raise TypeError(f"{what} must be a whole number, not {value!r}") from None


def real(value, what):
    """A real setting: any real number but a bool."""
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


def level_text(level):
    """80.0 -> '80', 97.5 -> '97.5'."""
    return f"{level:g}" if math.isfinite(level) else str(level)


def say_warnings(texts, label, stacklevel):
    """The library's warnings through the warnings module, each after `label` when given."""
    for text in texts:
        warnings.warn(f"{label}: {text}" if label else text, TramelWarning, stacklevel=stacklevel + 1)


def is_numbers(dtype):
    """Whether a pandas or numpy dtype holds numbers (booleans are not)."""
    return pd.api.types.is_numeric_dtype(dtype) and not pd.api.types.is_bool_dtype(dtype)


def is_dask(data):
    """Whether `data` is a Dask collection (without importing Dask)."""
    return type(data).__module__.split(".")[0] == "dask"
