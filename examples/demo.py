"""Cliques and weights of a small graph, from each of vexa's four functions.

    python examples/demo.py              # the built-in graph
    python examples/demo.py edges.txt    # an edge list: one "u v" pair of node numbers per line

The nodes of an edge list are 0 .. its largest number, taken as they are: a
number that stands in no line is an isolated node, so number the nodes
densely (a file with large, sparse node ids makes one list per id).

Each table lists the cliques a function returns with their weights.  Below it,
the check that makes the weights useful: for every node and every edge of the
graph, the weights of the returned cliques that hold it add up to exactly 1,
so a weighted sum over the cliques counts each shared node and edge once.
"""

from __future__ import annotations

import sys
from collections.abc import Callable

import vexa

# Two triangles sharing the edge 1-2, and a tail 3-4.
BUILTIN_EDGES = [(0, 1), (0, 2), (1, 2), (1, 3), (2, 3), (3, 4)]

Result = tuple[list[list[int]], list[int]]


def read_edges(path: str) -> list[tuple[int, int]]:
    """(u, v) pairs from a text file; '#' starts a comment, blank lines are skipped."""
    edges: list[tuple[int, int]] = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            fields = line.split("#", 1)[0].split()
            if not fields:
                continue
            try:
                u, v = (int(x) for x in fields[:2])
                if len(fields) < 2 or u < 0 or v < 0:
                    raise ValueError
            except ValueError:
                raise SystemExit(f"{path}:{number}: expected two node numbers >= 0, got {line.strip()!r}")
            edges.append((u, v))
    return edges


def neighbour_lists(edges: list[tuple[int, int]]) -> tuple[list[list[int]], list[list[int]]]:
    """(upper form, full symmetric lists), without self-loops or repeats."""
    n = 1 + max((max(u, v) for u, v in edges), default=-1)
    adj: list[set[int]] = [set() for _ in range(n)]
    for u, v in edges:
        if u != v:
            adj[u].add(v)
            adj[v].add(u)
    upper = [sorted(w for w in a if w > v) for v, a in enumerate(adj)]
    full = [sorted(a) for a in adj]
    return upper, full


def show(title: str, result: Result, upper: list[list[int]]) -> None:
    cliques, weights = result
    width = max([len("clique")] + [len(str(c)) for c in cliques]) + 2
    print(f"\n{title}")
    print(f"  {'clique':<{width}}{'weight':>6}")
    for clique, weight in zip(cliques, weights):
        print(f"  {str(clique):<{width}}{weight:>6}")
    # Every node and every edge must be counted exactly once: add each
    # clique's weight to the nodes and node pairs it holds.
    count: dict[tuple[int, ...], int] = {}
    for clique, weight in zip(cliques, weights):
        for i, v in enumerate(clique):
            count[(v,)] = count.get((v,), 0) + weight
            for w in clique[i + 1 :]:
                count[(min(v, w), max(v, w))] = count.get((min(v, w), max(v, w)), 0) + weight
    parts = [(v,) for v in range(len(upper))] + [(v, w) for v, ws in enumerate(upper) for w in ws]
    wrong = [list(p) for p in parts if count.get(p, 0) != 1]
    verdict = "yes" if not wrong else f"NO, not for {wrong}"
    print(f"  every node and edge counted exactly once (weights of the cliques holding it sum to 1): {verdict}")


def main(argv: list[str]) -> None:
    edges = read_edges(argv[1]) if len(argv) > 1 else BUILTIN_EDGES
    upper, full = neighbour_lists(edges)
    n = len(full)
    print(f"graph: {n} nodes, {sum(map(len, upper))} edges")
    if n == 0:
        return
    # maxrank 0 means no bound for the first two; for the decomposition the
    # node count is a bound that cuts no clique.
    calls: list[tuple[str, Callable[[], Result]]] = [
        ("enumerate_cliques_with_weights(nbrs, 0)", lambda: vexa.enumerate_cliques_with_weights(upper, 0)),
        ("enumerate_cliques_with_weights_noprune(nbrs, 0)",
         lambda: vexa.enumerate_cliques_with_weights_noprune(upper, 0)),
        (f"maxclique_decompose_with_weights(adj, {n})", lambda: vexa.maxclique_decompose_with_weights(full, n)),
        ("enumerate_cliques_with_weights_edgeonly(adj)", lambda: vexa.enumerate_cliques_with_weights_edgeonly(full)),
    ]
    for title, call in calls:
        show(title, call(), upper)


if __name__ == "__main__":
    main(sys.argv)
