"""The ravir command-line tool: inspect, render, convert and author Quorl animations.

Every command is a module of its own (info, render, palette, pack); cli.py gathers
them under one `ravir` command.
"""
