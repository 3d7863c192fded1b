"""How long a frame lasts, from the animation's speed: one rule for every output
that shows time (the previews, the sheet's atlas, the Aseprite document and the
Pillow plugin's `duration`)."""

MAX_DURATION_MS = 0xFFFF  # the most an Aseprite frame lasts; GIF and APNG hold as much
RULE = "every frame lasts the speed in milliseconds, from 1 to 65535"  # the Aseprite document says it too


def duration_ms(speed: int) -> int:
    """The milliseconds each frame lasts at `speed`."""
    return min(max(speed, 1), MAX_DURATION_MS)
