#!/usr/bin/env python3
"""Times vexa side by side with networkx, igraph and plain Python.

    python bench/run.py [--quick] [--only NAME ...] [--repeat N] [--skip-slow]

Each workload builds its graph once, then runs its contenders in one
process, one call each per round, rotating the order from round to round, so
that a noisy machine slows every contender alike.  It reports the median of
the timed calls, the ratio of each median to the workload's reference vexa
call, memory figures of the vexa calls (measured in a forked child), result
sizes, and whether the contenders agree on what they computed.  See
bench/README.md for the columns.
"""

from __future__ import annotations

import argparse
import ctypes
import gc
import itertools
import json
import os
import statistics
import sys
import time
import tracemalloc
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any, Callable

ROOT = Path(__file__).resolve().parents[1]
if str(ROOT) not in sys.path:
    sys.path.insert(0, str(ROOT))

from bench import floor, graphs  # noqa: E402
from models import edgeonly as edgeonly_python  # noqa: E402

try:
    import vexa
except ImportError as exc:  # pragma: no cover - depends on the environment
    sys.exit(f"cannot import vexa ({exc}); build it and put it on PYTHONPATH, "
             "or pip install it")

try:
    import igraph
except ImportError:  # pragma: no cover
    igraph = None
try:
    import networkx
except ImportError:  # pragma: no cover
    networkx = None


# --------------------------------------------------------------------------
# Contenders and workloads

@dataclass
class Contender:
    label: str
    fn: Callable[[], Any]
    kind: str = "vexa"            # "vexa", "peer" or "aux" (helper timings)
    count: Callable[[Any], int] | None = None
    slow: bool = False            # skipped by --skip-slow
    memory: bool = False          # measure memory in a forked child
    group: str = ""               # contenders of one group must count alike
    floor: "Contender | None" = None   # its object-creation floor (vexa calls)
    # filled while running
    times: list = field(default_factory=list)
    reps: int = 0
    status: str = ""              # "", "skipped", "waiting" or an error text
    cliques: int | None = None
    mem: dict = field(default_factory=dict)


@dataclass
class Target:
    text: str
    slower: str        # label whose median is divided ...
    faster: str        # ... by this label's median
    at_least: float | None = None   # None: report only
    at_most: float | None = None
    # Two calls of the same work, timed once per round each: the median of
    # their per-round ratios, which cancels a busy machine's slow drifts
    # better than a ratio of two medians (as for the gc probe below).
    paired: bool = False


def target_ratio(t: Target, a: Contender, b: Contender) -> float:
    """The ratio a target reports: of medians, or the median of the
    per-round ratios for a paired target."""
    if t.paired and len(a.times) == len(b.times):
        return statistics.median(x / y for x, y in zip(a.times, b.times))
    return statistics.median(a.times) / statistics.median(b.times)


@dataclass
class Workload:
    name: str
    title: str
    setup: Callable[[], tuple[str, list[Contender]]]
    targets: list[Target] = field(default_factory=list)
    verify: Callable[[dict], list[str]] | None = None  # returns warnings
    gc_probe: bool = True   # time one vexa call with the collector off
    gc_label: str | None = None  # which one (default: the reference call)


def result_count(res) -> int:
    """Number of cliques: vexa returns (cliques, weights), peers a list."""
    if isinstance(res, tuple) and len(res) == 2 and isinstance(res[0], list):
        return len(res[0])
    return len(res)


def mb(nbytes: float | None) -> str:
    return "-" if nbytes is None else f"{nbytes / 2**20:.1f}"


# --------------------------------------------------------------------------
# Memory, measured in a forked child so the parent's heap stays as it was

def _status_kb(key: str) -> int | None:
    try:
        with open("/proc/self/status") as fh:
            for line in fh:
                if line.startswith(key + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def _reset_peak_rss() -> bool:
    try:
        with open("/proc/self/clear_refs", "w") as fh:
            fh.write("5")
        return True
    except OSError:
        return False


def _trim_heap() -> None:
    try:
        ctypes.CDLL(None).malloc_trim(0)
    except (OSError, AttributeError):
        pass


def result_bytes(res) -> int:
    """Approximate bytes held by a result: the containers, and each distinct
    int object once.  A vexa result is (cliques, weights); a peer's is a list
    of cliques (lists or tuples)."""
    if isinstance(res, tuple) and len(res) == 2 and isinstance(res[0], list):
        cliques, weights = res
        size = sys.getsizeof(res) + sys.getsizeof(weights)
    else:
        cliques, weights, size = res, [], 0
    size += sys.getsizeof(cliques) + sum(map(sys.getsizeof, cliques))
    ints = len(set(map(id, itertools.chain.from_iterable(cliques))))
    ints += len(set(map(id, weights)))
    return size + ints * sys.getsizeof(2**20)


def measure_memory(fn: Callable[[], Any]) -> dict:
    """Peak RSS growth of one call, the Python-side tracemalloc peak of
    another, and the size of the result, from a forked child."""
    if not hasattr(os, "fork"):
        return {"error": "no fork"}
    rd, wr = os.pipe()
    pid = os.fork()
    if pid == 0:  # child
        out: dict = {}
        try:
            os.close(rd)
            gc.collect()
            _trim_heap()
            before = _status_kb("VmRSS")
            if before is not None and _reset_peak_rss():
                res = fn()
                out["rss_growth"] = (_status_kb("VmHWM") - before) * 1024
            else:
                before_peak = _status_kb("VmHWM")
                res = fn()
                if before_peak is not None:
                    out["rss_growth"] = max(0, _status_kb("VmHWM") - before_peak) * 1024
            out["result_bytes"] = result_bytes(res)
            out["cliques"] = result_count(res)
            del res
            gc.collect()
            tracemalloc.start()
            res = fn()
            out["py_peak"] = tracemalloc.get_traced_memory()[1]
            tracemalloc.stop()
            del res
        except BaseException as exc:  # noqa: BLE001 - reported, child exits
            out = {"error": f"{type(exc).__name__}: {exc}"}
        try:
            os.write(wr, json.dumps(out).encode())
        finally:
            os._exit(0)
    os.close(wr)
    chunks = []
    while True:
        chunk = os.read(rd, 65536)
        if not chunk:
            break
        chunks.append(chunk)
    os.close(rd)
    _, status = os.waitpid(pid, 0)
    if not chunks:
        return {"error": f"child ended with status {status}"}
    return json.loads(b"".join(chunks))


# --------------------------------------------------------------------------
# The timing loop

def time_call(fn: Callable[[], Any]) -> tuple[float, Any]:
    gc.collect()
    t0 = time.perf_counter()
    res = fn()
    t1 = time.perf_counter()
    return t1 - t0, res


FLOOR = "floor: objects of "


def add_probes(w: Workload, contenders: list[Contender]) -> Contender | None:
    """The extra rows: one vexa call with the collector off, and for every
    vexa call its object-creation floor (timed once the first call has
    given the result to copy)."""
    ref = next((c for c in contenders if c.kind == "vexa"), None)
    probe = next((c for c in contenders if c.label == w.gc_label), ref)
    if w.gc_probe and probe is not None:
        inner = probe.fn

        def gc_off(inner=inner):
            gc.disable()
            try:
                return inner()
            finally:
                gc.enable()

        contenders.append(Contender(f"{probe.label} [gc disabled]", gc_off, kind="aux",
                                    count=probe.count))
    if floor.available():
        for c in [c for c in contenders if c.kind == "vexa"]:
            c.floor = Contender(FLOOR + c.label, lambda: None, kind="aux", status="waiting")
            contenders.append(c.floor)
    return probe


def measure(contenders: list[Contender], args) -> None:
    """Memory first (forked children), then the timing rounds."""
    for c in contenders:
        if c.slow and args.skip_slow:
            c.status = "skipped"
        c.reps = args.repeat
    # Memory first, while the heap holds little freed space that a call
    # could reuse without the process growing.
    if not args.no_memory:
        for c in contenders:
            if (c.memory or (args.peer_memory and c.kind == "peer")) and not c.status:
                c.mem = measure_memory(c.fn)

    rounds = 0
    while True:
        pending = [c for c in contenders if not c.status and len(c.times) < c.reps]
        if not pending:
            break
        shift = rounds % len(pending)
        for c in pending[shift:] + pending[:shift]:
            try:
                dt, res = time_call(c.fn)
            except Exception as exc:  # noqa: BLE001 - reported in the table
                c.status = f"error: {type(exc).__name__}: {exc}"
                continue
            if not c.times:
                c.cliques = (c.count or result_count)(res)
                # Slow contenders get fewer repetitions: at most about
                # `budget` seconds each, never fewer than one.
                if c.kind != "vexa" and dt * args.repeat > args.budget:
                    c.reps = max(1, int(args.budget // dt))
                if c.floor is not None:
                    prepared = floor.prepare(res)
                    c.floor.fn = lambda prepared=prepared: floor.build(prepared)
                    c.floor.status = ""
            c.times.append(dt)
            del res
        rounds += 1

    # A contender that failed or was skipped takes its probes along.
    by_label = {c.label: c for c in contenders}
    for c in contenders:
        base = None
        if c.label.endswith("[gc disabled]"):
            base = by_label[c.label[: -len(" [gc disabled]")]]
        elif c.label.startswith(FLOOR):
            base = by_label[c.label[len(FLOOR):]]
        if base is not None and base.status:
            c.status = base.status


def check(w: Workload, contenders: list[Contender], args) -> list[str]:
    """Warnings: counts that differ within a group, and the workload's own
    cross-checks."""
    warnings = check_counts(contenders)
    if w.verify is not None and not args.no_verify:
        warnings += w.verify({c.label: c for c in contenders})
    return warnings


def report(w: Workload, contenders: list[Contender], probe: Contender | None, warnings: list[str],
           args) -> dict:
    """Prints the table and returns the workload's target ratios, gc line
    and memory figures."""
    ref = next((c for c in contenders if c.kind == "vexa"), None)
    by_label = {c.label: c for c in contenders}
    print_table(contenders, ref)
    for text in warnings:
        print(f"    WARNING: {text}")

    summary = []
    for t in w.targets:
        a, b = by_label.get(t.slower), by_label.get(t.faster)
        if a is None or b is None or a.status or b.status or not a.times or not b.times:
            summary.append((w.name, t.text, None, t))
            continue
        summary.append((w.name, t.text, target_ratio(t, a, b), t))

    gc_line = None
    if probe is not None:
        off = by_label.get(f"{probe.label} [gc disabled]")
        if off is not None and off.times and probe.times:
            on_s, off_s = statistics.median(probe.times), statistics.median(off.times)
            # Both ran once per round: pair them by round, which cancels
            # the slow drifts of a busy machine better than two medians.
            pairs = [(a, b) for a, b in zip(probe.times, off.times) if a > 0]
            share = 1.0 - statistics.median(b / a for a, b in pairs) if pairs else 0.0
            young = young_collection_after(probe.fn, min(args.repeat, 3))
            gc_line = (f"{w.name}: cyclic gc share of `{probe.label}`: {share * 100:+.1f}% "
                       f"(enabled {fmt_time(on_s)}, disabled {fmt_time(off_s)}); "
                       f"the young-generation collection right after the call takes "
                       f"{fmt_time(young)}")
            print(f"    gc: {gc_line.split(': ', 1)[1]}")

    floors = [(w.name, c.label, statistics.median(c.times) / statistics.median(c.floor.times))
              for c in contenders
              if c.floor is not None and c.times and c.floor.times and not c.floor.status]
    memory = [(w.name, c.label, native_bytes(c.mem), c.mem.get("result_bytes"))
              for c in contenders if c.kind == "vexa" and c.mem.get("result_bytes")]
    return {"summary": summary, "gc": gc_line, "warnings": warnings, "floors": floors,
            "memory": memory, "contenders": contenders}


def run_workload(w: Workload, args) -> dict:
    t0 = time.perf_counter()
    graph_text, contenders = w.setup()
    setup_s = time.perf_counter() - t0
    print(f"\n{w.name}: {w.title}", flush=True)
    print(f"    graph: {graph_text}  (built in {setup_s:.1f} s)", flush=True)
    probe = add_probes(w, contenders)
    measure(contenders, args)
    warnings = check(w, contenders, args)
    return report(w, contenders, probe, warnings, args)


def young_collection_after(fn: Callable[[], Any], reps: int) -> float:
    """Median time of gc.collect(0) run right after a call: the collection
    that the next allocation would trigger, which the call's own timing does
    not see when the call keeps the collector off while it builds objects."""
    times = []
    for _ in range(reps):
        gc.collect()
        res = fn()
        t0 = time.perf_counter()
        gc.collect(0)
        times.append(time.perf_counter() - t0)
        del res
    return statistics.median(times)


def check_counts(contenders: list[Contender]) -> list[str]:
    """Contenders that compute the same cliques must agree on their number."""
    groups: dict[str, list[Contender]] = {}
    for c in contenders:
        if c.cliques is not None and c.group:
            groups.setdefault(c.group, []).append(c)
    out = []
    for name, members in groups.items():
        counts = {c.label: c.cliques for c in members}
        if len(set(counts.values())) > 1:
            out.append(f"clique counts differ ({name}): "
                       + ", ".join(f"{k} {v:,}" for k, v in counts.items()))
    return out


def fmt_time(s: float) -> str:
    if s >= 10:
        return f"{s:.1f} s"
    if s >= 0.1:
        return f"{s:.3f} s"
    return f"{s * 1000:.2f} ms"


def native_bytes(mem: dict) -> float | None:
    """The C++ side's own peak: the growth of the peak resident memory less
    what the Python allocator handed out (the result objects)."""
    if mem.get("rss_growth") is None or mem.get("py_peak") is None:
        return None
    return max(0, mem["rss_growth"] - mem["py_peak"])


def print_table(contenders: list[Contender], ref: Contender | None) -> None:
    ref_med = statistics.median(ref.times) if ref is not None and ref.times else None
    head = (f"    {'contender':<58} {'median':>10} {'reps':>4} {'x ref':>7} {'x floor':>7}"
            f" {'cliques':>11} {'res MB':>7} {'py pk MB':>8} {'rss+ MB':>8} {'C++ MB':>7}")
    print(head)
    print("    " + "-" * (len(head) - 4))
    for c in contenders:
        if c.status:
            print(f"    {c.label:<58} {c.status}")
            continue
        med = statistics.median(c.times)
        ratio = f"{med / ref_med:.2f}" if ref_med else "-"
        fl = c.floor
        over = (f"{med / statistics.median(fl.times):.2f}"
                if fl is not None and fl.times and not fl.status else "-")
        count = f"{c.cliques:,}" if c.cliques is not None else "-"
        m = c.mem
        if "error" in m:
            mem = f"  memory: {m['error']}"
        else:
            mem = (f" {mb(m.get('result_bytes')):>7} {mb(m.get('py_peak')):>8}"
                   f" {mb(m.get('rss_growth')):>8} {mb(native_bytes(m)):>7}")
        label = c.label if len(c.label) <= 58 else c.label[:55] + "..."
        print(f"    {label:<58} {fmt_time(med):>10} {len(c.times):>4} {ratio:>7} {over:>7}"
              f" {count:>11}{mem}", flush=True)


# --------------------------------------------------------------------------
# Workloads

def workload_e1(args) -> Workload:
    state: dict = {}

    def setup():
        g = graphs.random_geometric_3d(125_000, 16, seed=1)
        adj = g.full()
        state["adj"] = adj
        # The result objects alone: the same number of one- and two-element
        # lists and the weight list, built from prepared tuples by C loops.
        singles = [(i,) for i in range(g.n)]
        # zip over flat lists: no short-lived per-edge lists whose freed
        # memory the measured call could reuse.
        pairs = list(zip(g.edges[:, 0].tolist(), g.edges[:, 1].tolist()))
        weights = [1 - len(lst) for lst in adj] + [1] * len(pairs)

        def objects_only():
            # With the collector paused, as vexa builds its result.
            gc.disable()
            try:
                cl = list(map(list, singles))
                cl += map(list, pairs)
                return cl, weights.copy()
            finally:
                gc.enable()

        def python_gc_off():
            gc.disable()
            try:
                return edgeonly_python(adj)
            finally:
                gc.enable()

        cs = [
            Contender("vexa enumerate_cliques_with_weights_edgeonly",
                      lambda: vexa.enumerate_cliques_with_weights_edgeonly(adj), memory=True),
            Contender("python: same computation, plain loops", lambda: edgeonly_python(adj),
                      kind="peer"),
            Contender("python: same, cyclic gc disabled", python_gc_off, kind="aux"),
            Contender("python: result objects only (gc disabled)", objects_only, kind="aux"),
        ]
        for c in cs[:2]:
            c.group = "edge-only"
        return (f"{g.name}: n={g.n:,}, {g.edge_count:,} edges, full symmetric lists", cs)

    def verify(by):
        adj = state["adj"]
        if vexa.enumerate_cliques_with_weights_edgeonly(adj) != edgeonly_python(adj):
            return ["vexa edge-only result differs from the plain Python one"]
        return []

    return Workload("E1", "enumerate_cliques_with_weights_edgeonly, ~1M edges", setup,
                    targets=[Target("pure Python / vexa >= 30",
                                    "python: same computation, plain loops",
                                    "vexa enumerate_cliques_with_weights_edgeonly", 30)],
                    verify=verify)


def nx_cliques_upto(g, maxrank):
    out = []
    for c in networkx.enumerate_all_cliques(g):
        if maxrank and len(c) > maxrank:
            break
        out.append(c)
    return out


PRUNED = "vexa enumerate_cliques_with_weights"
NOPRUNE = "vexa enumerate_cliques_with_weights_noprune"


def bounded_workload(name, title, make, maxrank, *, slow_igraph=False, slow_nx=False,
                     targets=True) -> Workload:
    state: dict = {}

    def setup():
        g = make()
        nbrs = g.upper()
        state["nbrs"] = nbrs
        cs = [
            Contender(PRUNED, lambda: vexa.enumerate_cliques_with_weights(nbrs, maxrank),
                      memory=True),
            Contender(NOPRUNE, lambda: vexa.enumerate_cliques_with_weights_noprune(nbrs, maxrank),
                      memory=True),
        ]
        if igraph is not None:
            ig = g.igraph()
            call = (lambda: ig.cliques(0, maxrank)) if maxrank else (lambda: ig.cliques())
            cs.append(Contender(igraph_label(maxrank), call, kind="peer", slow=slow_igraph))
        if networkx is not None:
            nxg = g.networkx()
            cs.append(Contender(nx_label(maxrank), lambda: nx_cliques_upto(nxg, maxrank),
                                kind="peer", slow=slow_nx))
        for c in cs:
            c.group = "cliques"
        return (f"{g.name}: n={g.n:,}, {g.edge_count:,} edges, avg degree "
                f"{g.average_degree:.1f}, upper lists, maxrank {maxrank}", cs)

    def verify(by):
        nbrs = state["nbrs"]
        a = vexa.enumerate_cliques_with_weights(nbrs, maxrank)
        b = vexa.enumerate_cliques_with_weights_noprune(nbrs, maxrank)
        out = []
        if a[0] != b[0]:
            out.append("pruned and unpruned functions list different cliques")
        elif a[1] != b[1]:
            out.append("pruned and unpruned functions give different weights")
        return out

    if targets:
        tg = [Target("igraph / pruned >= 10", igraph_label(maxrank), PRUNED, 10),
              Target("networkx / pruned >= 40", nx_label(maxrank), PRUNED, 40),
              Target("noprune / pruned <= 2", NOPRUNE, PRUNED, None, 2)]
    else:
        tg = [Target("noprune / pruned (report)", NOPRUNE, PRUNED)]
    return Workload(name, title, setup, targets=tg, verify=verify)


def igraph_label(maxrank):
    return f"igraph cliques({'0, ' + str(maxrank) if maxrank else ''})"


def nx_label(maxrank):
    return f"networkx enumerate_all_cliques{' <= ' + str(maxrank) if maxrank else ''}"


DEC = "vexa maxclique_decompose_with_weights(adj, {})"
IG_MAX = "igraph maximal_cliques()"
NX_MAX = "networkx find_cliques"


def maximal_workload(name, title, make, *, slow_nx=False, targets64=True,
                     report3=False) -> Workload:
    state: dict = {}

    def setup():
        g = make()
        adj = g.full()
        state["adj"], state["n"] = adj, g.n
        cs = [Contender(DEC.format(k), (lambda k=k: vexa.maxclique_decompose_with_weights(adj, k)),
                        memory=True) for k in (1, 64, 3)]
        if igraph is not None:
            ig = g.igraph()
            state["ig"] = ig
            cs.append(Contender(IG_MAX, ig.maximal_cliques, kind="peer"))
            cs[-1].group = "maximal"
        if networkx is not None:
            nxg = g.networkx()
            cs.append(Contender(NX_MAX, lambda: list(networkx.find_cliques(nxg)), kind="peer",
                                slow=slow_nx))
            cs[-1].group = "maximal"
        return (f"{g.name}: n={g.n:,}, {g.edge_count:,} edges, avg degree "
                f"{g.average_degree:.1f}, full symmetric lists", cs)

    def verify(by):
        out = []
        one = by[DEC.format(1)]
        if not one.status and one.cliques != state["n"]:
            out.append(f"maxrank 1 gave {one.cliques:,} cliques, expected one per node "
                       f"({state['n']:,})")
        if "ig" in state and not by[DEC.format(64)].status:
            res = vexa.maxclique_decompose_with_weights(state["adj"], 64)
            weight = dict(zip(map(tuple, res[0]), res[1]))
            del res
            peer = [tuple(sorted(c)) for c in state["ig"].maximal_cliques()]
            missing = sum(1 for c in peer if weight.get(c) != 1)
            if missing:
                out.append(f"{missing:,} of igraph's {len(peer):,} maximal cliques are not in "
                           "the maxrank-64 result with weight 1")
        return out

    # maxrank 1 is answered without a search (every node lies in a maximal
    # clique), so the search is measured through maxrank 64.
    floor_cap = 3 if targets64 else 6
    tg = [Target("igraph / decompose(64) >= 3" if targets64 else "igraph / decompose(64) (report)",
                 IG_MAX, DEC.format(64), 3 if targets64 else None),
          Target(f"decompose(64) / floor <= {floor_cap}", DEC.format(64), FLOOR + DEC.format(64),
                 None, floor_cap),
          Target("networkx / decompose(64) (report)", NX_MAX, DEC.format(64)),
          Target("igraph / decompose(1) (report)", IG_MAX, DEC.format(1))]
    if report3:
        tg.append(Target("igraph / decompose(3) (report)", IG_MAX, DEC.format(3)))
    return Workload(name, title, setup, targets=tg, verify=verify, gc_label=DEC.format(64))


F1 = "vexa enumerate_cliques_with_weights(upper, {})"
CUTS = (2, 3, 4, 5, 6)


def cut_workload(name, title, make) -> Workload:
    """The decomposition against the bounded cliques of the same graph for
    maxrank 2 to 6: the same family, so the decomposition should never take
    longer although it returns fewer cliques (the non-zero ones)."""
    state: dict = {}

    def setup():
        g = make()
        up, adj = g.upper(), g.full()
        state["n"] = g.n
        cs = []
        for k in CUTS:
            cs.append(Contender(DEC.format(k),
                                (lambda k=k: vexa.maxclique_decompose_with_weights(adj, k)),
                                memory=True))
            cs.append(Contender(F1.format(k),
                                (lambda k=k: vexa.enumerate_cliques_with_weights(up, k))))
        return (f"{g.name}: n={g.n:,}, {g.edge_count:,} edges, avg degree "
                f"{g.average_degree:.1f}", cs)

    tg = [Target(f"decompose({k}) / bounded({k}) <= 1", DEC.format(k), F1.format(k), None, 1.0,
                 paired=True)
          for k in CUTS]
    return Workload(name, title, setup, targets=tg, gc_probe=False)


def all_workloads(args) -> list[Workload]:
    rgg = lambda: graphs.random_geometric_3d(20_000, 16, seed=0)  # noqa: E731
    ba = lambda: graphs.barabasi_albert(50_000, 4, seed=0)  # noqa: E731
    return [
        workload_e1(args),
        bounded_workload("G1", "bounded cliques, 3D geometric graph", rgg, 4, slow_nx=True),
        bounded_workload("G2a", "bounded cliques, G(200, 0.3)",
                         lambda: graphs.erdos_renyi(200, 0.3, seed=0), 4),
        bounded_workload("G2b", "all cliques, G(200, 0.3)",
                         lambda: graphs.erdos_renyi(200, 0.3, seed=0), 0),
        bounded_workload("G3", "bounded cliques, preferential attachment", ba, 3,
                         slow_igraph=True),
        bounded_workload("G4", "all cliques, complete graph K18",
                         lambda: graphs.complete_graph(18), 0, targets=False),
        maximal_workload("M1", "maximal cliques, 3D geometric graph", rgg, report3=True),
        maximal_workload("M2", "maximal cliques, preferential attachment", ba),
        maximal_workload("M3", "maximal cliques, G(2000, 0.02)",
                         lambda: graphs.erdos_renyi(2000, 0.02, seed=0), report3=True),
        maximal_workload("M4", "maximal cliques, G(500, 0.3)",
                         lambda: graphs.erdos_renyi(500, 0.3, seed=0), slow_nx=True,
                         targets64=False),
        cut_workload("C1", "decomposition vs bounded cliques, maxrank 2-6, 3D geometric", rgg),
        cut_workload("C2", "decomposition vs bounded cliques, maxrank 2-6, preferential attachment",
                     ba),
        cut_workload("C3", "decomposition vs bounded cliques, maxrank 2-6, G(2000, 0.02)",
                     lambda: graphs.erdos_renyi(2000, 0.02, seed=0)),
        cut_workload("C4", "decomposition vs bounded cliques, maxrank 2-6, G(500, 0.3)",
                     lambda: graphs.erdos_renyi(500, 0.3, seed=0)),
    ]


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--quick", action="store_true",
                    help="3 repetitions and a 10 s budget per slow peer")
    ap.add_argument("--only", nargs="+", metavar="NAME",
                    help="run only these workloads (E1, G1, G2, G2a, G2b, G3, G4, M1..M4, C1..C4; "
                         "a prefix such as G or M selects a family)")
    ap.add_argument("--repeat", type=int, default=None, help="timed calls per contender (5)")
    ap.add_argument("--budget", type=float, default=None,
                    help="seconds a slow peer may take in all before it gets fewer "
                         "repetitions (40; 10 with --quick)")
    ap.add_argument("--skip-slow", action="store_true",
                    help="skip the peers that take many seconds per call")
    ap.add_argument("--no-memory", action="store_true", help="skip the memory measurements")
    ap.add_argument("--peer-memory", action="store_true",
                    help="measure the peers' memory too (one extra call each)")
    ap.add_argument("--list", action="store_true", help="list the workloads and exit")
    ap.add_argument("--no-verify", action="store_true", help="skip the result cross-checks")
    args = ap.parse_args(argv)
    if args.repeat is None:
        args.repeat = 3 if args.quick else 5
    if args.budget is None:
        args.budget = 10.0 if args.quick else 40.0
    args.repeat = max(1, args.repeat)

    workloads = all_workloads(args)
    if args.list:
        for w in workloads:
            print(f"{w.name:<4} {w.title}")
        return 0
    if args.only:
        wanted = [s.upper() for s in args.only]
        workloads = [w for w in workloads if any(w.name.upper().startswith(s) for s in wanted)]
        if not workloads:
            ap.error("no workload matches --only " + " ".join(args.only))

    print(f"vexa from {getattr(vexa, '__file__', '?')}; python {sys.version.split()[0]}; "
          f"igraph {getattr(igraph, '__version__', 'missing')}; "
          f"networkx {getattr(networkx, '__version__', 'missing')}; "
          f"{os.cpu_count()} cpus; repeat {args.repeat}")
    summary, gc_lines, warnings, floors, memory, cuts = [], [], [], [], [], {}
    for w in workloads:
        out = run_workload(w, args)
        summary += out["summary"]
        floors += out["floors"]
        memory += out["memory"]
        if w.name.startswith("C"):
            cuts[w.name] = {t.slower: r for _, _, r, t in out["summary"]}
        if out["gc"]:
            gc_lines.append(out["gc"])
        warnings += [f"{w.name}: {t}" for t in out["warnings"]]
        gc.collect()

    print("\nTargets (ratio of medians; C rows: median of the per-round ratios)")
    for name, text, ratio, t in summary:
        if ratio is None:
            verdict, shown = "n/a", "-"
        else:
            shown = f"{ratio:.2f}"
            if t.at_least is not None:
                verdict = "met" if ratio >= t.at_least else "MISSED"
            elif t.at_most is not None:
                verdict = "met" if ratio <= t.at_most else "MISSED"
            else:
                verdict = "report"
        print(f"    {name:<4} {text:<36} {shown:>9}  {verdict}")
    if floors:
        print("\nvexa / floor (the same result objects created by C code, collector off)")
        for name, label, ratio in floors:
            print(f"    {name:<4} {label:<58} {ratio:>6.2f}")
    if memory:
        print("\nMemory: C++ peak (rss growth less the Python peak) against the result's size")
        for name, label, native, res in memory:
            shown = "-" if native is None else f"{native / res:.2f}"
            print(f"    {name:<4} {label:<58} {mb(native):>8} MB / {mb(res):>8} MB = {shown}")
    if cuts:
        print("\nDecomposition time / bounded-cliques time, same graph and maxrank "
              "(median of the per-round ratios)")
        print(f"    {'':<5}" + "".join(f"{'k=' + str(k):>8}" for k in CUTS))
        for name, ratios in cuts.items():
            cells = [ratios.get(DEC.format(k)) for k in CUTS]
            print(f"    {name:<5}" + "".join("       -" if r is None else f"{r:>8.2f}" for r in cells))
    if gc_lines:
        print("\nCyclic garbage collector")
        for line in gc_lines:
            print(f"    {line}")
    if warnings:
        print("\nWarnings")
        for line in warnings:
            print(f"    {line}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
