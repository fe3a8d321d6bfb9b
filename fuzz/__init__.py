"""Fuzz harness for the vexa module; campaign.py runs it (see README.md)."""
