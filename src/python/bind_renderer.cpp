#include <pybind11/stl.h>

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

    py::class_<OrvFrameBuffer>(m, "OrvFrameBuffer")
        .def(py::init<const OrvData&>())
        .def("get_buffer", &OrvFrameBuffer::getBuffer);
}

}  // namespace ravir::python
