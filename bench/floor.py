"""The object-creation floor: builds and loads bench/floor.c on first use.

    from bench import floor
    prepared = floor.prepare(result)      # a flat copy of (cliques, weights)
    floor.build(prepared)                 # the same objects, created anew

The extension is compiled with the C compiler that built the interpreter
(sysconfig's CC, else cc) against the interpreter's own headers, into a
cache directory keyed by the interpreter version and the source, so it is
built once per interpreter.  `available()` says whether that worked;
`error` holds the reason when it did not.
"""

from __future__ import annotations

import hashlib
import importlib
import importlib.machinery
import os
import shlex
import subprocess
import sys
import sysconfig
import tempfile
from pathlib import Path

SOURCE = Path(__file__).with_name("floor.c")
_module = None
error: str | None = None


def _cache_dir() -> Path:
    base = os.environ.get("XDG_CACHE_HOME") or os.path.join(Path.home(), ".cache")
    return Path(base) / "vexa-bench"


def _build() -> Path:
    source = SOURCE.read_bytes()
    tag = hashlib.sha256(source + sys.version.encode()).hexdigest()[:16]
    suffix = importlib.machinery.EXTENSION_SUFFIXES[0]
    target = _cache_dir() / tag / f"vexa_floor{suffix}"
    if target.exists():
        return target
    target.parent.mkdir(parents=True, exist_ok=True)
    cc = shlex.split(sysconfig.get_config_var("CC") or "cc")
    include = sysconfig.get_paths()["include"]
    with tempfile.TemporaryDirectory() as tmp:
        out = Path(tmp) / target.name
        cmd = [*cc, "-O2", "-shared", "-fPIC", f"-I{include}", str(SOURCE), "-o", str(out)]
        if sys.platform == "darwin":
            cmd[1:1] = ["-undefined", "dynamic_lookup"]
        subprocess.run(cmd, check=True, capture_output=True)
        os.replace(out, target)
    return target


def _load():
    global _module, error
    if _module is not None or error is not None:
        return _module
    try:
        path = _build()
        # One directory per build, on the import path only while importing.
        sys.path.insert(0, str(path.parent))
        try:
            _module = importlib.import_module("vexa_floor")
        finally:
            sys.path.remove(str(path.parent))
    except (OSError, subprocess.CalledProcessError, ImportError) as exc:
        detail = getattr(exc, "stderr", b"") or b""
        error = f"{type(exc).__name__}: {exc} {detail.decode(errors='replace')[:200]}".strip()
    return _module


def available() -> bool:
    return _load() is not None


def prepare(result):
    return _load().prepare(result)


def build(prepared):
    return _load().build(prepared)
