"""What differs between two animations, two folders of them or two palettes, for
`ravir diff`: computed here, shown by the command."""
