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

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "fuzz"))
import vexa_fuzz  # noqa: E402
from vexa_fuzz import NOT_IMPLEMENTED, PanicException  # noqa: E402

SANITIZED = os.environ.get("VEXA_SANITIZE") == "1"
FUNCTIONS = [getattr(vexa, name) for name in vexa_fuzz.NAMES]
edgeonly = vexa.enumerate_cliques_with_weights_edgeonly


# --- fuzzing -------------------------------------------------------------------------

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
