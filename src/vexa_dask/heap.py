"""Letting glibc keep freed memory while a shard runs and is converted.

Dask starts its workers with ``MALLOC_TRIM_THRESHOLD_=65536`` so that
freed memory goes back to the system at once.  Setting a threshold also
fixes glibc's mmap threshold at 128 KiB, so every allocation above it is a
fresh mapping, and every page of it is faulted in and cleared again; a shard
converts its result lists piece by piece, with temporaries of a few MiB each
time.  On a geo3d shard of 3 million cliques that took 1.4 times the
processor time of the same conversion in a process with glibc's adaptive
thresholds.

:func:`keep` raises both thresholds for the call and the conversion, so
the call's large buffers and the pieces' temporaries reuse the same heap
memory (for the call: 5 to 10 % less processor time on geo3d shards, with
a tenth to a fifth fewer page faults); :func:`release` puts the worker's
own settings back and hands the free memory back at once, so the worker's
memory after a run stays what Dask's setting makes it.  Within a run, a
worker keeps the heap from one shard to the next, and :func:`pin` keeps
the memory of the small-object allocator that held the last result; the
client releases every worker when the run ends, however it ends.  A
decomposition shard that follows another then finds the call's buffers
in place instead of faulting them in again (on geo3d shards, 0.034-0.047 s
less processor time of 0.39-0.43 s, for a peak 7 MiB higher; the pinning
saves more, see there).  In a
process without such a setting (glibc adapts its thresholds by itself) and
off glibc, both do nothing: setting a threshold would end the adapting.

:func:`small_pages` is for the client: numpy asks the kernel for
transparent huge pages for every array past 4 MiB, and where the kernel
defragments on request ("madvise"), the first touch of such an array waits
until a 2 MiB page has been compacted.  On a machine whose memory other
processes keep churning, reading a 200,000-node graph took 0.3 to 0.7 s of
system time with the request against at most 0.09 s without, for 0.07 s
of its own work.  The workers start without the request (see
vexa_dask.WORKER_ENVIRONMENT); the client turns it off only while it reads
and cuts the graph and merges results, and puts it back as it was.
"""

from __future__ import annotations

import ctypes
import os
from collections.abc import Iterator
from contextlib import contextmanager
from typing import Any, Callable, Optional

__all__ = ["huge_page_hint", "keep", "kept", "pin", "release", "small_pages", "static_thresholds"]

# mallopt parameters (malloc.h)
M_TRIM_THRESHOLD, M_MMAP_THRESHOLD = -1, -3
# While converting: blocks up to the largest mmap threshold glibc accepts on
# 64-bit systems come from the heap, and the heap keeps up to 1 GiB free.
KEEP_MMAP, KEEP_TRIM = 32 << 20, 1 << 30
# glibc's trim and mmap thresholds when none is given and they do not adapt.
DEFAULT_THRESHOLD = 128 << 10


def _libc() -> Optional[Any]:
    try:
        libc = ctypes.CDLL(None)
        libc.mallopt, libc.malloc_trim  # noqa: B018 -- both must be there
    except (OSError, AttributeError):
        return None
    return libc


_LIBC = _libc()


def static_thresholds() -> Optional[tuple[int, int]]:
    """(trim, mmap) thresholds this process was started with, when it was
    started with any; None when glibc adapts them (or is not there)."""
    trim = os.environ.get("MALLOC_TRIM_THRESHOLD_")
    mmap = os.environ.get("MALLOC_MMAP_THRESHOLD_")
    if _LIBC is None or (trim is None and mmap is None):
        return None
    try:
        return (int(trim) if trim is not None else DEFAULT_THRESHOLD, int(mmap) if mmap is not None else DEFAULT_THRESHOLD)
    except ValueError:
        return None


_kept = False
# What `pin` keeps alive until `release`.
_pinned: list[Any] = []


def keep() -> None:
    global _kept
    _kept = True
    if static_thresholds() is not None:
        _LIBC.mallopt(M_MMAP_THRESHOLD, KEEP_MMAP)  # type: ignore[union-attr]
        _LIBC.mallopt(M_TRIM_THRESHOLD, KEEP_TRIM)  # type: ignore[union-attr]


def pin(objects: Any) -> None:
    """Keeps `objects` alive until :func:`release` (in place of what was
    pinned before).

    Python's small-object allocator takes memory in arenas of 1 MiB and
    hands an arena back to the system as soon as nothing in it is alive, so
    a shard's millions of result lists and ints, freed as they are
    converted, leave nothing behind: the next shard's call faults all its
    pages in again (on a geo3d bounded-clique shard, 117,000 page faults
    and 0.4 s of system time in a call of 0.8-1.0 s).  A few of the lists
    pinned across the arenas keep them, with their free room, for the next
    shard: there 47,000-49,000 faults, 0.6 s for the call and 1.74-1.79 s
    for the whole shard against 2.02-2.33 s, at the same peak."""
    _pinned[:] = [objects]


def release() -> None:
    global _kept
    _kept = False
    _pinned.clear()
    thresholds = static_thresholds()
    if thresholds is not None:
        trim, mmap = thresholds
        _LIBC.mallopt(M_TRIM_THRESHOLD, trim)  # type: ignore[union-attr]
        _LIBC.mallopt(M_MMAP_THRESHOLD, mmap)  # type: ignore[union-attr]
        _LIBC.malloc_trim(0)  # type: ignore[union-attr]


def kept() -> bool:
    """Whether :func:`keep` or :func:`pin` was called since the last
    :func:`release`."""
    return _kept or bool(_pinned)


def _hint_switch() -> Optional[Callable[[bool], bool]]:
    """numpy's switch of the huge-page request (sets it, returns what it
    was), where this numpy has one."""
    import numpy as np

    for module in ("_core", "core"):
        switch = getattr(getattr(np, module, None), "multiarray", None)
        switch = getattr(switch, "_set_madvise_hugepage", None)
        if callable(switch):
            return switch  # type: ignore[no-any-return]
    return None


def huge_page_hint() -> Optional[bool]:
    """Whether numpy requests huge pages for large arrays now (None: this
    numpy cannot say)."""
    switch = _hint_switch()
    if switch is None:
        return None
    was = bool(switch(False))
    switch(was)
    return was


@contextmanager
def small_pages() -> Iterator[None]:
    """numpy's huge-page request off for the block, then as it was."""
    switch = _hint_switch()
    if switch is None:
        yield
        return
    was = bool(switch(False))
    try:
        yield
    finally:
        switch(was)
