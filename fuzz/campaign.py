"""Runs a fuzz campaign against the vexa module for a given time.

    PYTHONPATH=<build dir> python3 fuzz/campaign.py --seconds 90

Hypothesis generates calls in rounds of --round examples, each round with a
fresh random seed, until the time is up.  A fault (a wrong outcome) stops the
campaign with the shrunk failing call and exit status 1; a crash ends the
worker process, and the campaign stops with its exit status.

Hypothesis keeps some of each round's data alive, so a long campaign runs in
worker processes of at most --worker-seconds each, and adds up their counts.
"""

from __future__ import annotations

import argparse
import json
import os
import subprocess
import sys
import time
from collections import Counter

# Run as a script: the repository root holds the fuzz package and the models.
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
if ROOT not in sys.path:
    sys.path.insert(0, ROOT)

from hypothesis import HealthCheck, given, settings  # noqa: E402

from fuzz import vexa_fuzz  # noqa: E402

STATS_PREFIX = "campaign stats: "


def work(seconds: float, round_size: int) -> int:
    """Fuzzes in this process; prints the counts as one JSON line."""

    # derandomize=False: under CI hypothesis would otherwise replay one seed
    # in every round.
    @settings(max_examples=round_size, deadline=None, database=None, print_blob=True, derandomize=False,
              suppress_health_check=list(HealthCheck))
    @given(vexa_fuzz.calls())
    def one_call(bp):
        vexa_fuzz.run_one(bp)

    start = time.monotonic()
    rounds = 0
    while time.monotonic() - start < seconds:
        try:
            one_call()
        except Exception:
            print(f"FAULT after {vexa_fuzz.STATS['calls']} calls", file=sys.stderr, flush=True)
            raise
        rounds += 1
    stats = dict(vexa_fuzz.STATS, rounds=rounds)
    print(STATS_PREFIX + json.dumps(stats), flush=True)
    return 0


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seconds", type=float, default=60.0, help="time budget (default 60)")
    parser.add_argument("--round", type=int, default=2000, help="examples per hypothesis round")
    parser.add_argument("--worker-seconds", type=float, default=300.0, help="longest run of one worker")
    parser.add_argument("--worker", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.worker:
        return work(args.seconds, args.round)

    print(f"fuzzing vexa for {args.seconds:.0f} s", flush=True)
    start = time.monotonic()
    total: Counter = Counter()
    outcomes: Counter = Counter()
    workers = 0
    while (left := args.seconds - (time.monotonic() - start)) > 0:
        proc = subprocess.run(
            [sys.executable, os.path.abspath(__file__), "--worker", "--seconds", str(min(left, args.worker_seconds)),
             "--round", str(args.round)],
            stdout=subprocess.PIPE, text=True)
        lines = [line for line in proc.stdout.splitlines() if line.startswith(STATS_PREFIX)]
        if proc.returncode != 0 or not lines:
            print(proc.stdout, end="")
            print(f"worker {workers + 1} failed with exit status {proc.returncode}", file=sys.stderr, flush=True)
            return proc.returncode or 1
        stats = json.loads(lines[-1][len(STATS_PREFIX):])
        outcomes.update(stats.pop("outcomes"))
        total.update(stats)
        workers += 1
    print(f"{total['calls']} calls in {total['rounds']} rounds ({workers} workers), "
          f"{time.monotonic() - start:.0f} s: {total['quiet']} judged exactly, {total['hostile']} with hostile "
          f"objects ({total['fired']} hostile actions fired); 0 faults", flush=True)
    print("outcomes: " + ", ".join(f"{k} {v}" for k, v in outcomes.most_common()), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
