#include <pybind11/stl.h>

#include "python/animation_lock.h"
#include "python/bindings.h"
#include "render/frame_buffer.h"

namespace ravir::python {

void bindRenderer(py::module_& m)
{
    py::class_<OrvFrameBufferObject> frame(m, "OrvFrameBufferObject");
    frame
        .def_property_readonly("pixels", py::cpp_function(
                                             [](const OrvFrameBufferObject& object) {
                                                 return py::bytes(reinterpret_cast<const char*>(object.pixels.data()),
                                                                  object.pixels.size());
                                             },
                                             py::is_method(frame)))
        .def_readonly("width", &OrvFrameBufferObject::width)
        .def_readonly("height", &OrvFrameBufferObject::height)
        .def_readonly("offset_x", &OrvFrameBufferObject::offset_x)
        .def_readonly("offset_y", &OrvFrameBufferObject::offset_y)
        .def_readonly("channels", &OrvFrameBufferObject::channels);

    // A renderer reads its tree only while it is made, and never changes afterwards:
    // only its making needs the animation's lock.
    py::class_<OrvFrameBuffer>(m, "OrvFrameBuffer")
        .def(py::init([](const OrvData& tree) {
            return withoutGil(lockKey(tree), [&] { return std::make_unique<OrvFrameBuffer>(tree); });
        }))
        .def("get_buffer", &OrvFrameBuffer::getBuffer);
}

}  // namespace ravir::python
