#include <pybind11/pybind11.h>

namespace py = pybind11;

PYBIND11_MODULE(ravir, m)
{
    m.doc() = "Quorl animation graphics parser for Python";
    m.attr("__version__") = RAVIR_VERSION;
}
