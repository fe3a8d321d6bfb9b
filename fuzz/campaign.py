"""Runs a fuzz campaign against the vexa module for a given time.

    PYTHONPATH=<build dir> python3 fuzz/campaign.py --seconds 90

Hypothesis generates calls in rounds of --round examples, each round with a
fresh random seed, until the time is up.  A fault (a wrong outcome) stops the
campaign with the shrunk failing call and exit status 1; a crash ends the
process itself, which the caller sees as a signal exit status.
"""

from __future__ import annotations

import argparse
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from hypothesis import HealthCheck, given, settings  # noqa: E402

import vexa_fuzz  # noqa: E402


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seconds", type=float, default=60.0, help="time budget (default 60)")
    parser.add_argument("--round", type=int, default=2000, help="examples per hypothesis round")
    args = parser.parse_args()

    @settings(max_examples=args.round, deadline=None, database=None, print_blob=True,
              suppress_health_check=list(HealthCheck))
    @given(vexa_fuzz.calls())
    def one_call(bp):
        vexa_fuzz.run_one(bp)

    start = time.monotonic()
    rounds = 0
    print(f"fuzzing vexa for {args.seconds:.0f} s; functions still not implemented: "
          f"{sorted(vexa_fuzz.NOT_IMPLEMENTED) or 'none'}", flush=True)
    while time.monotonic() - start < args.seconds:
        try:
            one_call()
        except Exception:
            stats = vexa_fuzz.STATS
            print(f"FAULT after {stats['calls']} calls", file=sys.stderr, flush=True)
            raise
        rounds += 1
    s = vexa_fuzz.STATS
    print(f"{s['calls']} calls in {rounds} rounds, {time.monotonic() - start:.0f} s: "
          f"{s['quiet']} judged exactly, {s['hostile']} with hostile objects "
          f"({s['fired']} hostile actions fired); 0 faults", flush=True)
    print("outcomes: " + ", ".join(f"{k} {v}" for k, v in s["outcomes"].most_common()), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
