"""`ravir gallery`: a static site of every animation below some folders."""

from ravir_tools.commands.gallery.command import DESCRIPTION, EXAMPLES, NAME, SUMMARY, add_arguments, options, run

__all__ = ["NAME", "SUMMARY", "DESCRIPTION", "EXAMPLES", "add_arguments", "options", "run"]
