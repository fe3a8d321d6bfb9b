"""Fuzz harness for the vexa module.

Arbitrary calls of the four functions are generated as *blueprints* (plain
tuples, so that hypothesis can shrink and print them), built into real
argument objects, and the outcome of each call is judged:

The pieces: strategies.py generates the blueprints, builders.py turns them
into objects (hostile ones among them), oracle.py judges the outcome;
surface.py holds what all three know of the module.  This file runs one
call from start to finish; campaign.py runs calls for a given time.

* Blueprints whose objects run no side effects while they are converted are
  judged exactly: a Python mirror of the binding and conversion rules, built
  on the same interpreter operations the module uses, predicts the exception
  (type and message) or the converted lists, and the plain-Python models
  (models/) predict the result.
* Blueprints with hostile objects (methods that raise, mutate the object
  being converted, call vexa again or fail with PanicException) are judged by
  the set of outcomes a call may have: a well-formed result, or one of the
  exceptions the module raises, with its message, or the very exception the
  argument's own code raised.

In every case the interpreter must survive.  The module is imported from
wherever PYTHONPATH points, so the same harness runs against the normal and
the sanitizer build.
"""

from __future__ import annotations

from collections import Counter

import vexa

from .builders import Context, build_call, is_quiet
from .oracle import StderrTap, Violation, expect_call, judge_exact, judge_loose
from .strategies import calls
from .surface import F_EDGEONLY, NAMES, NOTICE, PanicException, invoke

__all__ = ["calls", "run_one", "STATS", "Context", "Violation", "expect_call", "judge_exact", "judge_loose",
           "F_EDGEONLY", "NAMES", "PanicException"]

# ---------------------------------------------------------------------------
# One generated call, start to finish.

STATS = {"calls": 0, "quiet": 0, "hostile": 0, "fired": 0, "outcomes": Counter()}


def run_one(bp):
    """Builds, calls and judges one blueprint; raises Violation on a fault."""
    name, _, _ = bp
    ctx = Context()
    args, kwargs = build_call(bp, ctx)
    quiet = is_quiet(bp)
    expected = expect_call(name, args, kwargs) if quiet else None
    func = getattr(vexa, name)
    with StderrTap() as tap:
        ctx.armed = True
        try:
            outcome = invoke(func, args, kwargs)
        finally:
            ctx.armed = False
    STATS["calls"] += 1
    STATS["outcomes"]["result" if outcome[0] == "ok" else type(outcome[1]).__name__] += 1
    STATS["fired"] += ctx.fired
    if ctx.violations:
        raise Violation("; ".join(ctx.violations))
    if quiet:
        STATS["quiet"] += 1
        if tap.native or tap.python:
            raise Violation(f"a call wrote to standard error: {(tap.native + tap.python)[:300]!r}")
        judge_exact(name, outcome, expected)
    else:
        STATS["hostile"] += 1
        judge_loose(name, outcome, ctx)
        if ctx.panics and NOTICE not in tap.native:
            raise Violation("no notice on standard error for a fetched PanicException")
        if ctx.panics and "PanicException" not in tap.python:
            raise Violation("the fetched PanicException was not printed")
    return outcome

