"""Ctrl-C stops a long call.

Each test starts a child interpreter that begins a call which would run for
minutes, sends it SIGINT, and expects the call to end with KeyboardInterrupt
within a second, after which a new call in the same process works.  The
calls are chosen so that the signal arrives in one stage each: argument
conversion, the computation of each function, and the building of the
result objects.
"""

import os
import select
import signal
import subprocess
import sys
import textwrap
import time

import pytest

SANITIZED = os.environ.get("VEXA_SANITIZE") == "1"

CHILD = textwrap.dedent("""
    import itertools, json, signal, sys, time
    import vexa

    # Started from a shell without job control, SIGINT may be ignored.
    signal.signal(signal.SIGINT, signal.default_int_handler)

    def upper(n):
        return [list(range(v + 1, n)) for v in range(n)]

    class Endless:
        # A sequence of empty node lists that never ends, read by a C
        # iterator: only the conversion loop itself can notice the signal.
        def __getitem__(self, i):
            return ()

        def __iter__(self):
            return itertools.repeat(())

    class EndlessNodes(Endless):
        def __iter__(self):
            return itertools.repeat(0)

    stage = sys.argv[1]
    calls = {
        "conversion of the outer list": lambda: vexa.enumerate_cliques_with_weights_edgeonly(Endless()),
        "conversion of a node list": lambda: vexa.enumerate_cliques_with_weights([EndlessNodes()], 2),
        # 2**30 cliques: enumeration and weighting never reach the result.
        "enumerate_cliques_with_weights": lambda: vexa.enumerate_cliques_with_weights(upper(30), 0),
        "enumerate_cliques_with_weights_noprune": lambda: vexa.enumerate_cliques_with_weights_noprune(upper(30), 0),
        # 3^18 maximal cliques (the complement of 18 disjoint triangles):
        # minutes of work whose memory grows only as it goes, so the call
        # is still computing when the signal comes on a machine of any size.
        # (A result that could never fit, such as the C(30, 15) subsets of
        # one clique, is refused with MemoryError at once on a small one.)
        "maxclique_decompose_with_weights": lambda: vexa.maxclique_decompose_with_weights(
            [[u for u in range(54) if u // 3 != v // 3] for v in range(54)], 64),
        # Converting and computing 30 million edges takes a fraction of a
        # second; creating their 30 million result lists takes many seconds.
        "result objects": lambda: vexa.enumerate_cliques_with_weights_edgeonly([range(1, 30_000_000)]),
    }
    call = calls[stage]
    print("start", flush=True)
    try:
        call()
        print("finished", flush=True)
    except KeyboardInterrupt:
        print("interrupted", flush=True)
    print(json.dumps(vexa.enumerate_cliques_with_weights_edgeonly([[1], [0]])), flush=True)
""")

STAGES = [
    "conversion of the outer list",
    "conversion of a node list",
    "enumerate_cliques_with_weights",
    "enumerate_cliques_with_weights_noprune",
    "maxclique_decompose_with_weights",
    "result objects",
]

# The signal must stop a call within this time, teardown included.
LATENCY_LIMIT = 1.0
# Time the child runs its call before the signal comes.
RUN_BEFORE_SIGNAL = 0.3


def read_line(proc, timeout):
    ready, _, _ = select.select([proc.stdout], [], [], timeout)
    if not ready:
        return None
    return proc.stdout.readline().rstrip("\n")


def interrupt_child(stage):
    """Returns (first line after the signal, seconds it took, next line)."""
    proc = subprocess.Popen([sys.executable, "-c", CHILD, stage], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, bufsize=1)
    try:
        assert read_line(proc, 60) == "start"
        time.sleep(RUN_BEFORE_SIGNAL)
        sent = time.monotonic()
        proc.send_signal(signal.SIGINT)
        outcome = read_line(proc, 30)
        latency = time.monotonic() - sent
        after = read_line(proc, 30)
        proc.wait(timeout=30)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    return outcome, latency, after, proc.returncode, proc.stderr.read()


@pytest.mark.skipif(not hasattr(signal, "SIGINT") or sys.platform == "win32", reason="POSIX signals")
@pytest.mark.parametrize("stage", STAGES)
def test_sigint_stops_a_long_call_and_the_next_call_works(stage):
    outcome, latency, after, returncode, stderr = interrupt_child(stage)
    assert outcome == "interrupted", stderr
    # The sanitizers slow down the release of what the call built.
    assert latency < LATENCY_LIMIT * (3 if SANITIZED else 1), latency
    assert after == "[[[0], [1], [0, 1]], [0, 0, 1]]"
    assert returncode == 0, stderr


INTERRUPTED_CALLS = textwrap.dedent("""
    import gc, signal, sys, time
    import vexa

    class Stop(Exception):
        pass

    def handler(signum, frame):
        raise Stop

    def rss():
        with open("/proc/self/statm") as f:
            return int(f.read().split()[1]) * 4096

    signal.signal(signal.SIGALRM, handler)
    big = [list(range(1, 40_000)) for _ in range(10)]
    f = vexa.enumerate_cliques_with_weights_edgeonly
    t = time.perf_counter()
    for _ in range(5):
        f(big)
    duration = (time.perf_counter() - t) / 5
    stopped = 0

    def run(rounds):
        global stopped
        for i in range(rounds):
            # The alarm lands in the conversion, the computation or the
            # building of the result: at 1/40, 3/40, ... 39/40 of a call.
            try:
                signal.setitimer(signal.ITIMER_REAL, duration * (2 * (i % 20) + 1) / 40)
                try:
                    f(big)
                finally:
                    signal.setitimer(signal.ITIMER_REAL, 0)
            except Stop:
                stopped += 1

    run(40)
    gc.collect()
    before = rss()
    run(160)
    gc.collect()
    print(stopped, rss() - before)
""")


@pytest.mark.skipif(SANITIZED, reason="the sanitizers' allocator keeps freed memory in quarantine")
@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc/self/statm")
def test_interrupted_calls_release_what_they_hold():
    proc = subprocess.run([sys.executable, "-c", INTERRUPTED_CALLS], capture_output=True, text=True, timeout=300)
    assert proc.returncode == 0, proc.stderr
    stopped, growth = map(int, proc.stdout.split())
    assert stopped >= 50, stopped  # many calls were cut short
    assert growth < 8 * 2**20, growth
