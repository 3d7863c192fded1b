#include <pybind11/pybind11.h>

#include "python/bindings.h"

PYBIND11_MODULE(ravir, m)
{
    m.doc() = "Quorl animation graphics parser for Python";
    m.attr("__version__") = RAVIR_VERSION;
    ravir::python::bindAnimationTree(m);
    ravir::python::bindRenderer(m);
    ravir::python::bindPalette(m);
    ravir::python::bindAnimationFile(m);
}
