#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include "anim/orv_file.h"
#include "python/animation_lock.h"
#include "python/bindings.h"
#include "python/element_refs.h"
#include "python/os_error.h"

namespace ravir::python {

namespace {

// Deletes an OrvF with its animation's lock held: destruction empties the tree's
// frames, which another thread may be reading. The tool's native module makes its
// OrvF objects through the Python class, so that they are deleted this way too.
struct DestroyWithLock {
    void operator()(OrvF* file) const
    {
        const std::shared_ptr<OrvData> tree = file->data();  // keeps the lock's key alive
        whileLocked(lockKey(*tree), [file] { delete file; });
    }
};

// A load that replaces the frames' storage makes the references taken into it
// stale; one that fails before reading the file leaves them valid.
std::shared_ptr<OrvData> load(OrvF& self, const std::filesystem::path& file_name, int color_profile,
                              const std::filesystem::path& io_pal)
{
    const std::shared_ptr<OrvData> tree = self.data();
    return fileErrorsAsOSError([&] {
        return withoutGil(lockKey(*tree), [&] {
            const std::uint64_t before = self.frameStorageGeneration();
            const auto invalidateIfRefilled = [&] {
                if (self.frameStorageGeneration() != before) {
                    TreeView::invalidate(*tree);
                }
            };
            try {
                std::shared_ptr<OrvData> result = self.load(file_name.native(), color_profile, io_pal.native());
                invalidateIfRefilled();
                return result;
            } catch (...) {
                invalidateIfRefilled();
                throw;
            }
        });
    });
}

void save(OrvF& self, const std::filesystem::path& file_name, const std::filesystem::path& project_root,
          const std::filesystem::path& palette_path)
{
    const std::shared_ptr<OrvData> tree = self.data();
    fileErrorsAsOSError([&] {
        withoutGil(lockKey(*tree), [&] { self.save(file_name.native(), project_root.native(), palette_path.native()); });
    });
}

}  // namespace

void bindAnimationFile(py::module_& m)
{
    py::class_<OrvF, std::unique_ptr<OrvF, DestroyWithLock>>(m, "OrvF")
        .def(py::init<>())
        .def("load", &load, py::arg("file_name"), py::arg("color_profile") = 0, py::arg("io_pal") = "")
        .def("save", &save, py::arg("file_name"), py::arg("project_root"), py::arg("palette_path"))
        .def("data", &OrvF::data)  // the tree is never replaced: no lock needed
        .def("get_frame_buffer", [](const OrvF& self) {
            return whileLocked(lockKey(*self.data()), [&] { return self.getFrameBuffer(); });
        });
}

}  // namespace ravir::python
