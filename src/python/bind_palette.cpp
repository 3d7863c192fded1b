#include <pybind11/stl.h>

#include "palette/pal_file.h"
#include "python/bindings.h"
#include "python/os_error.h"

namespace ravir::python {

void bindPalette(py::module_& m)
{
    py::class_<PalF::Color>(m, "PalFColor")
        .def_readonly("r", &PalF::Color::r)
        .def_readonly("g", &PalF::Color::g)
        .def_readonly("b", &PalF::Color::b)
        .def_readonly("a", &PalF::Color::a);

    // Setters are registered before getters: one argument reaches the setter.
    py::class_<PalF, std::shared_ptr<PalF>>(m, "PalF")
        .def(py::init<>())
        .def("location", py::overload_cast<std::string>(&PalF::location))
        .def("location", py::overload_cast<>(&PalF::location, py::const_))
        .def("location_size", py::overload_cast<unsigned>(&PalF::locationSize))
        .def("location_size", py::overload_cast<>(&PalF::locationSize, py::const_))
        .def("color_model", py::overload_cast<int>(&PalF::colorModel))
        .def("color_model", py::overload_cast<>(&PalF::colorModel, py::const_))
        .def("colors", py::overload_cast<const std::vector<PalF::Color>&>(&PalF::colors))
        .def("colors", py::overload_cast<>(&PalF::colors, py::const_))
        .def("get_color", &PalF::getColor)
        .def("load", py::overload_cast<std::string>(&PalF::load))
        .def("save", [](const PalF& self, std::string path) { savingFile([&] { self.save(std::move(path)); }); });
}

}  // namespace ravir::python
