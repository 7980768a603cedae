"""pandas in, pandas out: forecasts indexed by the labels that continue the input's index, the
DataFrame of to_frame(), series by name; and the backtest's table against its scores and
against an analysis of the shortened sample."""
import warnings

import numpy as np
import pandas as pd
import pytest

import tramel
from conftest import data_path

NOTTEM = tramel.read_data(data_path("nottem")).values.iloc[:216, 0].to_numpy()  # 1920-1937
MONTHS = pd.date_range("1920-01-01", periods=216, freq="MS")


def quiet(call, *args, **kwargs):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", tramel.TramelWarning)
        return call(*args, **kwargs)


def test_a_monthly_series_is_forecast_on_the_months_that_follow():
    series = pd.Series(NOTTEM, index=MONTHS, name="nottem")
    r = quiet(tramel.analyse, series, 12, ahead=2)
    expected = pd.date_range("1938-01-01", "1939-12-01", freq="MS")
    assert isinstance(r.forecast, pd.Series) and r.forecast.name == "nottem"
    pd.testing.assert_index_equal(r.forecast.index, expected)
    for level in (80, 95):
        pd.testing.assert_index_equal(r.lower[level].index, expected)
        assert (r.lower[level] < r.forecast).all() and (r.forecast < r.upper[level]).all()
    frame = r.to_frame()
    assert list(frame.columns) == ["forecast", "lower_80", "upper_80", "lower_95", "upper_95"]
    pd.testing.assert_index_equal(frame.index, expected)
    # The same numbers as from the bare array.
    bare = quiet(tramel.analyse, NOTTEM, 12, ahead=2)
    assert isinstance(bare.forecast, np.ndarray) and bare.forecast.dtype == np.float32
    np.testing.assert_array_equal(bare.forecast, r.forecast.to_numpy())
    assert list(bare.to_frame().index) == list(range(216, 240))
    # Month ends, periods and a range index continue the same way.
    ends = quiet(tramel.analyse, pd.Series(NOTTEM, index=pd.date_range("1920-01-31", periods=216,
                                                                      freq="M")), 12)
    assert ends.forecast.index[0] == pd.Timestamp("1938-01-31")
    periods = quiet(tramel.analyse, pd.Series(NOTTEM, index=pd.period_range("1920-01", periods=216,
                                                                           freq="M")), 12)
    assert list(periods.forecast.index[[0, -1]]) == [pd.Period("1938-01", "M"), pd.Period("1938-12", "M")]
    ranged = quiet(tramel.analyse, pd.Series(NOTTEM, index=pd.RangeIndex(100, 532, 2)), 12)
    assert list(ranged.forecast.index) == list(range(532, 556, 2))
    # Without a frequency the index is inferred from the labels.
    unset = quiet(tramel.analyse, pd.Series(NOTTEM, index=pd.DatetimeIndex(list(MONTHS))), 12)
    assert unset.forecast.index[0] == pd.Timestamp("1938-01-01")


def test_the_forecast_follows_the_last_whole_frame():
    months = pd.date_range("1920-01-01", periods=221, freq="MS")
    data = np.concatenate([NOTTEM, NOTTEM[:5]])
    with pytest.warns(tramel.TramelWarning, match="the last 5 samples"):
        r = tramel.analyse(pd.Series(data, index=months), 12)
    assert r.forecast.index[0] == pd.Timestamp("1938-01-01")
    assert r.forecast.index[-1] == pd.Timestamp("1938-12-01")


def test_an_index_with_a_gap_or_an_irregular_step_is_refused():
    """As the program refuses such a time column: the first bad position and its label."""
    quarter = pd.date_range("2024-01-01", periods=216, freq="15min")
    micro = pd.date_range("2024-05-01 10:00", periods=216, freq="500us")
    ns = micro.asi8.copy()
    days = pd.Timestamp("2000-01-01") + pd.to_timedelta(np.cumsum(np.arange(216) % 3 + 1), unit="D")
    cases = [
        (pd.DatetimeIndex(list(quarter.delete(100)) + [quarter[-1] + pd.Timedelta("15min")]), 100,
         "2024-01-02 01:15:00"),                                    # a row dropped
        (pd.DatetimeIndex(days), 2, "2000-01-07"),                  # no fixed step
        (pd.DatetimeIndex(ns + np.where(np.arange(216) == 7, 6000, 0)), 7, "10:00:00.003506"),
        (pd.DatetimeIndex(list(MONTHS[:50]) + list(MONTHS[51:]) + [pd.Timestamp("1938-01-01")]),
         50, "1924-04-01"),                                         # a month missing
        (pd.Index(np.r_[np.arange(100), np.arange(101, 217)] * 0.5), 100, "50.5"),
        (pd.period_range("1920-01", periods=217, freq="M").delete(3), 3, "1920-05"),
        (pd.Index(list(range(100)) + [99] + list(range(101, 216))), 100, "99"),  # not later
    ]
    for index, position, label in cases:
        with pytest.raises(ValueError, match=rf"the index is not regular at position {position} "
                                             rf"\(label [^)]*{label}"):
            tramel.analyse(pd.Series(NOTTEM, index=index), 12, sampling=1.0)
    # Regular: within 1 % of the median step, or within the labels' last digit (stamps of a
    # third of a millisecond to the microsecond), or in a frequency pandas gives (business days).
    jitter = pd.DatetimeIndex(ns + np.where(np.arange(216) == 7, 4000, 0))
    thirds = pd.DatetimeIndex(pd.Timestamp("2024-05-01") + pd.to_timedelta(
        np.round(np.arange(216) * 1000 / 3), unit="us"))
    bare = quiet(tramel.analyse, NOTTEM, 12).forecast
    for index in (jitter, thirds, pd.bdate_range("2024-01-01", periods=216)):
        r = quiet(tramel.analyse, pd.Series(NOTTEM, index=index), 12)
        np.testing.assert_array_equal(r.forecast.to_numpy(), bare)
    # Continued at the mean step, to the labels' last digit, as the program's stamps are.
    assert list(quiet(tramel.analyse, pd.Series(NOTTEM, index=thirds), 12).forecast.index[[0, 1, 3]]) == [
        pd.Timestamp("2024-05-01") + pd.Timedelta(microseconds=us) for us in (72000, 72334, 73000)]
    r = quiet(tramel.analyse, pd.Series(NOTTEM, index=micro), 12)
    assert list(r.forecast.index[:2]) == [micro[-1] + pd.Timedelta("500us"), micro[-1] + pd.Timedelta("1ms")]


def test_a_dataframe_gives_a_result_per_column_by_name():
    seatbelts = tramel.read_data(data_path("seatbelts"), 3).values.iloc[:168]
    seatbelts.columns = ["drivers", "front", "rear"]
    seatbelts.index = pd.date_range("1969-01-01", periods=168, freq="MS")
    results = quiet(tramel.analyse, seatbelts, 12, band=(1, 2), model="changes")
    assert [r.name for r in results] == ["drivers", "front", "rear"]
    for column, r in zip(seatbelts.columns, results):
        alone = quiet(tramel.analyse, seatbelts[column], 12, band=(1, 2), model="changes")
        pd.testing.assert_series_equal(alone.forecast, r.forecast)
        assert r.forecast.index[0] == pd.Timestamp("1983-01-01")
    # A 2-D array: a list, the series in columns.
    arrays = quiet(tramel.analyse, seatbelts.to_numpy(), 12, band=(1, 2), model="changes")
    assert len(arrays) == 3
    np.testing.assert_array_equal(arrays[2].forecast, results[2].forecast.to_numpy())


def test_the_bins_table_and_the_fit():
    r = quiet(tramel.analyse, NOTTEM, 12, model="as-specified", sampling=1 / 12)
    assert list(r.bins.columns) == ["bin", "period", "probability", "significant",
                                    "waveform_power", "noise"]
    assert list(r.bins["bin"]) == [1, 2, 3, 4, 5]  # the default band stops below Nyquist
    np.testing.assert_allclose(r.bins["period"], [1, 1 / 2, 1 / 3, 1 / 4, 1 / 5])  # years
    assert r.significant == list(r.bins["bin"][r.bins["significant"]])
    variables = 2 * len(r.significant)
    assert r.coefficients.shape == r.standard_errors.shape == (variables, variables)
    assert len(r.eigenvalues) == variables
    assert r.scores is None
    chosen = quiet(tramel.analyse, NOTTEM, 12)
    # auto: one model, or "auto" itself for seasonal naive or a combination
    assert chosen.model in ("changes", "levels", "smooth", "auto") and chosen.scores is not None


def test_the_backtest_table_agrees_with_its_scores_and_with_the_shortened_sample():
    series = pd.Series(NOTTEM, index=MONTHS)
    b = quiet(tramel.backtest, series, 12, origins=6, ahead=2, model="levels")
    table = b.forecasts
    assert sorted(table["origin"].unique()) == list(range(12, 18))
    # Every step the sample still holds: 2 steps at 5 origins, 1 at the last.
    assert len(table) == (5 * 2 + 1) * 12
    assert list(table.columns) == ["origin", "step", "time", "actual", "forecast", "lower_80",
                                   "upper_80", "lower_95", "upper_95", "as_specified",
                                   "seasonal_naive"]
    first = table[(table["origin"] == 12) & (table["step"] == 1)]
    assert list(first["time"]) == list(MONTHS[144:156])
    np.testing.assert_array_equal(first["actual"], NOTTEM[144:156])
    np.testing.assert_array_equal(first["seasonal_naive"], NOTTEM[132:144])
    # MASE recomputed from the table: per origin the mean absolute error over seasonal naive's
    # in-sample mean absolute error, averaged over the origins.
    for method, column in (("levels", "forecast"), ("seasonal naive", "seasonal_naive")):
        for step in (1, 2):
            rows = table[table["step"] == step]
            scaled = []
            for origin, group in rows.groupby("origin"):
                history = NOTTEM[:origin * 12].astype(np.float64)
                scale = np.mean(np.abs(history[12:] - history[:-12]))
                error = group["actual"].astype(np.float64) - group[column].astype(np.float64)
                scaled.append(np.mean(np.abs(error)) / scale)
            score = b.scores[(b.scores["method"] == method) & (b.scores["step"] == step)]
            np.testing.assert_allclose(score["mase"].iloc[0], np.mean(scaled), rtol=1e-12)
    assert list(b.table.index) == [(step, method) for step in (1, 2)
                                   for method in ("levels", "as-specified", "seasonal naive")]
    # The forecast at an origin is, to the last digits, that of the sample before it.
    shortened = quiet(tramel.analyse, NOTTEM[:14 * 12], 12, ahead=2, model="levels")
    at = table[table["origin"] == 14]["forecast"].to_numpy()
    np.testing.assert_allclose(at, shortened.forecast, rtol=1e-4)


@pytest.mark.parametrize("index", [MONTHS, pd.date_range("2024-05-01 10:00", periods=216, freq="500us"),
                                   pd.RangeIndex(216)], ids=["months", "sub-second", "numbers"])
def test_the_plot_keeps_its_legend_off_the_data_and_its_ticks_apart(index):
    """The legend stands above the axes beside the title, and the time axis has a few ticks
    whose labels do not overlap: at the width of a notebook cell, and in matplotlib's default
    figure with one more entry drawn before."""
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from matplotlib.text import Text
    r = quiet(tramel.analyse, pd.Series(NOTTEM, index=index, name="nottem"), 12, ahead=2)
    for size, before in (((8, 3), False), ((6.4, 4.8), True)):
        figure, ax = plt.subplots(figsize=size)
        try:
            if before:
                ax.plot(r.index, r.forecast, "k.", label="held back")
            r.plot(ax)
            figure.canvas.draw()
            renderer = figure.canvas.get_renderer()
            legend = ax.get_legend().get_window_extent(renderer)
            assert legend.y0 >= ax.get_window_extent(renderer).y1 - 1
            title = [t for t in ax.get_children() if isinstance(t, Text) and t.get_text() == "nottem"]
            assert len(title) == 1 and title[0].get_window_extent(renderer).x1 < legend.x0
            low, high = ax.get_xlim()
            labels = [t.get_window_extent(renderer) for t in ax.get_xticklabels()
                      if t.get_text() and low <= t.get_position()[0] <= high]
            assert 3 <= len(labels) <= 8
            assert all(a.x1 < b.x0 for a, b in zip(labels, labels[1:]))
        finally:
            plt.close(figure)


def test_hourly_data_in_days_weigh_the_week_and_transform_sets_the_scale():
    # Six weeks of hours: a daily cycle, a weekend level.
    hours = pd.date_range("2024-01-03", periods=6 * 168, freq="h")
    rng = np.random.default_rng(5)
    weekend = np.isin(hours.dayofweek, (5, 6))
    values = 100 + 20 * np.sin(2 * np.pi * np.arange(len(hours)) / 24) + 10 * weekend + rng.normal(0, 3, len(hours))
    series = pd.Series(values, index=hours)
    methods = set(quiet(tramel.analyse, series, 24).scores["method"])
    assert {"smooth by weekday", "smooth in weeks"} <= methods
    # The same values without their dates have no week to weigh.
    assert "smooth in weeks" not in set(quiet(tramel.analyse, values, 24).scores["method"])
    # transform="none" leaves the log scale out; it needs smooth or auto.
    assert "smooth (log)" not in set(quiet(tramel.analyse, series, 24, transform="none").scores["method"])
    with pytest.raises(ValueError, match="transform"):
        tramel.analyse(series, 24, model="changes", transform="log")
    with pytest.raises(ValueError, match="transform must be none, log or auto"):
        tramel.analyse(series, 24, transform="square")
