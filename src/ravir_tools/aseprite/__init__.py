"""Indexed Aseprite documents: the file read and written, and an animation turned
into a document and back."""
