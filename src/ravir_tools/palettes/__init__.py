"""Palette files of the game and of other tools (GIMP, Adobe, Paint Shop Pro,
indexed images), read and written through one registry (registry.py)."""
