"""What `ravir render` writes for `ravir pack` to read back: the file names, the
manifest, the sheet's atlas and the text inside frame PNGs."""
