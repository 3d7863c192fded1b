"""The subcommands of `ravir`, one module each: its name, help, arguments, the
options its work takes, and `run`. cli.py alone imports them; the work they
orchestrate lives in the packages beside this one."""
