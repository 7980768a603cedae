"""A table of series on a Dask cluster of two worker processes: the table of the local call,
every series once, whether the series come as a pandas table with a client, as a Dask DataFrame
partitioned by id or not; and a worker killed while it works on a part, which Dask runs again."""
import os
import signal
import threading
import time

import numpy as np
import pandas as pd
import pytest

import tramel

dd = pytest.importorskip("dask.dataframe")
distributed = pytest.importorskip("distributed")

# The event loop of Debian's tornado warns of its own deprecations.
pytestmark = pytest.mark.filterwarnings("ignore::DeprecationWarning")
RNG = np.random.default_rng(7)
MONTHS = pd.date_range("2001-01-01", periods=144, freq="MS")


def table_of(count):
    t = np.arange(len(MONTHS))
    parts = [pd.DataFrame({"unique_id": f"s{k:02d}", "ds": MONTHS,
                           "y": 20 + 5 * np.sin(2 * np.pi * t / 12 + k) + RNG.normal(0, 1, len(t))})
             for k in range(count)]
    parts[3] = parts[3].iloc[:30]  # too short: its status comes back too
    return pd.concat(parts, ignore_index=True).sample(frac=1, random_state=1)


TABLE = table_of(40)
LOCAL = tramel.forecast(TABLE, threads=1)


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster:
        with distributed.Client(cluster) as c:
            yield c


def test_a_cluster_gives_the_table_of_the_local_call(client):
    for data, options in [(TABLE, {"client": client}),
                          (TABLE, {"client": client, "partitions": 3}),
                          (dd.from_pandas(TABLE, npartitions=4), {"client": client}),  # shuffled
                          (dd.from_pandas(TABLE.set_index("unique_id").sort_index(), npartitions=4), {})]:
        out = tramel.forecast(data, **options)
        pd.testing.assert_frame_equal(out, LOCAL)
    scores = tramel.backtest(TABLE, client=client, origins=3).scores
    pd.testing.assert_frame_equal(scores, tramel.backtest(TABLE, origins=3).scores)


def test_a_worker_killed_during_the_run_still_yields_every_series(client, tmp_path):
    marker = str(tmp_path / "started")
    ordered = TABLE.set_index("unique_id").sort_index()
    keys = ordered.index.unique()
    cuts = [keys[0], keys[10], keys[20], keys[30], keys[-1]]
    parts = [ordered.loc[a:b] if i == 3 else ordered.loc[a:b].drop(index=b)
             for i, (a, b) in enumerate(zip(cuts[:-1], cuts[1:]))]

    def load(part, first):
        # The first time, the worker says who it is and waits to be killed.
        if first and not os.path.exists(marker):
            with open(marker + ".part", "w") as f:
                f.write(str(os.getpid()))
            os.rename(marker + ".part", marker)
            time.sleep(300)
        return part

    from dask import delayed
    data = dd.from_delayed([delayed(load)(p, i == 0) for i, p in enumerate(parts)],
                           meta=ordered.iloc[:0], divisions=cuts)
    done = {}
    run = threading.Thread(target=lambda: done.setdefault("out", tramel.forecast(data, client=client)))
    run.start()
    for _ in range(1200):
        if os.path.exists(marker) or not run.is_alive():
            break
        time.sleep(0.05)
    pid = int(open(marker).read())
    assert pid != os.getpid()
    os.kill(pid, signal.SIGKILL)
    run.join(timeout=240)
    assert not run.is_alive()
    assert pid not in client.run(os.getpid).values()  # that worker is gone, its part run again
    client.wait_for_workers(2, timeout=120)  # its nanny has started another
    out = done["out"]
    assert out.groupby("unique_id").size().index.tolist() == sorted(TABLE["unique_id"].unique())
    pd.testing.assert_frame_equal(out, LOCAL)
