import pickle

import pytest

import ravir

CLASSES = ["OrvInfo", "OrvData", "OrvFrame", "OrvPixelSet", "OrvPixelBlock",
           "OrvFrameBufferObject", "OrvFrameBuffer", "PalFColor", "PalF", "OrvF"]


def test_module_identity():
    assert ravir.__doc__ == "Quorl animation graphics parser for Python"
    assert ravir.__version__ == "0.8.0"


def test_exactly_the_ten_classes_in_registration_order():
    public = [name for name in vars(ravir) if not name.startswith("_")]
    assert public == CLASSES
    for name in CLASSES:
        cls = getattr(ravir, name)
        assert cls.__name__ == name
        assert cls.__module__ == "ravir"


@pytest.mark.parametrize("name", ["OrvInfo", "OrvData", "OrvFrame", "OrvPixelSet", "OrvPixelBlock",
                                  "OrvFrameBufferObject", "PalFColor"])
def test_classes_made_only_by_the_library_refuse_construction(name):
    with pytest.raises(TypeError, match="No constructor defined!$"):
        getattr(ravir, name)()


def test_instances_have_no_dict_and_do_not_pickle():
    palette = ravir.PalF()
    with pytest.raises(AttributeError):
        palette.anything = 1
    with pytest.raises(TypeError):
        pickle.dumps(palette)


def test_classes_can_be_subclassed_from_python():
    class Named(ravir.PalF):
        pass

    named = Named()
    named.location("x")
    assert named.location() == "x"


def test_signatures_name_arguments_as_the_library_does():
    assert ravir.OrvF.load.__doc__.startswith(
        "load(self: ravir.OrvF, file_name: os.PathLike | str | bytes, color_profile: typing.SupportsInt |"
        " typing.SupportsIndex = 0, io_pal: os.PathLike | str | bytes = '') -> ")
    assert ravir.OrvData.frames.fget.__doc__.startswith("(self: ravir.OrvData) -> list[OrvFrame]")
    assert "1. location(self: ravir.PalF, arg0: str) -> None" in ravir.PalF.location.__doc__
