#!/usr/bin/python3
"""The forecast study through the user's path (bench/README-models.md): for every series and
rolling origin, the data up to the origin are written as CSV with their time stamps, `tramel init`
writes the control file (its one change: 2 frames ahead), and the program forecasts with each
model asked for; the forecast CSV's time stamps place the forecast against the data that follow.
statsmodels' peers forecast the same values at the same origins.

Series: the shipped examples (nottem, co2 whole and 1982-97, the seatbelts columns, load), the
generated series of each failure type (a 6-year monthly series, a swing that grows with the
level, a quarterly drift break, a monthly series rich in cross terms, half-hourly demand with a
weekday/weekend shape, with frames of a day and of a week), and, when R is installed, classic
seasonal series of R's datasets (exported by Rscript at run time; no copy is kept).

Origins: 8 per horizon, the last at h frames before the end, spaced max(1, round(L / 12))
samples, so that they fall anywhere in a frame. MASE per origin: the mean absolute error of
forecast frame h over the in-sample mean absolute error of seasonal naive before the origin;
per series the ratio of the method's mean MASE to seasonal naive's (below 1: better than
repeating the last frame); the summary is the geometric mean of the ratios and the worst one.
Coverage: the share of the forecast samples inside the 80 % and 95 % intervals.

Usage: bench/study_models.py TRAMEL OUT_DIR [--models auto,smooth-log,...] [--peers]
       [--groups examples,generated,classic] [--threads N]
The peers' forecasts are cached in OUT_DIR/peers.json (they take minutes); the program's in
OUT_DIR/program.json. Prints Markdown tables.
"""
import argparse
import datetime
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile
import warnings

import numpy as np
import pandas as pd

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LEVELS = (80, 95)
ORIGINS = 8
CALENDAR_FRAMES = False  # --calendar-frames

# What each method name asks of the program.
METHODS = {
    "auto": ["--model", "auto"],
    "as-specified": ["--model", "as-specified"],
    "changes": ["--model", "changes"],
    "levels": ["--model", "levels"],
    "smooth": ["--model", "smooth", "--transform", "none"],
    "smooth-log": ["--model", "smooth", "--transform", "log"],
    "smooth-auto": ["--model", "smooth", "--transform", "auto"],
}


class Series:
    """Values with their time stamps: `start` a date or datetime, `step` months (int) or a
    timedelta; the frame the study scores by, and init's --frame when it is not the calendar's."""

    def __init__(self, name, group, values, frame, start, step, init_frame=None):
        self.name, self.group, self.values, self.frame = name, group, np.asarray(values, float), frame
        self.start, self.step, self.init_frame = start, step, init_frame

    def stamp(self, i):
        if isinstance(self.step, int):
            months = self.start.month - 1 + i * self.step
            return f"{self.start.year + months // 12:04d}-{months % 12 + 1:02d}-01"
        return (self.start + i * self.step).strftime("%Y-%m-%dT%H:%M")


def monthly(name, group, values, year, month=1, frame=12):
    return Series(name, group, values, frame, datetime.date(year, month, 1), 12 // frame if frame in (4, 12) else 1)


# ---- The series ------------------------------------------------------------------------------


def column(path, skip, index):
    rows = [line.split() for line in open(path).read().splitlines()[skip:] if line.strip()]
    return [float(r[index]) for r in rows]


def two_line_values(path):
    lines = open(path).read().splitlines()[2:]
    return [float(v) for line in lines for v in line.split()]


def examples():
    nottem = two_line_values(f"{SOURCE}/examples/nottem/nottem.dat")
    co2 = two_line_values(f"{SOURCE}/examples/co2/co2.dat")
    load = two_line_values(f"{SOURCE}/examples/load/load.dat")
    out = [monthly("nottem", "examples", nottem, 1920), monthly("co2", "examples", co2, 1959),
           monthly("co2 1982-97", "examples", co2[276:], 1982)]
    seatbelts = f"{SOURCE}/bench/data/seatbelts.txt"
    for name, index in (("DriversKilled", 0), ("front", 2), ("rear", 3), ("VanKilled", 6)):
        out.append(monthly(f"seatbelts {name}", "examples", column(seatbelts, 1, index), 1969))
    out.append(Series("load", "examples", load, 24, datetime.datetime(2024, 1, 1), datetime.timedelta(hours=1)))
    return out


def generated():
    """One series of each failure type, from fixed seeds."""
    r = np.random.default_rng(1)
    out = []
    t = np.arange(72)
    out.append(monthly("6 years monthly", "generated", 100 + 0.3 * t + 15 * np.sin(2 * np.pi * t / 12) +
                       6 * np.cos(4 * np.pi * t / 12) + r.normal(0, 4, 72), 2000))
    t = np.arange(144)
    level = 50 * np.exp(0.01 * t)
    out.append(monthly("growing swing", "generated",
                       level * (1 + 0.3 * np.sin(2 * np.pi * t / 12)) * np.exp(r.normal(0, 0.03, 144)), 2000))
    t = np.arange(100)
    level = np.where(t < 76, 500 + 3 * t, 500 + 3 * 76 - 12 * (t - 76))
    out.append(monthly("drift break (quarterly)", "generated",
                       level + 60 * np.array([1, -0.5, -1, 0.5])[t % 4] + r.normal(0, 15, 100), 2000, 1, 4))
    n = 33 * 12
    t = np.arange(n)
    a = np.zeros(34)
    for i in range(1, 34):
        a[i] = 0.6 * a[i - 1] + r.normal(0, 1)
    amplitude = 10 + 2 * np.repeat(a[1:], 12)
    out.append(monthly("rich in cross terms", "generated",
                       200 + amplitude * np.sin(2 * np.pi * t / 12) + 4 * np.sin(2 * np.pi * 3 * t / 12) +
                       3 * np.cos(2 * np.pi * 4 * t / 12) + np.cumsum(r.normal(0, 0.5, n)) + r.normal(0, 3, n), 1980))
    n = 12 * 7 * 48
    t = np.arange(n)
    day, half_hour = (t // 48) % 7, t % 48
    shape = 1000 * (0.6 + 0.4 * np.sin(np.pi * (half_hour - 12) / 36).clip(0)) + 300 * np.exp(-((half_hour - 36) / 4) ** 2)
    demand = (8000 + np.cumsum(r.normal(0, 2, n)) + shape) * np.where(day >= 5, 0.8, 1.0) + r.normal(0, 60, n)
    start, step = datetime.datetime(2024, 1, 1), datetime.timedelta(minutes=30)  # a Monday
    out.append(Series("half-hourly, day frame", "generated", demand, 48, start, step))
    out.append(Series("half-hourly, week frame", "generated", demand, 336, start, step, init_frame=336))
    return out


R_SERIES = ["AirPassengers", "USAccDeaths", "ldeaths", "mdeaths", "fdeaths", "UKDriverDeaths", "nottem",
            "UKgas", "JohnsonJohnson", "Seatbelts[, \"front\"]", "Seatbelts[, \"rear\"]", "co2"]


def classic(work):
    """R's classic seasonal series, exported by Rscript into `work`; none without R."""
    if shutil.which("Rscript") is None:
        return []
    lines = ["w <- function(name, x) writeLines(c(paste(frequency(x), start(x)[1], start(x)[2]), "
             "format(as.numeric(x), digits = 10)), file.path(commandArgs(TRUE)[1], name))"]
    for i, name in enumerate(R_SERIES):
        lines.append(f"w('{i}.txt', {name})")
    script = os.path.join(work, "export.R")
    open(script, "w").write("\n".join(lines) + "\n")
    subprocess.run(["Rscript", script, work], check=True, capture_output=True)
    out = []
    for i, name in enumerate(R_SERIES):
        text = open(os.path.join(work, f"{i}.txt")).read().split("\n")
        frequency, year, period = (int(v) for v in text[0].split())
        values = [float(v) for v in text[1:] if v.strip()]
        label = name.replace("[, \"", " ").replace("\"]", "")
        month = 1 + (period - 1) * (12 // frequency)
        if name == "co2":
            values, label = values[:204], "co2 1959-75"
        out.append(monthly(label, "classic", values, year, month, frequency))
        if name == "AirPassengers":
            out.append(monthly("log AirPassengers", "classic", np.log(values), year, month, frequency))
    return out


# ---- Origins and scores -----------------------------------------------------------------------


def origins(n, frame, h):
    step = max(1, round(frame / 12))
    return [o for o in (n - h * frame - (ORIGINS - 1 - i) * step for i in range(ORIGINS)) if o >= 2 * frame]


def score(series, forecasts):
    """forecasts[(origin, h)] = (values, {level: (lo, hi)} or None), each frame h's L values or
    None when the method gave none. Returns per h: ratio, coverage, missed."""
    y, L = series.values, series.frame
    out = {}
    for h in (1, 2):
        mase, naive, inside, total, missed = [], [], {lv: 0 for lv in LEVELS}, 0, 0
        for o in origins(len(y), L, h):
            train, actual = y[:o], y[o + (h - 1) * L: o + h * L]
            scale = np.mean(np.abs(train[L:] - train[:-L]))
            naive.append(np.mean(np.abs(actual - train[-L:])) / scale)
            f = forecasts.get((o, h))
            if f is None or f[0] is None or not np.all(np.isfinite(f[0])):
                missed += 1
                continue
            mase.append(np.mean(np.abs(actual - f[0])) / scale)
            if f[1]:
                for lv in LEVELS:
                    lo, hi = f[1][lv]
                    inside[lv] += int(np.sum((actual >= lo) & (actual <= hi)))
                total += L
        if not mase:
            continue
        out[h] = dict(ratio=float(np.mean(mase) / np.mean(naive)), missed=missed,
                      cover={lv: inside[lv] / total if total else float("nan") for lv in LEVELS})
    return out


# ---- The program through the user's path --------------------------------------------------------


def program_forecast(tramel, series, origin, method, work, threads):
    """Frames 1 and 2 after `origin` as the program forecasts them: a list of 2 (values,
    intervals), None for a frame the forecast does not cover (or a run that stopped)."""
    folder = os.path.join(work, "run")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    with open(os.path.join(folder, "data.csv"), "w") as f:
        f.write("date,value\n")
        for i in range(origin):
            f.write(f"{series.stamp(i)},{series.values[i]!r}\n")
    init = [tramel, "init", os.path.join(folder, "data.csv")]
    frame = series.init_frame or (series.frame if CALENDAR_FRAMES else None)
    if frame:
        init += ["--frame", str(frame)]
    subprocess.run(init, check=True, capture_output=True)
    control = os.path.join(folder, "tramel.cnl")
    text = open(control).read().replace("No. of frames = 1 ", "No. of frames = 2 ")
    open(control, "w").write(text)
    run = subprocess.run([tramel, *METHODS[method], "--intervals", "80,95", "--threads", str(threads), folder],
                         capture_output=True, text=True)
    path = os.path.join(folder, "data.forecast.csv")
    if not os.path.exists(path):
        return [None, None]
    rows = [line.split(",") for line in open(path).read().splitlines()]
    head = rows[0]
    at = {name: k for k, name in enumerate(head)}
    by_stamp = {r[at["date"]]: r for r in rows[1:]}
    L = series.frame
    frames = []
    for h in (1, 2):
        stamps = [series.stamp(origin + (h - 1) * L + j) for j in range(L)]
        if not all(s in by_stamp for s in stamps) or run.returncode not in (0, 3):
            frames.append(None)
            continue
        got = lambda key: np.array([float(by_stamp[s][at[key]]) for s in stamps])
        intervals = None
        if "value-lo-80" in at:
            intervals = {lv: (got(f"value-lo-{lv}"), got(f"value-hi-{lv}")) for lv in LEVELS}
        frames.append((got("value"), intervals))
    return frames


def program_scores(tramel, series_list, methods, work, cache_path, threads):
    cache = json.load(open(cache_path)) if os.path.exists(cache_path) else {}
    # A rebuilt program is run again.
    version = f"{os.stat(tramel).st_mtime_ns}"
    results = {}
    for method in methods:
        results[method] = {}
        for s in series_list:
            key = f"{method}|{s.name}|{len(s.values)}|{version}"
            if key not in cache:
                entry = {}
                for o in sorted(set(origins(len(s.values), s.frame, 1) + origins(len(s.values), s.frame, 2))):
                    frames = program_forecast(tramel, s, o, method, work, threads)
                    for h, f in ((1, frames[0]), (2, frames[1])):
                        entry[f"{o} {h}"] = None if f is None else [f[0].tolist(), None if f[1] is None else
                                                                   {str(lv): [lo.tolist(), hi.tolist()] for lv, (lo, hi) in f[1].items()}]
                cache[key] = entry
                json.dump(cache, open(cache_path, "w"))
            results[method][s.name] = score(s, decode(cache[key]))
            print(f"{method} {s.name}", file=sys.stderr, flush=True)
    return results


def decode(entry):
    out = {}
    for k, v in entry.items():
        o, h = (int(x) for x in k.split())
        if v is None:
            out[(o, h)] = None
        else:
            out[(o, h)] = (np.array(v[0]), None if v[1] is None else
                           {int(lv): (np.array(lo), np.array(hi)) for lv, (lo, hi) in v[1].items()})
    return out


# ---- The peers ---------------------------------------------------------------------------------


def peer_methods():
    warnings.filterwarnings("ignore")
    from statsmodels.tsa.arima.model import ARIMA
    from statsmodels.tsa.exponential_smoothing.ets import ETSModel
    from statsmodels.tsa.forecasting.stl import STLForecast
    from statsmodels.tsa.forecasting.theta import ThetaModel
    from statsmodels.tsa.statespace.sarimax import SARIMAX

    def frame_intervals(prediction):
        return {lv: tuple(np.asarray(prediction.conf_int(alpha=1 - lv / 100)).T) for lv in LEVELS}

    def ets(train, L, n):
        """Error, trend and season chosen by AIC (no season for frames above 24)."""
        # A pandas Series: this statsmodels' ETS prediction fails on a numpy array.
        best, positive, train = None, bool(np.all(train > 0)), pd.Series(np.asarray(train, dtype=float))
        for error in (["add", "mul"] if positive else ["add"]):
            for trend, damped in ((None, False), ("add", False), ("add", True)):
                for season in ([None, "add", "mul"] if positive else [None, "add"]):
                    if season and (L > 24 or len(train) < 2 * L + 2):
                        continue
                    try:
                        m = ETSModel(train, error=error, trend=trend, damped_trend=damped, seasonal=season,
                                     seasonal_periods=L if season else None).fit(disp=False, maxiter=200)
                    except Exception:
                        continue
                    if np.isfinite(m.aic) and (best is None or m.aic < best.aic):
                        best = m
        p = best.get_prediction(start=len(train), end=len(train) + n - 1)
        iv = {}
        for lv in LEVELS:
            frame = p.summary_frame(alpha=1 - lv / 100)
            iv[lv] = (np.asarray(frame["pi_lower"]), np.asarray(frame["pi_upper"]))
        return np.asarray(p.predicted_mean), iv

    def stl_arima(train, L, n):
        m = STLForecast(train, ARIMA, model_kwargs=dict(order=(1, 1, 0), trend="t"), period=L).fit()
        p = m.get_prediction(start=len(train), end=len(train) + n - 1)
        return np.asarray(p.predicted_mean), frame_intervals(p)

    def stl_ets(train, L, n):
        m = STLForecast(train, ETSModel, model_kwargs=dict(error="add", trend="add", damped_trend=True), period=L).fit()
        return np.asarray(m.forecast(n)), None

    def theta(train, L, n):
        m = ThetaModel(train, period=L).fit()
        iv = {}
        for lv in LEVELS:
            pi = m.prediction_intervals(n, alpha=1 - lv / 100)
            iv[lv] = (np.asarray(pi["lower"]), np.asarray(pi["upper"]))
        return np.asarray(m.forecast(n)), iv

    def sarimax(train, L, n):
        """Chosen by AIC over a small grid; seasonal frames up to 24."""
        if L > 24:
            raise ValueError("frame too long for a seasonal ARIMA")
        best = None
        for order in ((0, 1, 1), (1, 1, 0), (1, 0, 0), (1, 1, 1)):
            for seasonal in ((0, 1, 1), (1, 1, 0), (0, 1, 0)):
                try:
                    m = SARIMAX(train, order=order, seasonal_order=seasonal + (L,),
                                trend="c" if order[1] == 0 else "n").fit(disp=False, maxiter=100)
                except Exception:
                    continue
                if best is None or m.aic < best.aic:
                    best = m
        p = best.get_forecast(n)
        return np.asarray(p.predicted_mean), frame_intervals(p)

    return {"ETS (AIC)": ets, "STL + ARIMA": stl_arima, "STL + ETS": stl_ets, "Theta": theta,
            "SARIMA (AIC)": sarimax}


def peer_scores(series_list, cache_path):
    cache = json.load(open(cache_path)) if os.path.exists(cache_path) else {}
    results = {}
    for name, method in peer_methods().items():
        results[name] = {}
        for s in series_list:
            key = f"{name}|{s.name}|{len(s.values)}"
            if key not in cache:
                entry = {}
                for h in (1, 2):
                    for o in origins(len(s.values), s.frame, h):
                        try:
                            f, iv = method(s.values[:o], s.frame, h * s.frame)
                            lo = (h - 1) * s.frame
                            entry[f"{o} {h}"] = [f[lo:].tolist(), None if iv is None else
                                                 {str(lv): [a[lo:].tolist(), b[lo:].tolist()] for lv, (a, b) in iv.items()}]
                        except Exception:
                            entry[f"{o} {h}"] = None
                cache[key] = entry
                json.dump(cache, open(cache_path, "w"))
            results[name][s.name] = score(s, decode(cache[key]))
            print(f"{name} {s.name}", file=sys.stderr, flush=True)
    return results


# ---- Tables ------------------------------------------------------------------------------------


def summary(results, names, h):
    ratios = [results[n][h]["ratio"] for n in names if h in results.get(n, {})]
    covers = {lv: [results[n][h]["cover"][lv] for n in names if h in results.get(n, {})
                   and not math.isnan(results[n][h]["cover"][lv])] for lv in LEVELS}
    if len(ratios) < len(names):
        return "-" if not ratios else f"({len(ratios)} of {len(names)})"
    text = f"**{math.exp(np.mean(np.log(ratios))):.3f}**, worst {max(ratios):.2f}"
    if covers[80]:
        text += f" ({np.mean(covers[80]):.2f}/{np.mean(covers[95]):.2f})"
    return text


def table(results, series_list, h):
    methods = list(results)
    lines = [f"| series | {' | '.join(methods)} |", "|---|" + "---|" * len(methods)]
    for s in series_list:
        cells = []
        for m in methods:
            v = results[m].get(s.name, {}).get(h)
            if v is None:
                cells.append("-")
                continue
            c = v["cover"]
            cell = f"{v['ratio']:.2f}" + ("" if math.isnan(c[80]) else f" ({c[80]:.2f}/{c[95]:.2f})")
            cells.append(cell + (f" {v['missed']} missed" if v["missed"] else ""))
        lines.append(f"| {s.name} | {' | '.join(cells)} |")
    for group in dict.fromkeys(s.group for s in series_list):
        names = [s.name for s in series_list if s.group == group]
        lines.append(f"| geometric mean, {group} | {' | '.join(summary(results[m], names, h) for m in methods)} |")
    names = [s.name for s in series_list]
    lines.append(f"| geometric mean, all | {' | '.join(summary(results[m], names, h) for m in methods)} |")
    return "\n".join(lines)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("tramel")
    p.add_argument("out")
    p.add_argument("--models", default="auto")
    p.add_argument("--peers", action="store_true")
    p.add_argument("--groups", default="examples,generated,classic")
    p.add_argument("--threads", type=int, default=1)
    p.add_argument("--calendar-frames", action="store_true",
                   help="give init the calendar's frame (12 months, 4 quarters, a day) for every series")
    a = p.parse_args()
    global CALENDAR_FRAMES
    CALENDAR_FRAMES = a.calendar_frames
    os.makedirs(a.out, exist_ok=True)
    groups = a.groups.split(",")
    with tempfile.TemporaryDirectory() as work:
        series_list = []
        if "examples" in groups:
            series_list += examples()
        if "generated" in groups:
            series_list += generated()
        if "classic" in groups:
            series_list += classic(work)
        results = program_scores(os.path.abspath(a.tramel), series_list, a.models.split(","), work,
                                 os.path.join(a.out, "program.json"), a.threads)
        if a.peers:
            results.update(peer_scores(series_list, os.path.join(a.out, "peers.json")))
    for h in (1, 2):
        print(f"\n{h} frame{'s' if h > 1 else ''} ahead: MASE over seasonal naive's (80 % / 95 % coverage)\n")
        print(table(results, series_list, h))


if __name__ == "__main__":
    main()
