"""Decompositions whose cliques are too large to expand: a hub with a rim of
triangles and a large clique through the hub, and cut cases whose answer is
exponential, which must end in MemoryError with the interpreter intact."""

import itertools
import os
import subprocess
import sys
import textwrap

import pytest

import vexa


def hub_graph(rim, clique):
    n = rim + clique + 1
    edges = [(0, i) for i in range(1, rim + 1)] + [(i, i % rim + 1) for i in range(1, rim + 1)]
    edges += itertools.combinations([0] + list(range(rim + 1, n)), 2)
    adj = [[] for _ in range(n)]
    for a, b in edges:
        adj[a].append(b)
        adj[b].append(a)
    return adj


def hub_answer(rim, clique):
    big = [0] + list(range(rim + 1, rim + clique + 1))
    triangles = sorted(sorted([0, i, i % rim + 1]) for i in range(1, rim + 1))
    spokes = [[0, i] for i in range(1, rim + 1)]
    return [big] + triangles + spokes, [1] * (1 + rim) + [-1] * rim


@pytest.mark.parametrize("rim", [60, 63, 64, 65, 100, 200])
@pytest.mark.parametrize("clique", [10, 28, 63, 80])
def test_hub_with_rim_and_large_clique(rim, clique):
    adj = hub_graph(rim, clique)
    want = hub_answer(rim, clique)
    for maxrank in (clique + 1, 100, 2**64 - 1):
        if maxrank > clique:
            assert vexa.maxclique_decompose_with_weights(adj, maxrank) == tuple(want)


def slow_closure_weights(maximal):
    """Weights over the closure of the maximal cliques under intersection."""
    members = set(maximal)
    while True:
        new = {a & b for a in members for b in maximal} - members - {frozenset()}
        if not new:
            break
        members |= new
    weight = {}
    for s in sorted(members, key=len, reverse=True):
        weight[s] = 1 - sum(w for u, w in weight.items() if len(u) > len(s) and s < u)
    return {tuple(sorted(s)): w for s, w in weight.items() if w != 0}


@pytest.mark.parametrize("seed", range(4))
def test_planted_cliques_against_a_slow_closure(seed):
    import random

    rng = random.Random(seed)
    n = 130 + 15 * seed
    adj = [set() for _ in range(n)]
    for u in range(n):
        for v in range(u + 1, n):
            if rng.random() < 0.05:
                adj[u].add(v)
                adj[v].add(u)
    for size in (70, 45):
        planted = rng.sample(range(n), size)
        for u, v in itertools.combinations(planted, 2):
            adj[u].add(v)
            adj[v].add(u)
    lists = [sorted(a) for a in adj]
    cliques, weights = vexa.maxclique_decompose_with_weights(lists, 2**64 - 1)
    assert max(map(len, cliques)) >= 70
    # The maximal cliques are the answer's cliques that no other contains.
    sets = [frozenset(c) for c in cliques]
    maximal = [s for s in sets if not any(s < t for t in sets)]
    assert dict(zip(map(tuple, cliques), weights)) == slow_closure_weights(maximal)
    for a, b in zip(cliques, cliques[1:]):
        assert len(a) > len(b) or (len(a) == len(b) and a < b)


LIMITED = textwrap.dedent(
    """
    import resource, vexa
    size = int(open('/proc/self/statm').read().split()[0]) * resource.getpagesize()
    limit = size + (384 << 20)
    resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    adj = [[u for u in range(40) if u != v] for v in range(40)]
    try:
        vexa.maxclique_decompose_with_weights(adj, 20)
    except MemoryError:
        print("MemoryError")
    print(vexa.maxclique_decompose_with_weights([[1], [0, 2], [1]], 2))
    """
)


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="address-space limit and /proc are Linux")
@pytest.mark.skipif(os.environ.get("VEXA_SANITIZE") == "1",
                    reason="the sanitizer runtime's own reservations do not fit the address-space limit")
def test_exponential_cut_ends_in_memory_error_under_a_limit():
    # K40 cut at 20 nodes has 138 billion top cliques.
    done = subprocess.run([sys.executable, "-c", LIMITED], capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split("\n")[:2] == ["MemoryError", "([[0, 1], [1, 2], [1]], [1, 1, -1])"]


UNLIMITED = textwrap.dedent(
    """
    import vexa
    adj = [[u for u in range(40) if u != v] for v in range(40)]
    try:
        vexa.maxclique_decompose_with_weights(adj, 20)
    except MemoryError:
        print("MemoryError")
    """
)


@pytest.mark.skipif(os.environ.get("VEXA_SANITIZE") == "1",
                    reason="the sanitizer runtime may end the process on a large request")
def test_exponential_cut_without_a_limit_ends_in_memory_error_quickly():
    # No address-space limit: the 138 billion top cliques alone need more
    # memory than any machine has, which must be seen before any counting
    # towards the memory limit (that took minutes, past this timeout).
    done = subprocess.run([sys.executable, "-c", UNLIMITED], capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == ["MemoryError"]


RESULT_TOO_LARGE = textwrap.dedent(
    """
    import resource, vexa
    size = int(open('/proc/self/statm').read().split()[0]) * resource.getpagesize()
    limit = size + (384 << 20)
    resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    # K320 at maxrank 3: the walk's tree takes about 90 MB, the 5.5 million
    # cliques returned need at least 520 MB of Python objects.
    adj = [[u for u in range(320) if u != v] for v in range(320)]
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    try:
        vexa.maxclique_decompose_with_weights(adj, 3)
    except MemoryError:
        print("MemoryError")
    grown = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before
    print(grown // 1024)
    print(vexa.maxclique_decompose_with_weights([[1], [0, 2], [1]], 3))
    """
)


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="address-space limit and /proc are Linux")
@pytest.mark.skipif(os.environ.get("VEXA_SANITIZE") == "1",
                    reason="the sanitizer runtime's own reservations do not fit the address-space limit")
def test_result_too_large_for_the_memory_ends_before_its_objects_are_made():
    # A result that cannot fit is refused before its lists are made, not
    # after hundreds of megabytes of them (which, on a system that
    # overcommits, is where the kernel would otherwise kill the process).
    done = subprocess.run([sys.executable, "-c", RESULT_TOO_LARGE], capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    lines = done.stdout.split("\n")
    assert lines[0] == "MemoryError"
    assert int(lines[1]) < 250, f"the process grew by {lines[1]} MB before the MemoryError"
    assert lines[2] == "([[0, 1], [1, 2], [1]], [1, 1, -1])"
