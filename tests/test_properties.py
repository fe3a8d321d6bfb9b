"""Property tests: every function against networkx or a brute-force model on
generated graphs, plus the sum-to-one and order-independence laws."""

import itertools
from collections import defaultdict

import networkx as nx
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import vexa
from models import full_lists, upper_lists

decompose = vexa.maxclique_decompose_with_weights
pruned = vexa.enumerate_cliques_with_weights
noprune = vexa.enumerate_cliques_with_weights_noprune
edgeonly = vexa.enumerate_cliques_with_weights_edgeonly

MAX_NODES = 14
fast = settings(max_examples=120, deadline=None)


@st.composite
def graphs(draw, max_nodes=MAX_NODES):
    """(n, edges): a simple undirected graph, edges as ascending pairs."""
    n = draw(st.integers(0, max_nodes))
    pairs = list(itertools.combinations(range(n), 2))
    mask = draw(st.lists(st.booleans(), min_size=len(pairs), max_size=len(pairs)))
    return n, frozenset(p for p, keep in zip(pairs, mask) if keep)


def to_nx(n, edges):
    g = nx.Graph()
    g.add_nodes_from(range(n))
    g.add_edges_from(edges)
    return g


def all_cliques(n, edges, maxrank):
    """Every clique of at most maxrank nodes (0: no bound), size then lexicographic."""
    cut = maxrank or n
    found = [c for c in nx.enumerate_all_cliques(to_nx(n, edges)) if len(c) <= cut]
    return sorted((tuple(sorted(c)) for c in found), key=lambda c: (len(c), c))


def containment_sums(cliques, weights):
    """For every sub-clique of a result clique: sum of weights of result cliques containing it."""
    sums = defaultdict(int)
    for c, w in zip(cliques, weights):
        c = tuple(c)
        for k in range(1, len(c) + 1):
            for s in itertools.combinations(c, k):
                sums[s] += w
    return sums


def top_cliques(n, edges, maxrank):
    tops = set()
    for m in nx.find_cliques(to_nx(n, edges)):
        m = tuple(sorted(m))
        tops.update([m] if len(m) <= maxrank else itertools.combinations(m, maxrank))
    return tops


def as_pairs(result):
    return {(tuple(c), w) for c, w in zip(*result)}


# Maximal cliques ------------------------------------------------------------


@fast
@given(graphs())
def test_maximal_cliques_match_networkx(g):
    n, edges = g
    cliques, weights = decompose(full_lists(n, edges), max(n, 1))
    sets = [frozenset(c) for c in cliques]
    maximal = {c for c in sets if not any(c < d for d in sets)}
    assert maximal == {frozenset(c) for c in nx.find_cliques(to_nx(n, edges))}
    # Maximal cliques are never cut at this maxrank, so each carries weight 1.
    assert all(w == 1 for c, w in zip(sets, weights) if c in maximal)


# Bounded cliques on upper-form lists ----------------------------------------


@fast
@given(graphs(), st.integers(0, 5))
def test_bounded_cliques_are_every_clique_in_breadth_first_order(g, maxrank):
    n, edges = g
    expected = [list(c) for c in all_cliques(n, edges, maxrank)]
    nbrs = upper_lists(n, edges)
    cliques_p, weights_p = pruned(nbrs, maxrank)
    cliques_u, weights_u = noprune(nbrs, maxrank)
    assert cliques_p == expected
    assert cliques_u == expected
    # Both weightings agree on upper-form lists.
    assert weights_p == weights_u


@fast
@given(graphs(), st.integers(0, 5))
def test_bounded_weights_sum_to_one(g, maxrank):
    n, edges = g
    for fn in (pruned, noprune):
        cliques, weights = fn(upper_lists(n, edges), maxrank)
        sums = containment_sums(cliques, weights)
        assert all(sums[tuple(c)] == 1 for c in cliques)


# Decomposition weights --------------------------------------------------------


@fast
@given(graphs(), st.integers(1, 5))
def test_decomposition_counts_every_subset_of_a_top_clique_once(g, maxrank):
    n, edges = g
    cliques, weights = decompose(full_lists(n, edges), maxrank)
    # Form: no zero weight, no clique above maxrank, sizes largest first,
    # ascending within each size, every clique ascending and inside the graph.
    assert all(w != 0 for w in weights)
    assert all(len(c) <= maxrank for c in cliques)
    assert cliques == sorted(cliques, key=lambda c: (-len(c), c))
    assert len(set(map(tuple, cliques))) == len(cliques)
    tops = top_cliques(n, edges, maxrank)
    covered = set()
    for t in tops:
        for k in range(1, len(t) + 1):
            covered.update(itertools.combinations(t, k))
    # Every returned clique belongs to the family below the top cliques ...
    assert all(tuple(c) in covered for c in cliques)
    # ... and every member of that family is counted exactly once.
    sums = containment_sums(cliques, weights)
    assert all(sums[s] == 1 for s in covered)


# Edge-only weights -------------------------------------------------------------


@fast
@given(graphs())
def test_edgeonly_sums_to_one_and_matches_rank_two(g):
    n, edges = g
    adj = full_lists(n, edges)
    cliques, weights = edgeonly(adj)
    assert cliques[:n] == [[v] for v in range(n)]
    assert sorted(map(tuple, cliques[n:])) == sorted(edges)
    total = list(weights[:n])
    for c, w in zip(cliques[n:], weights[n:]):
        total[c[0]] += w
        total[c[1]] += w
    assert total == [1] * n
    # Same pairs as the bounded enumeration cut at two nodes.
    assert as_pairs((cliques, weights)) == as_pairs(pruned(upper_lists(n, edges), 2))


# Independence from list order and node numbering --------------------------------


@fast
@given(graphs(), st.integers(1, 5), st.randoms(use_true_random=False))
def test_decomposition_ignores_list_order(g, maxrank, rng):
    n, edges = g
    adj = full_lists(n, edges)
    expected = decompose(adj, maxrank)
    shuffled = [rng.sample(a, len(a)) for a in adj]
    assert decompose(shuffled, maxrank) == expected


@fast
@given(
    graphs().flatmap(lambda g: st.tuples(st.just(g), st.permutations(range(g[0])))),
    st.integers(1, 5),
    st.randoms(use_true_random=False),
)
def test_decomposition_ignores_node_numbering(g_perm, maxrank, rng):
    (n, edges), perm = g_perm
    expected = as_pairs(decompose(full_lists(n, edges), maxrank))
    relabelled = [[] for _ in range(n)]
    for u, v in edges:
        relabelled[perm[u]].append(perm[v])
        relabelled[perm[v]].append(perm[u])
    for a in relabelled:
        rng.shuffle(a)
    back = {new: old for old, new in enumerate(perm)}
    cliques, weights = decompose(relabelled, maxrank)
    mapped = {(tuple(sorted(back[v] for v in c)), w) for c, w in zip(cliques, weights)}
    assert mapped == expected


@fast
@given(graphs(), st.integers(0, 5), st.data())
def test_decomposition_reads_lists_as_a_simple_symmetric_graph(g, maxrank, data):
    """Self-loops, repeats, numbers beyond the last list and one-sided entries
    give the same result as the clean symmetric lists of the same graph."""
    n, edges = g
    expected = decompose(full_lists(n, edges), maxrank)
    noisy = [[] for _ in range(n)]
    for u, v in sorted(edges):
        side = data.draw(st.sampled_from(["both", "low", "high"]))
        if side != "high":
            noisy[u].append(v)
        if side != "low":
            noisy[v].append(u)
    for v in range(n):
        extra = data.draw(
            st.lists(
                st.one_of(
                    st.just(v),
                    st.integers(n, n + 3),
                    st.just(2**64 - 1),
                    st.sampled_from(noisy[v]) if noisy[v] else st.just(v),
                ),
                max_size=3,
            )
        )
        noisy[v] = data.draw(st.permutations(noisy[v] + extra))
    assert decompose(noisy, maxrank) == expected


def test_empty_lists_decompose_to_nothing():
    for maxrank in (0, 1, 7):
        assert decompose([], maxrank) == ([], [])
