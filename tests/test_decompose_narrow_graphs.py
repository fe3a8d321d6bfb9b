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


def one_way(full):
    return [[u for u in lst if u > v] for v, lst in enumerate(full)]


def doubled_one_way(full):
    # As many entries as tidy lists hold, none of them below its node.
    return [[u for u in lst if u > v for _ in range(2)] for v, lst in enumerate(full)]


def shuffled(full):
    return [sorted(lst, key=lambda u: (u * 7919) % 101) for lst in full]


def with_self_loops(full):
    return [[v] + list(lst) + [v] for v, lst in enumerate(full)]


def descending(full):
    return [sorted(lst, reverse=True) for lst in full]


@pytest.mark.parametrize("form", [one_way, doubled_one_way, shuffled, with_self_loops, descending])
@pytest.mark.parametrize("n, degree, seed", [(300, 10, 5), (200, 20, 6)])
def test_untidy_lists_give_the_tidy_result(form, n, degree, seed):
    g = graphs.random_geometric_3d(n, degree, seed=seed)
    full = g.full()
    want = vexa.maxclique_decompose_with_weights(full, 64)
    assert want == expected(g.upper(), 64)
    assert vexa.maxclique_decompose_with_weights(form(full), 64) == want
