#include <pybind11/stl.h>

#include "anim/orv_file.h"
#include "python/bindings.h"
#include "python/element_refs.h"

namespace ravir::python {

void bindAnimationFile(py::module_& m)
{
    py::class_<OrvF>(m, "OrvF")
        .def(py::init<>())
        .def(
            "load",
            [](OrvF& self, std::string file_name, int color_profile, std::string io_pal) {
                // The load refills the tree in place: references taken before it go stale.
                TreeView::invalidate(*self.data());
                return self.load(std::move(file_name), color_profile, std::move(io_pal));
            },
            py::arg("file_name"), py::arg("color_profile") = 0, py::arg("io_pal") = "")
        .def("save", &OrvF::save, py::arg("file_name"), py::arg("project_root"), py::arg("palette_path"))
        .def("data", &OrvF::data)
        .def("get_frame_buffer", &OrvF::getFrameBuffer);
}

}  // namespace ravir::python
