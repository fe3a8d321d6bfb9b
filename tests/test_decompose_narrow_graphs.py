"""maxclique_decompose_with_weights on graphs whose degrees stay below 64.

There, with maxrank above every degree no maximal clique can be cut, and the
module weighs the cliques inside the closed neighbourhoods; with maxrank at
the largest degree or below, or a degree of 64 or more, it takes its other
engines.  Both sides of each limit must give the non-zero part of
enumerate_cliques_with_weights on the same graph, in the same order.
"""

import pytest

import vexa
from bench import graphs


def expected(upper, k):
    cliques, weights = vexa.enumerate_cliques_with_weights(upper, k)
    rows = sorted(((c, w) for c, w in zip(cliques, weights) if w != 0), key=lambda r: (-len(r[0]), r[0]))
    return [c for c, _ in rows], [w for _, w in rows]


def with_hub(g, leaves):
    """The graph plus a node joined to the first `leaves` nodes."""
    full = [list(lst) for lst in g.full()] + [list(range(leaves))]
    for v in range(leaves):
        full[v].append(g.n)
    upper = [[u for u in lst if u > v] for v, lst in enumerate(full)]
    return full, upper


GEOMETRIC = [(300, 8, 0), (300, 14, 1), (150, 24, 2), (2000, 6, 3)]


@pytest.mark.parametrize("n, degree, seed", GEOMETRIC)
def test_geometric_graphs_on_both_sides_of_the_degree_limit(n, degree, seed):
    g = graphs.random_geometric_3d(n, degree, seed=seed)
    full, upper = g.full(), g.upper()
    top = max(len(lst) for lst in full)
    assert top < 64
    for k in (top, top + 1, top + 2, 64, 1000):
        assert vexa.maxclique_decompose_with_weights(full, k) == expected(upper, k), k


@pytest.mark.parametrize("leaves", [62, 63, 64, 65])
def test_a_hub_on_both_sides_of_a_words_bits(leaves):
    g = graphs.random_geometric_3d(120, 10, seed=leaves)
    full, upper = with_hub(g, leaves)
    for k in (64, 66):
        assert vexa.maxclique_decompose_with_weights(full, k) == expected(upper, k), (leaves, k)
