#include <pybind11/stl.h>

#include "anim/orv_file.h"
#include "python/bindings.h"
#include "python/element_refs.h"
#include "python/os_error.h"

namespace ravir::python {

namespace {

// A load that replaces the frames' storage makes the references taken into it
// stale; one that fails before reading the file leaves them valid.
std::shared_ptr<OrvData> load(OrvF& self, std::string file_name, int color_profile, std::string io_pal)
{
    const std::uint64_t before = self.frameStorageGeneration();
    const auto invalidateIfRefilled = [&] {
        if (self.frameStorageGeneration() != before) {
            TreeView::invalidate(*self.data());
        }
    };
    try {
        std::shared_ptr<OrvData> result = self.load(std::move(file_name), color_profile, std::move(io_pal));
        invalidateIfRefilled();
        return result;
    } catch (...) {
        invalidateIfRefilled();
        throw;
    }
}

}  // namespace

void bindAnimationFile(py::module_& m)
{
    py::class_<OrvF>(m, "OrvF")
        .def(py::init<>())
        .def("load", &load, py::arg("file_name"), py::arg("color_profile") = 0, py::arg("io_pal") = "")
        .def(
            "save",
            [](OrvF& self, std::string file_name, std::string project_root, std::string palette_path) {
                savingFile([&] { self.save(std::move(file_name), std::move(project_root), std::move(palette_path)); });
            },
            py::arg("file_name"), py::arg("project_root"), py::arg("palette_path"))
        .def("data", &OrvF::data)
        .def("get_frame_buffer", &OrvF::getFrameBuffer);
}

}  // namespace ravir::python
