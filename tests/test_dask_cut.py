"""What a shard's subgraph holds: every clique that shares a clique with
its owned nodes, with the edges between two outside nodes trimmed where
they cannot be needed; the shards' results together, worked out in this
process for every way of owning the nodes, are exactly the single call's."""

import sys
from pathlib import Path

import networkx as nx
import numpy as np
import pytest

import vexa
from vexa_dask import graphs, shards

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT))
from bench.graphs import barabasi_albert, erdos_renyi, random_geometric_3d  # noqa: E402


def single(kind, g, maxrank):
    if kind == "decompose":
        return vexa.maxclique_decompose_with_weights(graphs.rows(g), maxrank)
    return vexa.enumerate_cliques_with_weights(graphs.rows(graphs.upper(g)), maxrank)


def in_process(kind, g, maxrank, owned):
    tasks = [shards.subgraph(g, kind, i, r, maxrank) for i, r in enumerate(owned)]
    parts = [shards.run(kind, maxrank, t) for t in tasks]
    # Each call lists its own cliques and some of its neighbours'; alone it
    # lists exactly the result.
    assert all(p.timing.listed >= p.timing.rows for p in parts)
    if len(parts) == 1:
        assert parts[0].timing.listed == parts[0].timing.rows
    return shards.merge(kind, parts)


def _edges(b):
    return graphs.csr((b.n, b.edges))


def _wheel():
    """A hub joined to a cycle of 12 and to a K5 hanging off it: every
    clique holds the hub or lies next to it."""
    g = nx.wheel_graph(13)
    g.add_edges_from((a, b) for a in range(13, 18) for b in range(a + 1, 18))
    g.add_edges_from((0, a) for a in range(13, 18))
    return graphs.csr(g)


GRAPHS = {
    "geo3d": lambda: _edges(random_geometric_3d(400, 12, seed=3)),
    "gnp-dense": lambda: _edges(erdos_renyi(36, 0.5, seed=4)),
    "ba-hubs": lambda: _edges(barabasi_albert(150, 4, seed=5)),
    "wheel-and-k5": _wheel,
    "k9": lambda: graphs.csr(nx.complete_graph(9)),
}
MAXRANKS = {"decompose": [0, 1, 2, 3, 4, 64], "cliques": [0, 1, 2, 3, 4, 6]}


def _random_owners(n, count, seed):
    """`count` random sets of owned nodes (the empty ones left out)."""
    label = np.random.default_rng(seed).integers(0, count, size=n)
    owned = [np.flatnonzero(label == i).astype(np.int64) for i in range(count)]
    return [r for r in owned if len(r)]


@pytest.mark.parametrize("kind", ["decompose", "cliques"])
@pytest.mark.parametrize("name", GRAPHS)
def test_shards_give_the_single_call_for_every_way_of_owning_the_nodes(kind, name):
    g = GRAPHS[name]()
    for maxrank in MAXRANKS[kind]:
        if kind == "cliques" and maxrank == 0 and name in ("gnp-dense", "k9"):
            continue  # every clique of a dense graph: long, and maxrank 6 covers the cut
        expected = single(kind, g, maxrank)
        # Cut from the plan (the ordering's pieces, down to one node each)
        # and at random (every node on some boundary, hubs owned apart from
        # their neighbours).
        ways = {f"plan-{c}": shards.plan(g, c).owned for c in (1, 2, 3, 7, g.n)}
        ways.update({f"random-{c}": _random_owners(g.n, c, seed=c) for c in (2, 5, 17)})
        for way, owned in ways.items():
            assert in_process(kind, g, maxrank, owned) == expected, (name, kind, maxrank, way)


def _held(g, r, far_edges=True):
    u, source, target = shards.held_edges(g, np.asarray(r, dtype=np.int64), far_edges)
    return u.tolist(), sorted(zip(source.tolist(), target.tolist()))


def _both_ways(pairs):
    return sorted([(a, b) for a, b in pairs] + [(b, a) for a, b in pairs])


def test_edges_between_outside_nodes_stay_only_with_a_common_owned_neighbour():
    # Owned: 0 and 1.  2 and 3 are neighbours of 0 (their edge lies in a
    # triangle with 0); 4 is a neighbour of 1 only, so the edge 3-4 lies in
    # no clique with an owned node; 5 lies beyond the closed neighbourhoods.
    edges = [(0, 2), (0, 3), (2, 3), (1, 4), (3, 4), (4, 5), (0, 1)]
    g = graphs.csr((6, edges))
    u, held = _held(g, [0, 1])
    assert u == [0, 1, 2, 3, 4]
    assert held == _both_ways([(0, 1), (0, 2), (0, 3), (1, 4), (2, 3)])
    # Bounded cliques of at most two nodes need no edge between outside nodes.
    u, held = _held(g, [0, 1], far_edges=False)
    assert u == [0, 1, 2, 3, 4]
    assert held == _both_ways([(0, 1), (0, 2), (0, 3), (1, 4)])
    assert shards.far_edges_needed("cliques", 2) is False
    assert all(shards.far_edges_needed(k, m) for k, m in [("cliques", 0), ("cliques", 3), ("decompose", 1)])


def test_the_cut_of_a_geometric_graph_keeps_every_needed_edge_and_drops_most_others():
    g = _edges(random_geometric_3d(3000, 14, seed=8))
    r = shards.plan(g, 4).owned[1]
    inside = np.zeros(g.n, dtype=bool)
    inside[r] = True
    u, source, target = shards.held_edges(g, r)
    held = set(zip(source.tolist(), target.tolist()))
    needed = dropped = kept = 0
    lists = graphs.rows(g)
    owned_neighbours = [{w for w in lists[v] if inside[w]} for v in range(g.n)]
    for a in shards.neighbourhood(g, r).tolist():
        for b in lists[a]:
            if inside[a] or inside[b]:
                assert (a, b) in held
            elif np.isin(b, u) and owned_neighbours[a] & owned_neighbours[b]:
                assert (a, b) in held
                needed += 1
            elif np.isin(b, u):
                dropped += (a, b) not in held
                kept += (a, b) in held
    # 64 bits a node: a few unneeded edges stay by chance.
    assert needed > 0 and dropped > 4 * kept


def test_the_plan_reports_the_trimmed_subgraphs():
    g = _edges(random_geometric_3d(3000, 14, seed=8))
    for far_edges in (True, False):
        plan = shards.plan(g, 4, far_edges=far_edges)
        for r, nodes, edges, work in zip(plan.owned, plan.nodes, plan.edges, plan.work):
            u, source, _ = shards.held_edges(g, r, far_edges)
            degree = np.bincount(np.searchsorted(u, source), minlength=len(u))
            assert (nodes, edges) == (len(u), len(source) // 2)
            assert work == pytest.approx(((degree + 1.0) ** 2).sum())
        induced = sum(shards.node_work(g)[shards.neighbourhood(g, r)].sum() for r in plan.owned) / plan.total - 1
        assert 0 < plan.overhead < induced
