#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include "palette/pal_file.h"
#include "python/animation_lock.h"
#include "python/bindings.h"
#include "python/os_error.h"

namespace ravir::python {

namespace {

// A method of PalF that runs with the palette's lock held, which it shares with the
// animation whose tree holds it.
template <class Result, class... Args>
auto locked(Result (*call)(PalF&, Args...))
{
    return [call](PalF& self, Args... args) {
        return whileLocked(lockKey(self), [&] { return call(self, std::move(args)...); });
    };
}

}  // namespace

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
        .def("location", locked(+[](PalF& p, std::string location) { p.location(std::move(location)); }))
        .def("location", locked(+[](PalF& p) { return p.location(); }))
        .def("location_size", locked(+[](PalF& p, unsigned size) { p.locationSize(size); }))
        .def("location_size", locked(+[](PalF& p) { return p.locationSize(); }))
        .def("color_model", locked(+[](PalF& p, int model) { p.colorModel(model); }))
        .def("color_model", locked(+[](PalF& p) { return p.colorModel(); }))
        .def("colors", locked(+[](PalF& p, std::vector<PalF::Color> colors) { p.colors(colors); }))
        .def("colors", locked(+[](PalF& p) { return p.colors(); }))
        .def("get_color", locked(+[](PalF& p, int index) { return p.getColor(index); }))
        .def("load",
             [](PalF& self, const std::filesystem::path& path) {
                 return withoutGil(lockKey(self), [&] { return self.load(path.native()); });
             })
        .def("save", [](PalF& self, const std::filesystem::path& path) {
            fileErrorsAsOSError([&] { withoutGil(lockKey(self), [&] { self.save(path.native()); }); });
        });
}

}  // namespace ravir::python
