"""Frames as images: rendered RGBA, indexed to the palette index, read back from
images, laid out on sheets and placed on the canvases of previews."""
