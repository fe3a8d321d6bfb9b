"""Draws a small graph with the cliques that carry a non-zero weight.

    python examples/draw_weights.py [out.png]      # default: docs/weights.png

Needs matplotlib (pip install ".[docs]").  On the left, the graph: every
clique of non-zero weight is shaded (triangles), traced (edges) or ringed
(nodes) and labelled with its weight.  On the right, the same cliques as a
table, and the count for each node and edge: the weights of the cliques that
hold it add up to 1.
"""

from __future__ import annotations

import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt
from matplotlib.patches import Circle, Polygon

import vexa

# Two triangles sharing the edge 1-2, and a tail 3-4 (the demo's graph).
EDGES = [(0, 1), (0, 2), (1, 2), (1, 3), (2, 3), (3, 4)]
POSITIONS = {0: (0.0, 0.0), 1: (1.0, 0.85), 2: (1.0, -0.85), 3: (2.0, 0.0), 4: (3.1, 0.0)}
PLUS, MINUS = "#2b6cb0", "#c53030"


def colour(weight: int) -> str:
    return PLUS if weight > 0 else MINUS


def draw(edges: list[tuple[int, int]], cliques: list[list[int]], weights: list[int], path: Path) -> None:
    fig, (ax, side) = plt.subplots(1, 2, figsize=(10, 4.6), gridspec_kw={"width_ratios": [1.55, 1]})
    ax.set_aspect("equal")
    ax.axis("off")
    side.axis("off")

    # Shaded triangles (and any larger clique) first, then the plain graph.
    for clique, weight in zip(cliques, weights):
        if len(clique) >= 3:
            corners = [POSITIONS[v] for v in clique]
            cx = sum(x for x, _ in corners) / len(corners)
            cy = sum(y for _, y in corners) / len(corners)
            # Drawn a little inside its corners, so that neighbouring cliques stay apart.
            inset = [(cx + 0.85 * (x - cx), cy + 0.85 * (y - cy)) for x, y in corners]
            ax.add_patch(Polygon(inset, closed=True, color=colour(weight), alpha=0.22, lw=0))
            ax.text(cx, cy, f"{weight:+d}", color=colour(weight), ha="center", va="center", fontsize=15, weight="bold")
    for u, v in edges:
        (x1, y1), (x2, y2) = POSITIONS[u], POSITIONS[v]
        ax.plot([x1, x2], [y1, y2], color="#4a5568", lw=1.6, zorder=1)
    for clique, weight in zip(cliques, weights):
        if len(clique) == 2:
            (x1, y1), (x2, y2) = (POSITIONS[v] for v in clique)
            ax.plot([x1, x2], [y1, y2], color=colour(weight), lw=6, alpha=0.55, zorder=2, solid_capstyle="round")
            ax.text((x1 + x2) / 2 + 0.2, (y1 + y2) / 2 + 0.17, f"{weight:+d}", color=colour(weight), fontsize=14,
                    weight="bold", ha="center", va="center")
    ringed = {c[0]: w for c, w in zip(cliques, weights) if len(c) == 1}
    for v, (x, y) in POSITIONS.items():
        if v in ringed:
            ax.add_patch(Circle((x, y), 0.25, fill=False, ec=colour(ringed[v]), lw=3, zorder=3))
            ax.text(x, y - 0.42, f"{ringed[v]:+d}", color=colour(ringed[v]), fontsize=14, weight="bold",
                    ha="center", va="center")
        ax.add_patch(Circle((x, y), 0.17, color="white", ec="#1a202c", lw=1.5, zorder=4))
        ax.text(x, y, str(v), ha="center", va="center", fontsize=12, zorder=5)
    xs = [x for x, _ in POSITIONS.values()]
    ys = [y for _, y in POSITIONS.values()]
    ax.set_xlim(min(xs) - 0.5, max(xs) + 0.5)
    ax.set_ylim(min(ys) - 0.6, max(ys) + 0.35)
    fig.suptitle("vexa: the cliques of non-zero weight and their weights", fontsize=13)

    rows = [f"{str(c):<11}{w:>+5d}" for c, w in zip(cliques, weights)]
    side.text(0.0, 0.95, "clique      weight\n" + "\n".join(rows), family="monospace", fontsize=12, va="top")

    def total(part: set[int]) -> str:
        terms = [w for c, w in zip(cliques, weights) if part <= set(c)]
        return " ".join(f"{w:+d}" for w in terms) + f" = {sum(terms)}"

    shared = [{1}, {3}, {1, 2}]  # nodes and an edge that several cliques share
    checks = "\n".join(f"{str(sorted(p)):<7} {total(p)}" for p in shared)
    side.text(0.0, 0.56, "shared, yet counted once:\n" + checks, family="monospace", fontsize=12, va="top")
    side.text(0.0, 0.03, "every node and edge: the weights of the\ncliques holding it sum to 1\n"
              "(from enumerate_cliques_with_weights(nbrs, 0),\nthe cliques of weight 0 left out)",
              fontsize=10.5, va="bottom", color="#4a5568")
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)


def main(argv: list[str]) -> None:
    out = Path(argv[1]) if len(argv) > 1 else Path(__file__).resolve().parents[1] / "docs" / "weights.png"
    n = len(POSITIONS)
    nbrs: list[list[int]] = [sorted(v for u, v in EDGES if u == w) for w in range(n)]
    cliques, weights = vexa.enumerate_cliques_with_weights(nbrs, 0)
    kept = [(c, w) for c, w in zip(cliques, weights) if w != 0]
    kept.sort(key=lambda pair: (-len(pair[0]), pair[0]))
    out.parent.mkdir(parents=True, exist_ok=True)
    draw(EDGES, [c for c, _ in kept], [w for _, w in kept], out)
    print(f"wrote {out}")


if __name__ == "__main__":
    main(sys.argv)
