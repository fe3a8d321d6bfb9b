"""What the fuzz harness knows of the module's surface: its four functions
and their parameters, its exception type and messages, the lengths it can
reserve, and the call wrapper that turns any outcome into a value."""

from __future__ import annotations

import re

import vexa

FUNCTIONS = {
    "enumerate_cliques_with_weights": ("nbrs", "maxrank"),
    "enumerate_cliques_with_weights_noprune": ("nbrs", "maxrank"),
    "maxclique_decompose_with_weights": ("adj", "maxrank"),
    "enumerate_cliques_with_weights_edgeonly": ("adj",),
}
NAMES = tuple(FUNCTIONS)
F_PRUNED, F_NOPRUNE, F_DECOMPOSE, F_EDGEONLY = NAMES


def _panic_type():
    try:
        vexa.enumerate_cliques_with_weights_edgeonly([range(2**61)])
    except BaseException as exc:  # noqa: BLE001
        return type(exc)
    raise AssertionError("a length above the reservable limit did not fail")


PanicException = _panic_type()

STR_MESSAGE = "Can't extract `str` to `Vec`"
CAPACITY_OVERFLOW = "capacity overflow"
UNWRAPPED = "Unwrapped panic from Python code"
NO_ENTRY = "no entry found for key"
INDEX_OUT_OF_BOUNDS = re.compile(r"index out of bounds: the len is (\d+) but the index is (\d+)")
NOTICE = "Python stack trace below:"

# Outer and node-list lengths above these cannot be reserved at all.
MAX_OUTER = 384307168202282325
MAX_INNER = 2**60 - 1
# Lengths from here on are beyond any machine's memory (8 TiB and more of
# 8-byte entries); the harness reports no length between its small real
# lengths and this one, so a reservation either fits or surely fails.
HUGE = 2**40

U64 = 2**64


def invoke(func, args, kwargs):
    """("ok", result) or ("raise", exception) of one call."""
    try:
        return ("ok", func(*args, **kwargs))
    except BaseException as exc:  # noqa: BLE001 - every outcome is judged
        return ("raise", exc)
