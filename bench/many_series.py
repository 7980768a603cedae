#!/usr/bin/python3
"""Thousands of series: tramel.forecast on a long table of 2,000 monthly series of 20 years
(generated: a season, drift, level shifts and noise), against a loop of statsmodels'
Holt-Winters (ExponentialSmoothing, additive trend and season, fitted with its defaults) on the
same series, and the Dask path on a LocalCluster of two worker processes.

Each is given the first 19 years and forecasts the 20th: the series per second of each on one
thread and on every core (Holt-Winters in a process per core), the mean MASE of each against
seasonal naive at that one origin (each series' errors over the in-sample mean absolute error of
seasonal naive, as the program's backtest scales them), and the peak memory of the process that
did the work (each measured in a process of its own). The Dask line is the same call with
client=, beside the local call on every core.

Usage: PYTHONPATH=build/python bench/many_series.py [--series N] [--repeats R] [--out FILE]
Needs Debian's python3-statsmodels, python3-dask and python3-distributed. Prints a Markdown
table (and writes it to FILE, default bench/many_series.md beside this script).
"""
import argparse
import json
import os
import resource
import subprocess
import sys
import time
import warnings

import numpy as np
import pandas as pd

FRAME = 12
YEARS = 20


def generate(count, seed=2026):
    """`count` monthly series of 20 years: a level, a season of random shape and size, a drift,
    up to three level shifts at random months, and noise."""
    rng = np.random.default_rng(seed)
    n = FRAME * YEARS
    t = np.arange(n)
    months = pd.date_range("2005-01-01", periods=n, freq="MS")
    values = np.empty((count, n))
    for k in range(count):
        season = sum(rng.normal(0, 1) * np.sin(2 * np.pi * h * t / FRAME + rng.uniform(0, 2 * np.pi))
                     for h in (1, 2, 3)) * rng.uniform(2, 10)
        drift = rng.normal(0, 0.05) * t
        shifts = sum(rng.normal(0, 6) * (t >= rng.integers(24, n - 24)) for _ in range(rng.integers(0, 4)))
        values[k] = 100 + rng.normal(0, 20) + season + drift + shifts + rng.normal(0, rng.uniform(0.5, 3), n)
    ids = np.repeat([f"s{k:04d}" for k in range(count)], n)
    return pd.DataFrame({"unique_id": ids, "ds": np.tile(months.to_numpy(), count),
                         "y": values.ravel()}), values


def split(values):
    """The first 19 years and the 20th."""
    return values[:, :-FRAME], values[:, -FRAME:]


def mase(forecasts, train, test):
    """Per series: the mean absolute error over the in-sample mean absolute error of seasonal
    naive."""
    scale = np.mean(np.abs(train[:, FRAME:] - train[:, :-FRAME]), axis=1)
    return np.mean(np.abs(forecasts - test), axis=1) / scale


def peak_mib():
    """The peak resident memory of this process, or of the largest process it started."""
    return max(resource.getrusage(who).ru_maxrss for who in (resource.RUSAGE_SELF, resource.RUSAGE_CHILDREN)) / 1024


def holt_winters(rows):
    warnings.filterwarnings("ignore")
    from statsmodels.tsa.holtwinters import ExponentialSmoothing
    return np.array([ExponentialSmoothing(r, trend="add", seasonal="add", seasonal_periods=FRAME)
                     .fit().forecast(FRAME) for r in rows])


def work(what, count, threads, repeats):
    """One measurement, in this process: the wall time of each repeat, the forecasts, the peak
    memory."""
    table, values = generate(count)
    train, _ = split(values)
    train_table = table.groupby("unique_id", sort=False).head(FRAME * (YEARS - 1))
    out = {"seconds": []}
    for _ in range(repeats):
        if what == "tramel":
            import tramel
            start = time.perf_counter()
            done = tramel.forecast(train_table, threads=threads)
            out["seconds"].append(time.perf_counter() - start)
            ok = done[done["status"] == "ok"]
            assert (ok["frame"] == FRAME).all()
            out["ok"] = int(ok["unique_id"].nunique())
            forecasts = np.full((count, FRAME), np.nan)
            forecasts[ok["unique_id"].str[1:].astype(int).to_numpy().reshape(-1, FRAME)[:, 0]] = \
                ok["forecast"].to_numpy().reshape(-1, FRAME)
            out["models"] = ok.groupby("unique_id")["model"].first().value_counts().to_dict()
        elif what == "holt-winters":
            start = time.perf_counter()
            if threads == 1:
                forecasts = holt_winters(train)
            else:
                from multiprocessing import Pool
                with Pool(threads) as pool:
                    forecasts = np.concatenate(pool.map(holt_winters, np.array_split(train, threads * 8)))
            out["seconds"].append(time.perf_counter() - start)
        elif what == "dask":
            import tramel
            from distributed import Client, LocalCluster
            start = time.perf_counter()
            with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                              dashboard_address=None) as cluster, Client(cluster) as client:
                out["cluster_start"] = time.perf_counter() - start
                local = tramel.forecast(train_table)
                out["local_seconds"] = []
                for _ in range(repeats):
                    start = time.perf_counter()
                    local = tramel.forecast(train_table)
                    out["local_seconds"].append(time.perf_counter() - start)
                    start = time.perf_counter()
                    done = tramel.forecast(train_table, client=client)
                    out["seconds"].append(time.perf_counter() - start)
                out["same"] = bool(done.equals(local))
            forecasts = np.full((count, FRAME), np.nan)
            break
    out["forecasts"] = forecasts.tolist()
    out["peak_mib"] = peak_mib()
    return out


def measure(what, count, threads, repeats):
    """work() in a process of its own, so that its peak memory is its own."""
    done = subprocess.run([sys.executable, __file__, "--work", what, "--series", str(count),
                           "--threads", str(threads), "--repeats", str(repeats)],
                          capture_output=True, text=True, check=True)
    return json.loads(done.stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--series", type=int, default=2000)
    parser.add_argument("--repeats", type=int, default=3)
    parser.add_argument("--threads", type=int, default=0)
    parser.add_argument("--work")
    parser.add_argument("--out", default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                      "many_series.md"))
    args = parser.parse_args()
    if args.work:
        json.dump(work(args.work, args.series, args.threads, args.repeats), sys.stdout)
        return
    cores = len(os.sched_getaffinity(0))
    count = args.series
    _, values = generate(count)
    train, test = split(values)
    naive = mase(train[:, -FRAME:], train, test)
    load = os.getloadavg()
    runs = {}
    for what, threads, repeats in (("tramel", 1, args.repeats), ("tramel", cores, args.repeats),
                                   ("holt-winters", 1, 1), ("holt-winters", cores, 1),
                                   ("dask", 1, args.repeats)):
        runs[what, threads] = measure(what, count, threads, repeats)
        print(f"{what} on {threads} thread(s): {sorted(runs[what, threads]['seconds'])}", file=sys.stderr)
    median = {k: float(np.median(r["seconds"])) for k, r in runs.items()}
    score = {what: mase(np.array(runs[what, cores]["forecasts"]), train, test)
             for what in ("tramel", "holt-winters")}
    tr1, trn, hw1, hwn = (median["tramel", 1], median["tramel", cores], median["holt-winters", 1],
                          median["holt-winters", cores])
    dask = runs["dask", 1]
    local = float(np.median(dask["local_seconds"]))
    rows = [
        ("tramel.forecast (frame chosen, model auto, intervals 80 and 95), 1 thread",
         f"{count / tr1:,.0f}", f"{np.nanmean(score['tramel']):.3f}", f"{runs['tramel', 1]['peak_mib']:.0f} MiB"),
        (f"tramel.forecast, {cores} threads", f"{count / trn:,.0f}", "the same",
         f"{runs['tramel', cores]['peak_mib']:.0f} MiB"),
        ("Holt-Winters loop (statsmodels ExponentialSmoothing, additive trend and season), 1 process",
         f"{count / hw1:,.1f}", f"{np.nanmean(score['holt-winters']):.3f}",
         f"{runs['holt-winters', 1]['peak_mib']:.0f} MiB"),
        (f"Holt-Winters loop, {cores} processes", f"{count / hwn:,.1f}", "the same",
         f"{runs['holt-winters', cores]['peak_mib']:.0f} MiB, the largest process"),
        ("seasonal naive (the last year again)", "", f"{np.mean(naive):.3f}", ""),
        (f"tramel.forecast(client=) on a LocalCluster of 2 worker processes", f"{count / median['dask', 1]:,.0f}",
         "the same" if dask["same"] else "DIFFERENT", f"{dask['peak_mib']:.0f} MiB, the largest process"),
    ]
    text = [f"{count:,} monthly series of {YEARS} years (generated with a season, drift, level shifts "
            f"and noise); each forecasts its last year from the 19 before it. Medians of "
            f"{args.repeats} runs for tramel, one run of the Holt-Winters loop; load average "
            f"{load[0]:.2f} at the start, {cores} cores.",
            "",
            "| what | series per second | mean MASE, last year | peak memory |",
            "|---|---|---|---|"]
    text += [f"| {a} | {b} | {c} | {d} |" for a, b, c, d in rows]
    text += ["",
             f"tramel on {cores} threads is {hwn and (count / trn) / (count / hwn):,.0f} times the "
             f"Holt-Winters loop on {cores} processes ({(count / tr1) / (count / hw1):,.0f} times on "
             f"one); its MASE is below Holt-Winters' for {np.mean(score['tramel'] < score['holt-winters']):.0%} "
             f"of the series and below seasonal naive's for {np.mean(score['tramel'] < naive):.0%} "
             f"(Holt-Winters: {np.mean(score['holt-winters'] < naive):.0%}). auto chose "
             + ", ".join(f"{m} for {c}" for m, c in sorted(runs['tramel', cores]['models'].items()))
             + f". {runs['tramel', cores]['ok']} of {count} series forecast.",
             f"The Dask path: {median['dask', 1]:.2f} s against {local:.2f} s for the local call on "
             f"{cores} threads in the same process ({median['dask', 1] - local:+.2f} s, "
             f"{median['dask', 1] / local:.1f} times), the same table; "
             f"starting the cluster took {dask['cluster_start']:.1f} s more."]
    print("\n".join(text))
    with open(args.out, "w") as f:
        f.write("# Many series: tramel.forecast against a Holt-Winters loop\n\n"
                "Made by `bench/many_series.py` (see its head for what it measures).\n\n"
                + "\n".join(text) + "\n")


if __name__ == "__main__":
    main()
