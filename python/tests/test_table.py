"""Tables of series: every series of a long or wide table forecast on its own with the numbers
and time stamps of tramel.analyse on it alone, the bad ones each with a status while the others
go on, the frame chosen as `tramel init` chooses it, and the backtest of a table."""
import os
import re
import subprocess
import warnings

import numpy as np
import pandas as pd
import pytest

import tramel
from conftest import PROGRAM

RNG = np.random.default_rng(31)
MONTHS = pd.date_range("2000-01-01", periods=240, freq="MS")


def seasonal(n, k=0, period=12):
    t = np.arange(n)
    return 50 + 0.05 * t + 8 * np.sin(2 * np.pi * t / period + k) + RNG.normal(0, 1, n)


def long(key, values, times):
    return pd.DataFrame({"unique_id": key, "ds": times, "y": values})


def alone(series, frame, **options):
    """tramel.analyse on a series' last whole frames."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", tramel.TramelWarning)
        return tramel.analyse(series.iloc[len(series) % frame:], frame, **options)


def assert_as_alone(rows, series, **options):
    """The forecast rows of one series are tramel.analyse's on it alone: numbers, bounds, time
    stamps and model."""
    frame = int(rows["frame"].iloc[0])
    r = alone(series, frame, **options)
    np.testing.assert_array_equal(rows["forecast"].to_numpy(), np.asarray(r.forecast))
    for level in r.lower:
        np.testing.assert_array_equal(rows[f"lo-{level}"].to_numpy(), np.asarray(r.lower[level]))
        np.testing.assert_array_equal(rows[f"hi-{level}"].to_numpy(), np.asarray(r.upper[level]))
    assert list(rows["ds"]) == list(r.forecast.index)
    assert (rows["model"] == r.model).all() and (rows["status"] == "ok").all()


def test_a_long_table_of_500_series_with_bad_ones():
    parts = {f"s{k:03d}": long(f"s{k:03d}", seasonal(240, k), MONTHS) for k in range(500)}
    parts["s007"] = long("s007", seasonal(245, 7), pd.date_range("2000-01-01", periods=245, freq="MS"))
    parts["s010"].loc[100, "y"] = np.nan
    parts["s011"] = parts["s011"].drop(index=[50])                    # a gap
    parts["s012"] = pd.concat([parts["s012"], parts["s012"].iloc[[9]]])  # a repeated stamp
    parts["s013"].loc[3, "ds"] = pd.NaT
    parts["s014"] = parts["s014"].iloc[:20]                             # too short
    parts["s015"].loc[5, "y"] = np.inf
    table = pd.concat(parts.values(), ignore_index=True).sample(frac=1, random_state=3)
    out = tramel.forecast(table)
    bad = {"s010": ("missing values", r"^value 100 \(index 2008-05-01 00:00:00\) is NaN"),
           "s011": ("irregular", r"^the index is not regular at position 50 .*2 months after"),
           "s012": ("irregular", r"^the index is not regular at position 10 .*not later than"),
           "s013": ("missing values", r"^1 time stamps are missing"),
           "s014": ("too short", r"too few for the calendar's frame"),
           "s015": ("missing values", r"^value 5 .* is infinite")}
    # Every series once, in the order of the ids; a row per forecast sample of the good ones,
    # one row with the status and message of each bad one.
    assert list(out["unique_id"].unique()) == sorted(parts)
    assert list(out.columns) == ["unique_id", "ds", "forecast", "lo-80", "hi-80", "lo-95", "hi-95",
                                 "model", "frame", "status", "message"]
    rows = out.groupby("unique_id", sort=False)
    counts = rows.size()
    for key, (status, message) in bad.items():
        row = out[out["unique_id"] == key]
        assert len(row) == 1 and row["status"].iloc[0] == status, (key, row)
        assert re.search(message, row["message"].iloc[0]), (key, row["message"].iloc[0])
        assert row["forecast"].isna().all() and row["ds"].isna().all()
    good = counts.drop(list(bad))
    assert (rows["status"].first().drop(list(bad)) == "ok").all()
    assert (good == 12).all() and out.loc[out["status"] == "ok", "forecast"].notna().all()
    # A few series against tramel.analyse on each alone: one whose first 5 samples are left out
    # so that its forecast follows its last value.
    for key in ("s000", "s007", "s321", "s499"):
        series = parts[key].set_index("ds")["y"]
        assert_as_alone(out[out["unique_id"] == key], series)
    assert "the first 5 samples, before the last 20 whole frames" in \
        out.loc[out["unique_id"] == "s007", "message"].iloc[0]
    assert out.loc[out["unique_id"] == "s007", "ds"].iloc[0] == pd.Timestamp("2020-06-01")
    # The same table on one thread.
    pd.testing.assert_frame_equal(tramel.forecast(table, threads=1), out)


def test_a_wide_table_and_the_time_axes_of_a_long_one():
    values = seasonal(240)
    hourly = np.sin(2 * np.pi * np.arange(24 * 21) / 24) + RNG.normal(0, 0.1, 24 * 21)
    cases = [
        ("month starts", values, MONTHS),
        ("month ends", values, pd.date_range("2000-01-31", periods=240, freq="M")),
        ("periods", values, pd.period_range("2000-01", periods=240, freq="M")),
        ("text dates", values, [str(d.date()) for d in MONTHS]),
        ("hours in a time zone", hourly, pd.date_range("2021-03-01", periods=len(hourly), freq="H",
                                                       tz="Europe/Paris")),
        ("numbers", values, np.arange(240) * 0.25),
        ("time spans", values, pd.to_timedelta(np.arange(240), unit="min")),
    ]
    for name, y, times in cases:
        out = tramel.forecast(long("a", y, times), frame=12 if len(y) == 240 else 24)
        index = pd.Index(pd.to_datetime(times) if name == "text dates" else times)
        assert_as_alone(out, pd.Series(y, index=index))
    # A wide table: a column per series, the missing values around each left out.
    wide = pd.DataFrame({"a": seasonal(240), "b": seasonal(240, 2)}, index=MONTHS)
    wide.iloc[:30, 1] = np.nan
    out = tramel.forecast(wide, frame=12, model="levels", intervals=(90,))
    assert list(out.columns[2:5]) == ["forecast", "lo-90", "hi-90"]
    for key in ("a", "b"):
        assert_as_alone(out[out["unique_id"] == key], wide[key].dropna(), model="levels",
                        intervals=(90,))


def init_frame(tmp_path, times, values):
    """The frame `tramel init` chooses for a CSV file of these stamps and values."""
    folder = tmp_path / f"init{len(list(tmp_path.iterdir()))}"
    folder.mkdir()
    pd.DataFrame({"time": times, "value": values}).to_csv(folder / "data.csv", index=False)
    done = subprocess.run([PROGRAM, "init", str(folder / "data.csv")], capture_output=True, text=True,
                          stdin=subprocess.DEVNULL)
    assert done.returncode == 0, done.stderr
    return int(re.search(r"frame length: (\d+) samples", done.stdout).group(1))


def test_the_frame_of_each_series_is_the_one_tramel_init_chooses(tmp_path):
    n = 24 * 21
    cases = {
        "monthly": (MONTHS, seasonal(240)),
        "quarterly": (pd.date_range("1990-01-01", periods=96, freq="QS"), seasonal(96, period=4)),
        "hourly": (pd.date_range("2021-01-04", periods=n, freq="H"), seasonal(n, period=24)),
        "daily": (pd.date_range("2021-01-04", periods=140, freq="D"), seasonal(140, period=7)),
        "every 10 s": (pd.date_range("2021-01-04", periods=300, freq="10S"), seasonal(300, period=17)),
    }
    table = pd.concat([long(key, y, t) for key, (t, y) in cases.items()], ignore_index=True)
    out = tramel.forecast(table).groupby("unique_id")["frame"].first()
    for key, (times, values) in cases.items():
        stamps = times.strftime("%Y-%m-%d" if key in ("monthly", "quarterly", "daily") else "%Y-%m-%dT%H:%M:%S")
        # init reads the values as the table's float32
        assert out[key] == init_frame(tmp_path, stamps, values.astype(np.float32)), key


def test_the_backtest_of_a_table():
    table = pd.concat([long(f"s{k}", seasonal(240, k), MONTHS) for k in range(6)]
                      + [long("short", seasonal(60), MONTHS[:60])], ignore_index=True)
    done = tramel.backtest(table, origins=6, ahead=2)
    scores = done.scores
    assert set(scores["unique_id"]) == {f"s{k}" for k in range(6)} | {"short"}
    short = scores[scores["unique_id"] == "short"]
    assert len(short) == 1 and short["status"].iloc[0] == "too short"
    # Each series' scores are tramel.backtest's on it alone.
    for key in ("s0", "s5"):
        mine = scores[scores["unique_id"] == key].reset_index(drop=True)
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", tramel.TramelWarning)
            theirs = tramel.backtest(table[table["unique_id"] == key].set_index("ds")["y"], 12,
                                     origins=6, ahead=2).scores
        pd.testing.assert_frame_equal(mine[theirs.columns], theirs, check_dtype=False)
    # The summary: per step the model in use, as-specified and seasonal naive, over the 6
    # series scored.
    summary = done.summary
    assert list(summary.index) == [(step, method) for step in (1, 2)
                                   for method in ("model", "as-specified", "seasonal naive")]
    in_use = scores[(scores["method"] == scores["model"]) & (scores["step"] == 1)]
    assert summary.loc[(1, "model"), "series"] == 6
    assert summary.loc[(1, "model"), "mase_mean"] == pytest.approx(in_use["mase"].mean())
    naive = scores[(scores["method"] == "seasonal naive") & (scores["step"] == 1)]
    beats = (in_use["mase"].to_numpy() < naive["mase"].to_numpy()).mean()
    assert summary.loc[(1, "model"), "beats_naive"] == pytest.approx(beats)


def test_what_a_table_refuses_as_a_whole():
    table = long("a", seasonal(240), MONTHS)
    cases = [
        (dict(id_col="series"), r"a long table needs the column 'series' \(id_col= names it"),
        (dict(band=(1, 3)), r"^band needs a frame"),
        (dict(threshold=1.5), r"^Coherence threshold 1.5"),
        (dict(frame=3), r"Frame length = 3 < 4"),
    ]
    for options, words in cases:
        with pytest.raises(ValueError, match=words):
            tramel.forecast(table, **options)
    with pytest.raises(ValueError, match=r"^1 rows of the table have no unique_id"):
        tramel.forecast(table.assign(unique_id=["a"] * 239 + [None]))
    with pytest.raises(ValueError, match=r"column 'label' is not a series of numbers"):
        tramel.forecast(pd.DataFrame({"label": ["x"] * 240, "y": seasonal(240)}, index=MONTHS))
