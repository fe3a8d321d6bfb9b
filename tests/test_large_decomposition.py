"""A decomposition large enough that its size groups are ordered in slices
that are then merged (more than 8192 cliques sharing a size and first node)."""

import random

import vexa


def dense_graph(n, p, seed):
    rng = random.Random(seed)
    adj = [[] for _ in range(n)]
    for u in range(n):
        for v in range(u + 1, n):
            if rng.random() < p:
                adj[u].append(v)
                adj[v].append(u)
    return adj


def test_large_groups_are_ordered_and_independent_of_numbering():
    n = 120
    adj = dense_graph(n, 0.55, seed=3)
    cliques, weights = vexa.maxclique_decompose_with_weights(adj, 64)
    assert len(cliques) > 500_000 and 0 not in weights
    # largest size first, each size group ascending, no clique twice
    for a, b in zip(cliques, cliques[1:]):
        assert len(a) > len(b) or (len(a) == len(b) and a < b)

    # the same graph with its nodes renumbered gives the same pairs
    perm = list(range(n))
    random.Random(4).shuffle(perm)
    inverse = {new: old for old, new in enumerate(perm)}
    relabelled = [None] * n
    for v, a in enumerate(adj):
        relabelled[perm[v]] = [perm[u] for u in a]
    cliques2, weights2 = vexa.maxclique_decompose_with_weights(relabelled, 64)
    back = {tuple(sorted(inverse[v] for v in c)): w for c, w in zip(cliques2, weights2)}
    assert back == {tuple(c): w for c, w in zip(cliques, weights)}
