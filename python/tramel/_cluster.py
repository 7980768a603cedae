"""A table of series on a Dask cluster: the series go to the workers in parts of whole series,
each part is analysed there as on this machine (the workers need only tramel installed), and
the parts' tables come back as the one table of a local run."""
import numpy as np
import pandas as pd

from ._shared import is_dask
from ._table import id_codes, is_long


def _part(data, call, where, threads):
    """One part on a worker: the local call on its series."""
    return call(data, threads=threads, **where)


def _by_id(ddf, id_col):
    """A Dask DataFrame whose partitions hold whole series: as given when its index is the id
    with known divisions, else shuffled on the id column."""
    if ddf.index.name == id_col and ddf.known_divisions:
        return ddf
    if id_col not in ddf.columns:
        raise ValueError(f"the Dask DataFrame has no column {id_col!r} (id_col= names it), nor that "
                         "index: a table on a cluster must be long, a row per series id, time and value")
    return ddf.shuffle(on=id_col)


def _pandas_parts(data, where, parts):
    """A pandas table cut into `parts` parts of whole series, in the order of a local run."""
    id_col = where["id_col"]
    if is_long(data, id_col):
        data, codes, keys = id_codes(data, id_col)
        order = np.argsort(codes, kind="stable")
        bounds = np.searchsorted(codes[order], np.linspace(0, len(keys), parts + 1).astype(int))
        return [data.iloc[order[a:b]] for a, b in zip(bounds[:-1], bounds[1:]) if b > a]
    bounds = np.linspace(0, data.shape[1], parts + 1).astype(int)  # wide: columns
    return [data.iloc[:, a:b] for a, b in zip(bounds[:-1], bounds[1:]) if b > a]


def on_cluster(data, client, call, where, *, threads, partitions):
    """`call` (local_forecast or local_scores) on every part of `data`, on the client's workers
    (or, for a Dask DataFrame without a client, on the default scheduler); the parts' tables
    joined in the order of a local run. A part whose worker dies is run again by Dask."""
    import dask
    threads = 1 if threads is None else threads
    id_col = where["id_col"]
    if is_dask(data):
        if partitions is not None:
            raise ValueError("partitions= is for a pandas table: a Dask DataFrame keeps its own")
        tasks = [dask.delayed(_part)(p, call, where, threads) for p in _by_id(data, id_col).to_delayed()]
        tables = client.gather(client.compute(tasks)) if client is not None else dask.compute(*tasks)
        tables = [t for t in tables if len(t)]
        if not tables:
            return call(data.head(0, npartitions=-1), threads=threads, **where)
        table = pd.concat(tables, ignore_index=True)
        # The order of a local run: the sorted ids, each series' rows as they came.
        codes, _ = pd.factorize(table[id_col], sort=True)
        return table.iloc[np.argsort(codes, kind="stable")].reset_index(drop=True)
    if not isinstance(data, pd.DataFrame):
        raise TypeError(f"the table must be a pandas or Dask DataFrame, not {type(data).__name__}")
    if partitions is None:
        partitions = 4 * max(1, sum(client.nthreads().values()))
    parts = _pandas_parts(data, where, max(1, int(partitions)))
    futures = client.map(_part, client.scatter(parts), call=call, where=where, threads=threads, pure=False)
    tables = client.gather(futures)
    return pd.concat(tables, ignore_index=True) if tables else call(data, threads=threads, **where)
