#!/usr/bin/env python3
"""Times vexa's four functions on the same graph given as lists of ints and
as numpy integer arrays, side by side in one process.

    python bench/numpy_input.py [--quick] [--repeat N]
    python bench/numpy_input.py --one-call FORM --row K   # for callgrind, below

Forms of the same neighbour lists, each timed with the same call:

- ``lists``: a list of lists of ints (the reference);
- ``int64 arrays``: a list of int64 arrays, slices of one CSR index array
  (what ``np.split(indices, indptr[1:-1])`` gives for a scipy CSR matrix);
- ``int32 arrays``: the same with int32 entries;
- ``int64 arrays, generic``: the int64 arrays as an ndarray subclass, which
  the module reads item by item like any other sequence (the speed of numpy
  input without the buffer path);
- ``int64 arrays, unpickled``: the int64 arrays unpickled one by one, each
  with a dtype object of its own;
- ``tolist() + call``: converting the arrays to lists first;
- ``2-D array``: for the edge-only weights, a k-regular graph as one
  (n, k) array, next to the same rows as lists.

Each round calls every form once, in an order rotated from round to round;
the table gives each form's median and its ratio to the lists' median
(below 1: faster than lists).

``--one-call FORM --row K`` makes 200,000 entries in rows of K as ``lists``,
``int64`` or ``int32`` arrays and converts them in one edge-only call, for
counting the conversion's instructions:

    valgrind --tool=callgrind --toggle-collect='vexa::module::convert_neighbour_lists*' \
        python bench/numpy_input.py --one-call int64 --row 8

(the symbols are there in a build installed with ``-Cinstall.strip=false``).
"""

from __future__ import annotations

import argparse
import gc
import pickle
import statistics
import sys
import time
from pathlib import Path
from typing import Any, Callable

import numpy as np

ROOT = Path(__file__).resolve().parents[1]
if str(ROOT) not in sys.path:
    sys.path.insert(0, str(ROOT))

from bench import graphs  # noqa: E402

try:
    import vexa
except ImportError as exc:  # pragma: no cover - depends on the environment
    sys.exit(f"cannot import vexa ({exc}); pip install . first")


class GenericArray(np.ndarray):
    """An ndarray subclass: the module reads it through the sequence protocol."""


def csr(n: int, edges: np.ndarray, *, symmetric: bool) -> tuple[np.ndarray, np.ndarray]:
    """(indptr, indices) of the lists, each list ascending."""
    src, dst = edges[:, 0], edges[:, 1]
    if symmetric:
        src, dst = np.concatenate([src, dst]), np.concatenate([dst, src])
    order = np.lexsort((dst, src))
    indptr = np.searchsorted(src[order], np.arange(n + 1))
    return indptr, np.ascontiguousarray(dst[order])


def forms(n: int, edges: np.ndarray, *, symmetric: bool) -> dict[str, Any]:
    indptr, indices = csr(n, edges, symmetric=symmetric)
    arrays64 = np.split(indices.astype(np.int64), indptr[1:-1])
    return {
        "lists": [a.tolist() for a in arrays64],
        "int64 arrays": arrays64,
        "int32 arrays": np.split(indices.astype(np.int32), indptr[1:-1]),
        "int64 arrays, generic": [a.view(GenericArray) for a in arrays64],
        "int64 arrays, unpickled": [pickle.loads(pickle.dumps(a)) for a in arrays64],
    }


def time_once(fn: Callable[[], Any]) -> float:
    gc.collect()
    t0 = time.perf_counter()
    fn()
    return time.perf_counter() - t0


def compare(title: str, call: Callable[[Any], Any], inputs: dict[str, Any], repeat: int,
            extra: dict[str, Callable[[], Any]] | None = None) -> None:
    contenders = {name: (lambda x=x: call(x)) for name, x in inputs.items()}
    contenders.update(extra or {})
    # Every form must give the same result as the lists.
    expected = call(inputs["lists"])
    for name, fn in contenders.items():
        assert fn() == expected, f"{title}: {name} differs from lists"
    times: dict[str, list[float]] = {name: [] for name in contenders}
    names = list(contenders)
    for r in range(repeat):
        order = names[r % len(names):] + names[:r % len(names)]
        for name in order:
            times[name].append(time_once(contenders[name]))
    ref = statistics.median(times["lists"])
    print(f"\n{title}")
    for name in names:
        med = statistics.median(times[name])
        print(f"    {name:<26} {med * 1e3:9.1f} ms   {med / ref:5.2f} x lists")


def main(argv: list[str] | None = None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--quick", action="store_true", help="smaller graphs, fewer rounds")
    ap.add_argument("--repeat", type=int, default=None, help="rounds (default 7, quick 3)")
    ap.add_argument("--one-call", choices=["lists", "int64", "int32"],
                    help="only convert 200,000 entries in this form, once")
    ap.add_argument("--row", type=int, default=8, help="entries per row for --one-call")
    args = ap.parse_args(argv)
    if args.one_call:
        rows = 200_000 // args.row
        table = np.random.default_rng(1).integers(0, rows, size=(rows, args.row))
        x = (table.tolist() if args.one_call == "lists"
             else [np.array(r, dtype=args.one_call) for r in table])
        vexa.enumerate_cliques_with_weights_edgeonly(x)
        return 0
    repeat = args.repeat or (3 if args.quick else 7)
    n = 10_000 if args.quick else 50_000

    g = graphs.barabasi_albert(n, 4, seed=1)
    print(f"graph: Barabasi-Albert n = {g.n}, m = 4, {g.edge_count} edges; "
          f"median of {repeat} rounds, one process")
    full = forms(g.n, g.edges, symmetric=True)
    upper = forms(g.n, g.edges, symmetric=False)

    def tolist_then(fn: Callable[[Any], Any], arrays: list[np.ndarray]) -> Callable[[], Any]:
        return lambda: fn([a.tolist() for a in arrays])

    eo = vexa.enumerate_cliques_with_weights_edgeonly
    compare(f"enumerate_cliques_with_weights_edgeonly(adj): {sum(map(len, full['lists']))} entries",
            eo, full, repeat, {"tolist() + call": tolist_then(eo, full["int64 arrays"])})

    def md(x: Any) -> Any:
        return vexa.maxclique_decompose_with_weights(x, 64)
    compare("maxclique_decompose_with_weights(adj, 64)", md, full, repeat,
            {"tolist() + call": tolist_then(md, full["int64 arrays"])})

    for fn in (vexa.enumerate_cliques_with_weights, vexa.enumerate_cliques_with_weights_noprune):
        def ec(x: Any, fn: Callable[..., Any] = fn) -> Any:
            return fn(x, 3)
        compare(f"{fn.__name__}(nbrs, 3)", ec, upper, repeat,
                {"tolist() + call": tolist_then(ec, upper["int64 arrays"])})

    # A 2-D array, read as its rows: a ring lattice where every node has the
    # k nearest nodes on each side as neighbours.
    k = 4
    ring = np.arange(n, dtype=np.int64)[:, None] + np.concatenate([np.arange(-k, 0), np.arange(1, k + 1)])
    ring %= n
    ring.sort(axis=1)
    compare(f"enumerate_cliques_with_weights_edgeonly(adj): ring lattice, one ({n}, {2 * k}) array",
            eo, {"lists": ring.tolist(), "2-D int64 array": ring, "2-D int32 array": ring.astype(np.int32),
                 "list of int64 rows": list(ring)}, repeat)
    return 0


if __name__ == "__main__":
    sys.exit(main())
