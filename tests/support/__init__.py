"""What the tests share: files built byte by byte, a game folder to put them in,
and the command run as a user runs it."""
