"""Cliques and weights of a small graph, from each of vexa's four functions.

    python examples/demo.py              # the built-in graph
    python examples/demo.py edges.txt    # an edge list, one "u v" pair per line
"""

from __future__ import annotations

import sys

import vexa

# Two triangles sharing the edge 1-2, and a tail 3-4.
BUILTIN_EDGES = [(0, 1), (0, 2), (1, 2), (1, 3), (2, 3), (3, 4)]


def read_edges(path: str) -> list[tuple[int, int]]:
    edges = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.split("#", 1)[0].split()
            if len(fields) >= 2:
                edges.append((int(fields[0]), int(fields[1])))
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


def show(title: str, result: tuple[list[list[int]], list[int]], nodes: int) -> None:
    cliques, weights = result
    print(f"\n{title}")
    print(f"  {'clique':<16}{'weight':>7}")
    for clique, weight in zip(cliques, weights):
        print(f"  {str(clique):<16}{weight:>7}")
    # Each node must be counted exactly once by the weighted cliques.
    per_node = [sum(w for c, w in zip(cliques, weights) if v in c) for v in range(nodes)]
    verdict = "yes" if all(s == 1 for s in per_node) else f"no: {per_node}"
    print(f"  weights of the cliques holding each node sum to 1: {verdict}")


def main(argv: list[str]) -> None:
    edges = read_edges(argv[1]) if len(argv) > 1 else BUILTIN_EDGES
    upper, full = neighbour_lists(edges)
    n = len(full)
    print(f"graph: {n} nodes, {sum(map(len, upper))} edges")
    calls = [
        ("enumerate_cliques_with_weights(upper, 0)", vexa.enumerate_cliques_with_weights, (upper, 0)),
        ("enumerate_cliques_with_weights_noprune(upper, 0)", vexa.enumerate_cliques_with_weights_noprune, (upper, 0)),
        ("maxclique_decompose_with_weights(full, 64)", vexa.maxclique_decompose_with_weights, (full, 64)),
        ("enumerate_cliques_with_weights_edgeonly(full)", vexa.enumerate_cliques_with_weights_edgeonly, (full,)),
    ]
    for title, function, args in calls:
        try:
            show(title, function(*args), n)
        except NotImplementedError as exc:
            print(f"\n{title}\n  not available yet: {exc}")


if __name__ == "__main__":
    main(sys.argv)
