"""Mapping vexa over many graphs: all cores of one machine, or a Dask cluster.

A call of a vexa function holds the interpreter lock from start to finish, so
threads do not run two calls at once: scale out with processes.  The four
functions pickle by reference (as ``vexa.<name>``), so any worker process that
can ``import vexa`` can run them, and only the graphs and the results travel.

    python examples/batch.py            # a small demonstration on random graphs
"""

from __future__ import annotations

import itertools
import random
from collections.abc import Callable, Sequence
from concurrent.futures import ProcessPoolExecutor
from multiprocessing.context import BaseContext
from typing import TYPE_CHECKING, SupportsIndex

import vexa

if TYPE_CHECKING:
    from distributed import Client

Lists = Sequence[Sequence[SupportsIndex]]
Result = tuple[list[list[int]], list[int]]
# One of the four vexa functions; extra arguments (maxrank) follow the lists.
Function = Callable[..., Result]


def map_serial(function: Function, graphs: Sequence[Lists], *args: SupportsIndex) -> list[Result]:
    """The reference: one call after the other, in this process."""
    return [function(g, *args) for g in graphs]


def map_processes(
    function: Function,
    graphs: Sequence[Lists],
    *args: SupportsIndex,
    workers: int | None = None,
    context: BaseContext | None = None,
) -> list[Result]:
    """All cores of this machine; results come back in the order of `graphs`.

    `context` is the multiprocessing start method's context (None: the
    platform's default).  A program that already runs threads (a Dask
    client, say) should pass ``multiprocessing.get_context("forkserver")``
    where it exists: forking a threaded process can deadlock the children,
    and Python 3.12 and later warn when it happens.
    """
    # Hand out several small graphs per task so the inter-process traffic
    # does not outweigh the work.
    chunk = max(1, len(graphs) // (4 * (workers or 4)))
    with ProcessPoolExecutor(max_workers=workers, mp_context=context) as pool:
        return list(pool.map(function, graphs, *(itertools.repeat(a) for a in args), chunksize=chunk))


def map_dask(client: Client, function: Function, graphs: Sequence[Lists], *args: SupportsIndex) -> list[Result]:
    """Any Dask cluster: a LocalCluster, or the workers of a real cluster.

    Give the workers one thread each (the calls hold the interpreter lock) and
    install vexa on every worker.  `pure=False` spares hashing every graph to
    name its task.
    """
    futures = client.map(function, graphs, *([a] * len(graphs) for a in args), pure=False)
    results: list[Result] = client.gather(futures)
    return results


def canonical(result: Result) -> list[tuple[list[int], int]]:
    """(clique, weight) pairs, largest cliques first, ascending within a size.

    Every function returns its cliques in a fixed order, the same in every
    run, so two results of one function compare as they are.  This is the
    order of maxclique_decompose_with_weights; put results in this form to
    compare them with results listed in another order (another function's,
    or a computation of your own).
    """
    return sorted(zip(*result), key=lambda pair: (-len(pair[0]), pair[0]))


def random_graphs(count: int, nodes: int, p: float, seed: int = 0) -> list[list[list[int]]]:
    """`count` random graphs G(nodes, p) as upper-form neighbour lists."""
    rng = random.Random(seed)
    return [[[w for w in range(v + 1, nodes) if rng.random() < p] for v in range(nodes)] for _ in range(count)]


def upper_to_symmetric(nbrs: Sequence[Sequence[int]]) -> list[list[int]]:
    """Full symmetric lists from upper-form ones."""
    adj: list[list[int]] = [[] for _ in nbrs]
    for v, ws in enumerate(nbrs):
        for w in ws:
            adj[v].append(w)
            adj[w].append(v)
    return [sorted(a) for a in adj]


if __name__ == "__main__":
    graphs = random_graphs(200, 30, 0.3)
    serial = map_serial(vexa.enumerate_cliques_with_weights, graphs, 4)
    parallel = map_processes(vexa.enumerate_cliques_with_weights, graphs, 4)
    print(f"{len(graphs)} graphs, process pool gives the serial results: {parallel == serial}")
