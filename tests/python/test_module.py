import ravir


def test_module_identity():
    assert ravir.__doc__ == "Quorl animation graphics parser for Python"
    assert ravir.__version__ == "0.8.0"
