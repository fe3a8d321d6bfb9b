"""Type information: the stubs agree with the module as it runs, mypy in
strict mode accepts the examples, and bad calls are caught before they run."""

import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

pytest.importorskip("mypy")

ROOT = Path(__file__).resolve().parents[1]
STUB = ROOT / "src" / "vexa-stubs" / "__init__.pyi"


@pytest.fixture(scope="module")
def stub_path(tmp_path_factory):
    """A search path holding this tree's stubs as vexa.pyi, so that they take
    precedence over any installed copy."""
    path = tmp_path_factory.mktemp("stubs")
    shutil.copy(STUB, path / "vexa.pyi")
    return path


def run(args, stub_path, cwd=ROOT):
    env = {**os.environ, "MYPYPATH": str(stub_path)}
    return subprocess.run([sys.executable, "-m", *args], cwd=cwd, env=env, capture_output=True, text=True)


def test_stubs_match_the_runtime_module(stub_path):
    done = run(["mypy.stubtest", "vexa"], stub_path)
    assert done.returncode == 0, done.stdout + done.stderr


def test_examples_pass_strict_mypy(stub_path):
    done = run(["mypy", "--strict", "examples"], stub_path)
    assert done.returncode == 0, done.stdout + done.stderr


def test_calls_are_typed(stub_path, tmp_path):
    (tmp_path / "calls.py").write_text(
        "import vexa\n"
        "reveal_type(vexa.enumerate_cliques_with_weights([[1, 2], [2], []], 0))\n"
        "vexa.enumerate_cliques_with_weights_noprune(nbrs=[range(1, 3), b'\\x02', ()], maxrank=True)\n"
        "vexa.maxclique_decompose_with_weights(adj=((1,), (0,)), maxrank=2)\n"
        "vexa.enumerate_cliques_with_weights_edgeonly('ab')\n"  # error: str of str
        "vexa.enumerate_cliques_with_weights([[1.5]], 2)\n"  # error: float node
        "vexa.maxclique_decompose_with_weights([[1], [0]], 2.0)\n"  # error: float maxrank
        "vexa.enumerate_cliques_with_weights_edgeonly([[1], [0]], 2)\n"  # error: too many arguments
        "vexa.enumerate_cliques_with_weights(nbrs=[[1], [0]], rank=2)\n"  # error: bad keyword
    )
    done = run(["mypy", "--strict", "--no-error-summary", str(tmp_path / "calls.py")], stub_path, cwd=tmp_path)
    lines = done.stdout.splitlines()
    assert 'Revealed type is "tuple[list[list[int]], list[int]]"' in lines[0].replace("builtins.", "")
    error_lines = sorted({int(line.split(":")[1]) for line in lines if ": error:" in line})
    assert error_lines == [5, 6, 7, 8, 9], done.stdout
