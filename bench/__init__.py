"""Benchmarks of vexa against networkx and igraph (see bench/README.md)."""
