#!/usr/bin/python3
"""The peers of the model study: Holt-Winters (additive trend and season) and a seasonal ARIMA
(the airline model, (0,1,1)(0,1,1) with the frame as the season), from Debian's
python3-statsmodels, on the very values and origins of the study. Never a dependency of the
program: a benchmark script only.

Usage: bench/peers_models.py OUT_DIR     (the folder tramel_model_study wrote: series.tsv and the
series, one value a line). Prints a Markdown table: MASE per step (scaled, as the program's
backtest, by the in-sample seasonal-naive mean absolute error before each origin), and the
coverage of the seasonal ARIMA's 80 % and 95 % intervals one frame ahead.
"""
import sys
import warnings

import numpy as np
from statsmodels.tsa.holtwinters import ExponentialSmoothing
from statsmodels.tsa.statespace.sarimax import SARIMAX

warnings.filterwarnings("ignore")
folder = sys.argv[1]


def holt_winters(train, lb, ahead):
    fit = ExponentialSmoothing(train, trend="add", seasonal="add", seasonal_periods=lb).fit()
    return fit.forecast(ahead * lb), None


def seasonal_arima(train, lb, ahead):
    fit = SARIMAX(train, order=(0, 1, 1), seasonal_order=(0, 1, 1, lb)).fit(disp=False)
    f = fit.get_forecast(ahead * lb)
    return f.predicted_mean, {level: f.conf_int(alpha=1 - level / 100) for level in (80, 95)}


print("| series | step | Holt-Winters | seasonal ARIMA | seasonal ARIMA cover 80/95 |")
print("|---|---|---|---|---|")
rows = [line.rstrip("\n").split("\t") for line in open(f"{folder}/series.tsv")][1:]
for name, file, lb, ahead, first, origins in rows:
    lb, ahead, first, origins = int(lb), int(ahead), int(first), int(origins)
    x = np.loadtxt(f"{folder}/{file}")
    frames = len(x) // lb
    x = x[: frames * lb]
    scores = {m: [[] for _ in range(ahead)] for m in ("hw", "sarima")}
    inside = {80: [0, 0], 95: [0, 0]}
    for o in range(first, first + origins):
        train = x[: o * lb]
        scale = np.mean(np.abs(train[lb:] - train[:-lb]))
        for key, method in (("hw", holt_winters), ("sarima", seasonal_arima)):
            forecast, intervals = method(train, lb, ahead)
            forecast = np.asarray(forecast)
            for h in range(ahead):
                if o + h >= frames:
                    break
                actual = x[(o + h) * lb : (o + h + 1) * lb]
                scores[key][h].append(np.mean(np.abs(actual - forecast[h * lb : (h + 1) * lb])) / scale)
                if intervals and h == 0:
                    for level, ci in intervals.items():
                        ci = np.asarray(ci)[:lb]
                        inside[level][0] += int(np.sum((actual >= ci[:, 0]) & (actual <= ci[:, 1])))
                        inside[level][1] += lb
    for h in range(ahead):
        cover = (f"{inside[80][0] / inside[80][1]:.3f} / {inside[95][0] / inside[95][1]:.3f}"
                 if h == 0 else "")
        print(f"| {name} | {h + 1} | {np.mean(scores['hw'][h]):.3f} | {np.mean(scores['sarima'][h]):.3f} | {cover} |")
