"""`ravir gallery`: a static site of every animation below some folders."""

from ravir_tools.gallery.command import register

__all__ = ["register"]
