"""Robustness of the module as a whole: fuzzing, leaks, reference counts, threads."""

import gc
import io
import os
import sys
import threading
import time
import tracemalloc

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings

import vexa
from fuzz import vexa_fuzz
from fuzz.vexa_fuzz import PanicException

SANITIZED = os.environ.get("VEXA_SANITIZE") == "1"
FUNCTIONS = [getattr(vexa, name) for name in vexa_fuzz.NAMES]
edgeonly = vexa.enumerate_cliques_with_weights_edgeonly


# --- fuzzing -------------------------------------------------------------------------

# The fuzz feeds numpy bools and __index__ methods that return bools on
# purpose; older numpy and Python deprecate both, with a warning per call.
@pytest.mark.filterwarnings("ignore:In future, it will be an error for 'np.bool' scalars:DeprecationWarning")
@pytest.mark.filterwarnings("ignore:__index__ returned non-int:DeprecationWarning")
@settings(max_examples=int(os.environ.get("VEXA_FUZZ_EXAMPLES", "400")), deadline=None,
          suppress_health_check=list(HealthCheck))
@given(vexa_fuzz.calls())
def test_fuzz_every_call_has_an_allowed_outcome(bp):
    vexa_fuzz.run_one(bp)


def test_fuzz_oracle_rejects_wrong_outcomes():
    # The oracle must not accept everything: a wrong result, a wrong message,
    # or an unrelated exception each fail the judgement.
    lists, _ = [[1], [0]], None
    expected = vexa_fuzz.expect_call(vexa_fuzz.F_EDGEONLY, (lists,), {})
    vexa_fuzz.judge_exact(vexa_fuzz.F_EDGEONLY, ("ok", edgeonly(lists)), expected)
    for bad in [("ok", ([[0], [1]], [0, 0])), ("ok", ([[0], [1], [0, 1]], [0, 0, 2])),
                ("raise", RuntimeError("x")), ("raise", MemoryError())]:
        with pytest.raises(vexa_fuzz.Violation):
            vexa_fuzz.judge_exact(vexa_fuzz.F_EDGEONLY, bad, expected)
    expected = vexa_fuzz.expect_call(vexa_fuzz.F_EDGEONLY, ([["x"]],), {})
    with pytest.raises(vexa_fuzz.Violation):
        vexa_fuzz.judge_exact(vexa_fuzz.F_EDGEONLY, ("raise", TypeError("argument 'nbrs': x")), expected)
    ctx = vexa_fuzz.Context()
    for bad in [("raise", PanicException("Unwrapped panic from Python code")), ("raise", MemoryError()),
                ("raise", TypeError("argument 'nbrs': x")), ("ok", ([[0]], []))]:
        with pytest.raises(vexa_fuzz.Violation):
            vexa_fuzz.judge_loose(vexa_fuzz.F_EDGEONLY, bad, ctx)


# --- leaks and reference counts -----------------------------------------------------------

class Hostile(Exception):
    pass


def fresh(exc):
    # A new instance per raise: raising one instance again and again would
    # chain its tracebacks, which keep every raising frame alive.
    return type(exc)(*exc.args)


class Index:
    def __init__(self, value, exc=None):
        self.value, self.exc = value, exc

    def __index__(self):
        if self.exc is not None:
            raise fresh(self.exc)
        return self.value


class Seq:
    def __init__(self, items, length=None, exc_len=None, exc_iter=None):
        self.items, self.length, self.exc_len, self.exc_iter = items, length, exc_len, exc_iter

    def __len__(self):
        if self.exc_len is not None:
            raise fresh(self.exc_len)
        return len(self.items) if self.length is None else self.length

    def __getitem__(self, i):
        return self.items[i]

    def __iter__(self):
        if self.exc_iter is not None:
            raise fresh(self.exc_iter)
        return iter(self.items)


def failing_call():
    edgeonly([range(2**61)])


def call_cases():
    """(name, function, args, kwargs) covering successes and every kind of failure.

    Node numbers are large ints (never cached by the interpreter), so that a
    lost or extra reference to an item shows in its reference count."""
    big = [10**12 + i for i in range(4)]
    k5 = [[v for v in range(5) if v > u] for u in range(5)]
    full5 = [[v for v in range(5) if v != u] for u in range(5)]
    ranked = [vexa.enumerate_cliques_with_weights, vexa.enumerate_cliques_with_weights_noprune,
              vexa.maxclique_decompose_with_weights]
    cases = []
    for f in ranked:
        n = f.__name__
        cases += [
            (f"{n} ok", f, (k5, 3), {}),
            (f"{n} ok keywords", f, (), {"maxrank": 0, ("adj" if "maxclique" in n else "nbrs"): full5}),
            (f"{n} ok tuple/numpy", f, ((np.array([1, 2]), (2,), range(0)), np.uint64(2)), {}),
            (f"{n} maxrank float", f, (k5, 2.5), {}),
            (f"{n} maxrank negative", f, (k5, -1), {}),
            (f"{n} maxrank raising", f, (k5, Index(1, Hostile("maxrank"))), {}),
            (f"{n} missing", f, (k5,), {}),
            (f"{n} surplus", f, (k5, 1, 2), {}),
        ]
    cases += [
        ("index out of bounds", vexa.enumerate_cliques_with_weights, ([[big[0]], []], 3), {}),
        ("no entry", vexa.enumerate_cliques_with_weights_noprune, ([[1, 2, 3], [3, 2], [3], []], 4), {}),
        ("edgeonly ok", edgeonly, ([[1, big[0]], [0, big[1]], big[2:]],), {}),
        ("edgeonly ok bytes", edgeonly, ((b"\x01\x02", bytearray(b"\x00")),), {}),
        ("unexpected keyword", edgeonly, ([[1]],), {"nbrs": [[1]]}),
        ("surrogate keyword", edgeonly, (), {"\udcff": 1}),
        ("multiple values", edgeonly, ([[1]],), {"adj": [[1]]}),
        ("str", edgeonly, ([[1], "ab"],), {}),
        ("not a sequence", edgeonly, ([{1: 2}],), {}),
        ("float item", edgeonly, ([[big[0], 1.5]],), {}),
        ("negative item", edgeonly, ([[big[0], -big[1]]],), {}),
        ("too big item", edgeonly, ([[2**64 + big[0]]],), {}),
        ("capacity overflow", edgeonly, ([range(2**61)],), {}),
        ("memory error", edgeonly, ([[1], range(2**40)],), {}),
        ("lying length", edgeonly, ([Seq([1, big[3]], length=2**45)],), {}),
        ("length raising", edgeonly, ([Seq([1, big[3]], exc_len=Hostile("len"))],), {}),
        ("iter raising", edgeonly, ([Seq([1], exc_iter=Hostile("iter"))],), {}),
        ("iter type error", edgeonly, ([Seq([1], exc_iter=TypeError("iter"))],), {}),
        ("index raising", edgeonly, ([[big[0], Index(1, Hostile("index"))]],), {}),
        ("index type error", edgeonly, ([[Index(1, TypeError("index"))]],), {}),
        ("fetched panic", edgeonly, ([[Index(1, PanicException("inner"))]],), {}),
    ]
    return cases


def run_case(case):
    _, f, args, kwargs = case
    try:
        f(*args, **kwargs)
    except BaseException:  # noqa: BLE001 - failures are part of the mix
        pass


def referenced_objects(case):
    """Every object reachable from the arguments, to check their counts."""
    seen, todo = {}, list(case[2]) + list(case[3].values())
    while todo:
        obj = todo.pop()
        if id(obj) in seen or isinstance(obj, (bool, type(None))) or (type(obj) is int and -5 <= obj <= 256):
            continue
        seen[id(obj)] = obj
        if isinstance(obj, (list, tuple)):
            todo.extend(obj)
        elif isinstance(obj, Seq):
            todo.append(obj.items)
            todo.extend(obj.items)
    return list(seen.values())


class quiet_stderr:
    """The fetched-panic case prints a notice and a traceback on each call."""

    def __enter__(self):
        sys.stderr.flush()
        self.fd = os.dup(2)
        null = os.open(os.devnull, os.O_WRONLY)
        os.dup2(null, 2)
        os.close(null)
        self.saved, sys.stderr = sys.stderr, io.StringIO()

    def __exit__(self, *exc):
        sys.stderr = self.saved
        os.dup2(self.fd, 2)
        os.close(self.fd)


@pytest.mark.parametrize("case", call_cases(), ids=lambda c: c[0])
def test_reference_counts_of_arguments_unchanged(case):
    objects = referenced_objects(case)
    with quiet_stderr():
        run_case(case)  # the first call may create process-wide constants
        gc.collect()
        before = [sys.getrefcount(o) for o in objects]
        for _ in range(20):
            run_case(case)
        gc.collect()
    after = [sys.getrefcount(o) for o in objects]
    assert after == before


def rss_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


LEAK_CALLS = 100_000


@pytest.mark.skipif(SANITIZED, reason="slow under the sanitizers, whose allocator keeps freed memory in quarantine")
@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc/self/statm")
def test_memory_flat_over_many_mixed_calls():
    cases = call_cases()
    panics = [c for c in cases if c[0] == "fetched panic"]
    others = [c for c in cases if c[0] != "fetched panic"]
    watched = [o for c in cases for o in referenced_objects(c)]

    def batch(calls):
        done = 0
        with quiet_stderr():
            while done < calls:
                for case in others:
                    run_case(case)
                done += len(others)
                # The panic notice goes through the interpreter's printer,
                # which is slow: one fetched panic per round of the others.
                run_case(panics[0])
                done += 1
        return done

    batch(20_000)  # warm-up: caches, free lists, the allocator's arenas
    gc.collect()
    counts = [sys.getrefcount(o) for o in watched]
    tracemalloc.start()
    try:
        batch(2_000)
        gc.collect()
        traced_before, _ = tracemalloc.get_traced_memory()
        rss_before = rss_bytes()
        done = batch(LEAK_CALLS)
        gc.collect()
        traced_after, _ = tracemalloc.get_traced_memory()
        rss_after = rss_bytes()
    finally:
        tracemalloc.stop()
    assert done >= LEAK_CALLS
    # A leak of one small object per call would be several megabytes here.
    assert traced_after - traced_before < 256 * 1024, (traced_before, traced_after)
    assert rss_after - rss_before < 4 * 2**20, (rss_before, rss_after)
    assert [sys.getrefcount(o) for o in watched] == counts


# --- threads ------------------------------------------------------------------------------

def canonical(name, result):
    """The decomposition's order within one size is free: compare it as pairs."""
    cliques, weights = result
    if name == "maxclique_decompose_with_weights":
        return sorted(zip(map(tuple, cliques), weights), key=lambda p: (-len(p[0]), p))
    return result


class YieldingIndex:
    """Lets other threads run in the middle of a conversion."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        time.sleep(0)  # releases the interpreter lock
        return self.value


def thread_workload():
    rng = np.random.default_rng(7)
    work = []
    for k in range(24):
        n = int(rng.integers(3, 12))
        upper = [sorted({int(x) for x in rng.integers(v + 1, n + 1, size=3) if x < n}) for v in range(n)]
        full = [[] for _ in range(n)]
        for v, nb in enumerate(upper):
            for u in nb:
                full[v].append(u)
                full[u].append(v)
        name = vexa_fuzz.NAMES[k % 4]
        lists = full if name in ("maxclique_decompose_with_weights", "enumerate_cliques_with_weights_edgeonly") else upper
        args = (lists,) if name == "enumerate_cliques_with_weights_edgeonly" else (lists, k % 4)
        work.append((name, args))
    return work


def test_calls_from_many_threads_agree_with_single_threaded_results(panic_type):
    work = thread_workload()
    expected = [canonical(name, getattr(vexa, name)(*args)) for name, args in work]
    failures = []
    barrier = threading.Barrier(8)

    def worker(seed):
        barrier.wait()
        for round_ in range(30):
            for i, (name, args) in enumerate(work[seed % 3:] + work[: seed % 3]):
                idx = (i + seed % 3) % len(work)
                f = getattr(vexa, name)
                if (i + round_) % 5 == 0:
                    # The same call, with items that let other threads in
                    # halfway through the conversion.
                    lists = [[YieldingIndex(v) for v in nb] for nb in args[0]]
                    got = f(lists, *args[1:])
                else:
                    got = f(*args)
                if canonical(name, got) != expected[idx]:
                    failures.append((seed, name, args, got))
                # Failures in between must not disturb the other threads.
                try:
                    f([range(2**61)], *args[1:])
                except panic_type as exc:
                    if exc.args != ("capacity overflow",):
                        failures.append((seed, "panic", exc.args))
                try:
                    f([[1.5]], *args[1:])
                except TypeError:
                    pass

    threads = [threading.Thread(target=worker, args=(s,)) for s in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert failures == []
