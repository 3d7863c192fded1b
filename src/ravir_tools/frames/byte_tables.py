"""Tables for bytes.translate that turn a byte of alpha, mask or drawn flag into
another: 0 stays 0 (a gap), every other value becomes one."""

TO_FLAG = bytes([0] + [1] * 255)  # drawn flags, as the animation writer takes them
TO_FULL = bytes([0] + [255] * 255)  # mask bytes and alpha shown fully opaque
