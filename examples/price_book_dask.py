"""Price a book of European options on a Dask cluster, one batch call per partition.

The book is a Parquet data set of option rows (type, T, K, S, r) under one
Kou model. dask.dataframe reads it partition by partition on the workers,
and each partition is priced with one jdpricer_batch call per option type
(map_partitions). Only rows and the model's five numbers travel: the workers
read the Parquet files themselves and send back one float64 column; option
objects, which cannot be pickled, never leave a process.

By default the script starts a LocalCluster on 127.0.0.1 (worker processes
with one thread each: the batch releases the interpreter lock, but one
thread per process keeps one core per worker) and measures 1 and 2 workers
against a single process. Given --scheduler it uses that cluster instead;
then --book must name a directory that every worker can read (a shared
file system), and the workers need jdpricer, pandas and pyarrow installed.

It checks that the cluster's prices equal the single-process prices bit for
bit, and a sample of rows against jdpricer's per-option price.

CPython, needs the examples extra (dask[distributed,dataframe], pandas, pyarrow):
    .venv-cpython/bin/python examples/price_book_dask.py
    .venv-cpython/bin/python examples/price_book_dask.py --scheduler tcp://HOST:8786 --book /shared/book
"""
import argparse
import contextlib
import math
import os
import sys
import tempfile
import time
from typing import NamedTuple

import numpy as np
import pandas as pd
import pyarrow as pa
import pyarrow.parquet as pq

import jdpricer
import jdpricer_batch


class KouModel(NamedTuple):
    sigma: float
    lam: float
    p: float
    eta1: float
    eta2: float


MODEL = KouModel(sigma=0.16, lam=1.0, p=0.4, eta1=10.0, eta2=5.0)
# Listed expiries, in years: one week to two years.
EXPIRIES = np.array([7, 14, 30, 61, 91, 182, 273, 365, 547, 730]) / 365.0


def poisson_terms(model, T_max):
    """Smallest n with n >= m + 8 sqrt(m) + 12, m = lam*T*max(1, 1 + zeta) at the longest T."""
    zeta = model.p * model.eta1 / (model.eta1 - 1.0) + (1.0 - model.p) * model.eta2 / (model.eta2 + 1.0) - 1.0
    m = model.lam * T_max * max(1.0, 1.0 + zeta)
    return math.ceil(m + 8.0 * math.sqrt(m) + 12.0)


def make_book(rows, seed=1):
    """Synthetic positions: listed expiries, strikes within about +-3 standard
    deviations of the spot, spots and rates of the day's snapshots."""
    rng = np.random.default_rng(seed)
    T = rng.choice(EXPIRIES, rows)
    S = np.round(rng.uniform(95.0, 105.0, rows), 2)
    K = np.round(S * np.exp(0.25 * np.sqrt(T) * rng.uniform(-3.0, 3.0, rows)) * 2.0) / 2.0  # half-point strikes
    r = rng.choice([0.03, 0.04, 0.05], rows)
    kind = np.where(rng.random(rows) < 0.5, "call", "put")
    return pd.DataFrame({"type": kind, "T": T, "K": K, "S": S, "r": r})


def write_book(book, directory, files):
    """The book as `files` Parquet files, one Dask partition each."""
    os.makedirs(directory, exist_ok=True)
    for i, part in enumerate(np.array_split(np.arange(len(book)), files)):
        table = pa.Table.from_pandas(book.iloc[part], preserve_index=False)
        pq.write_table(table, os.path.join(directory, f"part-{i:04d}.parquet"))


def price_rows(frame, model, n):
    """Prices of a frame of rows: one batch call for the calls, one for the puts."""
    prices = np.empty(len(frame))
    is_call = (frame["type"] == "call").to_numpy()
    for mask, batch in ((is_call, jdpricer_batch.call_prices), (~is_call, jdpricer_batch.put_prices)):
        if mask.any():
            columns = [frame[c].to_numpy(np.float64)[mask] for c in ("T", "K", "S", "r")]
            prices[mask] = batch(*columns, *model, n)
    return pd.Series(prices, index=frame.index, name="price")


def price_single_process(path, model, n):
    return price_rows(pd.read_parquet(path), model, n).to_numpy()


def price_on_cluster(client, path, model, n):
    """The book's prices, priced on the client's cluster, in the book's order."""
    import dask.dataframe as dd

    if __name__ != "__main__":
        # Imported (not run): send price_rows by value, so that workers need
        # jdpricer but not this file. A script's functions travel so anyway.
        import cloudpickle

        cloudpickle.register_pickle_by_value(sys.modules[__name__])
    book = dd.read_parquet(path, columns=["type", "T", "K", "S", "r"])
    prices = book.map_partitions(price_rows, tuple(model), n, meta=("price", "f8"))
    return client.compute(prices).result().to_numpy()


@contextlib.contextmanager
def local_cluster(workers):
    """A client of a LocalCluster of `workers` one-thread processes on 127.0.0.1,
    shut down (workers, nannies, scheduler) on leaving the block."""
    from dask.distributed import Client, LocalCluster

    with LocalCluster(
        n_workers=workers,
        threads_per_worker=1,
        processes=True,
        host="127.0.0.1",
        dashboard_address=None,
    ) as cluster, Client(cluster) as client:
        yield client


def same_bits(a, b):
    return a.shape == b.shape and np.array_equal(a.view(np.uint64), b.view(np.uint64))


def best_time(run, repeat):
    """(best wall time of `repeat` runs, the last run's result)."""
    best = math.inf
    for _ in range(repeat):
        began = time.perf_counter()
        result = run()
        best = min(best, time.perf_counter() - began)
    return best, result


def check_sample_against_jdpricer(path, prices, model, n, count=200, seed=2):
    book = pd.read_parquet(path)
    for i in np.random.default_rng(seed).choice(len(book), min(count, len(book)), replace=False):
        row = book.iloc[i]
        create = jdpricer.create_european_call if row["type"] == "call" else jdpricer.create_european_put
        expected = create(row["T"], row["K"]).priceByKouJumpDiffusion(row["S"], row["r"], *model, n)
        if not same_bits(np.array([expected]), prices[i : i + 1]):
            raise AssertionError(f"row {i}: batch {prices[i]!r}, jdpricer {expected!r}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", type=int, default=1_000_000, help="options in the book (default %(default)s)")
    parser.add_argument("--files", type=int, default=20, help="Parquet files = partitions (default %(default)s)")
    parser.add_argument("--book", help="directory of the book (default: a temporary one); reused if it exists")
    parser.add_argument("--scheduler", help="address of a running scheduler (default: LocalClusters on 127.0.0.1)")
    parser.add_argument("--workers", type=int, nargs="+", default=[1, 2], help="LocalCluster sizes (default 1 2)")
    parser.add_argument("--repeat", type=int, default=3, help="timed runs per setting, best kept (default %(default)s)")
    args = parser.parse_args()
    if args.scheduler and not args.book:
        parser.error("--scheduler needs --book, a directory that every worker can read")

    with contextlib.ExitStack() as stack:
        path = args.book or stack.enter_context(tempfile.TemporaryDirectory(prefix="kou-book-"))
        if not (os.path.isdir(path) and os.listdir(path)):
            write_book(make_book(args.rows), path, args.files)
        maturities = pq.read_table(path, columns=["T"]).column("T").to_numpy()
        rows = len(maturities)
        n = poisson_terms(MODEL, float(maturities.max()))
        print(f"book: {rows} options in {len(os.listdir(path))} Parquet files at {path}; model {tuple(MODEL)}, n = {n}")

        seconds, reference = best_time(lambda: price_single_process(path, MODEL, n), args.repeat)
        check_sample_against_jdpricer(path, reference, MODEL, n)
        print(f"single process (read + price): {seconds:.2f} s, {rows / seconds:,.0f} options/s")

        def measure(client, label):
            price_on_cluster(client, path, MODEL, n)  # workers import jdpricer and warm up
            seconds, prices = best_time(lambda: price_on_cluster(client, path, MODEL, n), args.repeat)
            identical = same_bits(prices, reference)
            print(
                f"{label}: {seconds:.2f} s, {rows / seconds:,.0f} options/s; "
                f"prices {'bit for bit' if identical else 'DIFFERENT from'} the single process's"
            )
            if not identical:
                raise SystemExit(1)

        if args.scheduler:
            from dask.distributed import Client

            with Client(args.scheduler) as client:
                workers = client.scheduler_info()["workers"].values()
                threads = sum(w["nthreads"] for w in workers)
                measure(client, f"cluster at {args.scheduler}, {len(workers)} workers, {threads} threads")
        else:
            for count in args.workers:
                with local_cluster(count) as client:
                    measure(client, f"LocalCluster, {count} worker{'s' if count > 1 else ''} x 1 thread")


if __name__ == "__main__":
    main()
