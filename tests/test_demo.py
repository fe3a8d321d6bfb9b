"""examples/demo.py, run as a user runs it."""

import ast
import subprocess
import sys
from pathlib import Path

import pytest

import vexa

DEMO = Path(__file__).resolve().parents[1] / "examples" / "demo.py"
CHECK = "every node and edge counted exactly once"


def run_demo(*args):
    done = subprocess.run([sys.executable, str(DEMO), *args], capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    return done.stdout


def sections(output):
    """{call title: lines below it}"""
    blocks = [b.splitlines() for b in output.split("\n\n")]
    return {b[0]: b[1:] for b in blocks[1:]}


def check_every_function(output):
    found = sections(output)
    assert len(found) == 4
    for name in vexa.__all__:
        (title,) = [t for t in found if t.startswith(name + "(")]
        lines = found[title]
        assert lines[0].split() == ["clique", "weight"]
        assert lines[-1].startswith("  " + CHECK) and lines[-1].endswith(": yes"), lines[-1]
        rows = [row.rsplit(None, 1) for row in lines[1:-1]]  # "  [0, 1]     -1"
        cliques = [ast.literal_eval(clique.strip()) for clique, _ in rows]
        assert cliques and all(isinstance(c, list) for c in cliques)
        assert all(int(weight) or name != "maxclique_decompose_with_weights" for _, weight in rows)


def test_builtin_graph():
    output = run_demo()
    assert output.startswith("graph: 5 nodes, 6 edges\n")
    check_every_function(output)
    edgeonly = sections(output)["enumerate_cliques_with_weights_edgeonly(adj)"]
    assert [r.split() for r in edgeonly[1:6]] == [["[0]", "-1"], ["[1]", "-2"], ["[2]", "-2"], ["[3]", "-2"], ["[4]", "0"]]


def test_edge_list_file(tmp_path):
    path = tmp_path / "edges.txt"
    # K4 on 0-3 written with a comment, a repeat, a self-loop and a reversed
    # edge, plus an edge 4-5 and isolated node 6 (via a self-loop).
    path.write_text("# K4\n0 1\n0 2\n0 3\n1 2\n1 3\n2 3\n3 2\n\n1 1\n4 5  # tail\n6 6\n")
    output = run_demo(str(path))
    assert output.startswith("graph: 7 nodes, 7 edges\n")
    check_every_function(output)


@pytest.mark.parametrize("content", ["0 x\n", "0\n", "1 -2\n"])
def test_bad_edge_list_names_the_line(tmp_path, content):
    path = tmp_path / "bad.txt"
    path.write_text("0 1\n" + content)
    done = subprocess.run([sys.executable, str(DEMO), str(path)], capture_output=True, text=True, timeout=60)
    assert done.returncode != 0 and f"{path}:2:" in done.stderr
